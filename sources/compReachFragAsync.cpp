// Asynchronous attractor search. Given the genes' own next-state functions,
// the search follows macro steps around a cut of the fragment's cycles
// (searchByMacroSteps): the steady states come at once, and a proof over the
// cut's genes alone shows when no attractor is left, so no basin is ever
// built. Without the functions, or when that search gives up, the search
// works by elimination.
//
// By elimination: the steady states are found
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

#include <algorithm>
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
    // The counts are sums of scaled minterm counts: whole numbers up to
    // rounding, which the message leaves out.
    if (attractors == 1 && states > budget.maxStates)
        message << "an attractor of at least " << std::round(states)
                << " states is too large to write";
    else
        message << "attractors of at least " << std::round(budget.recorded)
                << " states in all are too large to write";
    raiseFatal(message.str());
}

// handle = handle OR set, releasing the old handle.
void uniteInto(DdManager* mgr, DdNode*& handle, DdNode* set) {
    DdNode* united = refChecked(Cudd_bddOr(mgr, handle, set));
    Cudd_RecursiveDeref(mgr, handle);
    handle = united;
}

// Which of the alive genes lie on a cycle of reads among the alive genes
// (reads[k]: the genes, as indices into the fragment's list, that gene k
// reads): those in a strongly connected component of more than one gene, or
// reading themselves.
std::vector<char> onCycle(const std::vector<std::vector<size_t>>& reads,
                          const std::vector<char>& alive) {
    const size_t n = alive.size();
    std::vector<char> cyclic(n, 0);
    adjacencyList graph(n), graphTp(n);
    for (size_t k = 0; k < n; ++k) {
        if (!alive[k]) continue;
        for (size_t r : reads[k]) {
            if (!alive[r]) continue;
            if (r == k) cyclic[k] = 1;
            graph[r].push_back(static_cast<int>(k));
            graphTp[k].push_back(static_cast<int>(r));
        }
    }
    for (const std::vector<int>& component : stronglyConnectedComponents(graph, graphTp))
        if (component.size() > 1)
            for (int k : component) cyclic[static_cast<size_t>(k)] = 1;
    return cyclic;
}

// Fragment genes that meet every cycle of reads among the fragment genes.
// Greedily, while some gene lies on a cycle, the one of them that reads
// and is read by the most others on cycles is taken; then each gene taken
// that no cycle needs (none comes back without it) is given back.
std::vector<int> cycleCut(const networkFunctions& network, const std::vector<int>& genes) {
    const size_t n = genes.size();
    std::vector<int> at(network.regulators.size(), -1);
    for (size_t k = 0; k < n; ++k) at[static_cast<size_t>(genes[k])] = static_cast<int>(k);
    std::vector<std::vector<size_t>> reads(n);
    for (size_t k = 0; k < n; ++k)
        for (int r : network.regulators[static_cast<size_t>(genes[k])])
            if (at[static_cast<size_t>(r)] >= 0)
                reads[k].push_back(static_cast<size_t>(at[static_cast<size_t>(r)]));
    std::vector<char> alive(n, 1);
    std::vector<size_t> taken;
    for (;;) {
        const std::vector<char> cyclic = onCycle(reads, alive);
        std::vector<long> in(n, 0), out(n, 0);
        for (size_t k = 0; k < n; ++k)
            for (size_t r : reads[k])
                if (cyclic[k] && cyclic[r]) {
                    ++in[k];
                    ++out[r];
                }
        size_t chosen = n;
        for (size_t k = 0; k < n; ++k)
            if (cyclic[k] && (chosen == n || in[k] * out[k] > in[chosen] * out[chosen]))
                chosen = k;
        if (chosen == n) break;
        alive[chosen] = 0;
        taken.push_back(chosen);
    }
    std::vector<int> cut;
    for (size_t k : taken) {
        alive[k] = 1;
        const std::vector<char> cyclic = onCycle(reads, alive);
        if (std::find(cyclic.begin(), cyclic.end(), 1) != cyclic.end()) {
            alive[k] = 0;
            cut.push_back(genes[k]);
        }
    }
    return cut;
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

// A pass ends after this many walks in a row that found no new attractor.
constexpr int kWalksWithoutNews = 16;

// The recurrence test of a start state (a conjunction over the fragment
// genes, in no attractor found yet): its forward set, and the part of that
// set from which the start state is reached. The forward set is closed
// under steps, so the start state is recurrent exactly when that part is
// the whole forward set, and for a recurrent start state (the usual case
// after a long walk) both searches stay inside its attractor, however large
// its basin. A new attractor is appended to steadyStates and added to
// held[0]; the backward part of a transient start state is added to
// held[1]. Returns whether the state is recurrent.
bool testStart(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
               DdNode* inpCubeFwd, const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
               DdNode* initState, std::vector<DdNode*>& steadyStates, std::vector<DdNode*>& held,
               recordBudget& budget) {
    std::vector<DdNode*> local;
    bool recurrent = false;
    try {
        std::cout << "computing forward reachable states" << std::endl;
        DdNode* reachedFwd = compReachStatesFragAsync(mgr, op, ip, initState, inpCubeFwd, geneId,
                                                      topSame, nInpVar);
        local.push_back(reachedFwd);
        std::cout << "computing backward reachable states within them" << std::endl;
        DdNode* backWithin = compReachStatesFragAsyncInside(mgr, op, ip, initState, geneId,
                                                            topSame, nInpVar, reachedFwd, true);
        local.push_back(backWithin);
        recurrent = Cudd_bddLeq(mgr, reachedFwd, backWithin) == 1;
        if (recurrent) {
            std::cout << "recurrent state" << std::endl;
            admitStates(budget, statesOfFragment(mgr, reachedFwd, geneId, nInpVar), 1);
            uniteInto(mgr, held[0], reachedFwd);
            Cudd_Ref(reachedFwd);
            steadyStates.push_back(reachedFwd);
        } else {
            std::cout << "transient state" << std::endl;
            uniteInto(mgr, held[1], backWithin);
        }
    } catch (...) {
        releaseAll(mgr, local);
        throw;
    }
    releaseAll(mgr, local);
    return recurrent;
}

// One walk of a pass: a start state by the descent, then testStart unless
// the state lies in an attractor already found. Returns false when the
// descent finds no state (no fragment gene can move), true otherwise;
// `news` tells whether the walk found a new attractor.
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
        if (Cudd_bddLeq(mgr, initState, held[0]) == 1)
            std::cout << "state of an attractor already found" << std::endl;
        else
            news = testStart(mgr, op, ip, inpCubeFwd, geneId, topSame, nInpVar, initState,
                             steadyStates, held, budget);
    } catch (...) {
        releaseAll(mgr, local);
        throw;
    }
    releaseAll(mgr, local);
    return true;
}

