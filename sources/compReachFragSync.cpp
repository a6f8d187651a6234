// Synchronous attractor search on a fragment.
//
// The space still to explore is not kept as a set: removing a set B narrows
// every fragment relation op[g] to op[g] AND NOT B(x), so no transition
// leaves a removed state. Each pass walks a random state to a cycle, takes
// its forward and backward reachable sets, keeps the forward set when the
// start is recurrent, and removes the whole backward set.
//
// No transition can enter a removed state either, without a conjunction with
// NOT B(x'): every removed set is a complete backward set (the union of such
// sets is closed under predecessors), so a state outside it has all its
// successors outside it. Conjoining NOT B(x') as well would change no image
// but multiply the size of every relation (a function of x times a function
// of x', with x_i and x'_i interleaved), which made the removal the dominant
// cost on real networks.
#include "compReachFragSync.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>

#include "util.h"
#include "utilFragSync.h"

namespace {

// op[g] = op[g] AND NOT removed (a set over current-state variables) for
// every g of the fragment; the array owns the new handles.
void removeFromRelations(DdManager* mgr, std::vector<DdNode*>& op,
                         const std::vector<int>& geneId, DdNode* removed) {
    for (int g : geneId) {
        DdNode*& rel = op[static_cast<size_t>(g)];
        DdNode* narrowed = refChecked(Cudd_bddAnd(mgr, rel, Cudd_Not(removed)));
        Cudd_RecursiveDeref(mgr, rel);
        rel = narrowed;
    }
}

// Picks one cube of `set` into `cube`; a failed pick is fatal.
void pickCubeOrFail(DdManager* mgr, DdNode* set, std::vector<char>& cube) {
    const int status = Cudd_bddPickOneCube(mgr, set, cube.data());
    if (status != 1)
        raiseFatal("error in checking false loop ::: status is " + std::to_string(status));
}

}  // namespace

bool chkConstant(const std::vector<DdNode*>& node, const std::vector<int>& geneId) {
    for (int g : geneId)
        if (Cudd_IsConstant(node[static_cast<size_t>(g)])) return true;
    return false;
}

// Walks the synchronous map from one state of `reachedStates` (a recurrent
// set, hence one cycle) and reports whether some step changes more than one
// fragment gene, or the walk cannot go on inside the set.
bool chkFalseLoopFragSync(DdManager* mgr, std::vector<DdNode*>& topNode, DdNode* reachedStates,
                          std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                          DdNode* inpCube, int nInpVar) {
    DdNode* const zero = Cudd_ReadLogicZero(mgr);
    Cudd_Ref(reachedStates);
    DdNode* unvisited = reachedStates;
    std::vector<char> outCube = makeCubeArray(mgr, nInpVar);
    try {
        pickCubeOrFail(mgr, unvisited, outCube);
    } catch (...) {
        Cudd_RecursiveDeref(mgr, unvisited);
        throw;
    }
    for (int g : geneId)
        if (outCube[static_cast<size_t>(g)] == 2) outCube[static_cast<size_t>(g)] = 0;
    DdNode* node = makeBdd(mgr, ip, outCube.data(), nInpVar);

    bool result = false;
    for (;;) {
        DdNode* nextState =
            compImageFragSync(mgr, topNode, ip, geneId, inpCube, node, nInpVar, 0);
        if (nextState == zero) {
            Cudd_RecursiveDeref(mgr, nextState);
            result = true;
            break;
        }
        std::vector<char> tmpOutCube = makeCubeArray(mgr, nInpVar);
        try {
            pickCubeOrFail(mgr, nextState, tmpOutCube);
        } catch (...) {
            Cudd_RecursiveDeref(mgr, nextState);
            Cudd_RecursiveDeref(mgr, node);
            Cudd_RecursiveDeref(mgr, unvisited);
            throw;
        }
        int cntChange = 0;
        for (int g : geneId) {
            char& value = outCube[static_cast<size_t>(g)];
            if (value != tmpOutCube[static_cast<size_t>(g)]) {
                ++cntChange;
                value = tmpOutCube[static_cast<size_t>(g)];
            }
        }
        if (cntChange > 1) {
            Cudd_RecursiveDeref(mgr, nextState);
            result = true;
            break;
        }
        DdNode* rest = refChecked(Cudd_bddAnd(mgr, unvisited, Cudd_Not(node)));
        Cudd_RecursiveDeref(mgr, unvisited);
        unvisited = rest;
        if (unvisited == zero) {
            Cudd_RecursiveDeref(mgr, nextState);
            result = false;
            break;
        }
        // On a cycle the next state is always one not yet visited; anything
        // else means the set is not one cycle of the map, and walking on
        // would never cover it.
        if (!checkInclusion(mgr, unvisited, nextState)) {
            Cudd_RecursiveDeref(mgr, nextState);
            result = true;
            break;
        }
        Cudd_RecursiveDeref(mgr, node);
        node = nextState;
    }
    Cudd_RecursiveDeref(mgr, node);
    Cudd_RecursiveDeref(mgr, unvisited);
    return result;
}

