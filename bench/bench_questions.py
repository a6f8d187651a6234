#!/usr/bin/env python3
"""Times the modeller's questions against the attractor search alone, on every
network file of a directory.

usage: bench_questions.py QUORVEL_PROGRAM NETWORK_DIR [--search-timeout S] [--only ID ...]

Per network the attractor search alone runs first (--format json); when it
ends within --search-timeout CPU seconds (default 10), the questions run too:
--trap-spaces min (timeout 30 s), --initial with one state (drawn from a fixed
seed per network; timeout 10 x the search or 20 s) and, for networks of at
most 100 genes, --basins (timeout 120 s). One row per network with the CPU
seconds of each (the user + system time of the program) and the numbers the
answers give: attractors, minimal trap spaces, attractors reachable from the
state. '-' marks a run not made, 'T' one stopped by its timeout, 'E' an error.
"""
import argparse
import json
import os
import random
import resource
import subprocess
import sys


def run(program, path, options, timeout):
    """(cpu seconds, parsed JSON) or (None, 'T'/'E'). The limit is on CPU
    seconds (the machine is shared, so wall time says little); the wall
    clock only stops a run at 20 times the limit."""
    def limit_cpu():
        seconds = int(timeout) + 1
        resource.setrlimit(resource.RLIMIT_CPU, (seconds, seconds))
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    try:
        done = subprocess.run([program, '--format', 'json', '--quiet', *options, path],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL, timeout=20 * timeout,
                              preexec_fn=limit_cpu)
    except subprocess.TimeoutExpired:
        return None, 'T'
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if done.returncode < 0 or cpu > timeout:
        return None, 'T'
    if done.returncode != 0:
        return cpu, 'E'
    return cpu, json.loads(done.stdout)


def cell(cpu, answer):
    if cpu is None or isinstance(answer, str):
        return answer if isinstance(answer, str) else '-'
    return '%.2f' % cpu


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('program')
    parser.add_argument('directory')
    parser.add_argument('--search-timeout', type=float, default=10)
    parser.add_argument('--only', nargs='*')
    args = parser.parse_args()
    files = sorted(f for f in os.listdir(args.directory) if f.endswith('.net'))
    if args.only:
        files = [f for f in files if f[:-4] in args.only]
    print('%-9s %5s %9s %8s %8s %6s %8s %6s %8s' % (
        'network', 'genes', 'search s', 'attr', 'trap s', 'min ts', 'init s', 'reach', 'basin s'))
    for name in files:
        path = os.path.join(args.directory, name)
        cpu, answer = run(args.program, path, [], args.search_timeout)
        if isinstance(answer, str):
            print('%-9s %5s %9s' % (name[:-4], '?', answer))
            sys.stdout.flush()
            continue
        genes = answer['genes']
        attractors = len(answer['attractors'])
        tcpu, traps = run(args.program, path, ['--trap-spaces', 'min'], 30)
        draw = random.Random(name)
        state = ''.join(draw.choice('01') for _ in genes)
        icpu, reach = run(args.program, path, ['--initial', state], max(20, 10 * cpu))
        bcpu, basins = (None, '-')
        if len(genes) <= 100:
            bcpu, basins = run(args.program, path, ['--basins'], 120)
        print('%-9s %5d %9.2f %8d %8s %6s %8s %6s %8s' % (
            name[:-4], len(genes), cpu, attractors, cell(tcpu, traps),
            traps['count'] if isinstance(traps, dict) else '-', cell(icpu, reach),
            len(reach['attractors']) if isinstance(reach, dict) else '-', cell(bcpu, basins)))
        sys.stdout.flush()


if __name__ == '__main__':
    main()
