// Asynchronous attractor search by elimination: each pass picks start
// states by a descent, computes their forward sets and decides whether each
// lies inside the start state's backward set (the start state is then
// recurrent and the forward set is its attractor), records the new
// attractors, and cuts the whole backward set of what it found out of the
// fragment's relations.
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

void releaseAll(DdManager* mgr, std::vector<DdNode*>& nodes) {
    for (DdNode* node : nodes) Cudd_RecursiveDeref(mgr, node);
    nodes.clear();
}

// handle = handle OR set, releasing the old handle.
void uniteInto(DdManager* mgr, DdNode*& handle, DdNode* set) {
    DdNode* united = refChecked(Cudd_bddOr(mgr, handle, set));
    Cudd_RecursiveDeref(mgr, handle);
    handle = united;
}

// A pass ends after this many walks in a row that found no new attractor.
constexpr int kWalksWithoutNews = 16;

// One walk of a pass: a start state by the descent, its forward set, and the
// part of that set from which the start state is reached. The forward set
// is closed under steps, so the start state is recurrent exactly when that
// part is the whole forward set, and for a recurrent start state (the usual
// case after the descent's long walk) both searches stay inside its
// attractor, however large its basin. A new attractor is appended to
// steadyStates and added to held[0]; the backward part of a transient start
// state is added to held[1]. Returns false when the descent finds no state
// (no fragment gene can move), true otherwise; `news` tells whether the
// walk found a new attractor.
bool walkOnce(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
              DdNode* inpCubeFwd, const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
              std::vector<DdNode*>& steadyStates, std::vector<DdNode*>& held, double maxStates,
              bool& news) {
    news = false;
    std::cout << "computing initial state" << std::endl;
    DdNode* initState =
        compRandomStateFragAsync(mgr, ip, op, inpCubeFwd, geneId, topSame, nInpVar);
    if (initState == nullptr) return false;
    std::vector<DdNode*> local{initState};
    try {
        if (Cudd_bddLeq(mgr, initState, held[0]) == 1) {
            std::cout << "state of an attractor already found" << std::endl;
            releaseAll(mgr, local);
            return true;
        }
        std::cout << "computing forward reachable states" << std::endl;
        DdNode* reachedFwd = compReachStatesFragAsync(mgr, op, ip, initState, inpCubeFwd, geneId,
                                                      topSame, nInpVar);
        local.push_back(reachedFwd);
        std::cout << "computing backward reachable states within them" << std::endl;
        DdNode* backWithin = compReachStatesFragAsyncInside(mgr, op, ip, initState, geneId,
                                                            topSame, nInpVar, reachedFwd, true);
        local.push_back(backWithin);
        if (Cudd_bddLeq(mgr, reachedFwd, backWithin) == 1) {
            std::cout << "recurrent state" << std::endl;
            // Every attractor of a fragment is the image of an attractor of
            // the whole network, which has at least as many states: one too
            // large to write is refused now rather than after the rest of
            // the analysis.
            const double states = statesOfFragment(mgr, reachedFwd, geneId, nInpVar);
            if (states > maxStates) {
                std::ostringstream message;
                message.precision(15);
                message << "an attractor of at least " << states
                        << " states is too large to write";
                raiseFatal(message.str());
            }
            uniteInto(mgr, held[0], reachedFwd);
            Cudd_Ref(reachedFwd);
            steadyStates.push_back(reachedFwd);
            news = true;
        } else {
            std::cout << "transient state" << std::endl;
            uniteInto(mgr, held[1], backWithin);
        }
    } catch (...) {
        releaseAll(mgr, local);
        throw;
    }
    releaseAll(mgr, local);
    return true;
}

// One pass of the search: walks until kWalksWithoutNews walks in a row find
// no new attractor, then cuts the backward set of everything the walks
// found (the new attractors and the backward parts of transient start
// states) out of the relations with one backward search, instead of one per
// attractor. Returns false when no fragment gene can move any more (nothing
// was searched). The pass's sets live in `held`, which the caller releases,
// also when a BDD operation fails half-way.
bool searchOnePass(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                   DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                   DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates,
                   std::vector<DdNode*>& held, double maxStates) {
    // held[0]: the attractors found by this pass; held[1]: the backward
    // parts of its transient start states.
    for (int k = 0; k < 2; ++k) {
        held.push_back(Cudd_ReadLogicZero(mgr));
        Cudd_Ref(held.back());
    }
    bool searched = false;
    for (int misses = 0; misses < kWalksWithoutNews;) {
        bool news = false;
        if (!walkOnce(mgr, op, ip, inpCubeFwd, geneId, topSame, nInpVar, steadyStates, held,
                      maxStates, news))
            break;
        searched = true;
        misses = news ? 0 : misses + 1;
    }
    if (!searched) return false;

    // The whole backward set, over x'. Every state of it reaches an
    // attractor found here or a transient start state, so it holds no
    // attractor not yet found.
    std::cout << "computing backward reachable states" << std::endl;
    uniteInto(mgr, held[0], held[1]);
    DdNode* seed = swapCurrentAndNext(mgr, held[0], ip, nInpVar);
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
