// Synchronous attractors by satisfiability (see compSatSync.h).
#include "compSatSync.h"

#include <cadical.hpp>

#include <algorithm>
#include <cstdint>
#include <random>
#include <unordered_set>

#include "bddHandle.h"
#include "compRulesIsop.h"
#include "networkRecords.h"
#include "quorvelError.h"

namespace {

// The sparse form of a cover's products.
std::vector<satProduct> productsOf(const std::vector<coverCube>& cubes) {
    std::vector<satProduct> products;
    products.reserve(cubes.size());
    for (const coverCube& cube : cubes) {
        satProduct p;
        for (size_t v = 0; v < cube.size(); ++v)
            if (cube[v] != 2)
                p.push_back(cube[v] == 1 ? static_cast<int>(v) + 1 : -(static_cast<int>(v) + 1));
        products.push_back(std::move(p));
    }
    return products;
}

long literalsOf(const std::vector<satProduct>& products) {
    long count = 0;
    for (const satProduct& p : products) count += static_cast<long>(p.size()) + 1;
    return count;
}

// True when no variable of `node` is a next-state variable.
bool readsCurrentOnly(DdManager* mgr, DdNode* node, int nInpVar) {
    int* support = nullptr;
    const int count = Cudd_SupportIndices(mgr, node, &support);
    if (count < 0) throw quorvelError("the BDD engine failed to list a support");
    bool current = true;
    for (int k = 0; k < count; ++k) current = current && support[k] < nInpVar;
    std::free(support);
    return current;
}

bool productHolds(const satProduct& p, const satSyncState& x) {
    for (int lit : p) {
        const char value = x[static_cast<size_t>(std::abs(lit) - 1)];
        if ((value == '1') != (lit > 0)) return false;
    }
    return true;
}

}  // namespace

bool makeSatSyncNetwork(DdManager* mgr, const std::vector<DdNode*>& op,
                        const std::vector<DdNode*>& ip, int nInpVar, long maxLiterals,
                        satSyncNetwork& network) {
    satSyncNetwork built;
    built.nGenes = nInpVar;
    long literals = 0;
    for (int g = 0; g < nInpVar; ++g) {
        DdNode* rel = op[static_cast<size_t>(g)];
        DdNode* next = ip[static_cast<size_t>(nInpVar + g)];
        const bddHandle high = bddResult(mgr, Cudd_bddAndAbstract(mgr, rel, next, next));
        const bddHandle low = bddResult(mgr, Cudd_bddAndAbstract(mgr, rel, Cudd_Not(next), next));
        // One next value in every state: the two cofactors are complements
        // of each other and read the current state only.
        const bddHandle both = bddResult(mgr, Cudd_bddAnd(mgr, high.get(), low.get()));
        const bddHandle either = bddResult(mgr, Cudd_bddOr(mgr, high.get(), low.get()));
        if (both.get() != Cudd_ReadLogicZero(mgr) || either.get() != Cudd_ReadOne(mgr) ||
            !readsCurrentOnly(mgr, high.get(), nInpVar))
            return false;
        // The path counts bound the covers' sizes well enough to refuse a
        // function whose covers would be huge before building them.
        if (Cudd_CountPathsToNonZero(high.get()) + Cudd_CountPathsToNonZero(low.get()) >
            static_cast<double>(maxLiterals))
            return false;
        satSyncGene gene;
        gene.on = productsOf(compIrredundantCover(mgr, high.get(), nInpVar));
        gene.off = productsOf(compIrredundantCover(mgr, low.get(), nInpVar));
        literals += literalsOf(gene.on) + literalsOf(gene.off);
        if (literals > maxLiterals) return false;
        built.genes.push_back(std::move(gene));
    }
    network = std::move(built);
    return true;
}

satSyncState nextStateSatSync(const satSyncNetwork& network, const satSyncState& x) {
    satSyncState next(static_cast<size_t>(network.nGenes), '0');
    for (int g = 0; g < network.nGenes; ++g) {
        const std::vector<satProduct>& on = network.genes[static_cast<size_t>(g)].on;
        if (std::any_of(on.begin(), on.end(),
                        [&x](const satProduct& p) { return productHolds(p, x); }))
            next[static_cast<size_t>(g)] = '1';
    }
    return next;
}

