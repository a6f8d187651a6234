// Asynchronous attractor search by elimination: each pass picks a start
// state by a descent, computes its forward and backward sets, records the
// forward set when it lies inside the backward set (the start state is then
// recurrent and the forward set is its attractor), and cuts the whole
// backward set out of the fragment's relations.
//
// The backward set is closed under predecessors, so no transition enters it
// from the states that remain: removing it changes nothing among them, every
// attractor not yet found stays intact, and each one is recorded once.
#include "compReachFragAsync.h"

#include <cmath>
#include <iostream>
#include <sstream>

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

// The number of states of `set` (over x) counted over the fragment genes
// only: the other genes are free in every set of the search.
double statesOfFragment(DdManager* mgr, DdNode* set, const std::vector<int>& geneId,
                        int nInpVar) {
    const int fragment = static_cast<int>(uniqueGenes(geneId).size());
    return std::ldexp(Cudd_CountMinterm(mgr, set, nInpVar), fragment - nInpVar);
}

// One pass of the search. Returns false when no fragment gene can move any
// more (nothing was searched). The pass's sets live in `held`, which the
// caller releases, also when a BDD operation fails half-way.
//
// The start state's forward set comes first: it is closed under steps, so
// the start state is recurrent exactly when every state of it leads back to
// the start state, which a backward search inside the forward set decides.
// For a recurrent start state (the usual case after the descent's long walk)
// both searches stay inside its attractor, however large its basin. Only
// then is the whole backward set built, for the cut, from the part already
// known.
bool searchOnePass(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                   DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                   DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates,
                   std::vector<DdNode*>& held, double maxStates) {
    std::cout << "computing initial state" << std::endl;
    DdNode* initState =
        compRandomStateFragAsync(mgr, ip, op, inpCubeFwd, geneId, topSame, nInpVar);
    if (initState == nullptr) return false;
    held.push_back(initState);

    std::cout << "computing forward reachable states" << std::endl;
    DdNode* reachedFwd =
        compReachStatesFragAsync(mgr, op, ip, initState, inpCubeFwd, geneId, topSame, nInpVar);
    held.push_back(reachedFwd);
    std::cout << "computing backward reachable states within them" << std::endl;
    DdNode* backWithin = compReachStatesFragAsyncInside(mgr, op, ip, initState, geneId, topSame,
                                                        nInpVar, reachedFwd, true);
    held.push_back(backWithin);
    const bool recurrent = Cudd_bddLeq(mgr, reachedFwd, backWithin) == 1;
    if (recurrent) {
        std::cout << "recurrent state" << std::endl;
        // Every attractor of a fragment is the image of an attractor of the
        // whole network, which has at least as many states: one too large to
        // write is refused now rather than after the rest of the analysis.
        const double states = statesOfFragment(mgr, reachedFwd, geneId, nInpVar);
        if (states > maxStates) {
            std::ostringstream message;
            message.precision(15);
            message << "an attractor of at least " << states << " states is too large to write";
            raiseFatal(message.str());
        }
        Cudd_Ref(reachedFwd);
        steadyStates.push_back(reachedFwd);
    } else {
        std::cout << "transient state" << std::endl;
    }

    // The whole backward set, over x', grown from the part inside the
    // forward set (the start state's attractor when it is recurrent).
    std::cout << "computing backward reachable states" << std::endl;
    DdNode* seed = swapCurrentAndNext(mgr, backWithin, ip, nInpVar);
    held.push_back(seed);
    DdNode* reachedBackNext =
        compReachStatesFragAsync(mgr, op, ip, seed, inpCubeBwd, geneId, topSame, nInpVar);
    held.push_back(reachedBackNext);
    DdNode* reachedStatesBack = swapCurrentAndNext(mgr, reachedBackNext, ip, nInpVar);
    held.push_back(reachedStatesBack);

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
                    DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates,
                    double maxStates) {
    int iteration = 0;
    do {
        ++iteration;
        std::cout << "iteration is " << iteration << std::endl;
        std::vector<DdNode*> held;
        bool searched = false;
        try {
            searched = searchOnePass(mgr, op, ip, inpCubeFwd, inpCubeBwd, geneId, topSame,
                                     nInpVar, steadyStates, held, maxStates);
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
