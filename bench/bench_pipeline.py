#!/usr/bin/env python3
"""Runs the console program on every network file of a directory and prints
one table row per network: genes, genes left after the reduction, blocks,
attractors, wall-clock seconds and peak resident memory.

usage: bench_pipeline.py QUORVEL_PROGRAM NETWORK_DIR [--timeout SECONDS] [--only ID ...] [--json]

With --json the program runs with --format json: the progress lines are read
from standard error, the attractors from the JSON object, and three more
columns give the states of the largest attractor, its cubes and the cubes of
all attractors.

The figures are read from the program's own output: the per-block lines
"<genes> out edges <children>" give the blocks and the reduced genes, and the
result text (the last line equal to the header of gene names, and the lines
after it) gives the attractors. "cpu s" is the user+system CPU time of the
program (the machine is shared, so wall seconds vary with the load; CPU
seconds much less); it is not known for a run stopped by the timeout. Peak memory is the maximum resident set size
reported by /usr/bin/time. A network that exceeds the timeout is stopped and
reported as such.
"""
import argparse
import json
import os
import re
import resource
import signal
import subprocess
import sys
import tempfile
import time


def genes_in_file_order(path):
    """Gene names in order of first appearance: each rule's target, then its
    regulators (the file is a stream of whitespace-separated token triples:
    regulator expression, arrow, target)."""
    tokens = open(path).read().split()
    names, seen = [], set()
    for k in range(0, len(tokens) - 2, 3):
        regulators = [next((part for part in piece.split('^') if part), '')
                      for piece in tokens[k].split('&') if piece]
        for name in [tokens[k + 2]] + regulators:
            if name and name not in seen:
                seen.add(name)
                names.append(name)
    return names


def run_one(program, path, timeout, options=()):
    """Returns (seconds, peak_kb, stdout text, stderr text, status)."""
    with tempfile.NamedTemporaryFile('r', suffix='.time') as timing:
        command = ['/usr/bin/time', '-f', '%M', '-o', timing.name, program, *options, path]
        start = time.monotonic()
        child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            out, err = child.communicate(timeout=timeout)
            status = 'ok' if child.returncode == 0 else 'exit %d' % child.returncode
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)  # the group of the child started here
            out, err = child.communicate()
            status = 'timeout'
        seconds = time.monotonic() - start
        peak = ''
        try:
            lines = [l for l in open(timing.name).read().split('\n') if l.strip().isdigit()]
            peak = int(lines[-1]) if lines else ''
        except OSError:
            pass
        if status.startswith('exit') and err:
            status += ' (' + err.decode(errors='replace').strip().split('\n')[-1][:60] + ')'
        return seconds, peak, out.decode(errors='replace'), err.decode(errors='replace'), status


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_timed(program, path, timeout, options=()):
    """run_one, and the CPU seconds (user+system) of the program in front of
    its results. The program runs under /usr/bin/time, which waits for it, so
    its time reaches this process's children's usage; a program stopped by
    the timeout is not waited for by /usr/bin/time and gives None."""
    before = cpu_of_children()
    result = run_one(program, path, timeout, options)
    cpu = cpu_of_children() - before
    return (None if result[4] == 'timeout' else cpu), result


def summarise(text, names):
    blocks = reduced = 0
    for line in text.split('\n'):
        m = re.match(r'^(\d+) out edges \d+$', line)
        if m:
            blocks += 1
            reduced += int(m.group(1))
    header = ''.join(name + '   ' for name in names)
    lines = text.split('\n')
    attractors = ''
    for i in range(len(lines) - 1, -1, -1):
        if lines[i] == header:
            attractors = sum(1 for l in lines[i + 1:] if l.strip())
            break
    return reduced, blocks, attractors


def add_network_arguments(parser):
    """The arguments every runner over a directory of networks takes."""
    parser.add_argument('directory')
    parser.add_argument('--timeout', type=float, default=120.0)
    parser.add_argument('--only', nargs='*', default=None)
    parser.add_argument('--json', action='store_true')


def network_files(args):
    """The network files (*.net) of args.directory, sorted; with --only, the
    ones whose name without .net is listed."""
    files = sorted(f for f in os.listdir(args.directory) if f.endswith('.net'))
    if args.only:
        files = [f for f in files if f[:-4] in args.only]
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('program')
    add_network_arguments(parser)
    args = parser.parse_args()

    files = network_files(args)
    row = '{:<10} {:>6} {:>8} {:>7} {:>10} {:>9} {:>9} {:>9}  {}'
    if args.json:
        row = '{:<10} {:>6} {:>8} {:>7} {:>10} {:>9} {:>9} {:>9} {:>24} {:>7} {:>7}  {}'
    print(row.format('network', 'genes', 'reduced', 'blocks', 'attractors', 'cpu s', 'seconds',
                     'peak MB', *(['largest', 'cubes', 'all'] if args.json else []), 'status'))
    slow = []
    for name in files:
        path = os.path.join(args.directory, name)
        names = genes_in_file_order(path)
        cpu, (seconds, peak_kb, text, err, status) = run_timed(
            args.program, path, args.timeout, ['--format', 'json'] if args.json else [])
        extra = []
        if args.json:
            reduced, blocks, _ = summarise(err, names)
            attractors, extra = '-', ['-', '-', '-']
            if status == 'ok':
                found = json.loads(text)['attractors']
                attractors = len(found)
                largest = max(found, key=lambda a: int(a['states']), default=None)
                extra = [largest['states'] if largest else 0,
                         len(largest['cubes']) if largest else 0,
                         sum(len(a['cubes']) for a in found)]
        else:
            reduced, blocks, attractors = summarise(text, names)
        peak = '%.1f' % (peak_kb / 1024.0) if peak_kb != '' else '?'
        print(row.format(name[:-4], len(names), reduced, blocks,
                         attractors if status == 'ok' else '-',
                         '%.2f' % cpu if cpu is not None else '-', '%.2f' % seconds, peak, *extra,
                         status),
              flush=True)
        if seconds > 60 or status == 'timeout':
            slow.append(name[:-4])
    print('\nover 60 s: ' + (', '.join(slow) if slow else 'none'))
    return 0


if __name__ == '__main__':
    sys.exit(main())
