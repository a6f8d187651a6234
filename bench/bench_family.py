#!/usr/bin/env python3
"""Runs the console program over one family of networks written by
make_families.py and prints, per size, the CPU seconds (user+system of the
program), the attractors found and the status, then the fitted slope of
log(CPU seconds) against log(size) over the sizes that took over 0.05 s:
the exponent of the family's growth.

usage: bench_family.py QUORVEL_PROGRAM DIR FAMILY [--timeout SECONDS] [--format F]

The sizes are the files DIR/FAMILY-<size>.net, in increasing order. After
the first size that times out the larger ones are skipped. The size is the
family's own parameter (genes, loops, inputs, modules); the genes column
gives the network's genes.
"""
import argparse
import json
import math
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_pipeline  # noqa: E402  (the runner and the result reading live there)


def fitted_slope(points):
    """Least-squares slope of log(seconds) against log(size), or None when
    fewer than two points are given."""
    if len(points) < 2:
        return None
    xs = [math.log(size) for size, _ in points]
    ys = [math.log(seconds) for _, seconds in points]
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    den = sum((x - mx) ** 2 for x in xs)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / den if den else None


def attractor_count(fmt, out, err, names):
    if fmt == 'json':
        return len(json.loads(out)['attractors'])
    if fmt == 'cubes':
        return sum(1 for line in out.split('\n') if re.match(r'^\d+\b', line))
    return bench_pipeline.summarise(out, names)[2]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('program')
    parser.add_argument('directory')
    parser.add_argument('family')
    parser.add_argument('--timeout', type=float, default=120.0)
    parser.add_argument('--format', default='json', choices=['states', 'cubes', 'json'])
    args = parser.parse_args()

    pattern = re.compile(r'^%s-(\d+)\.net$' % re.escape(args.family))
    sizes = sorted(int(m.group(1)) for m in map(pattern.match, os.listdir(args.directory)) if m)
    row = '{:<10} {:>7} {:>7} {:>10} {:>9} {:>9}  {}'
    print(row.format('family', 'size', 'genes', 'attractors', 'cpu s', 'peak MB', 'status'))
    points = []
    for size in sizes:
        path = os.path.join(args.directory, '%s-%d.net' % (args.family, size))
        names = bench_pipeline.genes_in_file_order(path)
        options = ['--format', args.format] if args.format != 'states' else []
        cpu, (_, peak_kb, out, err, status) = bench_pipeline.run_timed(
            args.program, path, args.timeout, options)
        count = attractor_count(args.format, out, err, names) if status == 'ok' else '-'
        peak = '%.1f' % (peak_kb / 1024.0) if peak_kb != '' else '?'
        print(row.format(args.family, size, len(names), count,
                         '%.2f' % cpu if cpu is not None else '-', peak, status), flush=True)
        if status != 'ok':
            break
        if cpu > 0.05:
            points.append((size, cpu))
    slope = fitted_slope(points)
    print('slope %s: %s (over %d sizes above 0.05 s)'
          % (args.family, '%.2f' % slope if slope is not None else '-', len(points)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
