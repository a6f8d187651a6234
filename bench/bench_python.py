#!/usr/bin/env python3
"""A Python call against the console program on the same networks.

For every network of a folder (default ../shared/networks/inputs-off), the
best of --repeat wall times of
  console: `quorvel --format json --quiet FILE` (a process, as a shell runs it)
  python:  quorvel.attractors(FILE) in this process (analysis, JSON, objects)
and their ratio; the two answers are compared as sets. Run with the system
interpreter and the package importable, e.g.

  PYTHONPATH=python:build/python /usr/bin/python3 bench/bench_python.py --console build/quorvel
"""
import argparse
import json
import pathlib
import subprocess
import sys
import time

import quorvel


def best_of(repeat, run):
    times, value = [], None
    for _ in range(repeat):
        start = time.perf_counter()
        value = run()
        times.append(time.perf_counter() - start)
    return min(times), value


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

    print("%-10s %10s %10s %7s  %s" % ("network", "console s", "python s", "ratio", "answer"))
    total_console = total_python = 0.0
    worst = (0.0, "")
    for path in sorted(pathlib.Path(args.folder).glob("*.net")):
        def console():
            run = subprocess.run([args.console, "--format", "json", "--quiet", str(path)],
                                 capture_output=True, text=True, timeout=args.timeout)
            if run.returncode != 0:
                raise RuntimeError(run.stderr)
            return json.loads(run.stdout)
        try:
            console_s, console_raw = best_of(args.repeat, console)
        except subprocess.TimeoutExpired:
            print("%-10s %10s" % (path.stem, "timeout"))
            continue
        python_s, result = best_of(args.repeat, lambda: quorvel.attractors(path))
        same = answer(result.raw) == answer(console_raw)
        ratio = python_s / console_s
        total_console += console_s
        total_python += python_s
        if console_s >= 0.1 and ratio > worst[0]:
            worst = (ratio, path.stem)
        print("%-10s %10.3f %10.3f %7.2f  %s" % (path.stem, console_s, python_s, ratio,
                                                 "same" if same else "DIFFERENT"), flush=True)
        if not same:
            sys.exit("answers differ on %s" % path)
    print("total: console %.2f s, python %.2f s, ratio %.2f; worst ratio where the console "
          "takes >= 0.1 s: %.2f (%s)" % (total_console, total_python,
                                        total_python / max(total_console, 1e-9), *worst))


if __name__ == "__main__":
    main()