// The largest forward set the recurrence test explores state by state.
constexpr size_t kExplicitStates = 32768;

// The recurrence test of a walk's end state (in no attractor found yet):
// over explicit states, by the genes' own functions, when its forward set is
// small; otherwise by testStart when `symbolic`, and else left undecided. A
// new attractor is recorded and added to held[0]. Returns 1 for a recurrent
// state, 0 for a transient one, -1 when undecided.
int recordIfRecurrent(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                      DdNode* inpCubeFwd, const std::vector<int>& geneId, DdNode* topSame,
                      int nInpVar, const networkFunctions& network, DdNode* state, bool symbolic,
                      std::vector<DdNode*>& steadyStates, std::vector<DdNode*>& held,
                      recordBudget& budget) {
    DdNode* attractor = nullptr;
    const int recurrent = explicitRecurrence(mgr, ip, network, geneId, nInpVar, state,
                                             kExplicitStates, &attractor);
    if (recurrent < 0) {
        if (!symbolic) return -1;
        return testStart(mgr, op, ip, inpCubeFwd, geneId, topSame, nInpVar, state, steadyStates,
                         held, budget) ? 1 : 0;
    }
    if (recurrent == 0) {
        std::cout << "transient state" << std::endl;
        return 0;
    }
    std::cout << "recurrent state" << std::endl;
    try {
        admitStates(budget, statesOfFragment(mgr, attractor, geneId, nInpVar), 1);
        uniteInto(mgr, held[0], attractor);
    } catch (...) {
        Cudd_RecursiveDeref(mgr, attractor);
        throw;
    }
    steadyStates.push_back(attractor);
    return 1;
}

// A walk from a point goes on in legs of this many steps per gene, plus 256,
// each followed by the recurrence test of where it stands, up to
// kWalkLegs legs.
// kWalkLegs legs; from leg kExplicitLegs on, a state whose forward set is
// too large to explore state by state is tested over sets.
constexpr long kLegStepsPerGene = 4;
constexpr int kWalkLegs = 16;
constexpr int kExplicitLegs = 2;

// Transient end states of walks after which the search by macro steps gives
// up.
constexpr int kMacroTransients = 8;

