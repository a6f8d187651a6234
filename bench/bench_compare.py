#!/usr/bin/env python3
"""Runs two console programs side by side on every network file of a
directory, alternating per network (A then B on one network, then the next),
and prints one row per network: each program's seconds and peak memory, the
ratios B/A of both, and whether the two answers are the same set of
attractors. The last row gives the median ratios over the networks both
programs finished.

usage: bench_compare.py CONSOLE_A CONSOLE_B NETWORK_DIR [--timeout SECONDS] [--only ID ...]
                        [--json] [--repeat N] [--option OPTION ...] [--min-seconds S]

Seconds are CPU seconds (user and system) of a program that ended, wall
seconds of one stopped by the timeout. With --json both programs write the
JSON format and the answers are compared through it (attractors of more than
2^16 states by their exact count). With --repeat N each program runs N times
per network (the order of A and B alternating between rounds) and the row
shows its smallest CPU seconds and peak memory: on a shared machine the
smallest figure is the one least disturbed by other jobs. --option passes
one more option to both programs (repeatable, e.g. --option=--max-memory=1G).
The last column is the one-minute load average before the network's runs;
the load is also printed before the first and after the last network.
Below the median over all networks comes the median over those where A took
at least --min-seconds CPU seconds (default 0.1): on the shortest runs the
ratio measures the start-up of the two programs rather than their analysis.

Typical use: the same sources built on two BDD engines (BuDDy through the
layer, and CUDD), or for 64-bit and 32-bit Linux. Running the two programs
one after the other on each network, instead of one whole directory after
the other, lets both see the same machine load.

Answers are compared as sets of attractors, each attractor a set of states
(the order of attractors and of the states within one may differ between
runs). The exit status is 1 when some network that both finished has
different answers, 0 otherwise.
"""
import argparse
import json
import math
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_pipeline  # noqa: E402  (the runner and the name order live there)


def attractor_set(text, names):
    """The attractors of a result text as a frozenset of frozensets of
    states (tuples of '0'/'1', one per gene in file order); None when the
    text holds no result. The result is the lines after the last line equal
    to the header of gene names."""
    header = ''.join(name + '   ' for name in names)
    lines = text.split('\n')
    for i in range(len(lines) - 1, -1, -1):
        if lines[i] == header:
            break
    else:
        return None
    attractors = set()
    for line in lines[i + 1:]:
        values = line.split()
        if not values:
            continue
        width = len(names)
        if width == 0 or len(values) % width:
            return None  # a torn line: not a whole result
        attractors.add(frozenset(tuple(values[k:k + width])
                                 for k in range(0, len(values), width)))
    return frozenset(attractors)


def json_attractor_set(text, names):
    """The attractors of a JSON result as a frozenset: each attractor as the
    frozenset of its states (expanded from its cubes) when it has at most
    2^16 states, else as its exact count alone (the cover of a large
    attractor may differ between builds while the set is the same). None
    when the text is not a JSON result."""
    try:
        found = json.loads(text)['attractors']
    except (ValueError, KeyError, TypeError):
        return None
    result = set()
    for attractor in found:
        count = int(attractor['states'])
        if count > 1 << 16:
            result.add(('states', count))
            continue
        states = set()
        for cube in attractor['cubes']:
            free = [i for i, c in enumerate(cube) if c == '-']
            for k in range(1 << len(free)):
                values = list(cube)
                for j, i in enumerate(free):
                    values[i] = '1' if (k >> j) & 1 else '0'
                states.add(''.join(values))
        result.add(frozenset(states))
    return frozenset(result)


def ratio(b, a):
    return b / a if a else float('nan')


def load_average():
    """The one-, five- and fifteen-minute load averages, as uptime prints them."""
    try:
        return ' '.join(open('/proc/loadavg').read().split()[:3])
    except OSError:
        return '?'


