#!/usr/bin/env python3
"""Checks that the .bnet and SBML-qual forms of every shared model give the
same attractors as its rule file, genes matched by name.

usage: compare_formats.py QUORVEL_PROGRAM NETWORKS_DIR [--min-genes M] [--max-genes N]
                          [--timeout SECONDS]

For every model of NETWORKS_DIR/index.tsv with M to N genes, the console
program runs on models/ID.net; when that finishes within the timeout, it runs
on bnet/ID.bnet and sbml/ID.sbml (where present) with the same timeout, and
the attractors of the three results are compared as sets of sets of states,
each state a mapping from gene name to value, over the genes of the rule file
(a model file may list species that no function reads: free inputs, which
only multiply the attractors). Prints one row per model and a
summary; exit status 1 when any pair differs or a format run fails where the
rule file finished.
"""
import argparse
import os
import subprocess
import sys
import time


def attractors(text):
    """The result text is at the end of the output: a header of names, then
    one line per attractor of 0/1 values. Returns (names, set of attractors),
    an attractor being a frozenset of states, each a sorted tuple of
    (name, value)."""
    lines = text.rstrip("\n").split("\n")
    k = len(lines)
    while k > 0 and lines[k - 1].split() and set(lines[k - 1].split()) <= {"0", "1"}:
        k -= 1
    names = lines[k - 1].split()
    found = set()
    for line in lines[k:]:
        values = line.split()
        n = len(names)
        states = set()
        for s in range(0, len(values), n):
            states.add(tuple(sorted(zip(names, values[s:s + n]))))
        found.add(frozenset(states))
    return names, found


def run(program, path, timeout):
    start = time.monotonic()
    try:
        done = subprocess.run([program, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout, text=True)
    except subprocess.TimeoutExpired:
        return None, "timeout", time.monotonic() - start
    if done.returncode != 0:
        return None, "failed: " + done.stderr.strip()[:200], time.monotonic() - start
    return attractors(done.stdout), "ok", time.monotonic() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("networks")
    parser.add_argument("--min-genes", type=int, default=0)
    parser.add_argument("--max-genes", type=int, default=60)
    parser.add_argument("--timeout", type=float, default=20)
    args = parser.parse_args()

    rows = []
    with open(os.path.join(args.networks, "index.tsv")) as index:
        next(index)
        for line in index:
            fields = line.rstrip("\n").split("\t")
            rows.append((int(fields[2]), fields[0]))
    rows.sort()
    compared = skipped = bad = 0
    for genes, model in rows:
        if genes < args.min_genes or genes > args.max_genes:
            continue
        reference, status, seconds = run(args.program,
                                         os.path.join(args.networks, "models", model + ".net"),
                                         args.timeout)
        if reference is None:
            print(f"{model} {genes:5d} genes  .net {status} ({seconds:.1f} s): not compared")
            skipped += 1
            continue
        report = [f"{model} {genes:5d} genes  .net {len(reference[1])} attractors {seconds:.1f} s"]
        for form, ending in (("bnet", ".bnet"), ("sbml", ".sbml")):
            path = os.path.join(args.networks, form, model + ending)
            if not os.path.exists(path):
                report.append(f"{form}: no file")
                continue
            result, status, seconds = run(args.program, path, args.timeout)
            if result is None:
                report.append(f"{form}: {status} FAIL")
                bad += 1
            else:
                # A model file may list species that no function reads (free
                # inputs); the attractors are compared over the rule file's genes.
                extra = set(result[0]) - set(reference[0])
                kept = set(reference[0])
                projected = {frozenset(tuple(p for p in state if p[0] in kept) for state in a)
                             for a in result[1]}
                if not set(reference[0]) <= set(result[0]) or projected != reference[1]:
                    report.append(f"{form}: DIFFERENT attractors FAIL")
                    bad += 1
                else:
                    note = f", {len(extra)} extra genes" if extra else ""
                    report.append(f"{form}: same ({seconds:.1f} s{note})")
        compared += 1
        print("  ".join(report), flush=True)
    print(f"compared {compared} models ({args.min_genes} to {args.max_genes} genes), "
          f"{skipped} .net runs did not finish, {bad} failures")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
