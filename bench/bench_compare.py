#!/usr/bin/env python3
"""Runs two console programs side by side on every network file of a
directory, alternating per network (A then B on one network, then the next),
and prints one row per network: each program's seconds and peak memory, the
ratios B/A of both, and whether the two answers are the same set of
attractors. The last row gives the median ratios over the networks both
programs finished.

usage: bench_compare.py CONSOLE_A CONSOLE_B NETWORK_DIR [--timeout SECONDS] [--only ID ...]
                        [--json]

Seconds are CPU seconds (user and system) of a program that ended, wall
seconds of one stopped by the timeout. With --json both programs write the
JSON format and the answers are compared through it (attractors of more than
2^16 states by their exact count).

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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('console_a')
    parser.add_argument('console_b')
    bench_pipeline.add_network_arguments(parser)
    args = parser.parse_args()

    files = bench_pipeline.network_files(args)
    print('A = ' + args.console_a)
    print('B = ' + args.console_b)
    row = '{:<10} {:>6} {:>9} {:>9} {:>7} {:>9} {:>9} {:>7}  {}'
    print(row.format('network', 'genes', 'A s', 'B s', 'B/A s', 'A MB', 'B MB', 'B/A MB',
                     'answers'))
    time_ratios, memory_ratios, differing = [], [], []
    for name in files:
        path = os.path.join(args.directory, name)
        names = bench_pipeline.genes_in_file_order(path)
        options = ['--format', 'json'] if args.json else []
        runs = [bench_pipeline.run_timed(program, path, args.timeout, options)
                for program in (args.console_a, args.console_b)]
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
            if kb_a != '' and kb_b != '':
                memory_ratios.append(ratio(kb_b, kb_a))
            time_ratio = '%.2f' % time_ratios[-1]
            memory_ratio = '%.2f' % memory_ratios[-1] if kb_a != '' and kb_b != '' else '?'
        else:
            # The same refusal or both out of time, or one of them failed.
            verdict = ('both ' + status_a if status_a == status_b
                       else 'A: %s, B: %s' % (status_a, status_b))
            time_ratio = memory_ratio = '-'
        print(row.format(name[:-4], len(names), '%.2f' % sec_a, '%.2f' % sec_b, time_ratio,
                         mb[0], mb[1], memory_ratio, verdict), flush=True)

    def median(values):
        return '%.2f' % statistics.median(values) if values else '-'
    print('\nmedian B/A over %d networks both finished: time %s, peak memory %s'
          % (len(time_ratios), median(time_ratios), median(memory_ratios)))
    print('different answers: ' + (', '.join(differing) if differing else 'none'))
    return 1 if differing else 0


if __name__ == '__main__':
    sys.exit(main())
