#!/usr/bin/env python3
"""Synchronous attractors side by side with R's BoolNet.

For every network of <networks>/models and <networks>/inputs-off with at most
--max-genes genes, runs `quorvel --update sync --format json` and BoolNet's
getAttractors(type = "synchronous", method = "sat.exhaustive"), alternating
per network, each under a wall-clock limit, and compares the two answers as
sets of sets of states.

CPU seconds (user + system): BoolNet's is the search alone, taken by
proc.time() around getAttractors inside R (R's start-up, the package load and
loadNetwork excluded); Quorvel's is its analysis alone, taken the same way
around topFuncQuorvel by bench_sync (built with the tests; reading the file
included, the program's start-up excluded), given with --bench-sync; the
whole console program's CPU is listed beside it. A run that passed its limit
has no figure.

BoolNet (Debian r-cran-boolnet) is not needed by anything else of the
project; --install installs it through apt when it is missing.

    python3 bench/bench_sync_boolnet.py build/quorvel ../shared/networks \\
        --bench-sync build/bench/bench_sync --out bench/results/sync-vs-boolnet.txt [--install] [--limit 60]
"""
import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

R_SCRIPT = r"""
suppressMessages(library(BoolNet))
args <- commandArgs(TRUE)
net <- loadNetwork(args[1])
t0 <- proc.time()
attr <- getAttractors(net, type = "synchronous", method = "sat.exhaustive")
t1 <- proc.time()
d <- t1 - t0
cat("cpu", d[["user.self"]] + d[["sys.self"]], "\n")
cat("genes", net$genes, "\n")
for (a in attr$attractors) cat("attractor", ncol(a$involvedStates), as.vector(a$involvedStates), "\n")
"""


def read_rules(path):
    """The rule file as {target: (activating terms, inhibiting terms)} and the
    gene names in order of first appearance; a term is a list of
    (name, plain)."""
    rules, order = {}, []

    def see(name):
        if name not in rules:
            rules[name] = ([], [])
            order.append(name)

    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if "->" in line:
                lhs, target = line.split("->")
                kind = 0
            elif "-|" in line:
                lhs, target = line.split("-|")
                kind = 1
            else:
                continue
            target = target.strip()
            see(target)
            term = []
            for lit in lhs.strip().split("&"):
                lit = lit.strip()
                if not lit:
                    continue
                plain = not lit.startswith("^")
                name = lit.lstrip("^")
                see(name)
                term.append((name, plain))
            rules[target][kind].append(term)
    return rules, order


def boolnet_text(rules, order):
    """BoolNet's network text, genes renamed g0, g1, ... in `order`."""
    alias = {name: "g%d" % k for k, name in enumerate(order)}

    def disj(terms):
        parts = []
        for term in terms:
            if not term:
                return "1"
            parts.append("(" + " & ".join(("" if p else "!") + alias[n] for n, p in term) + ")")
        return " | ".join(parts)

    lines = ["targets, factors"]
    for name in order:
        act, inh = rules[name]
        if act and inh:
            expr = "(%s) & !(%s)" % (disj(act), disj(inh))
        elif act:
            expr = disj(act)
        elif inh:
            expr = "!(%s)" % disj(inh)
        else:
            expr = "0"
        lines.append("%s, %s" % (alias[name], expr))
    return "\n".join(lines) + "\n"