namespace {

// The solver and the unrolled path: variable t * nGenes + g + 1 is gene g in
// x_t, the state t steps before the last one, x_0.
struct satSyncPath {
    const satSyncNetwork& network;
    CaDiCaL::Solver solver;
    int steps = 0;

    explicit satSyncPath(const satSyncNetwork& net) : network(net) {
        // The solver writes its own messages to standard output otherwise
        // (one when a clause added is already falsified), into the result.
        solver.set("quiet", 1);
        solver.reserve(network.nGenes);
        for (int g = 0; g < network.nGenes; ++g) solver.freeze(variable(0, g));
    }
    int variable(int t, int g) const { return t * network.nGenes + g + 1; }
    // A literal of a product over x_t.
    int literal(int t, int lit) const {
        const int v = variable(t, std::abs(lit) - 1);
        return lit > 0 ? v : -v;
    }
};

// Adds the step x_{steps+1} -> x_steps. The layer the next step will read
// stays frozen (so the solver never eliminates it); the one before melts.
void addStep(satSyncPath& path) {
    const int from = path.steps + 1, to = path.steps;
    CaDiCaL::Solver& s = path.solver;
    s.reserve((from + 1) * path.network.nGenes);
    for (int g = 0; g < path.network.nGenes; ++g) {
        const satSyncGene& gene = path.network.genes[static_cast<size_t>(g)];
        for (const auto* cover : {&gene.on, &gene.off}) {
            const int y = path.variable(to, g);
            for (const satProduct& p : *cover) {
                for (int lit : p) s.add(-path.literal(from, lit));
                s.add(cover == &gene.on ? y : -y);
                s.add(0);
            }
        }
    }
    for (int g = 0; g < path.network.nGenes; ++g) {
        s.freeze(path.variable(from, g));
        if (to > 0) s.melt(path.variable(to, g));
    }
    path.steps = from;
}

// x_0 must differ from x.
void excludeLast(satSyncPath& path, const satSyncState& x) {
    for (int g = 0; g < path.network.nGenes; ++g) {
        const int v = path.variable(0, g);
        path.solver.add(x[static_cast<size_t>(g)] == '1' ? -v : v);
    }
    path.solver.add(0);
}

// Where a walk of the map from a state ended.
struct satSyncWalk {
    enum { cycle, known, tooLong } end = tooLong;
    long transient = 0;                // steps before the cycle or the known basin
    std::vector<satSyncState> states;  // the new cycle, in order
};

// Walks the map from x (Brent's cycle detection, in constant memory) until
// it closes a cycle or reaches a state of `basin`, within `maxSteps` steps.
satSyncWalk walkMap(const satSyncNetwork& network, const satSyncState& x,
                    const std::unordered_set<satSyncState>& basin, long maxSteps) {
    satSyncWalk walk;
    satSyncState tortoise = x, hare = nextStateSatSync(network, x);
    long power = 1, length = 1, steps = 1;
    for (;;) {
        if (basin.count(hare) != 0) {
            walk.end = satSyncWalk::known;
            walk.transient = steps;
            return walk;
        }
        if (hare == tortoise) break;
        if (steps >= maxSteps) return walk;
        if (power == length) {
            tortoise = hare;
            power *= 2;
            length = 0;
        }
        hare = nextStateSatSync(network, hare);
        ++length;
        ++steps;
    }
    // The cycle has `length` states; its first state is the first one that
    // the state `length` steps ahead meets again.
    tortoise = hare = x;
    for (long k = 0; k < length; ++k) hare = nextStateSatSync(network, hare);
    while (tortoise != hare) {
        tortoise = nextStateSatSync(network, tortoise);
        hare = nextStateSatSync(network, hare);
        ++walk.transient;
    }
    walk.end = satSyncWalk::cycle;
    for (long k = 0; k < length; ++k) {
        walk.states.push_back(tortoise);
        tortoise = nextStateSatSync(network, tortoise);
    }
    return walk;
}

// Transient states of a walk excluded from x_0 at most: each one narrows the
// solver's choice a little, many of them would only load it.
constexpr long kTransientExcluded = 256;

// The random walks before the solver: a fixed seed (the same walks on every
// run), and how many walks in a row may meet known attractors before they
// stop (plus half the number of attractors found).
constexpr std::uint64_t kSampleSeed = 0x5eed5eedULL;
constexpr long kSampleMisses = 64;

}  // namespace

