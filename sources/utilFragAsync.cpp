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
// A search keeps the relations of its fragment fixed while it runs, so each
// search builds M_g once per distinct fragment gene and reuses it for every
// image. Inside a search every set is kept over current-state variables;
// backward searches, whose sets the callers give and take over next-state
// variables, exchange the variables once on the way in and once on the way
// out.
#include "utilFragAsync.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <unordered_map>

#include "compReachFragAsync.h"
#include "util.h"

namespace {

// M_g for every distinct fragment gene g (genes[k] -> moves[k]), each with
// one reference owned by the record.
struct geneMoves {
    std::vector<int> genes;
    std::vector<DdNode*> moves;
};

// The frame of gene g: every gene but g keeps its value.
DdNode* frameOf(DdManager* mgr, std::vector<DdNode*>& ip, DdNode* topSame, int g) {
    return refChecked(Cudd_bddExistAbstract(mgr, topSame, ip[g]));
}

geneMoves makeMoves(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                    const std::vector<int>& geneId, DdNode* topSame, int nInpVar) {
    geneMoves m;
    m.genes = uniqueGenes(geneId);
    if (m.genes.empty()) return m;
    DdNode* nextCube = refChecked(Cudd_ReadOne(mgr));
    try {
        for (int i = 0; i < nInpVar; ++i) {
            DdNode* cube = refChecked(Cudd_bddAnd(mgr, nextCube, ip[nInpVar + i]));
            Cudd_RecursiveDeref(mgr, nextCube);
            nextCube = cube;
        }
        for (int g : m.genes) {
            DdNode* frame = frameOf(mgr, ip, topSame, g);
            DdNode* others = Cudd_bddExistAbstract(mgr, nextCube, ip[nInpVar + g]);
            if (others == nullptr) Cudd_RecursiveDeref(mgr, frame);
            others = refChecked(others);
            m.moves.push_back(refReleasing(
                mgr, Cudd_bddAndAbstract(mgr, topNode[g], frame, others), {frame, others}));
        }
    } catch (...) {
        Cudd_RecursiveDeref(mgr, nextCube);
        releaseAll(mgr, m.moves);
        throw;
    }
    Cudd_RecursiveDeref(mgr, nextCube);
    return m;
}

// True when inpCube is the cube of the next-state variables, which asks for
// a backward search (sets over x').
bool isBackward(DdManager* mgr, DdNode* inpCube, std::vector<DdNode*>& ip, int nInpVar) {
    return nInpVar > 0 && Cudd_bddLeq(mgr, inpCube, ip[nInpVar]) == 1;
}

// The states one step of gene k away from `from` (over x). Referenced.
DdNode* moveOneGene(DdManager* mgr, const geneMoves& m, size_t k, std::vector<DdNode*>& ip,
                    DdNode* from, bool backward, int nInpVar) {
    DdNode** current = &ip[m.genes[k]];
    DdNode** next = &ip[nInpVar + m.genes[k]];
    if (!backward) {
        // EXISTS x_g . from AND M_g, then x'_g renamed x_g.
        DdNode* product = refChecked(Cudd_bddAndAbstract(mgr, from, m.moves[k], *current));
        return refReleasing(mgr, Cudd_bddSwapVariables(mgr, product, current, next, 1),
                            {product});
    }
    // EXISTS x'_g . M_g AND from[x_g renamed x'_g].
    DdNode* renamed = refChecked(Cudd_bddSwapVariables(mgr, from, current, next, 1));
    return refReleasing(mgr, Cudd_bddAndAbstract(mgr, renamed, m.moves[k], *next), {renamed});
}

// The states one step away from `from` (successors, or predecessors when
// `backward`), less `reached`; all sets over x. Referenced, owned by the
// caller.
DdNode* imageByMoves(DdManager* mgr, const geneMoves& m, std::vector<DdNode*>& ip, DdNode* from,
                     DdNode* reached, bool backward, int nInpVar) {
    DdNode* image = Cudd_ReadLogicZero(mgr);
    Cudd_Ref(image);
    try {
        for (size_t k = 0; k < m.genes.size(); ++k) {
            DdNode* moved = moveOneGene(mgr, m, k, ip, from, backward, nInpVar);
            DdNode* fresh =
                refReleasing(mgr, Cudd_bddAnd(mgr, moved, Cudd_Not(reached)), {moved});
            DdNode* old = image;
            image = nullptr;
            image = refReleasing(mgr, Cudd_bddOr(mgr, old, fresh), {fresh, old});
        }
    } catch (...) {
        if (image != nullptr) Cudd_RecursiveDeref(mgr, image);
        throw;
    }
    return image;
}

// Genes of the search (indices into m) from the bottom of the variable
// order up.
std::vector<size_t> bottomFirst(DdManager* mgr, const geneMoves& m) {
    std::vector<size_t> order(m.genes.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return Cudd_ReadPerm(mgr, m.genes[a]) > Cudd_ReadPerm(mgr, m.genes[b]);
    });
    return order;
}