def run_timed(cmd, limit):
    """(stdout, CPU seconds of the child, standard error); stdout None past
    the limit or on failure."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    try:
        out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             timeout=limit, text=True)
    except subprocess.TimeoutExpired:
        return None, None, ""
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if out.returncode != 0:
        return None, cpu, out.stderr
    return out.stdout, cpu, out.stderr


def expand(cube):
    states = [""]
    for c in cube:
        states = [s + v for s in states for v in ("01" if c == "-" else c)]
    return states


def quorvel_answer(text, order):
    doc = json.loads(text)
    genes = doc["genes"]
    where = [genes.index(name) for name in order]
    answer = set()
    for a in doc["attractors"]:
        states = set()
        for cube in a["cubes"]:
            for s in expand(cube):
                states.add("".join(s[k] for k in where))
        answer.add(frozenset(states))
    return answer


def boolnet_answer(text, order):
    cpu, genes, answer = None, None, set()
    for line in text.splitlines():
        words = line.split()
        if not words:
            continue
        if words[0] == "cpu":
            cpu = float(words[1])
        elif words[0] == "genes":
            genes = words[1:]
        elif words[0] == "attractor":
            count = int(words[1])
            values = [int(w) & 0xFFFFFFFF for w in words[2:]]
            chunks = len(values) // count
            states = set()
            for k in range(count):
                words32 = values[k * chunks:(k + 1) * chunks]
                states.add("".join(str((words32[i // 32] >> (i % 32)) & 1)
                                   for i in range(len(genes))))
            answer.add(frozenset(states))
    # BoolNet's genes are g0, g1, ... in `order`.
    assert genes == ["g%d" % k for k in range(len(order))], genes
    return cpu, answer


def ensure_boolnet(install):
    ok = subprocess.run(["Rscript", "-e", "library(BoolNet)"], stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL).returncode == 0 if have("Rscript") else False
    if ok:
        return
    if not install:
        sys.exit("BoolNet is not installed (run with --install, or apt-get install r-cran-boolnet)")
    subprocess.run(["apt-get", "update"], check=True)
    subprocess.run(["apt-get", "install", "-y", "--no-install-recommends", "r-cran-boolnet"],
                   check=True, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def have(program):
    return any(os.access(os.path.join(d, program), os.X_OK)
               for d in os.environ.get("PATH", "").split(os.pathsep))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("quorvel")
    ap.add_argument("networks")
    ap.add_argument("--limit", type=float, default=60.0)
    ap.add_argument("--bench-sync", default="", help="bench_sync program (analysis CPU)")
    ap.add_argument("--max-genes", type=int, default=100)
    ap.add_argument("--variants", default="models,inputs-off")
    ap.add_argument("--ids", default="", help="comma-separated ids (default: all)")
    ap.add_argument("--install", action="store_true")
    ap.add_argument("--out", default="")
    args = ap.parse_args()
    ensure_boolnet(args.install)

    index = {}
    with open(os.path.join(args.networks, "index.tsv")) as f:
        next(f)
        for line in f:
            cols = line.rstrip("\n").split("\t")
            index[cols[0]] = int(cols[2])
    ids = [i for i in sorted(index) if index[i] <= args.max_genes]
    if args.ids:
        ids = [i for i in ids if i in args.ids.split(",")]

    work = tempfile.mkdtemp(prefix="syncbench")
    script = os.path.join(work, "boolnet.R")
    with open(script, "w") as f:
        f.write(R_SCRIPT)

    rows = []
    header = "%-8s %-10s %5s %9s %9s %9s %9s %9s %-6s" % (
        "id", "variant", "genes", "attr-Q", "cpu-Q", "prog-Q", "attr-B", "cpu-B", "equal")
    print(header, flush=True)
    for ident in ids:
        for variant in args.variants.split(","):
            path = os.path.join(args.networks, variant, ident + ".net")
            if not os.path.exists(path):
                continue
            rules, order = read_rules(path)
            bnet = os.path.join(work, ident + "-" + variant + ".bnet")
            with open(bnet, "w") as f:
                f.write(boolnet_text(rules, order))
            qtext, qprog, _ = run_timed([args.quorvel, "--update", "sync", "--format", "json",
                                         "--quiet", path], args.limit)
            qcpu = qprog
            if args.bench_sync and qtext is not None:
                _, _, err = run_timed(["env", "LD_BIND_NOW=1", args.bench_sync, path],
                                      args.limit)
                qcpu = next((float(l.split()[1]) for l in err.splitlines()
                             if l.startswith("cpu ")), None)
            btext, _, _ = run_timed(["Rscript", script, bnet], args.limit)
            try:
                qans = quorvel_answer(qtext, order) if qtext is not None else None
            except ValueError as e:  # not JSON: counted as no answer
                print("%s %s: quorvel's output is not JSON: %s" % (ident, variant, e))
                qans = None
            bcpu, bans = boolnet_answer(btext, order) if btext is not None else (None, None)
            if qans is None or bans is None:
                equal = "-"
            else:
                equal = "yes" if qans == bans else "NO"
            row = (ident, variant, len(order),
                   len(qans) if qans is not None else None, qcpu if qans is not None else None,
                   qprog if qans is not None else None,
                   len(bans) if bans is not None else None, bcpu, equal)
            rows.append(row)
            print(fmt(row), flush=True)

    summary = summarize(rows)
    print(summary)
    if args.out:
        commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], stdout=subprocess.PIPE,
                                text=True, cwd=os.path.dirname(os.path.abspath(__file__))).stdout.strip()
        with open(args.out, "w") as f:
            f.write("# Synchronous attractors: quorvel (commit %s, %s) against BoolNet %s\n" % (
                commit, os.path.relpath(args.quorvel), boolnet_version()))
            f.write("# sat.exhaustive; limit %g s wall each; CPU seconds: quorvel whole program, "
                    "BoolNet getAttractors alone; '-' = no answer within the limit\n" % args.limit)
            f.write("# measured %s on a 2-core machine shared with other jobs\n" %
                    time.strftime("%Y-%m-%d"))
            f.write(header + "\n")
            for row in rows:
                f.write(fmt(row) + "\n")
            f.write(summary + "\n")


def fmt(row):
    ident, variant, genes, qa, qc, qp, ba, bc, equal = row
    num = lambda v: "-" if v is None else str(v)
    sec = lambda v: "-" if v is None else "%.3f" % v
    return "%-8s %-10s %5d %9s %9s %9s %9s %9s %-6s" % (
        ident, variant, genes, num(qa), sec(qc), sec(qp), num(ba), sec(bc), equal)


def summarize(rows):
    answered = [r for r in rows if r[6] is not None]
    both = [r for r in answered if r[3] is not None]
    equal = [r for r in both if r[8] == "yes"]
    faster = [r for r in equal if r[4] is not None and r[4] < r[7]]
    missed = [r[0] + "/" + r[1] for r in answered if r[3] is None]
    differ = [r[0] + "/" + r[1] for r in both if r[8] != "yes"]
    slower = ["%s/%s (%.3f against %.3f)" % (r[0], r[1], r[4], r[7]) for r in equal
              if r not in faster and r[4] is not None]
    quorvel_only = [r[0] + "/" + r[1] for r in rows if r[6] is None and r[3] is not None]
    neither = [r[0] + "/" + r[1] for r in rows if r[6] is None and r[3] is None]
    lines = [
        "networks: %d; BoolNet answered %d; quorvel answered %d of those, equal on %d; "
        "quorvel less CPU on %d of %d (%.1f %%)" % (
            len(rows), len(answered), len(both), len(equal), len(faster), len(answered),
            100.0 * len(faster) / max(1, len(answered))),
        "BoolNet answered, quorvel not: %s" % (", ".join(missed) or "none"),
        "answers differ: %s" % (", ".join(differ) or "none"),
        "quorvel's analysis not faster than BoolNet's search: %s" % (", ".join(slower) or "none"),
        "quorvel answered, BoolNet not: %s" % (", ".join(quorvel_only) or "none"),
        "neither within the limit: %s" % (", ".join(neither) or "none"),
    ]
    return "\n".join(lines)


def boolnet_version():
    out = subprocess.run(["Rscript", "-e", "cat(as.character(packageVersion('BoolNet')))"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return out.stdout.strip()


if __name__ == "__main__":
    main()