def best_runs(programs, path, timeout, options, repeat):
    """Runs each program `repeat` times on `path`, A first in even rounds and
    B first in odd ones, and gives per program (cpu, (wall, kb, out, err,
    status)) of its run with the least CPU; a program stopped by the timeout
    or failing once is not run again, and that run is the one given."""
    best = [None] * len(programs)
    for round_ in range(repeat):
        order = range(len(programs)) if round_ % 2 == 0 else reversed(range(len(programs)))
        for k in order:
            if best[k] is not None and best[k][1][4] != 'ok':
                continue
            run = bench_pipeline.run_timed(programs[k], path, timeout, options)
            if best[k] is None or run[1][4] != 'ok' or (
                    run[0] is not None and run[0] < best[k][0]):
                # Peak memory of the fastest run; it barely varies anyway.
                best[k] = run
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('console_a')
    parser.add_argument('console_b')
    bench_pipeline.add_network_arguments(parser)
    parser.add_argument('--repeat', type=int, default=1)
    parser.add_argument('--option', action='append', default=[])
    parser.add_argument('--min-seconds', type=float, default=0.1)
    args = parser.parse_args()

    files = bench_pipeline.network_files(args)
    print('A = ' + args.console_a)
    print('B = ' + args.console_b)
    print('timeout %g s, repeat %d, options %s; load average at start: %s'
          % (args.timeout, args.repeat, ' '.join(args.option) or '-', load_average()))
    row = '{:<10} {:>6} {:>9} {:>9} {:>7} {:>9} {:>9} {:>7}  {:<22} {}'
    print(row.format('network', 'genes', 'A s', 'B s', 'B/A s', 'A MB', 'B MB', 'B/A MB',
                     'answers', 'load'))
    time_ratios, memory_ratios, differing, unfinished = [], [], [], []
    ratio_names, long_ratios = [], []
    sum_a = sum_b = 0.0
    for name in files:
        path = os.path.join(args.directory, name)
        names = bench_pipeline.genes_in_file_order(path)
        options = (['--format', 'json'] if args.json else []) + args.option
        load = load_average().split()[0]
        runs = best_runs((args.console_a, args.console_b), path, args.timeout, options,
                         max(1, args.repeat))
        (cpu_a, (wall_a, kb_a, text_a, _, status_a)), \
            (cpu_b, (wall_b, kb_b, text_b, _, status_b)) = runs
        # CPU seconds where the program ended, wall seconds otherwise.
        sec_a = cpu_a if cpu_a is not None else wall_a
        sec_b = cpu_b if cpu_b is not None else wall_b
        mb = ['%.1f' % (kb / 1024.0) if kb != '' else '?' for kb in (kb_a, kb_b)]
        if status_a == 'ok' and status_b == 'ok':
            read = json_attractor_set if args.json else attractor_set
            set_a, set_b = read(text_a, names), read(text_b, names)
            same = set_a is not None and set_a == set_b
            verdict = 'equal (%d)' % len(set_a) if same else 'DIFFERENT'
            if not same:
                differing.append(name[:-4])
            time_ratios.append(ratio(sec_b, sec_a))
            ratio_names.append(name[:-4])
            if sec_a >= args.min_seconds:
                long_ratios.append(time_ratios[-1])
            sum_a += sec_a
            sum_b += sec_b
            if kb_a != '' and kb_b != '':
                memory_ratios.append(ratio(kb_b, kb_a))
            time_ratio = '%.2f' % time_ratios[-1]
            memory_ratio = '%.2f' % memory_ratios[-1] if kb_a != '' and kb_b != '' else '?'
        else:
            # The same refusal or both out of time, or one of them failed.
            verdict = ('both ' + status_a if status_a == status_b
                       else 'A: %s, B: %s' % (status_a, status_b))
            time_ratio = memory_ratio = '-'
            unfinished.append('%s (%s)' % (name[:-4], verdict))
        print(row.format(name[:-4], len(names), '%.3f' % sec_a, '%.3f' % sec_b, time_ratio,
                         mb[0], mb[1], memory_ratio, verdict, load), flush=True)

    def median(values):
        return '%.2f' % statistics.median(values) if values else '-'
    print('\nmedian B/A over %d networks both finished: time %s, peak memory %s'
          % (len(time_ratios), median(time_ratios), median(memory_ratios)))
    print('median B/A time over the %d of them where A took at least %g s: %s'
          % (len(long_ratios), args.min_seconds, median(long_ratios)))
    finite = [(r, n) for r, n in zip(time_ratios, ratio_names) if not math.isnan(r)]
    if finite:
        print('time B/A: smallest %.2f (%s), largest %.2f (%s); CPU seconds in all: A %.2f, B %.2f'
              % (*min(finite), *max(finite), sum_a, sum_b))
    print('not both finished: ' + (', '.join(unfinished) if unfinished else 'none'))
    print('load average at end: ' + load_average())
    print('different answers: ' + (', '.join(differing) if differing else 'none'))
    return 1 if differing else 0


if __name__ == '__main__':
    sys.exit(main())
