#!/usr/bin/env python3
"""Compares two grouped answers (--inputs grouped --format json) of one
network, as sets: each outcome is keyed by its list of attractors (each
attractor by its sorted cubes), and two outcomes with the same key must hold
the same settings. The settings of an outcome are disjoint cubes, so they
are equal when each side counts as many settings as their intersection.

Meant for checking a change of the grouping against the version before it,
on networks too large for the exhaustive reference. Exits 1 on a difference.

usage: compare_outcomes.py A.json B.json
"""
import json
import sys


def outcomes(path):
    doc = json.load(open(path))
    by_list = {}
    for outcome in doc['outcomes']:
        key = frozenset(tuple(sorted(a['cubes'])) for a in outcome['attractors'])
        if key in by_list:
            sys.exit('%s: two outcomes have one list of attractors' % path)
        by_list[key] = outcome['settings']
    return doc['inputs'], by_list


def size(cube):
    return 2 ** cube.count('-')


def common(a, b):
    n = 1
    for x, y in zip(a, b):
        if x == '-' and y == '-':
            n *= 2
        elif x != '-' and y != '-' and x != y:
            return 0
    return n


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    inputs_a, a = outcomes(sys.argv[1])
    inputs_b, b = outcomes(sys.argv[2])
    if inputs_a != inputs_b:
        sys.exit('DIFFER: the inputs')
    if set(a) != set(b):
        sys.exit('DIFFER: %d and %d outcomes, not the same lists of attractors' % (len(a), len(b)))
    for key, settings in a.items():
        other = b[key]
        here, there = sum(map(size, settings)), sum(map(size, other))
        both = sum(common(x, y) for x in settings for y in other)
        if not here == there == both:
            sys.exit('DIFFER: an outcome holds %d settings on one side, %d on the other, '
                     '%d on both' % (here, there, both))
    print('same: %d outcomes' % len(a))


if __name__ == '__main__':
    main()