// The search by macro steps (see macroSteps): every attractor of the fragment
// holds the state of a point (from any of its states, the genes outside the
// cut become stable by themselves), so once every point left reaches, by
// macro steps (real paths), a point whose state lies in an attractor found,
// an attractor not found would contain a state that reaches another
// attractor: there is none. The steady states are the states of the fixed
// points and are recorded all at once. Then, while some point left is not
// shown to reach an attractor found, a walk from its state ends in an
// attractor found (the point is then shown to reach it) or in a state that
// testStart classifies: a new attractor is recorded. Nothing is cut from the
// relations. Returns false, with nothing recorded, when the walks end in
// transient states too often; the caller then searches by elimination.
bool searchByMacroSteps(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                        DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                        DdNode* topSame, int nInpVar, const networkFunctions& network,
                        std::vector<DdNode*>& steadyStates, recordBudget& budget) {
    const std::vector<int> genes = uniqueGenes(geneId);
    if (genes.empty()) return false;
    // The argument needs a fragment closed under reads: a gene outside it
    // never changes, and the points would not fix it.
    std::vector<char> inFragment(network.regulators.size(), 0);
    for (int g : genes) inFragment[static_cast<size_t>(g)] = 1;
    for (int g : genes)
        for (int r : network.regulators[static_cast<size_t>(g)])
            if (!inFragment[static_cast<size_t>(r)]) return false;
    const std::vector<int> cut = cycleCut(network, genes);
    std::cout << "computing macro steps over " << cut.size() << " genes" << std::endl;
    macroSteps ms = makeMacroSteps(mgr, ip, geneId, nInpVar, network, cut);
    const size_t firstNew = steadyStates.size();
    recordBudget local = budget;
    DdNode* zero = Cudd_ReadLogicZero(mgr);
    // held[0]: the attractors found; held[1]: transient parts (unused
    // here); held[2]: the points left; held[3]: the points shown to reach an
    // attractor found; held[4], held[5]: scratch.
    std::vector<DdNode*> held(6, zero);
    for (DdNode* node : held) Cudd_Ref(node);
    auto replace = [&](size_t at, DdNode* node) {
        Cudd_RecursiveDeref(mgr, held[at]);
        held[at] = node;
    };
    const double pointScale = std::ldexp(1.0, static_cast<int>(cut.size()) - nInpVar);
    bool done = false;
    try {
        replace(4, refChecked(Cudd_bddExistAbstract(mgr, op[static_cast<size_t>(genes[0])],
                                                     inpCubeBwd)));
        replace(2, macroProject(mgr, ms, held[4]));
        std::cout << "computing steady states" << std::endl;
        replace(4, macroFixedPoints(mgr, ms, ip));
        replace(4, refChecked(Cudd_bddAnd(mgr, held[4], held[2])));
        const double count = Cudd_CountMinterm(mgr, held[4], nInpVar) * pointScale;
        std::cout << "number of steady states  " << count << std::endl;
        if (count > 0) admitStates(local, count, count);
        while (held[4] != zero) {
            DdNode* point = nullptr;
            DdNode* state = macroState(mgr, ms, ip, nInpVar, held[4], &point);
            steadyStates.push_back(state);
            uniteInto(mgr, held[0], state);
            uniteInto(mgr, held[3], point);
            replace(4, refReleasing(mgr, Cudd_bddAnd(mgr, held[4], Cudd_Not(point)), {point}));
        }
        unsigned walks = 0;
        int transients = 0;
        const long legSteps = kLegStepsPerGene * static_cast<long>(genes.size()) + 256;
        for (;;) {
            bool covered = false;
            replace(3, macroBackward(mgr, ms, ip, nInpVar, held[3], held[2], covered));
            if (covered) {
                done = true;
                break;
            }
            replace(4, refChecked(Cudd_bddAnd(mgr, held[2], Cudd_Not(held[3]))));
            DdNode* point = nullptr;
            DdNode* state = macroState(mgr, ms, ip, nInpVar, held[4], &point);
            replace(4, point);
            replace(5, state);
            // Walk in legs until the walk meets an attractor found or stands
            // in a new one.
            int outcome = 0;  // 1: reached one found; 2: found a new one
            for (int leg = 0; leg < kWalkLegs && outcome == 0; ++leg) {
                replace(5, walkFromState(mgr, ip, network, geneId, nInpVar, held[5], held[0],
                                         legSteps, ++walks));
                if (Cudd_bddLeq(mgr, held[5], held[0]) == 1) {
                    std::cout << "state of an attractor already found" << std::endl;
                    outcome = 1;
                } else if (recordIfRecurrent(mgr, op, ip, inpCubeFwd, geneId, topSame, nInpVar,
                                             network, held[5], leg >= kExplicitLegs,
                                             steadyStates, held, local) == 1) {
                    DdNode* inside = macroProject(mgr, ms, steadyStates.back());
                    uniteInto(mgr, held[3], inside);
                    Cudd_RecursiveDeref(mgr, inside);
                    outcome = 2;
                }
            }
            if (outcome == 0) {
                if (++transients > kMacroTransients) break;
                continue;
            }
            uniteInto(mgr, held[3], held[4]);
        }
    } catch (...) {
        releaseAll(mgr, held);
        releaseMacroSteps(mgr, ms);
        throw;
    }
    releaseAll(mgr, held);
    releaseMacroSteps(mgr, ms);
    if (!done) {
        std::cout << "macro steps give up" << std::endl;
        for (size_t k = firstNew; k < steadyStates.size(); ++k)
            Cudd_RecursiveDeref(mgr, steadyStates[k]);
        steadyStates.resize(firstNew);
        return false;
    }
    budget = local;
    std::cout << "every point reaches an attractor found" << std::endl;
    return true;
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
        DdNode* both = refReleasing(mgr, Cudd_bddAnd(mgr, held[0], loop), {loop});
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
                    double maxStates, const networkFunctions* network) {
    recordBudget budget{maxStates};
    if (network != nullptr &&
        searchByMacroSteps(mgr, op, ip, inpCubeFwd, inpCubeBwd, geneId, topSame, nInpVar,
                           *network, steadyStates, budget))
        return 0;
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
