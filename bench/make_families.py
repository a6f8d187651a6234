#!/usr/bin/env python3
"""Writes the synthetic network families of the scaling benchmark, in the
console's rule format, one file per size: DIR/<family>-<size>.net.

usage: make_families.py DIR [--family NAME ...] [--sizes N ...] [--seed S]

Each family grows by doubling (default sizes below) so that the slope of
log time against log size reads as the exponent of its growth. The random
families draw from Python's random.Random(seed), so one seed always gives
the same files.

  chain    G0 -> G0, G(i-1) -> Gi: n genes, two steady states
  ring     G(i-1) -> Gi around a ring of n genes: two steady states
  star     hub H := OR of n leaves, every leaf := H: two steady states
  loops    k two-gene positive loops in a chain, loop i pushed ON by loop
           i-1 (Ai := Bi | A(i-1), Bi := Ai): 2k genes, k+1 steady states
  inputs   k free inputs Xi -> Xi: 2^k steady states
  switches k independent toggle switches ^Bi -> Ai, ^Ai -> Bi: 2^k steady
           states
  random   n genes, each with 1 to 3 random regulators and a random rule of
           one or two terms (in-degree at most 3)
  block    one strongly connected block of n genes (every gene reads the one
           before it around a ring) with two more random regulators per gene,
           so it holds many feedback loops
  negring  a negative ring of n genes (G(i-1) -> Gi, ^G(n-1) -> G0): one
           cyclic attractor of 2n states
  random23 n genes, each with 2 or 3 random regulators (in-degree 2-3)
  rrings   k rings of 4 genes, ring j's first gene also reads ring j-1 (and
           ring k-1 ring 0 again), so all 4k genes form one block with many
           cycles
  modules  a chain of k modules of 3 to 5 genes (a ring inside each module),
           every module reading genes of earlier modules only; k = 50 gives
           about 200 genes (see make_modules)
  rmodules the same chain with random rules inside each module (see
           make_rmodules)
  gated    k independent blocks, each reading inputs of its own, whose
           attractors differ with them: --inputs grouped answers 2^k
           outcomes (see make_gated)
"""
import argparse
import os
import random
import re

DEFAULT_SIZES = {
    'chain': [25, 50, 100, 200, 400, 800, 1600],
    'ring': [125, 250, 500, 1000, 2000],
    'star': [125, 250, 500, 1000, 2000],
    'loops': [25, 50, 100, 200, 400, 800],
    'inputs': [8, 10, 12, 14, 16, 18],
    'switches': [8, 10, 12, 14, 16],
    'random': [50, 100, 200, 400, 800],
    'block': [8, 16, 32, 64, 128, 160, 256],
    'negring': [125, 250, 500, 1000, 2000, 4000, 10000],
    'random23': [50, 100, 200, 400, 1000],
    'rrings': [4, 8, 16, 32, 64, 128],
    'modules': [6, 12, 25, 50, 100],
    'rmodules': [6, 12, 25, 50, 100],
    'gated': [10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20],
}


def rule(literals, target, inhibiting=False):
    """One rule line: the conjunction of the literals (gene names, '^' in
    front for NOT), the arrow and the target."""
    return '&'.join(literals) + (' -| ' if inhibiting else ' -> ') + target


def make_chain(n, _rng):
    return [rule(['G0'], 'G0')] + [rule(['G%d' % (i - 1)], 'G%d' % i) for i in range(1, n)]


def make_ring(n, _rng):
    return [rule(['G%d' % ((i - 1) % n)], 'G%d' % i) for i in range(n)]


def make_star(n, _rng):
    return [rule(['L%d' % i], 'H') for i in range(n)] + [rule(['H'], 'L%d' % i) for i in range(n)]


def make_loops(k, _rng):
    lines = []
    for i in range(k):
        a, b = 'A%d' % i, 'B%d' % i
        lines.append(rule([b], a))
        if i > 0:
            lines.append(rule(['A%d' % (i - 1)], a))
        lines.append(rule([a], b))
    return lines


def make_inputs(k, _rng):
    return [rule(['X%d' % i], 'X%d' % i) for i in range(k)]