namespace {

std::chrono::steady_clock::time_point secondsFromNow(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
               std::chrono::duration<double>(seconds));
}

}  // namespace

int compSteadySync(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                   const std::vector<int>& geneId, DdNode* inpCubeFwd, DdNode* inpCubeBwd,
                   int nInpVar, std::vector<DdNode*>& steadyStates,
                   std::vector<DdNode*>& steadyFalse, double backwardSeconds) {
    // An infinite time runs every backward search to its end.
    const bool bounded = std::isfinite(backwardSeconds);
    const auto deadline = secondsFromNow(bounded ? backwardSeconds : 0.0);
    bool complete = true;
    // Passes run while no fragment relation is constant; a constant (zero)
    // relation means the space is used up.
    while (!geneId.empty() && !chkConstant(op, geneId)) {
        DdNode* initStateFwd =
            compRandomStateFragSync(mgr, ip, op, geneId, inpCubeFwd, nInpVar);
        std::cout << "computing forward reachable states" << std::endl;
        DdNode* reachedStatesFwd =
            compReachStatesFragSync(mgr, op, ip, geneId, initStateFwd, inpCubeFwd, nInpVar, 0);
        DdNode* initStateBwd = swapCurrentAndNext(mgr, initStateFwd, ip, nInpVar);
        std::cout << "computing backward reachable states" << std::endl;
        const auto passDeadline = std::min(deadline, secondsFromNow(kSyncPassSeconds));
        DdNode* backNext = compReachStatesFragSyncUntil(mgr, op, ip, geneId, initStateBwd,
                                                        inpCubeBwd, nInpVar, 1,
                                                        bounded ? &passDeadline : nullptr,
                                                        complete);
        DdNode* reachedStatesBack = swapCurrentAndNext(mgr, backNext, ip, nInpVar);

        // Recurrent: every state reachable from the start reaches it back, so
        // the forward set is the start's attractor.
        // A partial backward set proves recurrence just as well, but not
        // the contrary.
        if (!checkInclusion(mgr, reachedStatesBack, reachedStatesFwd)) {
            if (complete) std::cout << "transient state" << std::endl;
        } else if (!chkFalseLoopFragSync(mgr, op, reachedStatesFwd, ip, geneId, inpCubeFwd,
                                         nInpVar)) {
            std::cout << "recurrent state" << std::endl;
            Cudd_Ref(reachedStatesFwd);
            steadyStates.push_back(reachedStatesFwd);
        } else {
            Cudd_Ref(reachedStatesFwd);
            steadyFalse.push_back(reachedStatesFwd);
            std::cout << "prospective steady state" << std::endl;
        }

        // A partial backward set is not closed under predecessors: it is not
        // removed, and the search ends.
        if (complete) removeFromRelations(mgr, op, geneId, reachedStatesBack);

        Cudd_RecursiveDeref(mgr, initStateBwd);
        Cudd_RecursiveDeref(mgr, initStateFwd);
        Cudd_RecursiveDeref(mgr, reachedStatesFwd);
        Cudd_RecursiveDeref(mgr, reachedStatesBack);
        Cudd_RecursiveDeref(mgr, backNext);
        if (!complete) {
            std::cout << "synchronous search stopped: a backward search ran out of time; "
                         "the asynchronous search covers the rest"
                      << std::endl;
            break;
        }
    }
    return 0;
}
