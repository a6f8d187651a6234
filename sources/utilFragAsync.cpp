// Asynchronous image, reachability and descent: in one step one gene g of
// the fragment takes its next value while every other gene keeps its own.
//
// The step relation of gene g is S_g(x, x') = T_g(x, x') AND (EXISTS x_g .
// topSame): g moves to f_g(x), every other gene k has x'_k = x_k. Since S_g
// fixes every x'_k but x'_g, it is M_g(x, x'_g) AND frame, with
// M_g = EXISTS x'_k (k != g) . S_g: T_g with x'_k read as x_k. The images
// below use M_g, so one step of gene g is a relational product over the one
// variable x_g (or x'_g) and a rename of one variable, instead of a product
// over every current-state variable and an exchange of all of them.
//
// The move relations M_g hold as long as the relations they come from, so
// the attractor search builds them once per set of relations (geneMoves) and
// passes them to every search; the entry points here build them per call.
// Inside a search every set is kept over current-state variables; backward
// searches, whose sets the callers give and take over next-state variables,
// exchange the variables once on the way in and once on the way out.
#include "utilFragAsync.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <random>

#include "bddHelpers.h"
#include "compWalkExplicit.h"
#include "constGeneDb.h"
#include "quorvelError.h"

namespace {

// The frame of gene g: every gene but g keeps its value.
bddHandle frameOf(const fragAsync& frag, int g) {
    return bddResult(
        frag.mgr, Cudd_bddExistAbstract(frag.mgr, frag.topSame, frag.ip[static_cast<size_t>(g)]));
}

// The search context of the entry points that take the fragment's arrays.
// Image, reachability and descent read no cube of the record (the direction
// is a parameter), so the entry points leave them null.
fragAsync contextOf(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                    const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
                    const progressSink& progress = standardOutputProgress()) {
    return fragAsync{mgr, topNode, ip, geneId, nullptr, nullptr, topSame, nInpVar, progress};
}

// The direction an entry point's cube asks for: the cube of the next-state
// variables asks for a backward search (sets over x').
searchDirection directionOf(DdManager* mgr, DdNode* inpCube, std::vector<DdNode*>& ip,
                            int nInpVar) {
    return nInpVar > 0 && Cudd_bddLeq(mgr, inpCube, ip[static_cast<size_t>(nInpVar)]) == 1
               ? searchDirection::backward
               : searchDirection::forward;
}

// `set` with x and x' exchanged.
bddHandle swapped(const fragAsync& frag, DdNode* set) {
    return bddHandle::adopt(frag.mgr, swapCurrentAndNext(frag.mgr, set, frag.ip, frag.nInpVar));
}

// The states one step of gene k away from `from` (over x), the steps that
// leave x_g as it is included or not (a search that keeps `from` in its
// reached set gains nothing from them).
bddHandle stepOneGene(const fragAsync& frag, const geneMoves& m, size_t k, DdNode* from,
                      searchDirection direction, bool withLoops) {
    DdManager* mgr = frag.mgr;
    DdNode* const var = frag.ip[static_cast<size_t>(m.genes[k])];
    bddHandle flips;
    if (direction == searchDirection::forward) {
        // A rise from s lands on s with x_g = 1, a fall on s with x_g = 0.
        const bddHandle up = bddResult(mgr, Cudd_bddAndAbstract(mgr, from, m.rise[k].get(), var));
        const bddHandle down = bddResult(mgr, Cudd_bddAndAbstract(mgr, from, m.fall[k].get(), var));
        flips = bddResult(mgr, Cudd_bddIte(mgr, var, up.get(), down.get()));
    } else {
        // s reaches `from` by a rise when s rises and s with x_g = 1 is in
        // `from`; by a fall likewise with x_g = 0.
        const bddHandle withOne = bddResult(mgr, Cudd_bddAndAbstract(mgr, from, var, var));
        const bddHandle withZero =
            bddResult(mgr, Cudd_bddAndAbstract(mgr, from, Cudd_Not(var), var));
        const bddHandle byRise = bddResult(mgr, Cudd_bddAnd(mgr, m.rise[k].get(), withOne.get()));
        const bddHandle byFall = bddResult(mgr, Cudd_bddAnd(mgr, m.fall[k].get(), withZero.get()));
        flips = bddResult(mgr, Cudd_bddOr(mgr, byRise.get(), byFall.get()));
    }
    if (!withLoops) return flips;
    const bddHandle loops = bddResult(mgr, Cudd_bddAnd(mgr, from, m.stay[k].get()));
    return bddResult(mgr, Cudd_bddOr(mgr, flips.get(), loops.get()));
}

// The states one step away from `from` (successors, or predecessors when
// backward), less `reached`; all sets over x.
bddHandle imageByMoves(const fragAsync& frag, const geneMoves& m, DdNode* from, DdNode* reached,
                       searchDirection direction) {
    DdManager* mgr = frag.mgr;
    bddHandle image = bddZero(mgr);
    for (size_t k = 0; k < m.genes.size(); ++k) {
        const bddHandle moved = stepOneGene(frag, m, k, from, direction, true);
        const bddHandle fresh = bddResult(mgr, Cudd_bddAnd(mgr, moved.get(), Cudd_Not(reached)));
        image = bddResult(mgr, Cudd_bddOr(mgr, image.get(), fresh.get()));
    }
    return image;
}

// Genes of the search (indices into m) from the bottom of the variable
// order up.
std::vector<size_t> bottomFirst(DdManager* mgr, const geneMoves& m) {
    std::vector<size_t> order(m.genes.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return Cudd_ReadPerm(mgr, m.genes[a]) > Cudd_ReadPerm(mgr, m.genes[b]);
    });
    return order;
}

