#!/usr/bin/env python3
"""Sets the grouped times of bench_inputs.py (its --cache file) beside the
published times of the field's leading tool (a CSV of 'Benchmark, Time[s]'
rows whose names read [vGENES]__[rREGULATIONS]__[NAME]__[SOURCE]).

A published model is matched to a network of the index (id, name, genes,
...) with the same number of genes whose name is alike: equal once case and
punctuation are dropped, or alike by difflib's ratio (at least --alike, 0.7
by default; the published names and ours spell some models differently,
TUMOR and TUMOUR, SIGNALING and SIGNALLING). Its regulations are counted
from the .bnet file (distinct regulators per gene, summed) as a check on
the match: the column 'regs' gives ours against the published count.

Prints one row per matched model and a summary: how many models each tool
answered faster, and the median ratio grouped / published. The hardware
differs (the published times come from another machine); the ratio is a
guide, not a race.

usage: compare_reference.py CACHE_JSON --index index.tsv --reference times.csv
                            [--bnet DIR] [--alike 0.7]
"""
import argparse
import csv
import difflib
import json
import os
import re
import statistics
import sys


# Both times under this many seconds: start-up and rounding, no winner.
kTie = 0.05


def normalised(name):
    return re.sub(r'[^A-Z0-9]', '', name.upper())


def read_index(path):
    networks = {}
    with open(path) as f:
        for row in csv.DictReader(f, delimiter='\t'):
            networks[row['id']] = (row['name'], int(row['genes']))
    return networks


def read_reference(path):
    """[(name, genes, regulations, seconds or None for a failure)]."""
    models = []
    with open(path) as f:
        for row in list(csv.reader(f))[1:]:
            match = re.match(r'\[v(\d+)\]__\[r(\d+)\]__\[(.*)\]__\[.*\]', row[0].strip())
            if not match:
                continue
            time = row[1].strip()
            seconds = None if time == 'fail' else float(time)
            models.append((match[3], int(match[1]), int(match[2]), seconds))
    return models


def regulations_of(bnet_path):
    """Distinct regulators per gene, summed over the genes of a .bnet file."""
    total = 0
    with open(bnet_path) as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith('#') or line.startswith('targets'):
                continue
            _, expression = line.split(',', 1)
            names = set(re.findall(r'[A-Za-z_][A-Za-z0-9_.]*', expression))
            total += len(names)
    return total


def best_match(name, genes, networks, alike):
    """The id of the index network matching a published model, or None."""
    best = None
    for ident, (ours, our_genes) in networks.items():
        if our_genes != genes:
            continue
        ratio = difflib.SequenceMatcher(None, normalised(ours), normalised(name)).ratio()
        if best is None or ratio > best[0]:
            best = (ratio, ident)
    return best[1] if best and best[0] >= alike else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('cache')
    parser.add_argument('--index', required=True)
    parser.add_argument('--reference', required=True)
    parser.add_argument('--bnet', default=None)
    parser.add_argument('--alike', type=float, default=0.7)
    args = parser.parse_args()
    with open(args.cache) as f:
        cache = json.load(f)
    networks = read_index(args.index)
    print('%-8s %-45s %5s %9s %9s %9s %9s %8s' %
          ('id', 'published name', 'genes', 'regs', 'off s', 'grouped s', 'published', 'ratio'))
    ratios, faster, slower, ties = [], 0, 0, 0
    for name, genes, regulations, seconds in read_reference(args.reference):
        ident = best_match(name, genes, networks, args.alike)
        if ident is None:
            continue
        row = cache.get(ident + '.net', {})

        def shown(mode):
            run = row.get(mode)
            if run is None:
                return '-'
            return '%.2f' % run['cpu'] if run['status'] == 'ok' else run['status']

        regs = '-'
        if args.bnet and os.path.exists(os.path.join(args.bnet, ident + '.bnet')):
            regs = '%d/%d' % (regulations_of(os.path.join(args.bnet, ident + '.bnet')),
                              regulations)
        grouped = row.get('grouped', {})
        ratio = ''
        if grouped.get('status') == 'ok' and seconds is not None:
            # Times under 10 ms are start-up and rounding on both sides.
            value = max(grouped['cpu'], 0.01) / max(seconds, 0.01)
            ratios.append(value)
            if max(grouped['cpu'], seconds) < kTie:
                ties += 1
            else:
                faster += value < 1
                slower += value > 1
            ratio = '%.2f' % value
        elif grouped.get('status') == 'ok':
            faster += 1
            ratio = 'fail'
        elif seconds is not None and grouped:
            slower += 1
        print('%-8s %-45s %5d %9s %9s %9s %9s %8s' %
              (ident, name[:45], genes, regs, shown('off'), shown('grouped'),
               'fail' if seconds is None else '%.2f' % seconds, ratio))
    if ratios:
        print('\nmatched and both answered: %d; both under %.2f s (start-up, no winner): %d; '
              'grouped faster on %d, slower on %d (a published failure or our timeout counts '
              'for the other); median ratio grouped / published %.2f' %
              (len(ratios), kTie, ties, faster, slower, statistics.median(ratios)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
