#!/usr/bin/env python3
"""A Python call against the console program on the same networks.

For every network of a folder (default ../shared/networks/inputs-off), the
best of --repeat runs (wall seconds, and CPU seconds: the child's for the
console, this process's for Python, whose analysis runs on a thread of its
own) of
  console: `quorvel --format json --quiet FILE` (a process, as a shell runs it)
  python:  quorvel.attractors(FILE) in this process (analysis, JSON, objects)
and their ratio; the two answers are compared as sets. Run with the system
interpreter and the package importable, e.g.

  PYTHONPATH=python:build/python /usr/bin/python3 bench/bench_python.py --console build/quorvel
"""
import argparse
import json
import pathlib
import resource
import subprocess
import sys
import time

import quorvel


def cpu_seconds():
    """CPU seconds of this process and of its ended children."""
    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime)


def best_of(repeat, run):
    """The least wall and the least CPU seconds of `repeat` runs, and the
    last run's value."""
    walls, cpus, value = [], [], None
    for _ in range(repeat):
        cpu, start = cpu_seconds(), time.perf_counter()
        value = run()
        walls.append(time.perf_counter() - start)
        cpus.append(cpu_seconds() - cpu)
    return min(walls), min(cpus), value


def answer(raw):
    return frozenset((a["states"], frozenset(a["cubes"])) for a in raw["attractors"])


def main():
    root = pathlib.Path(__file__).resolve().parents[1]
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", nargs="?", default=str(root.parent / "shared" / "networks" /
                                                          "inputs-off"))
    parser.add_argument("--console", default=str(root / "build" / "quorvel"))
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--timeout", type=float, default=60)
    args = parser.parse_args()

    print("%-10s %9s %9s %6s %9s %9s %6s  %s" % ("network", "console s", "python s", "ratio",
                                                "cons. cpu", "pyth. cpu", "ratio", "answer"))
    totals = [0.0, 0.0, 0.0, 0.0]
    worst = (0.0, "")
    for path in sorted(pathlib.Path(args.folder).glob("*.net")):
        def console():
            run = subprocess.run([args.console, "--format", "json", "--quiet", str(path)],
                                 capture_output=True, text=True, timeout=args.timeout)
            if run.returncode != 0:
                raise RuntimeError(run.stderr)
            return json.loads(run.stdout)
        try:
            console_s, console_cpu, console_raw = best_of(args.repeat, console)
        except subprocess.TimeoutExpired:
            print("%-10s %9s" % (path.stem, "timeout"))
            continue
        python_s, python_cpu, result = best_of(args.repeat, lambda: quorvel.attractors(path))
        same = answer(result.raw) == answer(console_raw)
        for k, value in enumerate((console_s, python_s, console_cpu, python_cpu)):
            totals[k] += value
        cpu_ratio = python_cpu / max(console_cpu, 1e-3)
        if console_cpu >= 0.1 and cpu_ratio > worst[0]:
            worst = (cpu_ratio, path.stem)
        print("%-10s %9.3f %9.3f %6.2f %9.3f %9.3f %6.2f  %s" % (
            path.stem, console_s, python_s, python_s / console_s, console_cpu, python_cpu,
            cpu_ratio, "same" if same else "DIFFERENT"), flush=True)
        if not same:
            sys.exit("answers differ on %s" % path)
    print("total: wall console %.2f s, python %.2f s (ratio %.2f); CPU console %.2f s, python "
          "%.2f s (ratio %.2f); worst CPU ratio where the console takes >= 0.1 s: %.2f (%s)"
          % (totals[0], totals[1], totals[1] / max(totals[0], 1e-9), totals[2], totals[3],
             totals[3] / max(totals[2], 1e-9), *worst))

if __name__ == "__main__":
    main()