// The descent proper: a random walk over explicit states from the target of
// one transition of gene m.genes[chosen], to a fixed point or for a number
// of steps that grows with the fragment; it gives its last state. Any state
// would keep the search exact (the recurrence test decides what a pass
// records), but a pass whose start state is transient removes only that
// state's backward set, which in a large fragment can be a sliver of the
// space found at great cost. A long walk rarely stays outside the
// attractors; walking over explicit states costs a few evaluations of the
// move relations per step instead of images of sets, so the walk can be
// thousands of steps long. The generator is seeded from the first state, so
// a run is reproducible.
bddHandle descend(const fragAsync& frag, const geneMoves& m, size_t chosen) {
    DdManager* mgr = frag.mgr;
    const int nInpVar = frag.nInpVar;
    const size_t n = m.genes.size();
    const walkFrame w = makeWalkFrame(mgr, frag.ip, m, nInpVar);

    // The first state: the next-state values of one transition S_g.
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    {
        const bddHandle frame = frameOf(frag, m.genes[chosen]);
        const bddHandle step = bddResult(mgr, Cudd_bddAnd(mgr, m.moves[chosen].get(), frame.get()));
        std::vector<char> cube = makeCubeArray(mgr, nInpVar);
        if (Cudd_bddPickOneCube(mgr, step.get(), cube.data()) != 1)
            raiseFatal("no transition to start the descent from");
        for (size_t k = 0; k < n; ++k)
            inputs[static_cast<size_t>(w.current[k])] =
                cube[static_cast<size_t>(nInpVar + m.genes[k])] == 1;
    }

    uint32_t seed = 0x9e3779b9u;
    for (size_t k = 0; k < n; ++k)
        seed = seed * 31u + static_cast<uint32_t>(inputs[static_cast<size_t>(w.current[k])]);
    std::mt19937 generator(seed);
    const long steps = walkExplicit(mgr, m, w, inputs, generator, 64 * static_cast<long>(n) + 1024);
    writeProgress(frag.progress, "next state evaluates to 1 with possible depth  ", steps + 1,
                  "\n");

    std::vector<char> literals(static_cast<size_t>(nInpVar), 2);
    for (size_t k = 0; k < n; ++k)
        literals[static_cast<size_t>(m.genes[k])] =
            static_cast<char>(inputs[static_cast<size_t>(w.current[k])]);
    return bddHandle::adopt(mgr, makeBdd(mgr, frag.ip, literals.data(), nInpVar));
}

// Fills m.linked from the supports of the rise and fall sets.
void linkGenes(DdManager* mgr, const std::vector<DdNode*>& ip, geneMoves& m) {
    const size_t n = m.genes.size();
    std::vector<long> position(static_cast<size_t>(Cudd_ReadSize(mgr)), -1);
    for (size_t k = 0; k < n; ++k)
        position[static_cast<size_t>(Cudd_NodeReadIndex(ip[static_cast<size_t>(m.genes[k])]))] =
            static_cast<long>(k);
    std::vector<std::vector<size_t>> linked(n);
    for (size_t k = 0; k < n; ++k) {
        const bddHandle moving = bddResult(mgr, Cudd_bddOr(mgr, m.rise[k].get(), m.fall[k].get()));
        int* support = nullptr;
        const int count = Cudd_SupportIndices(mgr, moving.get(), &support);
        if (count < 0) raiseFatal("support of a move relation unavailable");
        for (int s = 0; s < count; ++s) {
            const long at = position[static_cast<size_t>(support[s])];
            if (at < 0 || static_cast<size_t>(at) == k) continue;
            linked[k].push_back(static_cast<size_t>(at));
            linked[static_cast<size_t>(at)].push_back(k);
        }
        std::free(support);
    }
    for (auto& genes : linked) {
        std::sort(genes.begin(), genes.end());
        genes.erase(std::unique(genes.begin(), genes.end()), genes.end());
    }
    m.linked = std::move(linked);
}

}  // namespace

