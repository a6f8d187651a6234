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

#include "bddHandle.h"
#include "bddHelpers.h"
#include "quorvelError.h"
#include "utilFragSync.h"

namespace {

// op[g] = op[g] AND NOT removed (a set over current-state variables) for
// every g of the fragment; the array owns the new handles.
void removeFromRelations(DdManager* mgr, std::vector<DdNode*>& op, const std::vector<int>& geneId,
                         DdNode* removed) {
    for (int g : geneId) {
        DdNode*& rel = op[static_cast<size_t>(g)];
        replaceOwned(rel, bddResult(mgr, Cudd_bddAnd(mgr, rel, Cudd_Not(removed))));
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
                          std::vector<DdNode*>& ip, const std::vector<int>& geneId, DdNode* inpCube,
                          int nInpVar) {
    DdNode* const zero = Cudd_ReadLogicZero(mgr);
    bddHandle unvisited(mgr, reachedStates);
    std::vector<char> outCube = makeCubeArray(mgr, nInpVar);
    pickCubeOrFail(mgr, unvisited.get(), outCube);
    for (int g : geneId)
        if (outCube[static_cast<size_t>(g)] == 2) outCube[static_cast<size_t>(g)] = 0;
    bddHandle node = bddHandle::adopt(mgr, makeBdd(mgr, ip, outCube.data(), nInpVar));

    for (;;) {
        bddHandle nextState = bddHandle::adopt(
            mgr, compImageFragSync(mgr, topNode, ip, geneId, inpCube, node.get(), nInpVar, 0));
        if (nextState.get() == zero) return true;
        std::vector<char> tmpOutCube = makeCubeArray(mgr, nInpVar);
        pickCubeOrFail(mgr, nextState.get(), tmpOutCube);
        int cntChange = 0;
        for (int g : geneId) {
            char& value = outCube[static_cast<size_t>(g)];
            if (value != tmpOutCube[static_cast<size_t>(g)]) {
                ++cntChange;
                value = tmpOutCube[static_cast<size_t>(g)];
            }
        }
        if (cntChange > 1) return true;
        unvisited = bddResult(mgr, Cudd_bddAnd(mgr, unvisited.get(), Cudd_Not(node.get())));
        if (unvisited.get() == zero) return false;
        // On a cycle the next state is always one not yet visited; anything
        // else means the set is not one cycle of the map, and walking on
        // would never cover it.
        if (!checkInclusion(mgr, unvisited.get(), nextState.get())) return true;
        node = std::move(nextState);
    }
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
                   std::vector<DdNode*>& steadyFalse, double backwardSeconds,
                   const progressSink& progress) {
    return compSteadySyncOn(symbolicEncoding{mgr, ip, nInpVar, inpCubeFwd, inpCubeBwd}, op, geneId,
                            steadyStates, steadyFalse, backwardSeconds, progress);
}

int compSteadySyncOn(const symbolicEncoding& encoding, std::vector<DdNode*>& op,
                     const std::vector<int>& geneId, std::vector<DdNode*>& steadyStates,
                     std::vector<DdNode*>& steadyFalse, double backwardSeconds,
                     const progressSink& progress) {
    DdManager* const mgr = encoding.mgr;
    std::vector<DdNode*>& ip = encoding.ip;
    DdNode* const inpCubeFwd = encoding.inpCubeFwd;
    const int nInpVar = encoding.nInpVar;
    // An infinite time runs every backward search to its end.
    const bool bounded = std::isfinite(backwardSeconds);
    const auto deadline = secondsFromNow(bounded ? backwardSeconds : 0.0);
    bool complete = true;
    // Passes run while no fragment relation is constant; a constant (zero)
    // relation means the space is used up. Each pass holds its sets in
    // handles, so an engine failure anywhere releases them; the caller's
    // arrays own one reference per entry at every point.
    while (!geneId.empty() && !chkConstant(op, geneId)) {
        const bddHandle initStateFwd = bddHandle::adopt(
            mgr, compRandomStateFragSync(mgr, ip, op, geneId, inpCubeFwd, nInpVar, progress));
        writeProgress(progress, "computing forward reachable states\n");
        const bddHandle reachedStatesFwd =
            bddHandle::adopt(mgr, compReachStatesFragSync(mgr, op, ip, geneId, initStateFwd.get(),
                                                          inpCubeFwd, nInpVar, 0, progress));
        const bddHandle initStateBwd =
            bddHandle::adopt(mgr, swapCurrentAndNext(mgr, initStateFwd.get(), ip, nInpVar));
        writeProgress(progress, "computing backward reachable states\n");
        const auto passDeadline = std::min(deadline, secondsFromNow(kSyncPassSeconds));
        const bddHandle backNext = bddHandle::adopt(
            mgr,
            compReachStatesFragSyncUntil(encoding, op, geneId, initStateBwd.get(), 1,
                                         bounded ? &passDeadline : nullptr, complete, progress));
        const bddHandle reachedStatesBack =
            bddHandle::adopt(mgr, swapCurrentAndNext(mgr, backNext.get(), ip, nInpVar));

        // Recurrent: every state reachable from the start reaches it back, so
        // the forward set is the start's attractor.
        // A partial backward set proves recurrence just as well, but not
        // the contrary.
        if (!checkInclusion(mgr, reachedStatesBack.get(), reachedStatesFwd.get())) {
            if (complete) writeProgress(progress, "transient state\n");
        } else if (!chkFalseLoopFragSync(mgr, op, reachedStatesFwd.get(), ip, geneId, inpCubeFwd,
                                         nInpVar)) {
            writeProgress(progress, "recurrent state\n");
            appendOwned(steadyStates, reachedStatesFwd);
        } else {
            appendOwned(steadyFalse, reachedStatesFwd);
            writeProgress(progress, "prospective steady state\n");
        }

        // A partial backward set is not closed under predecessors: it is not
        // removed, and the search ends.
        if (complete) removeFromRelations(mgr, op, geneId, reachedStatesBack.get());
        if (!complete) {
            writeProgress(progress,
                          "synchronous search stopped: a backward search ran out of time; "
                          "the asynchronous search covers the rest\n");
            break;
        }
    }
    return 0;
}