// Every state reachable from `start` (over x), forward or backward, by
// saturation: the genes are tried from the bottom of the variable order up,
// the first gene whose step adds states adds them, and the scan starts
// again at the bottom. Deep genes, whose steps change only the lower part of
// the diagrams, are exhausted before a gene higher up moves, so the sets in
// between keep the structure of the final one instead of the ragged
// frontiers of breadth-first layers (bbm-051 of the real networks: a basin
// out of reach breadth-first or chained takes a second).
//
// A gene's step is taken only from the states added since that gene last
// moved (its snapshot of the reached set): after a restart the genes below
// look at what the step above added, not at the whole set again, and a
// gene whose snapshot is the reached set itself is passed over at once.
//
// With `domain` (a set over x), the search keeps to it: a state outside is
// not added and not stepped from. With `goal` (a set over x), the search
// stops as soon as every state of goal is reached (checked every few steps
// and at the end), and tells by goalMet; the set returned is then only part
// of the reachable set. Prints one counter per step that added states and a
// last one when the search ends. Without a goal met, the result is the same
// set as a breadth-first search (inside the domain). Referenced, owned by
// the caller.
DdNode* reachBySaturation(DdManager* mgr, const geneMoves& m, std::vector<DdNode*>& ip,
                          DdNode* start, bool backward, int nInpVar, DdNode* domain = nullptr,
                          DdNode* goal = nullptr, bool* goalMet = nullptr) {
    const std::vector<size_t> order = bottomFirst(mgr, m);
    DdNode* zero = Cudd_ReadLogicZero(mgr);
    // held[0]: every state reached; held[1 + k]: the snapshot of gene
    // m.genes[k] (zero before its first step).
    std::vector<DdNode*> held(m.genes.size() + 1, zero);
    held[0] = start;
    for (DdNode* node : held) Cudd_Ref(node);
    DdNode*& reached = held[0];
    try {
        long steps = 0;
        size_t i = 0;
        // Every this many steps that add states, the goal is checked.
        constexpr long kGoalPeriod = 32;
        auto metGoal = [&]() {
            if (goal == nullptr || Cudd_bddLeq(mgr, goal, reached) != 1) return false;
            *goalMet = true;
            return true;
        };
        if (goalMet != nullptr) *goalMet = false;
        long checkedAt = -1;
        while (i < order.size()) {
            if (steps % kGoalPeriod == 0 && steps != checkedAt) {
                checkedAt = steps;
                if (metGoal()) break;
            }
            const size_t k = order[i];
            DdNode*& seen = held[1 + k];
            if (seen == reached) {
                ++i;
                continue;
            }
            DdNode* from = refChecked(Cudd_bddAnd(mgr, reached, Cudd_Not(seen)));
            Cudd_RecursiveDeref(mgr, seen);
            seen = reached;
            Cudd_Ref(seen);
            DdNode* moved = nullptr;
            try {
                moved = moveOneGene(mgr, m, k, ip, from, backward, nInpVar);
            } catch (...) {
                Cudd_RecursiveDeref(mgr, from);
                throw;
            }
            Cudd_RecursiveDeref(mgr, from);
            DdNode* fresh =
                refReleasing(mgr, Cudd_bddAnd(mgr, moved, Cudd_Not(reached)), {moved});
            if (domain != nullptr)
                fresh = refReleasing(mgr, Cudd_bddAnd(mgr, fresh, domain), {fresh});
            if (fresh == zero) {
                Cudd_RecursiveDeref(mgr, fresh);
                ++i;
                continue;
            }
            DdNode* united = refReleasing(mgr, Cudd_bddOr(mgr, reached, fresh), {fresh});
            Cudd_RecursiveDeref(mgr, reached);
            reached = united;
            std::cout << ++steps << "   " << std::flush;
            i = 0;
        }
        if (goal != nullptr && !*goalMet) metGoal();
        std::cout << steps + 1 << "   " << std::endl;
    } catch (...) {
        releaseAll(mgr, held);
        throw;
    }
    DdNode* result = reached;
    Cudd_Ref(result);
    releaseAll(mgr, held);
    return result;
}

}  // namespace

