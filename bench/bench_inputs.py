#!/usr/bin/env python3
"""Runs the console program on every network file of a directory three
times, with --inputs off, free and grouped (JSON format, --quiet), and
prints one row per network: its inputs, the outcomes of grouped, the free
attractors, and the CPU seconds of each run ('timeout' for a run stopped by
the timeout), then the ratio grouped / off. The column 'check' compares the
two answers when free and grouped both finished: the number of attractors
of free must equal the sum over the outcomes of (settings x attractors);
'ok' or 'DIFFER'.

--modes runs only some of the three; with --cache FILE, every run's figures
are kept in FILE (JSON) and the modes not run are read back from it, so a
change to one mode needs only that mode rerun (--modes "" prints the table
from the file alone).

usage: bench_inputs.py QUORVEL_PROGRAM NETWORK_DIR [--timeout SECONDS] [--only ID ...]
                       [--modes off,free,grouped] [--cache FILE]
"""
import argparse
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_pipeline  # noqa: E402  (the runner lives there)

MODES = ('off', 'free', 'grouped')


def settings_of(cube):
    return 2 ** cube.count('-')


def figures(mode, cpu, result):
    """What the table needs of one run: status, CPU seconds and counts."""
    status = result[4]
    row = {'status': status.split(' ')[0], 'cpu': cpu}
    if status == 'ok':
        answer = json.loads(result[2])
        if mode == 'grouped':
            row['inputs'] = len(answer['inputs'])
            row['outcomes'] = len(answer['outcomes'])
            row['expanded'] = sum(
                sum(settings_of(c) for c in o['settings']) * len(o['attractors'])
                for o in answer['outcomes'])
        else:
            row['attractors'] = len(answer['attractors'])
    return row


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('program')
    bench_pipeline.add_network_arguments(parser)
    parser.add_argument('--modes', default=','.join(MODES))
    parser.add_argument('--cache', default=None)
    args = parser.parse_args()
    modes = [mode for mode in args.modes.split(',') if mode]
    cache = {}
    if args.cache and os.path.exists(args.cache):
        with open(args.cache) as f:
            cache = json.load(f)
    print('%-10s %6s %8s %10s %9s %9s %9s %8s %6s' %
          ('network', 'inputs', 'outcomes', 'free attr', 'off s', 'free s', 'grouped s',
           'grp/off', 'check'))
    differ = 0
    for name in bench_pipeline.network_files(args):
        path = os.path.join(args.directory, name)
        row = cache.setdefault(name, {})
        for mode in modes:
            cpu, result = bench_pipeline.run_timed(
                args.program, path, args.timeout,
                ['--quiet', '--format', 'json', '--inputs', mode])
            row[mode] = figures(mode, cpu, result)
            if args.cache:
                with open(args.cache, 'w') as f:
                    json.dump(cache, f, indent=1, sort_keys=True)

        def ok(mode):
            return row.get(mode, {}).get('status') == 'ok'

        def seconds(mode):
            run = row.get(mode)
            if run is None:
                return '-'
            return '%.2f' % run['cpu'] if run['status'] == 'ok' else run['status']

        grouped = row.get('grouped', {})
        inputs = grouped.get('inputs', '-')
        outcomes = grouped.get('outcomes', '-')
        free_count = row['free']['attractors'] if ok('free') else '-'
        check = ''
        if ok('grouped') and ok('free'):
            check = 'ok' if grouped['expanded'] == free_count else 'DIFFER'
            differ += check != 'ok'
        ratio = ''
        if ok('off') and ok('grouped'):
            ratio = '%.1f' % (grouped['cpu'] / max(row['off']['cpu'], 0.01))
        print('%-10s %6s %8s %10s %9s %9s %9s %8s %6s' %
              (name[:-4], inputs, outcomes, free_count, seconds('off'), seconds('free'),
               seconds('grouped'), ratio, check), flush=True)
    return 1 if differ else 0


if __name__ == '__main__':
    sys.exit(main())
