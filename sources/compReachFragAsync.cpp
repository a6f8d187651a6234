// Asynchronous attractor search by elimination: each pass picks a start
// state by a descent, computes its backward and forward sets, records the
// forward set when it lies inside the backward set (the start state is then
// recurrent and the forward set is its attractor), and cuts the whole
// backward set out of the fragment's relations.
//
// The backward set is closed under predecessors, so no transition enters it
// from the states that remain: removing it changes nothing among them, every
// attractor not yet found stays intact, and each one is recorded once.
#include "compReachFragAsync.h"

#include <iostream>

#include "util.h"
#include "utilFragAsync.h"

void excludeStatesAsync(DdManager* mgr, std::vector<DdNode*>& op, const std::vector<int>& geneId,
                        DdNode* states) {
    for (int g : uniqueGenes(geneId)) {
        DdNode* narrowed = refChecked(Cudd_bddAnd(mgr, op[g], Cudd_Not(states)));
        Cudd_RecursiveDeref(mgr, op[g]);
        op[g] = narrowed;
    }
}

namespace {

DdNode* swapCurrentAndNext(DdManager* mgr, DdNode* set, std::vector<DdNode*>& ip, int nInpVar) {
    return refChecked(Cudd_bddSwapVariables(mgr, set, ip.data(), ip.data() + nInpVar, nInpVar));
}

// One pass of the search. Returns false when no fragment gene can move any
// more (nothing was searched). The pass's sets live in `held`, which the
// caller releases, also when a BDD operation fails half-way.
bool searchOnePass(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                   DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                   DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates,
                   std::vector<DdNode*>& held) {
    std::cout << "computing initial state" << std::endl;
    DdNode* initStateFwd =
        compRandomStateFragAsync(mgr, ip, op, inpCubeFwd, geneId, topSame, nInpVar);
    if (initStateFwd == nullptr) return false;
    held.push_back(initStateFwd);
    DdNode* initStateBwd = swapCurrentAndNext(mgr, initStateFwd, ip, nInpVar);
    held.push_back(initStateBwd);

    std::cout << "computing backward reachable states" << std::endl;
    DdNode* reachedBackNext =
        compReachStatesFragAsync(mgr, op, ip, initStateBwd, inpCubeBwd, geneId, topSame, nInpVar);
    held.push_back(reachedBackNext);
    DdNode* reachedStatesBack = swapCurrentAndNext(mgr, reachedBackNext, ip, nInpVar);
    held.push_back(reachedStatesBack);
    // The start state is recurrent exactly when its forward set stays inside
    // its backward set, so the forward search stops at the first state that
    // leaves it: a transient start state's forward set, which can be far
    // larger than both, is never built.
    std::cout << "computing forward reachable states" << std::endl;
    DdNode* reachedStatesFwd = compReachStatesFragAsyncWithin(mgr, op, ip, initStateFwd, geneId,
                                                              topSame, nInpVar, reachedStatesBack);
    if (reachedStatesFwd != nullptr) {
        std::cout << "recurrent state" << std::endl;
        steadyStates.push_back(reachedStatesFwd);
    } else {
        std::cout << "transient state" << std::endl;
    }

    // Cut every transition that leaves or enters the backward set.
    excludeStatesAsync(mgr, op, geneId, reachedStatesBack);
    excludeStatesAsync(mgr, op, geneId, reachedBackNext);
    return true;
}

void releaseAll(DdManager* mgr, std::vector<DdNode*>& nodes) {
    for (DdNode* node : nodes) Cudd_RecursiveDeref(mgr, node);
    nodes.clear();
}

}  // namespace

int compSteadyAsync(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                    DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                    DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates) {
    int iteration = 0;
    do {
        ++iteration;
        std::cout << "iteration is " << iteration << std::endl;
        std::vector<DdNode*> held;
        bool searched = false;
        try {
            searched = searchOnePass(mgr, op, ip, inpCubeFwd, inpCubeBwd, geneId, topSame,
                                     nInpVar, steadyStates, held);
        } catch (...) {
            releaseAll(mgr, held);
            throw;
        }
        releaseAll(mgr, held);
        if (!searched) break;
    } while (!chkConstantAsync(op, geneId));
    return 0;
}

bool chkConstantAsync(const std::vector<DdNode*>& node, const std::vector<int>& geneId) {
    for (int g : geneId)
        if (!Cudd_IsConstant(node[g])) return false;
    return true;
}
