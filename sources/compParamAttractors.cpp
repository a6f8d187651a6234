// The parametric attractor search: every setting of a fragment's parameter
// genes at once (see compParamAttractors.h).
#include "compParamAttractors.h"

#include <algorithm>

#include "bddEngine.h"
#include "constGeneDb.h"
#include "progressSink.h"
#include "utilSets.h"

namespace {

struct paramSearch {
    const fragAsync& frag;
    geneMoves moves;
    bddHandle movingCube;      // the variables of the moving genes
    std::vector<int> topDown;  // the moving genes, from the top of the order down
};

bddHandle conj(DdManager* m, DdNode* a, DdNode* b) { return bddResult(m, Cudd_bddAnd(m, a, b)); }

// The settings of `set`: its projection onto the parameters.
bddHandle settingsOf(const paramSearch& s, const bddHandle& set) {
    DdManager* const m = s.frag.mgr;
    return bddResult(m, Cudd_bddExistAbstract(m, set.get(), s.movingCube.get()));
}

bddHandle leastPerSetting(const paramSearch& s, const bddHandle& set) {
    return compLeastPerSetting(set, s.frag.ip, s.topDown, s.movingCube);
}

// The states where some moving gene can change its value.
bddHandle movableStates(const paramSearch& s) {
    DdManager* const m = s.frag.mgr;
    const int n = s.frag.nInpVar;
    bddHandle movable = bddZero(m);
    for (size_t k = 0; k < s.moves.genes.size(); ++k) {
        const size_t g = static_cast<size_t>(s.moves.genes[k]);
        DdNode* const next = s.frag.ip[static_cast<size_t>(n) + g];
        const bddHandle changes = bddResult(m, Cudd_bddXnor(m, next, s.frag.ip[g]));
        const bddHandle moves = bddResult(
            m, Cudd_bddAndAbstract(m, s.moves.moves[k].get(), Cudd_Not(changes.get()), next));
        movable = bddResult(m, Cudd_bddOr(m, movable.get(), moves.get()));
    }
    return movable;
}

// The states one step away from `set`, each setting apart.
bddHandle successors(const paramSearch& s, const bddHandle& set) {
    DdManager* const m = s.frag.mgr;
    bddHandle image = bddZero(m);
    for (size_t k = 0; k < s.moves.genes.size(); ++k) {
        DdNode** current = &s.frag.ip[static_cast<size_t>(s.moves.genes[k])];
        DdNode** next = &s.frag.ip[static_cast<size_t>(s.frag.nInpVar + s.moves.genes[k])];
        const bddHandle product =
            bddResult(m, Cudd_bddAndAbstract(m, set.get(), s.moves.moves[k].get(), *current));
        const bddHandle moved =
            bddResult(m, Cudd_bddSwapVariables(m, product.get(), current, next, 1));
        image = bddResult(m, Cudd_bddOr(m, image.get(), moved.get()));
    }
    return bddResult(m, Cudd_bddAnd(m, image.get(), Cudd_Not(set.get())));
}

// Moves one pivot per setting along a walk: at each step, a successor of
// the pivot (the least one in a varying order of preference), so that the
// pivot is likely to end inside an attractor, whose forward set then is the
// attractor itself. Any pivot keeps the search exact.
bddHandle walkPivots(const paramSearch& s, bddHandle pivots, long steps) {
    DdManager* const m = s.frag.mgr;
    std::vector<int> order(s.topDown);
    for (long step = 0; step < steps; ++step) {
        const bddHandle next = successors(s, pivots);
        if (next.get() == Cudd_ReadLogicZero(m)) break;
        // Settings without a successor keep their pivot.
        const bddHandle stay =
            bddResult(m, Cudd_bddAnd(m, pivots.get(), Cudd_Not(settingsOf(s, next).get())));
        std::rotate(order.begin(), order.begin() + 1, order.end());
        const bddHandle moved = compLeastPerSetting(next, s.frag.ip, order, s.movingCube);
        pivots = bddResult(m, Cudd_bddOr(m, stay.get(), moved.get()));
    }
    return pivots;
}

bddHandle reach(const paramSearch& s, const bddHandle& start, searchDirection direction,
                const bddHandle& domain) {
    return compReachBySaturation(s.frag, s.moves, start.get(), direction, domain.get());
}

}  // namespace