DdNode* compImageFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                           std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                           DdNode* inpCube, DdNode* initState, DdNode* topSame,
                           DdNode* reachedStates, int nInpVar) {
    geneMoves m = makeMoves(mgr, topNode, ip, geneId, topSame, nInpVar);
    const bool backward = isBackward(mgr, inpCube, ip, nInpVar);
    DdNode* image = nullptr;
    std::vector<DdNode*> held;  // the sets over x of a backward image
    try {
        if (!backward) {
            image = imageByMoves(mgr, m, ip, initState, reachedStates, false, nInpVar);
        } else {
            held.push_back(swapCurrentAndNext(mgr, initState, ip, nInpVar));
            held.push_back(swapCurrentAndNext(mgr, reachedStates, ip, nInpVar));
            held.push_back(imageByMoves(mgr, m, ip, held[0], held[1], true, nInpVar));
            image = swapCurrentAndNext(mgr, held[2], ip, nInpVar);
        }
    } catch (...) {
        releaseAll(mgr, held);
        releaseAll(mgr, m.moves);
        throw;
    }
    releaseAll(mgr, held);
    releaseAll(mgr, m.moves);
    return image;
}

DdNode* compReachStatesFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                                 std::vector<DdNode*>& ip, DdNode* initState, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar) {
    if (initState == Cudd_ReadLogicZero(mgr)) {
        // Nothing to search from: the search would end at once, so the move
        // relations (costly on large fragments) are not built.
        std::cout << "1   " << std::endl << "number of states  0" << std::endl;
        Cudd_Ref(initState);
        return initState;
    }
    geneMoves m = makeMoves(mgr, topNode, ip, geneId, topSame, nInpVar);
    const bool backward = isBackward(mgr, inpCube, ip, nInpVar);
    DdNode* reached = nullptr;
    std::vector<DdNode*> held;
    try {
        if (!backward) {
            reached = reachBySaturation(mgr, m, ip, initState, false, nInpVar);
        } else {
            held.push_back(swapCurrentAndNext(mgr, initState, ip, nInpVar));
            held.push_back(reachBySaturation(mgr, m, ip, held[0], true, nInpVar));
            reached = swapCurrentAndNext(mgr, held[1], ip, nInpVar);
        }
    } catch (...) {
        releaseAll(mgr, held);
        releaseAll(mgr, m.moves);
        throw;
    }
    releaseAll(mgr, held);
    releaseAll(mgr, m.moves);
    std::cout << "number of states  " << Cudd_CountPathsToNonZero(reached) << std::endl;
    return reached;
}

DdNode* compReachStatesFragAsyncInside(DdManager* mgr, std::vector<DdNode*>& topNode,
                                       std::vector<DdNode*>& ip, DdNode* initState,
                                       const std::vector<int>& geneId, DdNode* topSame,
                                       int nInpVar, DdNode* domain, bool backward) {
    geneMoves m = makeMoves(mgr, topNode, ip, geneId, topSame, nInpVar);
    DdNode* reached = nullptr;
    try {
        reached = reachBySaturation(mgr, m, ip, initState, backward, nInpVar, domain);
    } catch (...) {
        releaseAll(mgr, m.moves);
        throw;
    }
    releaseAll(mgr, m.moves);
    std::cout << "number of states  " << Cudd_CountPathsToNonZero(reached) << std::endl;
    return reached;
}