satSyncOutcome compAttractorsSatSync(const satSyncNetwork& network, const satSyncLimits& limits) {
    satSyncOutcome outcome;
    if (network.nGenes == 0) {
        // The one state of no gene is its own successor.
        outcome.attractors.push_back({satSyncState()});
        outcome.complete = true;
        return outcome;
    }
    satSyncPath path(network);
    // The states known to reach a found attractor (its states among them).
    std::unordered_set<satSyncState> basin;
    long attractorStates = 0;
    // Records a new cycle and excludes its states from x_0; false past the
    // bound on attractor states.
    auto record = [&](std::vector<satSyncState>& cycle) {
        attractorStates += static_cast<long>(cycle.size());
        if (attractorStates > limits.maxAttractorStates) return false;
        for (const satSyncState& x : cycle) {
            basin.insert(x);
            excludeLast(path, x);
        }
        outcome.attractors.push_back(std::move(cycle));
        return true;
    };

    // Walks from random states first: attractors with large basins come
    // cheaply this way, where each one found by the solver costs a call
    // that grows with the clauses of those found before (networks whose
    // free inputs give thousands of attractors). The walks stop once they
    // keep meeting known attractors; the solver finds the rest and proves
    // that nothing is left, so the draw never changes the result.
    std::mt19937_64 draw(kSampleSeed);
    long misses = 0;
    while (misses < kSampleMisses + static_cast<long>(outcome.attractors.size()) / 2) {
        satSyncState x(static_cast<size_t>(network.nGenes), '0');
        for (char& value : x) value = (draw() & 1u) != 0 ? '1' : '0';
        if (basin.count(x) != 0) {
            ++misses;
            continue;
        }
        satSyncWalk walk = walkMap(network, x, basin, limits.walkSteps);
        if (walk.end != satSyncWalk::cycle) {
            ++misses;
            continue;
        }
        misses = 0;
        if (!record(walk.states)) return outcome;
    }

    for (;;) {
        const int status = path.solver.solve();
        ++outcome.calls;
        outcome.steps = path.steps;
        if (status == 20) {
            outcome.complete = true;
            return outcome;
        }
        if (status != 10) throw quorvelError("the SAT solver stopped without an answer");
        satSyncState last(static_cast<size_t>(network.nGenes), '0');
        for (int g = 0; g < network.nGenes; ++g)
            if (path.solver.val(path.variable(0, g)) > 0) last[static_cast<size_t>(g)] = '1';

        satSyncWalk walk = walkMap(network, last, basin, limits.walkSteps);
        if (walk.end == satSyncWalk::tooLong) return outcome;
        if (walk.end == satSyncWalk::cycle && !record(walk.states)) return outcome;
        // The walk's transient states lead into the basin as well.
        satSyncState x = last;
        for (long k = 0; k < std::min(walk.transient, kTransientExcluded); ++k) {
            if (basin.insert(x).second) excludeLast(path, x);
            x = nextStateSatSync(network, x);
        }
        // A transient last state: paths of `steps` steps do not yet reach
        // the attractors only; lengthen the path at least by the transient
        // just seen, and by half its length, so that few lengths are tried.
        if (walk.transient > 0) {
            const long grow = std::max<long>(walk.transient, path.steps / 2);
            const long target = std::min<long>(path.steps + grow, limits.maxSteps + 1L);
            if (target > limits.maxSteps) return outcome;
            while (path.steps < target) addStep(path);
        }
    }
}
