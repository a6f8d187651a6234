// Asynchronous attractor search by elimination. The steady states are found
// all at once and cut out first. Then each pass picks start states by a
// descent, computes their forward sets and decides whether each lies inside
// the start state's backward set (the start state is then recurrent and the
// forward set is its attractor), records the new attractors, and cuts the
// whole backward set of what it found out of the fragment's relations.
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

// The number of states of `set` (over x) counted over the fragment genes
// only: the other genes are free in every set of the search.
double statesOfFragment(DdManager* mgr, DdNode* set, const std::vector<int>& geneId,
                        int nInpVar) {
    const int fragment = static_cast<int>(uniqueGenes(geneId).size());
    return std::ldexp(Cudd_CountMinterm(mgr, set, nInpVar), fragment - nInpVar);
}

// What one search may record (maxStates, over the fragment genes) and what
// it has recorded so far. Every attractor of a fragment is the image of an
// attractor of the whole network, and distinct ones of distinct ones, so
// the result text holds at least the states recorded here: a search whose
// attractors could not be written stops as soon as that shows, rather than
// after the rest of the analysis.
struct recordBudget {
    double maxStates;
    double recorded = 0;
};

// Counts `states` more recorded states, in `attractors` attractors; throws
// quorvelError when they cannot be written.
void admitStates(recordBudget& budget, double states, double attractors) {
    budget.recorded += states;
    if (budget.recorded <= budget.maxStates) return;
    std::ostringstream message;
    message.precision(15);
    if (attractors == 1 && states > budget.maxStates)
        message << "an attractor of at least " << states << " states is too large to write";
    else
        message << "attractors of at least " << budget.recorded
                << " states in all are too large to write";
    raiseFatal(message.str());
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
              std::vector<DdNode*>& steadyStates, std::vector<DdNode*>& held,
              recordBudget& budget, bool& news) {
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
            admitStates(budget, statesOfFragment(mgr, reachedFwd, geneId, nInpVar), 1);
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

// Cuts the backward set of `found` (a set over x, in held[0] on entry) out
// of the relations: every transition that leaves or enters it. The search's
// sets are appended to `held`.
void cutBackwardSet(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                    DdNode* inpCubeBwd, const std::vector<int>& geneId, DdNode* topSame,
                    int nInpVar, DdNode* found, std::vector<DdNode*>& held) {
    std::cout << "computing backward reachable states" << std::endl;
    DdNode* seed = swapCurrentAndNext(mgr, found, ip, nInpVar);
    held.push_back(seed);
    DdNode* reachedBackNext =
        compReachStatesFragAsync(mgr, op, ip, seed, inpCubeBwd, geneId, topSame, nInpVar);
    held.push_back(reachedBackNext);
    DdNode* reachedStatesBack = swapCurrentAndNext(mgr, reachedBackNext, ip, nInpVar);
    held.push_back(reachedStatesBack);
    excludeStatesAsync(mgr, op, geneId, reachedStatesBack);
    excludeStatesAsync(mgr, op, geneId, reachedBackNext);
}

// The largest diagram of the steady-state conjunction worth building.
constexpr int kSteadyStateNodes = 20000;

// The steady states of the fragment, all at once: the states in which every
// fragment gene's step leaves it unchanged. Each is an attractor of its own
// and is recorded as one; then their whole backward set is cut out with one
// search. Networks with thousands of steady states are common, and a walk
// per steady state would cost a pass each. The sets live in `held`.
void cutSteadyStates(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                     DdNode* inpCubeBwd, const std::vector<int>& geneId, DdNode* topSame,
                     int nInpVar, std::vector<DdNode*>& steadyStates, std::vector<DdNode*>& held,
                     recordBudget& budget) {
    const std::vector<int> genes = uniqueGenes(geneId);
    if (genes.empty()) return;
    std::cout << "computing steady states" << std::endl;
    // held[0]: the steady states; held[1]: those not yet recorded.
    held.push_back(Cudd_ReadOne(mgr));
    Cudd_Ref(held[0]);
    for (int g : genes) {
        // The states in which gene g's step is a loop: x_g = f_g(x).
        DdNode* loop = refChecked(Cudd_bddAndAbstract(mgr, op[g], topSame, inpCubeBwd));
        DdNode* both = Cudd_bddAnd(mgr, held[0], loop);
        Cudd_RecursiveDeref(mgr, loop);
        both = refChecked(both);
        Cudd_RecursiveDeref(mgr, held[0]);
        held[0] = both;
        // In some large fragments the conjunction on the way is far larger
        // than any set of the search; the walks find the steady states too,
        // one pass at a time.
        if (Cudd_DagSize(held[0]) > kSteadyStateNodes) {
            std::cout << "steady states left to the walks" << std::endl;
            return;
        }
    }
    const double count = statesOfFragment(mgr, held[0], geneId, nInpVar);
    std::cout << "number of steady states  " << count << std::endl;
    if (count == 0) return;
    admitStates(budget, count, count);
    held.push_back(held[0]);
    Cudd_Ref(held[1]);
    DdNode* zero = Cudd_ReadLogicZero(mgr);
    while (held[1] != zero) {
        DdNode* state = pickMinterm(mgr, held[1], ip, geneId, nInpVar, 0);
        steadyStates.push_back(state);
        DdNode* rest = refChecked(Cudd_bddAnd(mgr, held[1], Cudd_Not(state)));
        Cudd_RecursiveDeref(mgr, held[1]);
        held[1] = rest;
    }
    cutBackwardSet(mgr, op, ip, inpCubeBwd, geneId, topSame, nInpVar, held[0], held);
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
                   std::vector<DdNode*>& held, recordBudget& budget) {
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
                      budget, news))
            break;
        searched = true;
        misses = news ? 0 : misses + 1;
    }
    if (!searched) return false;

    // Every state of the backward set reaches an attractor found here or a
    // transient start state, so it holds no attractor not yet found.
    uniteInto(mgr, held[0], held[1]);
    cutBackwardSet(mgr, op, ip, inpCubeBwd, geneId, topSame, nInpVar, held[0], held);
    return true;
}

}  // namespace

int compSteadyAsync(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                    DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                    DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates,
                    double maxStates) {
    recordBudget budget{maxStates};
    {
        std::vector<DdNode*> held;
        try {
            cutSteadyStates(mgr, op, ip, inpCubeBwd, geneId, topSame, nInpVar, steadyStates,
                            held, budget);
        } catch (...) {
            releaseAll(mgr, held);
            throw;
        }
        releaseAll(mgr, held);
    }
    int iteration = 0;
    do {
        ++iteration;
        std::cout << "iteration is " << iteration << std::endl;
        std::vector<DdNode*> held;
        bool searched = false;
        try {
            searched = searchOnePass(mgr, op, ip, inpCubeFwd, inpCubeBwd, geneId, topSame,
                                     nInpVar, steadyStates, held, budget);
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