geneMoves makeGeneMoves(const fragAsync& frag) {
    DdManager* mgr = frag.mgr;
    geneMoves m;
    m.genes = uniqueGenes(frag.geneId);
    if (m.genes.empty()) return m;
    bddHandle nextCube = bddOne(mgr);
    for (int i = 0; i < frag.nInpVar; ++i)
        nextCube = bddResult(
            mgr, Cudd_bddAnd(mgr, nextCube.get(), frag.ip[static_cast<size_t>(frag.nInpVar + i)]));
    m.moves.reserve(m.genes.size());
    for (int g : m.genes) {
        const bddHandle frame = frameOf(frag, g);
        const bddHandle others =
            bddResult(mgr, Cudd_bddExistAbstract(mgr, nextCube.get(),
                                                 frag.ip[static_cast<size_t>(frag.nInpVar + g)]));
        m.moves.push_back(
            bddResult(mgr, Cudd_bddAndAbstract(mgr, frag.relations[static_cast<size_t>(g)],
                                               frame.get(), others.get())));
    }
    splitMoves(mgr, frag.ip, frag.nInpVar, m);
    return m;
}

std::optional<geneMoves> movesWithinTrap(const fragAsync& frag, const geneMoves& m, DdNode* start,
                                         bddHandle* trapCube) {
    DdManager* mgr = frag.mgr;
    const size_t n = m.genes.size();
    // The subcube grows from start: a gene that can move somewhere in it
    // becomes free, until no fixed gene can move in it.
    std::vector<char> moving(n, 0);
    bddHandle trap(mgr, start);
    for (bool grown = true; grown;) {
        grown = false;
        for (size_t k = 0; k < n; ++k) {
            if (moving[k]) continue;
            const bddHandle rises = bddResult(mgr, Cudd_bddAnd(mgr, trap.get(), m.rise[k].get()));
            const bddHandle falls = bddResult(mgr, Cudd_bddAnd(mgr, trap.get(), m.fall[k].get()));
            if (rises.get() == Cudd_ReadLogicZero(mgr) && falls.get() == Cudd_ReadLogicZero(mgr))
                continue;
            moving[k] = 1;
            grown = true;
            trap = bddResult(mgr, Cudd_bddExistAbstract(mgr, trap.get(),
                                                        frag.ip[static_cast<size_t>(m.genes[k])]));
        }
    }
    if (std::find(moving.begin(), moving.end(), 0) == moving.end()) return std::nullopt;
    if (trapCube != nullptr) *trapCube = trap;
    geneMoves within;
    std::vector<size_t> at(n, n);
    for (size_t k = 0; k < n; ++k) {
        if (!moving[k]) continue;
        at[k] = within.genes.size();
        within.genes.push_back(m.genes[k]);
        within.moves.push_back(m.moves[k]);
        within.rise.push_back(m.rise[k]);
        within.fall.push_back(m.fall[k]);
        within.stay.push_back(m.stay[k]);
    }
    for (size_t k = 0; k < n; ++k) {
        if (!moving[k]) continue;
        std::vector<size_t> linked;
        for (size_t j : m.linked[k])
            if (moving[j]) linked.push_back(at[j]);
        within.linked.push_back(std::move(linked));
    }
    return within;
}

