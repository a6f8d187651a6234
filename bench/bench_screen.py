#!/usr/bin/env python3
"""Perturbation screens on a local Dask cluster with 1 and with 2 workers.

The screens: every single perturbation of every network of a folder with at
most --max-genes genes (index.tsv), and every double perturbation of one
network (--double). Per worker count and screen: the analyses, the wall
seconds of the whole screen, the analyses' own seconds (summed from the
rows), the workers' CPU seconds, and the overhead per analysis: wall seconds
x workers / analyses minus the mean analysis seconds (what a task costs
beyond its analysis: scheduling, transfer, the row). Then the speed-up of 2
workers over 1 in wall seconds, and in analyses running at once on average
(analysis seconds / wall seconds, which a load that slows the analyses
themselves changes less), and the load average before and after each run. Run with
the system interpreter and the package importable, e.g.

  PYTHONPATH=python:build/python /usr/bin/python3 bench/bench_screen.py --out bench/results/screen.txt
"""
import argparse
import csv
import os
import pathlib
import resource
import subprocess
import sys
import time

import quorvel
from quorvel import screening

ROOT = pathlib.Path(__file__).resolve().parents[1]


def worker_cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def load():
    return " ".join("%.1f" % x for x in os.getloadavg())


def run_screens(client, workers, jobs):
    """(name, analyses, wall s, analysis s, worker CPU s, failed) per job."""
    figures = []
    for name, paths, kind in jobs:
        cpu = sum(client.run(worker_cpu).values())
        start = time.perf_counter()
        analyses = seconds = failed = 0
        for path in paths:
            table = quorvel.screen(path, kind, client=client)
            analyses += len(table)
            seconds += float(table["seconds"].sum())
            failed += int((table["error"] != "").sum())
        wall = time.perf_counter() - start
        cpu = sum(client.run(worker_cpu).values()) - cpu
        figures.append((name, analyses, wall, seconds, cpu, failed))
        print("%d worker(s) %-8s %6d analyses  %8.1f s wall  %8.1f s in analyses  "
              "%8.1f s worker CPU  %d failed  (load %s)"
              % (workers, name, analyses, wall, seconds, cpu, failed, load()), file=sys.stderr)
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--networks", default=str(ROOT.parent / "shared" / "networks"))
    parser.add_argument("--variant", default="inputs-off")
    parser.add_argument("--max-genes", type=int, default=100)
    parser.add_argument("--double", default="bbm-017", help="the ~50-gene network")
    parser.add_argument("--out", help="also write the report here")
    args = parser.parse_args()
    networks = pathlib.Path(args.networks)
    with open(networks / "index.tsv", newline="") as stream:
        index = list(csv.DictReader(stream, delimiter="\t"))
    small = [networks / args.variant / (r["id"] + ".net") for r in index
             if int(r["genes"]) <= args.max_genes]
    small = [p for p in small if p.exists()]
    genes = {r["id"]: int(r["genes"]) for r in index}
    jobs = [("single", small, "single"),
            ("double", [networks / args.variant / (args.double + ".net")], "double")]

    commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip()
    dirty = subprocess.run(["git", "-C", str(ROOT), "status", "--porcelain", "--", "python"],
                           capture_output=True, text=True).stdout.strip()
    lines = []
    results = {}
    for workers in (1, 2):
        before = load()
        cluster, client = screening._local_cluster(workers, None)
        try:
            client.wait_for_workers(workers)
            quorvel.screen("A -> B\nB -> A\n", "single", client=client)  # warm the workers
            results[workers] = run_screens(client, workers, jobs)
        finally:
            client.close()
            cluster.close()
        lines.append("load average before / after the %d-worker run: %s / %s"
                     % (workers, before, load()))

    report = ["Perturbation screens, bench/bench_screen.py, commit %s%s (BuDDy layer), "
              "local Dask cluster (one thread per worker process), %s/ networks" % (
                  commit, " with python/ changed" if dirty else "", args.variant),
              "single: every single perturbation of the %d networks of at most %d genes; "
              "double: every double perturbation of %s (%d genes)" % (
                  len(small), args.max_genes, args.double, genes.get(args.double, 0)),
              "overhead per analysis = wall x workers / analyses - analysis seconds / analyses",
              "",
              "workers screen   analyses   wall s  analysis s  worker CPU s  overhead ms  failed"]
    for workers, figures in results.items():
        for name, analyses, wall, seconds, cpu, failed in figures:
            overhead = (wall * workers - seconds) / analyses * 1000
            report.append("%7d %-7s %10d %8.1f %11.1f %13.1f %12.1f %7d"
                          % (workers, name, analyses, wall, seconds, cpu, overhead, failed))
    report.append("")
    for k, (name, *_rest) in enumerate(results[1]):
        one, two = results[1][k][2], results[2][k][2]
        busy = [results[w][k][3] / results[w][k][2] for w in (1, 2)]
        report.append("speed-up of 2 workers over 1, %s: %.2fx (wall); analyses running at "
                      "once on average %.2f against %.2f: %.2fx" % (
                          name, one / two, busy[1], busy[0], busy[1] / busy[0]))
    report += [""] + lines
    text = "\n".join(report) + "\n"
    print(text)
    if args.out:
        pathlib.Path(args.out).write_text(text)


if __name__ == "__main__":
    main()
