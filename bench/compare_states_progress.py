#!/usr/bin/env python3
"""Records, then compares byte for byte, the standard output of the console
program in the default states format (progress lines and result text) on the
rule files of the shared networks.

usage: compare_states_progress.py record PROGRAM NETWORKS_DIR OUT_DIR [--timeout S]
       compare_states_progress.py compare PROGRAM NETWORKS_DIR OUT_DIR [--timeout S]

record runs PROGRAM FILE on models/ID.net and inputs-off/ID.net for every id
of NETWORKS_DIR/index.tsv and keeps, as OUT_DIR/VARIANT/ID.out, the standard
output of every run that ends with status 0 within the timeout (default 10 s).
compare runs PROGRAM on every file so kept (timeout default 120 s, so that a
loaded machine does not turn a model into a miss) and checks that its
standard output is the same bytes. Prints one row per model that differs and
a summary; exit status 1 when any differs or fails.
"""
import argparse
import os
import subprocess
import sys
import time

VARIANTS = ("models", "inputs-off")


def ids(networks):
    with open(os.path.join(networks, "index.tsv"), encoding="utf-8") as index:
        rows = [line.split("\t") for line in index.read().splitlines()[1:] if line]
    return [row[0] for row in rows]


def run(program, path, timeout):
    """(standard output, status text, seconds)."""
    start = time.monotonic()
    try:
        done = subprocess.run([program, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "timeout", time.monotonic() - start
    seconds = time.monotonic() - start
    if done.returncode != 0:
        return None, "status %d: %s" % (done.returncode,
                                         done.stderr.decode(errors="replace").strip()[:200]), seconds
    return done.stdout, "ok", seconds


def record(args):
    kept = 0
    for variant in VARIANTS:
        os.makedirs(os.path.join(args.out, variant), exist_ok=True)
        for model in ids(args.networks):
            path = os.path.join(args.networks, variant, model + ".net")
            if not os.path.exists(path):
                continue
            out, status, seconds = run(args.program, path, args.timeout or 10)
            print("%-11s %-8s %7.2f s  %s" % (variant, model, seconds, status), flush=True)
            if out is None:
                continue
            with open(os.path.join(args.out, variant, model + ".out"), "wb") as kept_file:
                kept_file.write(out)
            kept += 1
    print("kept %d outputs in %s" % (kept, args.out))
    return 0


def compare(args):
    same = differ = 0
    for variant in VARIANTS:
        folder = os.path.join(args.out, variant)
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            model = name[:-len(".out")]
            with open(os.path.join(folder, name), "rb") as kept_file:
                expected = kept_file.read()
            path = os.path.join(args.networks, variant, model + ".net")
            out, status, seconds = run(args.program, path, args.timeout or 120)
            if out == expected:
                same += 1
                continue
            differ += 1
            where = "" if out is None else " (first difference at byte %d)" % next(
                (k for k, (a, b) in enumerate(zip(out, expected)) if a != b),
                min(len(out), len(expected)))
            print("%-11s %-8s %7.2f s  DIFFERS: %s%s" % (variant, model, seconds, status, where),
                  flush=True)
    print("%d identical, %d differ" % (same, differ))
    return 1 if differ else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=("record", "compare"))
    parser.add_argument("program")
    parser.add_argument("networks")
    parser.add_argument("out")
    parser.add_argument("--timeout", type=float, default=None)
    args = parser.parse_args()
    return record(args) if args.mode == "record" else compare(args)


if __name__ == "__main__":
    sys.exit(main())
