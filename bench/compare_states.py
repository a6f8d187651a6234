#!/usr/bin/env python3
"""Records the console program's output on every shared rule-file network,
or checks a later build's output against such a record byte for byte.

usage: compare_states.py record QUORVEL_PROGRAM NETWORKS_DIR OUT_DIR
                                [--timeout SECONDS] [--json-max-genes N]
       compare_states.py compare QUORVEL_PROGRAM NETWORKS_DIR OUT_DIR
                                [--timeout SECONDS]

record: runs the program on models/ID.net and inputs-off/ID.net of
NETWORKS_DIR/index.tsv (default states format, standard input empty) and
writes the standard output of each run that ends within the timeout to
OUT_DIR/VARIANT/ID.states (exit status in ID.rc); for networks with at most
N genes also `--format json` into ID.json. Runs that time out are listed in
OUT_DIR/timeouts.txt and not recorded.

compare: runs the program again on every recorded run (a longer timeout is
fine: the machine may be busier) and compares standard output and exit
status byte for byte. Prints each difference and a summary; exit status 1
when any recorded run differs or does not finish.
"""
import argparse
import os
import subprocess
import sys


def run(program, args, timeout):
    """Returns (exit status, stdout bytes) or None on timeout."""
    try:
        done = subprocess.run([program] + args, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    return done.returncode, done.stdout


def networks(networks_dir):
    """(variant, id, genes, path) of every rule file of the index."""
    with open(os.path.join(networks_dir, "index.tsv")) as index:
        rows = [line.rstrip("\n").split("\t") for line in index][1:]
    for variant in ("models", "inputs-off"):
        for row in rows:
            path = os.path.join(networks_dir, variant, row[0] + ".net")
            if os.path.exists(path):
                yield variant, row[0], int(row[2]), path


def record(args):
    timeouts = []
    for variant, ident, genes, path in networks(args.networks):
        os.makedirs(os.path.join(args.out, variant), exist_ok=True)
        runs = [("states", [])]
        if genes <= args.json_max_genes:
            runs.append(("json", ["--format", "json"]))
        for suffix, extra in runs:
            result = run(args.program, extra + [path], args.timeout)
            base = os.path.join(args.out, variant, ident)
            if result is None:
                timeouts.append("%s/%s %s" % (variant, ident, suffix))
                print("timeout", variant, ident, suffix, flush=True)
                break
            with open(base + "." + suffix, "wb") as out:
                out.write(result[1])
            with open(base + "." + suffix + ".rc", "w") as out:
                out.write("%d\n" % result[0])
            print("recorded", variant, ident, suffix, "exit", result[0], flush=True)
    with open(os.path.join(args.out, "timeouts.txt"), "w") as out:
        out.write("".join(t + "\n" for t in timeouts))
    return 0


def compare(args):
    same = differ = 0
    for variant, ident, _genes, path in networks(args.networks):
        for suffix, extra in (("states", []), ("json", ["--format", "json"])):
            base = os.path.join(args.out, variant, ident) + "." + suffix
            if not os.path.exists(base):
                continue
            with open(base, "rb") as f:
                want = f.read()
            with open(base + ".rc") as f:
                want_rc = int(f.read())
            result = run(args.program, extra + [path], args.timeout)
            if result is None:
                print("TIMEOUT", variant, ident, suffix, flush=True)
                differ += 1
            elif result[0] != want_rc or result[1] != want:
                print("DIFFERS", variant, ident, suffix,
                      "exit %d (recorded %d)" % (result[0], want_rc), flush=True)
                differ += 1
            else:
                same += 1
    print("%d identical, %d differing or unfinished" % (same, differ))
    return 1 if differ else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("mode", choices=("record", "compare"))
    parser.add_argument("program")
    parser.add_argument("networks")
    parser.add_argument("out")
    parser.add_argument("--timeout", type=float, default=10.0)
    parser.add_argument("--json-max-genes", type=int, default=60)
    args = parser.parse_args()
    return record(args) if args.mode == "record" else compare(args)


if __name__ == "__main__":
    sys.exit(main())