std::vector<int> sortTopDown(DdManager* m, std::vector<int> genes) {
    std::sort(genes.begin(), genes.end(),
              [m](int a, int b) { return Cudd_ReadPerm(m, a) < Cudd_ReadPerm(m, b); });
    return genes;
}

bddHandle compLeastPerSetting(bddHandle set, std::vector<DdNode*>& ip,
                              const std::vector<int>& genesTopDown, const bddHandle& genesCube) {
    DdManager* const m = set.manager();
    DdNode* const zero = Cudd_ReadLogicZero(m);
    for (const int g : genesTopDown) {
        if (set.get() == zero) break;
        DdNode* const var = ip[static_cast<size_t>(g)];
        const bddHandle low = conj(m, set.get(), Cudd_Not(var));
        const bddHandle lowSettings =
            bddResult(m, Cudd_bddExistAbstract(m, low.get(), genesCube.get()));
        const bddHandle highOnly = conj(m, set.get(), Cudd_Not(lowSettings.get()));
        set = bddResult(m, Cudd_bddOr(m, low.get(), highOnly.get()));
    }
    return set;
}

std::vector<paramAttractor> compParamAttractors(const fragAsync& frag, const bddHandle& domain) {
    DdManager* const m = frag.mgr;
    DdNode* const zero = Cudd_ReadLogicZero(m);
    paramSearch s{frag, makeGeneMoves(frag), bddHandle(), {}};
    s.topDown = sortTopDown(m, uniqueGenes(frag.geneId));
    s.movingCube = cubeOfIndices(m, s.topDown);
    std::vector<paramAttractor> found;
    if (domain.get() == zero) return found;

    // Steady states: one per setting and round.
    const bddHandle steady = conj(m, domain.get(), Cudd_Not(movableStates(s).get()));
    for (bddHandle rest = steady; rest.get() != zero;) {
        bddHandle state = leastPerSetting(s, rest);
        rest = conj(m, rest.get(), Cudd_Not(state.get()));
        found.push_back({settingsOf(s, state), std::move(state)});
    }
    writeProgress(frag.progress, found.size(), " rounds of steady states\n");

    // The rest of the space, outside the basin of what is found, is closed
    // under steps: a state with a step into the basin is in the basin.
    bddHandle space = domain;
    if (steady.get() != zero)
        space = conj(m, space.get(),
                     Cudd_Not(reach(s, steady, searchDirection::backward, domain).get()));
    while (space.get() != zero) {
        bddHandle foundNow = bddZero(m);
        const long walk = 4 * static_cast<long>(s.topDown.size()) + 64;
        bddHandle pivots = walkPivots(s, leastPerSetting(s, space), walk);
        while (pivots.get() != zero) {
            const bddHandle forward = reach(s, pivots, searchDirection::forward, space);
            // Inside the forward set, the states that reach the pivot: a path
            // from a state of F back to the pivot stays inside F.
            const bddHandle back = reach(s, pivots, searchDirection::backward, forward);
            const bddHandle escape = conj(m, forward.get(), Cudd_Not(back.get()));
            const bddHandle open = settingsOf(s, escape);
            const bddHandle closed = conj(m, settingsOf(s, pivots).get(), Cudd_Not(open.get()));
            if (closed.get() != zero) {
                bddHandle attractor = conj(m, forward.get(), closed.get());
                foundNow = bddResult(m, Cudd_bddOr(m, foundNow.get(), attractor.get()));
                found.push_back({closed, std::move(attractor)});
            }
            // A state the pivot reaches but that does not reach it back: its
            // forward set lies inside F without the pivot.
            pivots = walkPivots(s, leastPerSetting(s, escape), walk);
        }
        space = conj(m, space.get(),
                     Cudd_Not(reach(s, foundNow, searchDirection::backward, space).get()));
    }
    writeProgress(frag.progress, found.size(), " attractors over settings\n");
    return found;
}
