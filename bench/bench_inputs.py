#!/usr/bin/env python3
"""Runs the console program on every network file of a directory three
times, with --inputs off, free and grouped (JSON format, --quiet), and
prints one row per network: its inputs, the outcomes of grouped, the free
attractors, and the CPU seconds of each run ('timeout' for a run stopped by
the timeout), then the ratio grouped / off. The column 'check' compares the
two answers when free and grouped both finished: the number of attractors
of free must equal the sum over the outcomes of (settings x attractors);
'ok' or 'DIFFER'.

usage: bench_inputs.py QUORVEL_PROGRAM NETWORK_DIR [--timeout SECONDS] [--only ID ...]
"""
import argparse
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_pipeline  # noqa: E402  (the runner lives there)


def settings_of(cube):
    return 2 ** cube.count('-')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('program')
    bench_pipeline.add_network_arguments(parser)
    args = parser.parse_args()
    print('%-10s %6s %8s %10s %9s %9s %9s %8s %6s' %
          ('network', 'inputs', 'outcomes', 'free attr', 'off s', 'free s', 'grouped s',
           'grp/off', 'check'))
    differ = 0
    for name in bench_pipeline.network_files(args):
        path = os.path.join(args.directory, name)
        row = {}
        for mode in ('off', 'free', 'grouped'):
            cpu, result = bench_pipeline.run_timed(
                args.program, path, args.timeout,
                ['--quiet', '--format', 'json', '--inputs', mode])
            status = result[4]
            answer = json.loads(result[2]) if status == 'ok' else None
            row[mode] = ('%.2f' % cpu if cpu is not None and status == 'ok'
                         else status.split(' ')[0], cpu, answer)
        grouped = row['grouped'][2]
        free = row['free'][2]
        inputs = len(grouped['inputs']) if grouped else '-'
        outcomes = len(grouped['outcomes']) if grouped else '-'
        free_count = len(free['attractors']) if free else '-'
        check = ''
        if grouped and free:
            expanded = sum(sum(settings_of(c) for c in o['settings']) * len(o['attractors'])
                           for o in grouped['outcomes'])
            check = 'ok' if expanded == free_count else 'DIFFER'
            differ += check != 'ok'
        ratio = ''
        if row['off'][2] and grouped and row['off'][1]:
            ratio = '%.1f' % (row['grouped'][1] / max(row['off'][1], 0.01))
        print('%-10s %6s %8s %10s %9s %9s %9s %8s %6s' %
              (name[:-4], inputs, outcomes, free_count, row['off'][0], row['free'][0],
               row['grouped'][0], ratio, check), flush=True)
    return 1 if differ else 0


if __name__ == '__main__':
    sys.exit(main())