void splitMoves(DdManager* mgr, const std::vector<DdNode*>& ip, int nInpVar, geneMoves& m) {
    m.rise.clear();
    m.fall.clear();
    m.stay.clear();
    for (size_t k = 0; k < m.genes.size(); ++k) {
        DdNode* const var = ip[static_cast<size_t>(m.genes[k])];
        DdNode* const next = ip[static_cast<size_t>(nInpVar + m.genes[k])];
        // M_g with x'_g = 1 and with x'_g = 0, over x.
        const bddHandle toOne =
            bddResult(mgr, Cudd_bddAndAbstract(mgr, m.moves[k].get(), next, next));
        const bddHandle toZero =
            bddResult(mgr, Cudd_bddAndAbstract(mgr, m.moves[k].get(), Cudd_Not(next), next));
        m.rise.push_back(bddResult(mgr, Cudd_bddAnd(mgr, toOne.get(), Cudd_Not(var))));
        m.fall.push_back(bddResult(mgr, Cudd_bddAnd(mgr, toZero.get(), var)));
        m.stay.push_back(bddResult(mgr, Cudd_bddIte(mgr, var, toOne.get(), toZero.get())));
    }
    linkGenes(mgr, ip, m);
}

// Saturation: the genes are tried from the bottom of the variable order up;
// after a gene's step adds states, the scan goes on from the deepest gene
// linked to it (geneMoves::linked), or from that gene itself when none lies
// below it. When the scan passes the top, it starts again at the bottom if
// any gene has states left to take its step from; otherwise the search
// ends. Deep genes, whose steps change only the lower part of the diagrams,
// are exhausted before a gene higher up moves, so the sets in between keep
// the structure of the final one instead of the ragged frontiers of
// breadth-first layers (bbm-051 of the real networks: a basin out of reach
// breadth-first or chained takes a second).
//
// The scan need not go back to the bottom after every step: a step of a
// gene h, not linked to g, from the states that g just added reaches states
// that the steps of h and then g reach too, as neither changes what the
// other may do; the next scan from the bottom takes those steps anyway (so
// the result does not rest on it: with a domain, or relations narrowed to a
// set, the two orders may differ). A wave that runs around a ring of n
// genes (a negative ring: one state added per step, 2n steps) thus costs a
// few genes per step instead of a scan of every gene below the moving one,
// a cost that grew with the cube of n.
//
// A gene's step is taken only from the states added since that gene last
// moved (its snapshot of the reached set); a gene whose snapshot is the
// reached set itself is passed over at once. The goal is checked every few
// steps that add states and at the end. Without a goal met, the result is
// the same set as a breadth-first search (inside the domain).
bddHandle compReachBySaturation(const fragAsync& frag, const geneMoves& moves, DdNode* start,
                                searchDirection direction, DdNode* domain, DdNode* goal,
                                bool* goalMet, int maxNodes) {
    DdManager* mgr = frag.mgr;
    const std::vector<size_t> order = bottomFirst(mgr, moves);
    std::vector<size_t> rank(order.size());
    for (size_t r = 0; r < order.size(); ++r) rank[order[r]] = r;
    DdNode* zero = Cudd_ReadLogicZero(mgr);
    bddHandle reached(mgr, start);
    // seen[k]: the snapshot of gene moves.genes[k] (zero before its first
    // step).
    bddArray seen(moves.genes.size(), bddZero(mgr));
    long steps = 0;
    // Every this many steps that add states, the goal is checked.
    constexpr long kGoalPeriod = 32;
    auto metGoal = [&]() {
        if (goal == nullptr || Cudd_bddLeq(mgr, goal, reached.get()) != 1) return false;
        *goalMet = true;
        return true;
    };
    if (goalMet != nullptr) *goalMet = false;
    long checkedAt = -1;
    size_t i = 0;
    for (;;) {
        if (i == order.size()) {
            // A scan reached the top: done unless a gene passed over after a
            // step of an unlinked gene has states left to take its step from.
            i = 0;
            while (i < order.size() && seen[order[i]] == reached) ++i;
            if (i == order.size()) break;
        }
        if (steps % kGoalPeriod == 0 && steps != checkedAt) {
            checkedAt = steps;
            if (metGoal()) break;
        }
        const size_t k = order[i];
        if (seen[k] == reached) {
            ++i;
            continue;
        }
        const bddHandle from =
            bddResult(mgr, Cudd_bddAnd(mgr, reached.get(), Cudd_Not(seen[k].get())));
        seen[k] = reached;
        const bddHandle moved = stepOneGene(frag, moves, k, from.get(), direction, false);
        bddHandle fresh = bddResult(mgr, Cudd_bddAnd(mgr, moved.get(), Cudd_Not(reached.get())));
        if (domain != nullptr) fresh = bddResult(mgr, Cudd_bddAnd(mgr, fresh.get(), domain));
        if (fresh.get() == zero) {
            ++i;
            continue;
        }
        reached = bddResult(mgr, Cudd_bddOr(mgr, reached.get(), fresh.get()));
        if (maxNodes > 0 && Cudd_DagSize(reached.get()) > maxNodes) throw reachTooLarge();
        writeProgress(frag.progress, ++steps, "   ");
        // The scan goes on from the deepest gene linked to this one.
        size_t restart = i;
        for (size_t j : moves.linked[k]) restart = std::min(restart, rank[j]);
        i = restart;
    }
    if (goal != nullptr && !*goalMet) metGoal();
    writeProgress(frag.progress, steps + 1, "   \n");
    return reached;
}

