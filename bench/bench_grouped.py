#!/usr/bin/env python3
"""Times --inputs grouped on the `gated` family of make_families.py, whose
answer doubles with each size (2^k outcomes for size k), and prints per size
and format the outcomes, the bytes written, the CPU seconds (user+system),
the CPU microseconds per outcome and the peak memory. Where the time per
outcome stays flat, grouping and writing cost in proportion to the answer.

usage: bench_grouped.py QUORVEL_PROGRAM [--sizes K ...] [--formats cubes,json]
                        [--seed S] [--timeout SECONDS] [--dir DIR]

The networks are written to DIR (a temporary folder by default) from the
fixed seed, so every run measures the same files.
"""
import argparse
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_pipeline  # noqa: E402  (the runner lives there)
import make_families  # noqa: E402


def write_network(directory, size, seed):
    rng = random.Random('%s-%d-%d' % ('gated', size, seed))
    path = os.path.join(directory, 'gated-%d.net' % size)
    with open(path, 'w') as out:
        out.write('\n'.join(make_families.make_gated(size, rng)) + '\n')
    return path


def outcomes_of(text, fmt):
    if fmt == 'cubes':
        return text.count('\noutcome   ')
    return text.count('{"settings":')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('program')
    parser.add_argument('--sizes', nargs='*', type=int,
                        default=make_families.DEFAULT_SIZES['gated'])
    parser.add_argument('--formats', default='cubes,json')
    parser.add_argument('--seed', type=int, default=17)
    parser.add_argument('--timeout', type=float, default=600.0)
    parser.add_argument('--dir', default=None)
    args = parser.parse_args()
    directory = args.dir or tempfile.mkdtemp(prefix='gated-')
    os.makedirs(directory, exist_ok=True)
    row = '{:<6} {:>5} {:>9} {:>12} {:>9} {:>12} {:>9}  {}'
    print(row.format('format', 'size', 'outcomes', 'bytes', 'cpu s', 'us/outcome', 'peak MB',
                     'status'))
    for fmt in [f for f in args.formats.split(',') if f]:
        for size in args.sizes:
            path = write_network(directory, size, args.seed)
            cpu, result = bench_pipeline.run_timed(
                args.program, path, args.timeout, ('--inputs', 'grouped', '--format', fmt,
                                                   '--quiet'))
            seconds, peak_kb, out, _err, status = result
            if status != 'ok' or cpu is None:
                print(row.format(fmt, size, '-', '-', '-', '-', '-', status), flush=True)
                break
            outcomes = outcomes_of(out, fmt)
            print(row.format(fmt, size, outcomes, len(out.encode()), '%.2f' % cpu,
                             '%.2f' % (1e6 * cpu / max(outcomes, 1)),
                             '%.1f' % (peak_kb / 1024.0) if peak_kb else '?', status),
                  flush=True)
    return 0


if __name__ == '__main__':
    raise SystemExit(main())