def make_switches(k, _rng):
    lines = []
    for i in range(k):
        lines += [rule(['^B%d' % i], 'A%d' % i), rule(['^A%d' % i], 'B%d' % i)]
    return lines


def random_terms(target, regulators, rng):
    """One or two rules for target over its regulators, each a conjunction of
    one or two random literals, activating or (rarely) inhibiting."""
    lines = []
    for _ in range(rng.randint(1, 2)):
        chosen = rng.sample(regulators, min(len(regulators), rng.randint(1, 2)))
        literals = [('^' if rng.random() < 0.3 else '') + g for g in chosen]
        lines.append(rule(literals, target, inhibiting=rng.random() < 0.15))
    return lines


def make_random(n, rng):
    lines = []
    for i in range(n):
        regulators = rng.sample(['G%d' % j for j in range(n)], rng.randint(1, 3))
        lines += random_terms('G%d' % i, regulators, rng)
    return lines


def make_negring(n, _rng):
    return [rule(['^G%d' % (n - 1)], 'G0')] + [rule(['G%d' % (i - 1)], 'G%d' % i)
                                               for i in range(1, n)]


def make_random23(n, rng):
    lines = []
    for i in range(n):
        regulators = rng.sample(['G%d' % j for j in range(n)], rng.randint(2, 3))
        lines += random_terms('G%d' % i, regulators, rng)
        # Every drawn regulator is read, so the in-degree is 2 or 3.
        read = set(re.sub(r'[\^&]', ' ', ' '.join(l.split(' ')[0] for l in lines
                                                    if l.endswith(' G%d' % i))).split())
        lines += [rule([g], 'G%d' % i) for g in regulators if g not in read]
    return lines


def make_rrings(k, rng):
    lines = []
    for j in range(k):
        genes = ['R%d_%d' % (j, m) for m in range(4)]
        prev = 'R%d_%d' % ((j - 1) % k, rng.randint(0, 3))
        sign = '^' if rng.random() < 0.5 else ''
        lines += [rule([genes[3], sign + prev], genes[0]), rule(['^' + genes[3]], genes[0])]
        lines += [rule([genes[m - 1]], genes[m]) for m in range(1, 4)]
    return lines


def make_block(n, rng):
    lines = []
    for i in range(n):
        ring = 'G%d' % ((i - 1) % n)
        others = rng.sample(['G%d' % j for j in range(n) if j != (i - 1) % n], 2)
        # The ring edge is in every activating term, so the block stays one
        # strongly connected component whatever the other terms say.
        lines.append(rule([ring, others[0]], 'G%d' % i))
        lines.append(rule([ring, ('^' if rng.random() < 0.5 else '') + others[1]], 'G%d' % i))
    return lines


def make_modules(k, rng):
    """Module m is a ring of 3 to 5 genes M<m>_0 .. M<m>_(s-1) whose first
    gene also reads one gene X of the last few modules before it. Most
    modules are followers (M_0 := X, M_1 := M_0 & M_last, M_j := M_(j-1) |
    M_0: one feedback loop, yet one state for each value of X); about one in
    eight is a switch (M_0 := M_last | X: X pushes it ON, else it keeps either
    value) and one in twenty an oscillator (M_0 := X & NOT M_2, three genes:
    a negative ring that runs while X is ON, read by no later module). The
    answer stays small (tens of attractors of tens of states) while the
    genes grow."""
    lines, earlier = [], []
    for m in range(k):
        size = rng.randint(3, 5)
        genes = ['M%d_%d' % (m, j) for j in range(size)]
        last = genes[-1]
        kind = rng.random() if earlier else 0.0
        x = rng.choice(earlier[-10:]) if earlier else None
        if kind < 0.12:  # a switch (the first module: a plain positive ring)
            lines += [rule([last], genes[0])] + ([rule([x], genes[0])] if x else [])
            lines += [rule([genes[j - 1]], genes[j]) for j in range(1, size)]
        elif kind < 0.17:  # an oscillator, of three genes, that no module reads
            lines.append(rule(['^' + genes[2], x], genes[0]))
            lines += [rule([genes[0]], genes[1]), rule([genes[1]], genes[2])]
            continue
        else:  # a follower
            lines += [rule([x], genes[0]), rule([genes[0], last], genes[1])]
            for j in range(2, size):
                lines += [rule([genes[j - 1]], genes[j]), rule([genes[0]], genes[j])]
        earlier += genes
    return lines