bddHandle compReachStatesAsync(const fragAsync& frag, const geneMoves& moves, DdNode* start,
                               searchDirection direction, int maxNodes) {
    DdManager* mgr = frag.mgr;
    bddHandle reached;
    if (start == Cudd_ReadLogicZero(mgr)) {
        writeProgress(frag.progress, "1   \n");
        reached = bddHandle(mgr, start);
    } else if (direction == searchDirection::forward) {
        reached = compReachBySaturation(frag, moves, start, direction, nullptr, nullptr, nullptr,
                                        maxNodes);
    } else {
        const bddHandle startOverX = swapped(frag, start);
        const bddHandle overX = compReachBySaturation(frag, moves, startOverX.get(), direction,
                                                      nullptr, nullptr, nullptr, maxNodes);
        reached = swapped(frag, overX.get());
    }
    writeProgress(frag.progress, "number of states  ", Cudd_CountPathsToNonZero(reached.get()),
                  "\n");
    return reached;
}

bddHandle compReachStatesInsideAsync(const fragAsync& frag, const geneMoves& moves, DdNode* start,
                                     DdNode* domain, searchDirection direction, bool* covered) {
    bddHandle reached = compReachBySaturation(frag, moves, start, direction, domain,
                                              covered != nullptr ? domain : nullptr, covered);
    writeProgress(frag.progress, "number of states  ", Cudd_CountPathsToNonZero(reached.get()),
                  "\n");
    return reached;
}

bddHandle compRandomStateAsync(const fragAsync& frag, const geneMoves& moves) {
    // The moving gene of the first step: the first fragment gene that can
    // move at all (S_g is empty exactly when M_g is).
    for (int g : frag.geneId) {
        const size_t k = static_cast<size_t>(std::find(moves.genes.begin(), moves.genes.end(), g) -
                                             moves.genes.begin());
        if (!Cudd_IsConstant(moves.moves[k].get())) return descend(frag, moves, k);
        writeProgress(frag.progress, "zero node seen\n");
    }
    return bddHandle();
}

DdNode* compImageFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                           const std::vector<int>& geneId, DdNode* inpCube, DdNode* initState,
                           DdNode* topSame, DdNode* reachedStates, int nInpVar) {
    const fragAsync frag = contextOf(mgr, topNode, ip, geneId, topSame, nInpVar);
    const geneMoves m = makeGeneMoves(frag);
    if (directionOf(mgr, inpCube, ip, nInpVar) == searchDirection::forward)
        return imageByMoves(frag, m, initState, reachedStates, searchDirection::forward).release();
    const bddHandle from = swapped(frag, initState);
    const bddHandle reached = swapped(frag, reachedStates);
    const bddHandle image =
        imageByMoves(frag, m, from.get(), reached.get(), searchDirection::backward);
    return swapped(frag, image.get()).release();
}

DdNode* compReachStatesFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                                 std::vector<DdNode*>& ip, DdNode* initState, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
                                 const progressSink& progress) {
    const fragAsync frag = contextOf(mgr, topNode, ip, geneId, topSame, nInpVar, progress);
    // Nothing to search from: the search would end at once, so the move
    // relations (costly on large fragments) are not built.
    const geneMoves m = initState == Cudd_ReadLogicZero(mgr) ? geneMoves{} : makeGeneMoves(frag);
    return compReachStatesAsync(frag, m, initState, directionOf(mgr, inpCube, ip, nInpVar))
        .release();
}

DdNode* compRandomStateFragAsync(DdManager* mgr, std::vector<DdNode*>& ip,
                                 std::vector<DdNode*>& topNode, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
                                 const progressSink& progress) {
    (void)inpCube;  // the descent always runs forward
    const fragAsync frag = contextOf(mgr, topNode, ip, geneId, topSame, nInpVar, progress);
    return compRandomStateAsync(frag, makeGeneMoves(frag)).release();
}