namespace {

// The variable index of a projection function ip[i].
int indexOfVariable(DdManager* mgr, DdNode* var) {
    int* indices = nullptr;
    const int n = Cudd_SupportIndices(mgr, var, &indices);
    const int index = (n == 1) ? indices[0] : -1;
    std::free(indices);
    if (index < 0) raiseFatal("a state variable has no index");
    return index;
}

// What an explicit walk needs to know of a fragment: the variable indices of
// each gene (indices into m) and, for each gene, the genes whose move
// relation reads its current value.
struct walkFrame {
    std::vector<int> current, next;
    std::vector<std::vector<size_t>> dependents;
    // The record's functions are next-state functions f_g (over x) instead
    // of move relations: gene g can change where f_g differs from x_g.
    bool functions = false;
};

walkFrame makeWalkFrame(DdManager* mgr, std::vector<DdNode*>& ip, const geneMoves& m,
                        int nInpVar) {
    const size_t n = m.genes.size();
    walkFrame w;
    w.current.resize(n);
    w.next.resize(n);
    w.dependents.resize(n);
    for (size_t k = 0; k < n; ++k) {
        w.current[k] = indexOfVariable(mgr, ip[static_cast<size_t>(m.genes[k])]);
        w.next[k] = indexOfVariable(mgr, ip[static_cast<size_t>(nInpVar + m.genes[k])]);
    }
    std::vector<int> position(static_cast<size_t>(Cudd_ReadSize(mgr)), -1);
    for (size_t k = 0; k < n; ++k) position[static_cast<size_t>(w.current[k])] = int(k);
    for (size_t k = 0; k < n; ++k) {
        int* support = nullptr;
        const int count = Cudd_SupportIndices(mgr, m.moves[k], &support);
        if (count < 0) raiseFatal("support of a move relation unavailable");
        for (int s = 0; s < count; ++s) {
            const int at = position[static_cast<size_t>(support[s])];
            if (at >= 0) w.dependents[static_cast<size_t>(at)].push_back(k);
        }
        std::free(support);
    }
    return w;
}

// A random walk over explicit states from `inputs` (a value for every
// variable index; the next-state entries 0), which it updates in place.
// Each step flips one gene chosen at random among the genes that can
// change; the walk ends at a fixed point, after maxSteps steps, or (with
// `target`, a set over x) at the first state of target. Each gene's
// movability is kept and re-evaluated only after a flip of a gene in the
// support of its move relation. Returns the number of steps taken.
long walkExplicit(DdManager* mgr, const geneMoves& m, const walkFrame& w, std::vector<int>& inputs,
                  std::mt19937& generator, long maxSteps, DdNode* target = nullptr) {
    const size_t n = m.genes.size();
    DdNode* one = Cudd_ReadOne(mgr);
    auto evaluates = [&](DdNode* f) {
        DdNode* value = Cudd_Eval(mgr, f, inputs.data());
        if (value == nullptr) raiseFatal("evaluation of a move relation failed");
        return value == one;
    };
    auto canMove = [&](size_t k) {
        if (w.functions)
            return evaluates(m.moves[k]) != (inputs[static_cast<size_t>(w.current[k])] == 1);
        int& next = inputs[static_cast<size_t>(w.next[k])];
        next = 1 - inputs[static_cast<size_t>(w.current[k])];
        const bool moves = evaluates(m.moves[k]);
        next = 0;
        return moves;
    };
    std::vector<char> movable(n, 0);
    std::vector<size_t> candidates;  // the genes that can change, kept in step
    std::vector<size_t> slot(n, 0);  // gene k's place in candidates
    auto update = [&](size_t k) {
        const char now = canMove(k) ? 1 : 0;
        if (now == movable[k]) return;
        movable[k] = now;
        if (now) {
            slot[k] = candidates.size();
            candidates.push_back(k);
        } else {
            const size_t last = candidates.back();
            candidates[slot[k]] = last;
            slot[last] = slot[k];
            candidates.pop_back();
        }
    };
    for (size_t k = 0; k < n; ++k) update(k);

    long steps = 0;
    while (steps < maxSteps && !candidates.empty()) {
        if (target != nullptr && evaluates(target)) break;
        const size_t k =
            candidates[std::uniform_int_distribution<size_t>(0, candidates.size() - 1)(generator)];
        int& value = inputs[static_cast<size_t>(w.current[k])];
        value = 1 - value;
        ++steps;
        update(k);
        for (size_t d : w.dependents[k])
            if (d != k) update(d);
    }
    return steps;
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
DdNode* descend(DdManager* mgr, std::vector<DdNode*>& ip, const geneMoves& m, size_t chosen,
                DdNode* topSame, int nInpVar) {
    const size_t n = m.genes.size();
    const walkFrame w = makeWalkFrame(mgr, ip, m, nInpVar);

    // The first state: the next-state values of one transition S_g.
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    {
        DdNode* frame = frameOf(mgr, ip, topSame, m.genes[chosen]);
        DdNode* step = Cudd_bddAnd(mgr, m.moves[chosen], frame);
        if (step == nullptr) Cudd_RecursiveDeref(mgr, frame);
        step = refChecked(step);
        Cudd_RecursiveDeref(mgr, frame);
        std::vector<char> cube = makeCubeArray(mgr, nInpVar);
        const int status = Cudd_bddPickOneCube(mgr, step, cube.data());
        Cudd_RecursiveDeref(mgr, step);
        if (status != 1) raiseFatal("no transition to start the descent from");
        for (size_t k = 0; k < n; ++k)
            inputs[static_cast<size_t>(w.current[k])] =
                cube[static_cast<size_t>(nInpVar + m.genes[k])] == 1;
    }

    uint32_t seed = 0x9e3779b9u;
    for (size_t k = 0; k < n; ++k)
        seed = seed * 31u + static_cast<uint32_t>(inputs[static_cast<size_t>(w.current[k])]);
    std::mt19937 generator(seed);
    const long steps =
        walkExplicit(mgr, m, w, inputs, generator, 64 * static_cast<long>(n) + 1024);
    std::cout << "next state evaluates to 1 with possible depth  " << steps + 1 << std::endl;

    std::vector<char> literals(static_cast<size_t>(nInpVar), 2);
    for (size_t k = 0; k < n; ++k)
        literals[static_cast<size_t>(m.genes[k])] =
            static_cast<char>(inputs[static_cast<size_t>(w.current[k])]);
    return makeBdd(mgr, ip, literals.data(), nInpVar);
}

}  // namespace

DdNode* compRandomStateFragAsync(DdManager* mgr, std::vector<DdNode*>& ip,
                                 std::vector<DdNode*>& topNode, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar) {
    (void)inpCube;  // the descent always runs forward
    geneMoves m = makeMoves(mgr, topNode, ip, geneId, topSame, nInpVar);
    // The moving gene of the first step: the first fragment gene that can
    // move at all (S_g is empty exactly when M_g is).
    size_t chosen = m.genes.size();
    for (int g : geneId) {
        size_t k = 0;
        while (m.genes[k] != g) ++k;
        if (!Cudd_IsConstant(m.moves[k])) {
            chosen = k;
            break;
        }
        std::cout << "zero node seen" << std::endl;
    }
    DdNode* state = nullptr;
    try {
        if (chosen < m.genes.size()) state = descend(mgr, ip, m, chosen, topSame, nInpVar);
    } catch (...) {
        releaseAll(mgr, m.moves);
        throw;
    }
    releaseAll(mgr, m.moves);
    return state;
}

namespace {

// The fragment's genes with their next-state functions (borrowed: the record
// holds no reference) and the walk frame over them.
struct functionWalk {
    geneMoves m;
    walkFrame w;
};

functionWalk makeFunctionWalk(DdManager* mgr, std::vector<DdNode*>& ip,
                              const networkFunctions& network, const std::vector<int>& geneId,
                              int nInpVar) {
    functionWalk f;
    f.m.genes = uniqueGenes(geneId);
    for (int g : f.m.genes) f.m.moves.push_back(network.next[static_cast<size_t>(g)]);
    f.w = makeWalkFrame(mgr, ip, f.m, nInpVar);
    f.w.functions = true;
    return f;
}

// The values of the fragment genes in `state` (a conjunction over them), in
// the order of f.m.genes.
std::vector<char> valuesOf(DdManager* mgr, const functionWalk& f, DdNode* state, int nInpVar) {
    std::vector<char> cube = makeCubeArray(mgr, nInpVar);
    if (Cudd_bddPickOneCube(mgr, state, cube.data()) != 1) raiseFatal("no state to start from");
    std::vector<char> values(f.m.genes.size());
    for (size_t k = 0; k < values.size(); ++k)
        values[k] = cube[static_cast<size_t>(f.m.genes[k])] == 1 ? 1 : 0;
    return values;
}

// The conjunction over the fragment genes of `values`. Referenced.
DdNode* stateOf(DdManager* mgr, std::vector<DdNode*>& ip, const functionWalk& f,
                const std::vector<char>& values, int nInpVar) {
    std::vector<char> literals(static_cast<size_t>(nInpVar), 2);
    for (size_t k = 0; k < values.size(); ++k)
        literals[static_cast<size_t>(f.m.genes[k])] = values[k];
    return makeBdd(mgr, ip, literals.data(), nInpVar);
}

}  // namespace

DdNode* walkFromState(DdManager* mgr, std::vector<DdNode*>& ip, const networkFunctions& network,
                      const std::vector<int>& geneId, int nInpVar, DdNode* state,
                      DdNode* target, long maxSteps, unsigned seed) {
    const functionWalk f = makeFunctionWalk(mgr, ip, network, geneId, nInpVar);
    std::vector<char> values = valuesOf(mgr, f, state, nInpVar);
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    for (size_t k = 0; k < values.size(); ++k)
        inputs[static_cast<size_t>(f.w.current[k])] = values[k];
    std::mt19937 generator(seed);
    const long steps = walkExplicit(mgr, f.m, f.w, inputs, generator, maxSteps, target);
    std::cout << "next state evaluates to 1 with possible depth  " << steps + 1 << std::endl;
    for (size_t k = 0; k < values.size(); ++k)
        values[k] = static_cast<char>(inputs[static_cast<size_t>(f.w.current[k])]);
    return stateOf(mgr, ip, f, values, nInpVar);
}

int explicitRecurrence(DdManager* mgr, std::vector<DdNode*>& ip, const networkFunctions& network,
                       const std::vector<int>& geneId, int nInpVar, DdNode* state,
                       size_t maxStates, DdNode** attractor) {
    const functionWalk f = makeFunctionWalk(mgr, ip, network, geneId, nInpVar);
    const size_t n = f.m.genes.size();
    // The forward set, breadth first; index[values] is a state's place and
    // nextValues[place] the value of every f_g there. A successor differs
    // from its state in one gene, so only the functions that read that gene
    // are evaluated again.
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    DdNode* one = Cudd_ReadOne(mgr);
    auto evaluate = [&](size_t k) -> char {
        DdNode* value = Cudd_Eval(mgr, f.m.moves[k], inputs.data());
        if (value == nullptr) raiseFatal("evaluation of a next-state function failed");
        return value == one ? 1 : 0;
    };
    auto load = [&](const std::string& values) {
        for (size_t k = 0; k < n; ++k) inputs[static_cast<size_t>(f.w.current[k])] = values[k];
    };
    std::vector<std::string> states(1);
    {
        const std::vector<char> first = valuesOf(mgr, f, state, nInpVar);
        states[0].assign(first.begin(), first.end());
    }
    std::vector<std::string> nextValues(1, std::string(n, '\0'));
    load(states[0]);
    for (size_t k = 0; k < n; ++k) nextValues[0][k] = evaluate(k);
    std::unordered_map<std::string, size_t> index{{states[0], 0}};
    std::vector<std::vector<size_t>> predecessors(1);
    for (size_t at = 0; at < states.size(); ++at) {
        for (size_t k = 0; k < n; ++k) {
            if (nextValues[at][k] == states[at][k]) continue;
            std::string next = states[at];
            next[k] = static_cast<char>(1 - next[k]);
            auto [place, added] = index.emplace(next, states.size());
            if (added) {
                if (states.size() == maxStates) return -1;
                std::string values = nextValues[at];
                load(next);
                for (size_t d : f.w.dependents[k]) values[d] = evaluate(d);
                states.push_back(next);
                nextValues.push_back(values);
                predecessors.emplace_back();
            }
            predecessors[place->second].push_back(at);
        }
    }
    // Recurrent exactly when every state of the forward set leads back.
    std::vector<char> back(states.size(), 0);
    std::vector<size_t> queue{0};
    back[0] = 1;
    for (size_t q = 0; q < queue.size(); ++q)
        for (size_t p : predecessors[queue[q]])
            if (!back[p]) {
                back[p] = 1;
                queue.push_back(p);
            }
    if (queue.size() != states.size()) return 0;
    // The set: the genes that keep one value throughout make one cube; the
    // others make a cube per state, joined two by two (each union then joins
    // sets of like size, instead of adding one cube at a time to a set that
    // keeps growing). In an attractor of a large fragment most genes keep
    // their value, so the cubes per state stay short. Automatic reordering
    // is held back meanwhile: the cubes make many short-lived nodes, which
    // would start sifting over every variable.
    std::vector<char> varies(n, 0);
    for (const std::string& s : states)
        for (size_t k = 0; k < n; ++k)
            if (s[k] != states[0][k]) varies[k] = 1;
    auto cubeOfGenes = [&](const std::string& s, bool varying) {
        std::vector<char> literals(static_cast<size_t>(nInpVar), 2);
        for (size_t k = 0; k < n; ++k)
            if (varies[k] == (varying ? 1 : 0))
                literals[static_cast<size_t>(f.m.genes[k])] = s[k];
        return makeBdd(mgr, ip, literals.data(), nInpVar);
    };
    std::vector<DdNode*> sets;
    DdNode* set = nullptr;
    Cudd_ReorderingType method = CUDD_REORDER_SIFT;
    const bool reordering = Cudd_ReorderingStatus(mgr, &method) == 1;
    if (reordering) Cudd_AutodynDisable(mgr);
    try {
        for (const std::string& s : states) sets.push_back(cubeOfGenes(s, true));
        while (sets.size() > 1) {
            std::vector<DdNode*> joined;
            for (size_t k = 0; k + 1 < sets.size(); k += 2) {
                DdNode* united = Cudd_bddOr(mgr, sets[k], sets[k + 1]);
                if (united == nullptr) releaseAll(mgr, joined);
                joined.push_back(refChecked(united));
            }
            if (sets.size() % 2 == 1) {
                joined.push_back(sets.back());
                Cudd_Ref(joined.back());
            }
            releaseAll(mgr, sets);
            sets = joined;
        }
        sets.push_back(cubeOfGenes(states[0], false));
        set = refChecked(Cudd_bddAnd(mgr, sets[0], sets[1]));
        releaseAll(mgr, sets);
    } catch (...) {
        releaseAll(mgr, sets);
        if (reordering) Cudd_AutodynEnable(mgr, method);
        throw;
    }
    if (reordering) Cudd_AutodynEnable(mgr, method);
    *attractor = set;
    return 1;
}



networkFunctions readNetworkFunctions(DdManager* mgr, std::vector<DdNode*>& op,
                                      std::vector<DdNode*>& ip, int nInpVar) {
    networkFunctions network;
    network.regulators.resize(static_cast<size_t>(nInpVar));
    std::vector<int> geneOfIndex(static_cast<size_t>(Cudd_ReadSize(mgr)), -1);
    for (int g = 0; g < nInpVar; ++g)
        geneOfIndex[static_cast<size_t>(indexOfVariable(mgr, ip[static_cast<size_t>(g)]))] = g;
    try {
        for (int g = 0; g < nInpVar; ++g) {
            // f_g = EXISTS x'_g . op[g] AND x'_g.
            DdNode* next = ip[static_cast<size_t>(nInpVar + g)];
            network.next.push_back(
                refChecked(Cudd_bddAndAbstract(mgr, op[static_cast<size_t>(g)], next, next)));
            int* support = nullptr;
            const int count = Cudd_SupportIndices(mgr, network.next.back(), &support);
            if (count < 0) raiseFatal("support of a next-state function unavailable");
            for (int s = 0; s < count; ++s)
                if (geneOfIndex[static_cast<size_t>(support[s])] >= 0)
                    network.regulators[static_cast<size_t>(g)].push_back(
                        geneOfIndex[static_cast<size_t>(support[s])]);
            std::free(support);
        }
    } catch (...) {
        releaseAll(mgr, network.next);
        throw;
    }
    return network;
}

void releaseMacroSteps(DdManager* mgr, macroSteps& ms) {
    releaseAll(mgr, ms.stable);
    releaseAll(mgr, ms.values);
    releaseAll(mgr, ms.moves);
    ms.stable.clear();
    ms.values.clear();
    ms.moves.clear();
}

macroSteps makeMacroSteps(DdManager* mgr, std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                          int nInpVar, const networkFunctions& network,
                          const std::vector<int>& cut) {
    const std::vector<int> genes = uniqueGenes(geneId);
    macroSteps ms;
    ms.cut = cut;
    std::vector<char> placed(static_cast<size_t>(nInpVar), 1);
    for (int g : genes) placed[static_cast<size_t>(g)] = 0;
    for (int c : cut) placed[static_cast<size_t>(c)] = 1;
    // The genes outside the cut, each after its regulators among them.
    for (bool progress = true; progress;) {
        progress = false;
        for (int g : genes) {
            if (placed[static_cast<size_t>(g)]) continue;
            bool ready = true;
            for (int r : network.regulators[static_cast<size_t>(g)])
                if (!placed[static_cast<size_t>(r)]) ready = false;
            if (!ready) continue;
            placed[static_cast<size_t>(g)] = 1;
            ms.rest.push_back(g);
            progress = true;
        }
    }
    if (ms.rest.size() + cut.size() != genes.size())
        raiseFatal("the genes outside a cycle cut form a cycle");
    const int size = Cudd_ReadSize(mgr);
    ms.substitute.resize(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) ms.substitute[static_cast<size_t>(i)] = Cudd_bddIthVar(mgr, i);
    try {
        for (int g : ms.rest) {
            ms.stable.push_back(refChecked(Cudd_bddVectorCompose(
                mgr, network.next[static_cast<size_t>(g)], ms.substitute.data())));
            ms.substitute[static_cast<size_t>(indexOfVariable(mgr, ip[static_cast<size_t>(g)]))] =
                ms.stable.back();
        }
        for (int c : cut) {
            ms.values.push_back(refChecked(Cudd_bddVectorCompose(
                mgr, network.next[static_cast<size_t>(c)], ms.substitute.data())));
            ms.moves.push_back(refChecked(
                Cudd_bddXnor(mgr, ip[static_cast<size_t>(nInpVar + c)], ms.values.back())));
        }
    } catch (...) {
        releaseMacroSteps(mgr, ms);
        throw;
    }
    return ms;
}

DdNode* macroProject(DdManager* mgr, const macroSteps& ms, DdNode* set) {
    std::vector<DdNode*> substitute = ms.substitute;
    return refChecked(Cudd_bddVectorCompose(mgr, set, substitute.data()));
}

DdNode* macroFixedPoints(DdManager* mgr, const macroSteps& ms, std::vector<DdNode*>& ip) {
    DdNode* fixed = refChecked(Cudd_ReadOne(mgr));
    try {
        for (size_t k = 0; k < ms.cut.size(); ++k) {
            // The macro step of cut[k] leaves it as it is.
            DdNode* loop = refChecked(
                Cudd_bddXnor(mgr, ip[static_cast<size_t>(ms.cut[k])], ms.values[k]));
            DdNode* both = refReleasing(mgr, Cudd_bddAnd(mgr, fixed, loop), {loop});
            Cudd_RecursiveDeref(mgr, fixed);
            fixed = both;
        }
    } catch (...) {
        Cudd_RecursiveDeref(mgr, fixed);
        throw;
    }
    return fixed;
}

DdNode* macroBackward(DdManager* mgr, const macroSteps& ms, std::vector<DdNode*>& ip,
                      int nInpVar, DdNode* start, DdNode* goal, bool& covered) {
    geneMoves m;
    m.genes = ms.cut;
    m.moves = ms.moves;  // borrowed: the record keeps the references
    return reachBySaturation(mgr, m, ip, start, true, nInpVar, nullptr, goal, &covered);
}

DdNode* macroState(DdManager* mgr, const macroSteps& ms, std::vector<DdNode*>& ip, int nInpVar,
                   DdNode* points, DdNode** point) {
    std::vector<char> cube = makeCubeArray(mgr, nInpVar);
    if (Cudd_bddPickOneCube(mgr, points, cube.data()) != 1)
        raiseFatal("no point to build a state from");
    std::vector<char> literals(static_cast<size_t>(nInpVar), 2);
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    for (int c : ms.cut) {
        const char value = cube[static_cast<size_t>(c)] == 1 ? 1 : 0;
        literals[static_cast<size_t>(c)] = value;
        inputs[static_cast<size_t>(indexOfVariable(mgr, ip[static_cast<size_t>(c)]))] = value;
    }
    *point = makeBdd(mgr, ip, literals.data(), nInpVar);
    for (size_t k = 0; k < ms.rest.size(); ++k) {
        DdNode* value = Cudd_Eval(mgr, ms.stable[k], inputs.data());
        if (value == nullptr) {
            Cudd_RecursiveDeref(mgr, *point);
            raiseFatal("evaluation of a stable value failed");
        }
        literals[static_cast<size_t>(ms.rest[k])] = value == Cudd_ReadOne(mgr) ? 1 : 0;
    }
    DdNode* state = nullptr;
    try {
        state = makeBdd(mgr, ip, literals.data(), nInpVar);
    } catch (...) {
        Cudd_RecursiveDeref(mgr, *point);
        throw;
    }
    return state;
}