def make_rmodules(k, rng):
    """Like make_modules, with random modules: each gene of a ring of 3 to 5
    genes reads the one before it on the ring and one or two random genes of
    its own module or (for the first gene, always) of the last modules
    before it, through random rules that keep the ring edge in every term,
    so each module stays one block."""
    lines, earlier = [], []
    for m in range(k):
        size = rng.randint(3, 5)
        genes = ['R%d_%d' % (m, j) for j in range(size)]
        for j, target in enumerate(genes):
            ring = genes[j - 1]
            pool = [g for g in genes if g not in (ring, target)]
            if earlier and (j == 0 or rng.random() < 0.3):
                pool = earlier[-12:]
            other = rng.choice(pool)
            sign = '^' if rng.random() < 0.3 else ''
            if rng.random() < 0.5:
                lines += [rule([ring], target), rule([sign + other], target)]
            else:
                lines.append(rule([ring, sign + other], target))
        earlier += genes
    return lines


def make_gated(k, rng):
    """k blocks, block j reading only inputs of its own (Ij -> Ij), so the
    outcomes multiply: each block has one list of attractors for some
    settings of its inputs and another for the others, 2^k outcomes in all.
    Block 0 is a toggle switch that its input stops (Aj := NOT Bj AND NOT Ij,
    Bj := NOT Aj: two steady states, or one), so half the outcomes hold two
    attractors; block 1 reads two inputs (Aj := Ij AND Jj, Bj := Aj), so the
    settings of an outcome are one or two cubes. Every other block is of a
    kind drawn per block, one attractor of one cube for each value of Ij:
      off:    a negative loop that the input stops (Aj := NOT Bj AND NOT Ij,
              Bj := Aj): all four states of Aj, Bj cycle, or 00
      on:     a negative loop that the input holds ON (Aj := NOT Bj OR Ij,
              Bj := Aj): the four states cycle, or 11
      three:  the loop that the input stops, read by Cj := Aj OR Bj: all
              eight states, or 000
      follow: Aj := Ij, Bj := Aj (two blocks of one gene, no search): 00 or 11
    The size of one outcome grows with k alone.
    """
    lines = []
    for j in range(k):
        i, a, b = 'I%d' % j, 'A%d' % j, 'B%d' % j
        lines.append(rule([i], i))
        if j == 0:
            lines += [rule(['^' + b, '^' + i], a), rule(['^' + a], b)]
            continue
        if j == 1:
            lines += [rule(['J1'], 'J1'), rule([i, 'J1'], a), rule([a], b)]
            continue
        kind = rng.choice(['off', 'on', 'three', 'follow'])
        if kind in ('off', 'three'):
            lines += [rule(['^' + b, '^' + i], a), rule([a], b)]
            if kind == 'three':
                lines += [rule([a], 'C%d' % j), rule([b], 'C%d' % j)]
        elif kind == 'on':
            lines += [rule(['^' + b], a), rule([i], a), rule([a], b)]
        else:
            lines += [rule([i], a), rule([a], b)]
    return lines


FAMILIES = {name[5:]: fn for name, fn in globals().items() if name.startswith('make_')
            and name != 'make_families'}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('directory')
    parser.add_argument('--family', nargs='*', default=sorted(DEFAULT_SIZES))
    parser.add_argument('--sizes', nargs='*', type=int, default=None)
    parser.add_argument('--seed', type=int, default=17)
    args = parser.parse_args()
    os.makedirs(args.directory, exist_ok=True)
    for family in args.family:
        for size in args.sizes or DEFAULT_SIZES[family]:
            rng = random.Random('%s-%d-%d' % (family, size, args.seed))
            path = os.path.join(args.directory, '%s-%d.net' % (family, size))
            with open(path, 'w') as out:
                out.write('\n'.join(FAMILIES[family](size, rng)) + '\n')
            print(path)
    return 0


if __name__ == '__main__':
    raise SystemExit(main())
