// Asynchronous attractor search. Given the genes' own next-state functions,
// the search follows macro steps around a cut of the fragment's cycles
// (searchByMacroSteps): the steady states come at once, and walks from a
// few candidate states, of which every attractor holds one, find the
// others (settleCandidates), so no basin is ever built. With too many
// candidates, a proof over the cut's genes alone shows when no attractor is
// left; when the macro steps are too large to build, a solver gives the
// candidate states (searchByCandidates). Without the functions, or when
// these searches give up, the search works by elimination.
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
#include <functional>
#include <optional>
#include <sstream>

#include "bddHandle.h"
#include "bddHelpers.h"
#include "printStates.h"
#include "chkRecurrenceExplicit.h"
#include "compCandidateStates.h"
#include "compWalkExplicit.h"
#include "constGeneDb.h"
#include "makeMacroSteps.h"
#include "quorvelError.h"
#include "utilFragAsync.h"

void excludeStatesAsync(DdManager* mgr, std::vector<DdNode*>& op, const std::vector<int>& geneId,
                        DdNode* states) {
    for (int g : uniqueGenes(geneId)) {
        // The array owns its entries: the narrowed relation's reference is
        // handed to it and the old one released (after the new one is taken).
        bddHandle old = bddHandle::adopt(mgr, op[static_cast<size_t>(g)]);
        op[static_cast<size_t>(g)] =
            bddResult(mgr, Cudd_bddAnd(mgr, old.get(), Cudd_Not(states))).release();
    }
}

namespace {

// One search of a fragment: its context and the move relations of its
// current relations, built on first use and again after the relations are
// narrowed.
struct asyncSearch {
    fragAsync frag;
    std::optional<geneMoves> moves;
    bool macroSteps = true;  // see asyncSearchSettings::macroSteps
    // See asyncSearchSettings::trapSearch; cleared before the search by
    // elimination, whose findings do not hold every attractor recorded.
    trapSearchFunction trapSearch;
    int candidateTestNodes = 0;  // see asyncSearchSettings::candidateTestNodes
    // Above 0: the most nodes the forward set of a recurrence test may hold
    // (testStart throws reachTooLarge past it); see settleCandidates.
    int testNodes = 0;
};

const geneMoves& movesOf(asyncSearch& search) {
    if (!search.moves) search.moves = makeGeneMoves(search.frag);
    return *search.moves;
}

// Cuts `states` out of the search's relations (see excludeStatesAsync).
void narrowSearch(asyncSearch& search, DdNode* states) {
    search.moves.reset();
    excludeStatesAsync(search.frag.mgr, search.frag.relations, search.frag.geneId, states);
}

// Appends `set` to the caller's array of results, which owns its reference.
void appendResult(std::vector<DdNode*>& results, bddHandle set) {
    results.push_back(nullptr);
    results.back() = set.release();
}

// The number of states of `set` (over x) counted over the fragment genes
// only: the other genes are free in every set of the search.
double statesOfFragment(const fragAsync& frag, DdNode* set) {
    const int fragment = static_cast<int>(uniqueGenes(frag.geneId).size());
    return std::ldexp(Cudd_CountMinterm(frag.mgr, set, frag.nInpVar), fragment - frag.nInpVar);
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
                << " states is too large to write" << kLargeAttractorFormats;
    else
        message << "attractors of at least " << std::round(budget.recorded)
                << " states in all are too large to write" << kLargeAttractorFormats;
    raiseFatal(message.str());
}

// set = set OR other.
void uniteInto(bddHandle& set, DdNode* other) {
    set = bddResult(set.manager(), Cudd_bddOr(set.manager(), set.get(), other));
}

// What the walks of a pass (or of the search by macro steps) found: the new
// attractors and the backward parts of transient start states, over x.
struct walkFindings {
    bddHandle attractors;
    bddHandle transient;
};

walkFindings noFindings(DdManager* mgr) { return walkFindings{bddZero(mgr), bddZero(mgr)}; }

// Cuts the backward set of `found` (a set over x) out of the relations:
// every transition that leaves or enters it.
void cutBackwardSet(asyncSearch& search, DdNode* found) {
    writeProgress(search.frag.progress, "computing backward reachable states\n");
    const bddHandle seed = bddHandle::adopt(
        search.frag.mgr,
        swapCurrentAndNext(search.frag.mgr, found, search.frag.ip, search.frag.nInpVar));
    const bddHandle reachedBackNext =
        compReachStatesAsync(search.frag, movesOf(search), seed.get(), searchDirection::backward);
    const bddHandle reachedStatesBack =
        bddHandle::adopt(search.frag.mgr, swapCurrentAndNext(search.frag.mgr, reachedBackNext.get(),
                                                             search.frag.ip, search.frag.nInpVar));
    narrowSearch(search, reachedStatesBack.get());
    narrowSearch(search, reachedBackNext.get());
}

// A pass ends after this many walks in a row that found no new attractor.
constexpr int kWalksWithoutNews = 16;

// The attractors inside the trap subcube `trap` (see movesWithinTrap;
// `within`: the moves of the genes that move in it), by the search's
// trapSearch. Records those not found yet (attractors are disjoint, so one
// that meets findings.attractors is found). Every state of the trap reaches
// one of them, so `leadsToFound`, when given, is set to the whole trap.
// Returns whether a new attractor was recorded, or nothing when the search
// offers no trapSearch or it cannot help.
std::optional<bool> searchWithinTrap(asyncSearch& search, const geneMoves& within,
                                     const bddHandle& trap, std::vector<DdNode*>& steadyStates,
                                     walkFindings& findings, recordBudget& budget,
                                     bddHandle* leadsToFound) {
    if (!search.trapSearch) return std::nullopt;
    // Worth it when the trap's blocks are small beside the fragment: a
    // large one would be searched again inside, as hard as the fragment.
    const size_t largest = uniqueGenes(search.frag.geneId).size() / 2;
    std::optional<bddArray> inTrap = search.trapSearch(trap, within.genes, largest);
    if (!inTrap) return std::nullopt;
    const fragAsync& frag = search.frag;
    DdManager* const mgr = frag.mgr;
    writeProgress(frag.progress, "attractors of a trap subcube: ", inTrap->size(), "\n");
    bool news = false;
    for (bddHandle& attractor : *inTrap) {
        if (Cudd_bddLeq(mgr, attractor.get(), Cudd_Not(findings.attractors.get())) != 1) continue;
        admitStates(budget, statesOfFragment(frag, attractor.get()), 1);
        uniteInto(findings.attractors, attractor.get());
        appendResult(steadyStates, std::move(attractor));
        reportAttractorsFound(frag.progress, 1);
        news = true;
    }
    if (leadsToFound != nullptr) *leadsToFound = trap;
    return news;
}

// The recurrence test of a start state (a conjunction over the fragment
// genes, in no attractor found yet): its forward set, and the part of that
// set from which the start state is reached. The forward set is closed
// under steps, so the start state is recurrent exactly when that part is
// the whole forward set, and for a recurrent start state (the usual case
// after a long walk) both searches stay inside its attractor, however large
// its basin. A new attractor is appended to steadyStates and added to
// findings.attractors; the backward part of a transient start state is added
// to findings.transient.
//
// A transient start state leads on: the states of its forward set F that do
// not reach back to it (F less its backward part) form a closed set, which
// holds an attractor. The test goes on from a state of that set outside the
// attractors found, each time inside a smaller closed set, until it stands
// in a new attractor or every state left lies in attractors found. Walks
// that keep ending outside an attractor hard to enter at random then cost
// one such descent instead of leg after leg. Returns whether a new attractor
// was recorded. Otherwise, with `leadsToFound`, sets it to states shown to
// reach attractors found: the backward parts met on the way and the last
// forward set.
bool testStart(asyncSearch& search, DdNode* initState, std::vector<DdNode*>& steadyStates,
               walkFindings& findings, recordBudget& budget, bddHandle* leadsToFound = nullptr) {
    DdManager* const mgr = search.frag.mgr;
    bddHandle start(mgr, initState);
    bddHandle backParts = bddZero(mgr);
    // Every state the test meets lies in the smallest trap subcube around
    // the first start: only the genes that move there take part.
    bddHandle trap;
    const std::optional<geneMoves> within =
        movesWithinTrap(search.frag, movesOf(search), initState, &trap);
    if (within) {
        if (const std::optional<bool> news = searchWithinTrap(search, *within, trap, steadyStates,
                                                              findings, budget, leadsToFound))
            return *news;
    }
    const geneMoves& moves = within ? *within : movesOf(search);
    for (bool first = true;; first = false) {
        writeProgress(search.frag.progress, "computing forward reachable states\n");
        bddHandle reachedFwd = compReachStatesAsync(search.frag, moves, start.get(),
                                                    searchDirection::forward, search.testNodes);
        writeProgress(search.frag.progress, "computing backward reachable states within them\n");
        // Stopped as soon as it covers the forward set: for a recurrent start
        // the last round over every gene, which only confirms that nothing is
        // added, is left out.
        bool covered = false;
        const bddHandle backWithin = compReachStatesInsideAsync(
            search.frag, moves, start.get(), reachedFwd.get(), searchDirection::backward, &covered);
        const bool recurrent = covered || Cudd_bddLeq(mgr, reachedFwd.get(), backWithin.get()) == 1;
        if (recurrent) {
            writeProgress(search.frag.progress, "recurrent state\n");
            admitStates(budget, statesOfFragment(search.frag, reachedFwd.get()), 1);
            uniteInto(findings.attractors, reachedFwd.get());
            appendResult(steadyStates, std::move(reachedFwd));
            reportAttractorsFound(search.frag.progress, 1);
            return true;
        }
        writeProgress(search.frag.progress, "transient state\n");
        if (first) uniteInto(findings.transient, backWithin.get());
        uniteInto(backParts, backWithin.get());
        bddHandle onward =
            bddResult(mgr, Cudd_bddAnd(mgr, reachedFwd.get(), Cudd_Not(backWithin.get())));
        onward =
            bddResult(mgr, Cudd_bddAnd(mgr, onward.get(), Cudd_Not(findings.attractors.get())));
        if (onward.get() == Cudd_ReadLogicZero(mgr)) {
            if (leadsToFound != nullptr)
                *leadsToFound = bddResult(mgr, Cudd_bddOr(mgr, backParts.get(), reachedFwd.get()));
            return false;
        }
        start = bddHandle::adopt(mgr, pickMinterm(mgr, onward.get(), search.frag.ip,
                                                  search.frag.geneId, search.frag.nInpVar, 0));
    }
}

// One walk of a pass: a start state by the descent, then testStart unless
// the state lies in an attractor already found. Returns false when the
// descent finds no state (no fragment gene can move), true otherwise;
// `news` tells whether the walk found a new attractor.
bool walkOnce(asyncSearch& search, std::vector<DdNode*>& steadyStates, walkFindings& findings,
              recordBudget& budget, bool& news) {
    news = false;
    writeProgress(search.frag.progress, "computing initial state\n");
    const bddHandle initState = compRandomStateAsync(search.frag, movesOf(search));
    if (!initState) return false;
    if (Cudd_bddLeq(search.frag.mgr, initState.get(), findings.attractors.get()) == 1)
        writeProgress(search.frag.progress, "state of an attractor already found\n");
    else
        news = testStart(search, initState.get(), steadyStates, findings, budget);
    return true;
}

// The largest forward set the recurrence test explores state by state:
// 1024 states and 8 more per fragment gene. Over explicit states one state
// of n genes costs about n/64 words to store and hash and a few function
// evaluations, so the budget's cost grows like the square of n, as does the
// cheapest symbolic test of a set that one gene after another must extend
// (a negative ring's cycle of 2n states: 2n steps over diagrams of about n
// nodes). A fixed budget made that cost jump a hundredfold at the size where
// the cycle outgrew it.
size_t explicitStatesBudget(const fragAsync& frag) {
    return 1024 + 8 * uniqueGenes(frag.geneId).size();
}

// The recurrence test of a walk's end state (in no attractor found yet):
// over explicit states, by the genes' own functions, when its forward set is
// small; otherwise by testStart when `symbolic`, and else left undecided. A
// new attractor is recorded and added to findings.attractors. Returns 1 for
// a new attractor (the state's own, or one its forward set leads to), 2 for
// a state shown to reach only attractors found already (leadsToFound is
// then set as testStart sets it), 0 for another transient state, -1 when
// undecided.
int recordIfRecurrent(asyncSearch& search, const networkFunctions& network, DdNode* state,
                      bool symbolic, std::vector<DdNode*>& steadyStates, walkFindings& findings,
                      recordBudget& budget, bddHandle& leadsToFound) {
    bddHandle attractor;
    const int recurrent = explicitRecurrence(search.frag, network, state,
                                             explicitStatesBudget(search.frag), attractor);
    if (recurrent < 0) {
        if (!symbolic) return -1;
        return testStart(search, state, steadyStates, findings, budget, &leadsToFound) ? 1 : 2;
    }
    if (recurrent == 0) {
        writeProgress(search.frag.progress, "transient state\n");
        return 0;
    }
    writeProgress(search.frag.progress, "recurrent state\n");
    admitStates(budget, statesOfFragment(search.frag, attractor.get()), 1);
    uniteInto(findings.attractors, attractor.get());
    appendResult(steadyStates, std::move(attractor));
    reportAttractorsFound(search.frag.progress, 1);
    return 1;
}

// A walk from a point goes on in legs of this many steps per gene, plus 256,
// each followed by the recurrence test of where it stands, up to kWalkLegs
// legs; from leg kExplicitLegs on, a state whose forward set is too large to
// explore state by state is tested over sets.
constexpr long kLegStepsPerGene = 4;
constexpr int kWalkLegs = 16;
constexpr int kExplicitLegs = 2;

// The most candidates one search picks (each walked from unless its state
// is already known to reach an attractor found); past it the search by
// macro steps proves by backward searches over the points that no
// attractor is left, and the search by candidate states gives up.
constexpr long kCandidateWalks = 4096;

// Transient end states of walks after which the search by macro steps gives
// up.
constexpr int kMacroTransients = 8;

// A walk from `state` in legs of legSteps steps (by the genes' own
// functions) until it meets an attractor found or stands in a new one, which
// is recorded; from leg kExplicitLegs on, the recurrence test may go over
// sets. `state` ends where the walk ended. Returns 1 when the walk reached
// an attractor found, 2 when it recorded a new one, 0 when every leg ended
// in a transient state. `reachedFound` receives states shown to reach the
// attractors found, beyond the walk's own (the new attractor, or what
// testStart showed), and stays empty otherwise.
int walkToAttractor(asyncSearch& search, const networkFunctions& network, bddHandle& state,
                    long legSteps, unsigned& walks, std::vector<DdNode*>& steadyStates,
                    walkFindings& findings, recordBudget& budget, bddHandle& reachedFound) {
    const fragAsync& frag = search.frag;
    DdManager* mgr = frag.mgr;
    for (int leg = 0; leg < kWalkLegs; ++leg) {
        // The walk may stop at any state known to reach an attractor found.
        const bddHandle known =
            bddResult(mgr, Cudd_bddOr(mgr, findings.attractors.get(), findings.transient.get()));
        state = walkFromState(frag, network, state.get(), known.get(), legSteps, ++walks);
        if (Cudd_bddLeq(mgr, state.get(), known.get()) == 1) {
            writeProgress(frag.progress, "state of an attractor already found\n");
            return 1;
        }
        bddHandle leadsToFound;
        const int tested = recordIfRecurrent(search, network, state.get(), leg >= kExplicitLegs,
                                             steadyStates, findings, budget, leadsToFound);
        if (tested == 1) {
            // A trap subcube searched whole shows more than the last
            // attractor recorded.
            if (leadsToFound) uniteInto(findings.transient, leadsToFound.get());
            reachedFound =
                leadsToFound ? std::move(leadsToFound) : bddHandle(mgr, steadyStates.back());
            return 2;
        }
        if (tested == 2) {
            uniteInto(findings.transient, leadsToFound.get());
            reachedFound = std::move(leadsToFound);
            return 1;
        }
    }
    return 0;
}

// Where the candidates of a search live (sets over x, or points of the
// macro steps): the state of one candidate of a set, with that candidate
// alone in `picked`, and the candidates whose states lie in a set of states.
struct candidateSpace {
    std::function<bddHandle(DdNode* candidates, bddHandle& picked)> stateOf;
    std::function<bddHandle(DdNode* states)> within;
};

// The loop of settleCandidates.
bool walkCandidates(asyncSearch& search, const networkFunctions& network,
                    const candidateSpace& space, bddHandle candidates, bddHandle& settled,
                    std::vector<DdNode*>& steadyStates, walkFindings& findings,
                    recordBudget& budget, unsigned& walks) {
    DdManager* mgr = search.frag.mgr;
    const long legSteps =
        kLegStepsPerGene * static_cast<long>(uniqueGenes(search.frag.geneId).size()) + 256;
    for (long candidateWalks = 0; candidateWalks < kCandidateWalks; ++candidateWalks) {
        candidates = bddResult(mgr, Cudd_bddAnd(mgr, candidates.get(), Cudd_Not(settled.get())));
        if (candidates.get() == Cudd_ReadLogicZero(mgr)) return true;
        bddHandle picked;
        bddHandle state = space.stateOf(candidates.get(), picked);
        const bddHandle known =
            bddResult(mgr, Cudd_bddOr(mgr, findings.attractors.get(), findings.transient.get()));
        if (Cudd_bddLeq(mgr, state.get(), known.get()) == 1) {
            uniteInto(settled, picked.get());
            continue;
        }
        bddHandle reachedFound;
        if (walkToAttractor(search, network, state, legSteps, walks, steadyStates, findings, budget,
                            reachedFound) == 0) {
            const bool news =
                testStart(search, state.get(), steadyStates, findings, budget, &reachedFound);
            if (reachedFound)
                uniteInto(findings.transient, reachedFound.get());
            else if (news)
                reachedFound = bddHandle(mgr, steadyStates.back());
        }
        // Settled only now: a walk cut short by reachTooLarge shows nothing.
        uniteInto(settled, picked.get());
        if (reachedFound) {
            const bddHandle inside = space.within(reachedFound.get());
            uniteInto(settled, inside.get());
        }
    }
    return false;
}

// The walks from candidates: each attractor holds the state of one, and
// everything a state of an attractor reaches lies in it, so a walk from that
// state ends in it and its recurrence test records it. A candidate is
// settled (added to `settled`) once it is shown to reach an attractor found:
// it lies in one or is transient. Candidates settle by the thousand when a
// found attractor or what a recurrence test showed holds their states.
// Returns true when every candidate is settled, so that every attractor is
// found; false after kCandidateWalks candidates picked, or once a
// recurrence test's forward set passes the search's candidateTestNodes (a
// candidate is settled only once its walk is done).
bool settleCandidates(asyncSearch& search, const networkFunctions& network,
                      const candidateSpace& space, bddHandle candidates, bddHandle& settled,
                      std::vector<DdNode*>& steadyStates, walkFindings& findings,
                      recordBudget& budget, unsigned& walks) {
    search.testNodes = search.candidateTestNodes;
    try {
        const bool all = walkCandidates(search, network, space, std::move(candidates), settled,
                                        steadyStates, findings, budget, walks);
        search.testNodes = 0;
        return all;
    } catch (const reachTooLarge&) {
        search.testNodes = 0;
        writeProgress(search.frag.progress, "forward set too large for the candidate walks\n");
        return false;
    }
}

// Drops the attractors recorded from index firstNew on (the array owned
// them), when a search gives up and the next one finds them again.
void dropRecorded(const fragAsync& frag, std::vector<DdNode*>& steadyStates, size_t firstNew) {
    reportAttractorsLost(frag.progress, steadyStates.size() - firstNew);
    for (size_t k = firstNew; k < steadyStates.size(); ++k)
        bddHandle::adopt(frag.mgr, steadyStates[k]).reset();
    steadyStates.resize(firstNew);
}

// The most candidate states the search by candidates enumerates.
constexpr size_t kCandidateStates = 4096;

// The search by candidate states, for fragments whose macro steps are too
// large to build (the fragment is closed under reads; `cut` meets its
// cycles): the candidates are the states where every gene outside the
// negative cut is stable and every gene in it holds its retained value or is
// stable. Every attractor holds one, for the reason given at
// macroCandidates. The retained value of a gene is the value its function
// takes on more states: the candidates where the gene holds the other value
// must have it stable, and those are then the fewer. The candidates come
// from a solver (compCandidateStates); the steady states among them are
// recorded at once, and the walks from the others find the rest
// (settleCandidates). Returns false, with nothing recorded, when the
// candidates are too many or too many walks are needed.
bool searchByCandidates(asyncSearch& search, const networkFunctions& network,
                        const std::vector<int>& cut, std::vector<DdNode*>& steadyStates,
                        recordBudget& budget) {
    const fragAsync& frag = search.frag;
    DdManager* mgr = frag.mgr;
    const std::vector<int> genes = uniqueGenes(frag.geneId);
    const std::vector<int> negative = makeNegativeCutOfFragment(frag, network, genes, cut);
    writeProgress(frag.progress, "computing candidate states, negative cut of ", negative.size(),
                  " genes\n");
    std::vector<char> retained;
    for (int g : negative)
        retained.push_back(Cudd_CountMinterm(mgr, network.next[static_cast<size_t>(g)].get(),
                                             frag.nInpVar) > std::ldexp(1.0, frag.nInpVar - 1));
    std::vector<std::vector<char>> found;
    if (!compCandidateStates(frag, network, genes, negative, retained, cut, kCandidateStates,
                             found)) {
        writeProgress(frag.progress, "candidate states too many\n");
        return false;
    }
    // The search's states; the candidates outside them are dropped.
    const bddHandle space = bddResult(
        mgr,
        Cudd_bddExistAbstract(mgr, frag.relations[static_cast<size_t>(genes[0])], frag.inpCubeBwd));
    const size_t firstNew = steadyStates.size();
    recordBudget local = budget;
    walkFindings findings = noFindings(mgr);
    bddHandle candidates = bddZero(mgr);
    std::vector<char> literals(static_cast<size_t>(frag.nInpVar), 2);
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    for (const std::vector<char>& values : found) {
        bool steady = true;
        for (size_t k = 0; k < genes.size(); ++k) {
            literals[static_cast<size_t>(genes[k])] = values[k];
            inputs[static_cast<size_t>(
                indexOfVariable(mgr, frag.ip[static_cast<size_t>(genes[k])]))] = values[k];
        }
        for (int g : negative) {
            DdNode* next =
                Cudd_Eval(mgr, network.next[static_cast<size_t>(g)].get(), inputs.data());
            if (next == nullptr) raiseFatal("evaluation of a gene's function failed");
            steady =
                steady && (next == Cudd_ReadOne(mgr)) == (literals[static_cast<size_t>(g)] == 1);
        }
        bddHandle state =
            bddHandle::adopt(mgr, makeBdd(mgr, frag.ip, literals.data(), frag.nInpVar));
        if (Cudd_bddLeq(mgr, state.get(), space.get()) != 1) continue;
        if (steady) {
            admitStates(local, 1, 1);
            uniteInto(findings.attractors, state.get());
            appendResult(steadyStates, std::move(state));
        } else {
            uniteInto(candidates, state.get());
        }
    }
    writeProgress(frag.progress, "number of steady states  ", steadyStates.size() - firstNew, "\n");
    reportAttractorsFound(frag.progress, steadyStates.size() - firstNew);
    writeProgress(frag.progress, "number of candidate states  ", found.size(), "\n");
    const candidateSpace states{
        [&](DdNode* set, bddHandle& picked) {
            picked =
                bddHandle::adopt(mgr, pickMinterm(mgr, set, frag.ip, frag.geneId, frag.nInpVar, 0));
            return picked;
        },
        [&](DdNode* set) { return bddHandle(mgr, set); }};
    unsigned walks = 0;
    bddHandle settled = findings.attractors;
    if (!settleCandidates(search, network, states, std::move(candidates), settled, steadyStates,
                          findings, local, walks)) {
        writeProgress(frag.progress, "candidate states give up\n");
        dropRecorded(frag, steadyStates, firstNew);
        return false;
    }
    budget = local;
    writeProgress(frag.progress, "every candidate reaches an attractor found\n");
    return true;
}

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
// transient states too often, or when the stable values of the genes
// outside the cut are too large to build (random blocks of hundreds of
// genes took gigabytes there); the caller then searches by elimination.
bool searchByMacroSteps(asyncSearch& search, const networkFunctions& network,
                        std::vector<DdNode*>& steadyStates, recordBudget& budget) {
    const fragAsync& frag = search.frag;
    DdManager* mgr = frag.mgr;
    const std::vector<int> genes = uniqueGenes(frag.geneId);
    if (genes.empty()) return false;
    // The argument needs a fragment closed under reads: a gene outside it
    // never changes, and the points would not fix it.
    std::vector<char> inFragment(network.regulators.size(), 0);
    for (int g : genes) inFragment[static_cast<size_t>(g)] = 1;
    for (int g : genes)
        for (int r : network.regulators[static_cast<size_t>(g)])
            if (!inFragment[static_cast<size_t>(r)]) return false;
    const std::vector<int> cut = makeCycleCutOfFragment(network, genes);
    writeProgress(frag.progress, "computing macro steps over ", cut.size(), " genes\n");
    const std::optional<macroSteps> made =
        search.macroSteps ? makeMacroSteps(frag, network, cut) : std::nullopt;
    if (!made) {
        writeProgress(frag.progress, "macro steps too large\n");
        return searchByCandidates(search, network, cut, steadyStates, budget);
    }
    const macroSteps& ms = *made;
    const size_t firstNew = steadyStates.size();
    recordBudget local = budget;
    DdNode* zero = Cudd_ReadLogicZero(mgr);
    // findings.attractors: the attractors found; findings.transient: other
    // states shown to reach them; shown: the points shown to reach them.
    walkFindings findings = noFindings(mgr);
    bddHandle shown = bddZero(mgr);
    const double pointScale = std::ldexp(1.0, static_cast<int>(cut.size()) - frag.nInpVar);
    bool done = false;
    {
        const bddHandle space =
            bddResult(mgr, Cudd_bddExistAbstract(mgr, frag.relations[static_cast<size_t>(genes[0])],
                                                 frag.inpCubeBwd));
        // The points left: those whose state lies in the search's space.
        const bddHandle pointsLeft = macroProject(mgr, ms, space.get());
        writeProgress(frag.progress, "computing steady states\n");
        bddHandle fixedLeft = macroFixedPoints(frag, ms);
        fixedLeft = bddResult(mgr, Cudd_bddAnd(mgr, fixedLeft.get(), pointsLeft.get()));
        const double count = Cudd_CountMinterm(mgr, fixedLeft.get(), frag.nInpVar) * pointScale;
        writeProgress(frag.progress, "number of steady states  ", count, "\n");
        if (count > 0) admitStates(local, count, count);
        while (fixedLeft.get() != zero) {
            bddHandle point;
            bddHandle state = macroState(frag, ms, fixedLeft.get(), point);
            uniteInto(findings.attractors, state.get());
            appendResult(steadyStates, std::move(state));
            uniteInto(shown, point.get());
            fixedLeft = bddResult(mgr, Cudd_bddAnd(mgr, fixedLeft.get(), Cudd_Not(point.get())));
        }
        reportAttractorsFound(frag.progress, steadyStates.size() - firstNew);
        unsigned walks = 0;
        int transients = 0;
        const long legSteps = kLegStepsPerGene * static_cast<long>(genes.size()) + 256;
        // The candidate points first (see macroCandidates and
        // settleCandidates): when every one is settled, every attractor is
        // found and no backward search is needed. Otherwise the backward
        // proof below takes over from the points shown so far.
        const std::vector<int> negative = makeNegativeCutOfFragment(frag, network, genes, cut);
        writeProgress(frag.progress, "negative cut of ", negative.size(), " genes\n");
        bddHandle candidates = macroCandidates(frag, ms, negative);
        candidates = bddResult(mgr, Cudd_bddAnd(mgr, candidates.get(), pointsLeft.get()));
        writeProgress(frag.progress, "number of candidate points  ",
                      Cudd_CountMinterm(mgr, candidates.get(), frag.nInpVar) * pointScale, "\n");
        const candidateSpace points{
            [&](DdNode* set, bddHandle& point) { return macroState(frag, ms, set, point); },
            [&](DdNode* states) { return macroProject(mgr, ms, states); }};
        done = settleCandidates(search, network, points, std::move(candidates), shown, steadyStates,
                                findings, local, walks);
        // closed: the part of `shown` already closed under macro steps
        // backward (a point that reaches it is in it). A path from a point
        // outside it never enters it, so each round extends the backward set
        // only from the points added since, within the points outside it,
        // instead of searching again from every point shown.
        bddHandle closed = bddZero(mgr);
        while (!done) {
            bool covered = false;
            const bddHandle added =
                bddResult(mgr, Cudd_bddAnd(mgr, shown.get(), Cudd_Not(closed.get())));
            const bddHandle goalLeft =
                bddResult(mgr, Cudd_bddAnd(mgr, pointsLeft.get(), Cudd_Not(closed.get())));
            const bddHandle reached = macroBackward(frag, ms, added.get(), goalLeft.get(),
                                                    Cudd_Not(closed.get()), covered);
            if (covered) {
                done = true;
                break;
            }
            shown = bddResult(mgr, Cudd_bddOr(mgr, closed.get(), reached.get()));
            closed = shown;
            const bddHandle unshown =
                bddResult(mgr, Cudd_bddAnd(mgr, pointsLeft.get(), Cudd_Not(shown.get())));
            bddHandle point;
            bddHandle state = macroState(frag, ms, unshown.get(), point);
            // One walk per backward search: a backward search from the union
            // of several new attractors' points proved far costlier than one
            // search per attractor (bbm-079).
            bddHandle leadsToFound;
            const int outcome = walkToAttractor(search, network, state, legSteps, walks,
                                                steadyStates, findings, local, leadsToFound);
            // Every point whose state lies there is shown too.
            if (leadsToFound) uniteInto(shown, points.within(leadsToFound.get()).get());
            if (outcome == 0) {
                if (++transients > kMacroTransients) break;
                continue;
            }
            uniteInto(shown, point.get());
        }
    }
    if (!done) {
        writeProgress(frag.progress, "macro steps give up\n");
        dropRecorded(frag, steadyStates, firstNew);
        return false;
    }
    budget = local;
    writeProgress(frag.progress, "every point reaches an attractor found\n");
    return true;
}

// The largest diagram of the steady-state conjunction worth building.
constexpr int kSteadyStateNodes = 20000;

// The steady states of the fragment, all at once: the states in which every
// fragment gene's step leaves it unchanged. Each is an attractor of its own
// and is recorded as one; then their whole backward set is cut out with one
// search. Networks with thousands of steady states are common, and a walk
// per steady state would cost a pass each.
void cutSteadyStates(asyncSearch& search, std::vector<DdNode*>& steadyStates,
                     recordBudget& budget) {
    const fragAsync& frag = search.frag;
    DdManager* mgr = frag.mgr;
    const std::vector<int> genes = uniqueGenes(frag.geneId);
    if (genes.empty()) return;
    writeProgress(frag.progress, "computing steady states\n");
    bddHandle steady = bddOne(mgr);
    for (int g : genes) {
        // The states in which gene g's step is a loop: x_g = f_g(x).
        const bddHandle loop =
            bddResult(mgr, Cudd_bddAndAbstract(mgr, frag.relations[static_cast<size_t>(g)],
                                               frag.topSame, frag.inpCubeBwd));
        steady = bddResult(mgr, Cudd_bddAnd(mgr, steady.get(), loop.get()));
        // In some large fragments the conjunction on the way is far larger
        // than any set of the search; the walks find the steady states too,
        // one pass at a time.
        if (Cudd_DagSize(steady.get()) > kSteadyStateNodes) {
            writeProgress(frag.progress, "steady states left to the walks\n");
            return;
        }
    }
    const double count = statesOfFragment(frag, steady.get());
    writeProgress(frag.progress, "number of steady states  ", count, "\n");
    if (count == 0) return;
    admitStates(budget, count, count);
    DdNode* zero = Cudd_ReadLogicZero(mgr);
    const size_t firstNew = steadyStates.size();
    for (bddHandle left = steady; left.get() != zero;) {
        bddHandle state = bddHandle::adopt(
            mgr, pickMinterm(mgr, left.get(), frag.ip, frag.geneId, frag.nInpVar, 0));
        left = bddResult(mgr, Cudd_bddAnd(mgr, left.get(), Cudd_Not(state.get())));
        appendResult(steadyStates, std::move(state));
    }
    reportAttractorsFound(frag.progress, steadyStates.size() - firstNew);
    cutBackwardSet(search, steady.get());
}

// One pass of the search: walks until kWalksWithoutNews walks in a row find
// no new attractor, then cuts the backward set of everything the walks
// found (the new attractors and the backward parts of transient start
// states) out of the relations with one backward search, instead of one per
// attractor. Returns false when no fragment gene can move any more (nothing
// was searched).
bool searchOnePass(asyncSearch& search, std::vector<DdNode*>& steadyStates, recordBudget& budget) {
    walkFindings findings = noFindings(search.frag.mgr);
    bool searched = false;
    for (int misses = 0; misses < kWalksWithoutNews;) {
        bool news = false;
        if (!walkOnce(search, steadyStates, findings, budget, news)) break;
        searched = true;
        misses = news ? 0 : misses + 1;
    }
    if (!searched) return false;

    // Every state of the backward set reaches an attractor found here or a
    // transient start state, so it holds no attractor not yet found.
    uniteInto(findings.attractors, findings.transient.get());
    cutBackwardSet(search, findings.attractors.get());
    return true;
}

}  // namespace

int compSteadyAsyncOn(const symbolicEncoding& encoding, std::vector<DdNode*>& op,
                      const std::vector<int>& geneId, std::vector<DdNode*>& steadyStates,
                      const asyncSearchSettings& settings) {
    DdManager* const mgr = encoding.mgr;
    std::vector<DdNode*>& ip = encoding.ip;
    DdNode* const inpCubeFwd = encoding.inpCubeFwd;
    DdNode* const inpCubeBwd = encoding.inpCubeBwd;
    DdNode* const topSame = encoding.topSame;
    const int nInpVar = encoding.nInpVar;
    const double maxStates = settings.maxStates;
    const networkFunctions* const network = settings.network;
    const progressSink& progress = settings.progress;
    asyncSearch search{
        fragAsync{mgr, op, ip, geneId, inpCubeFwd, inpCubeBwd, topSame, nInpVar, progress},
        std::nullopt, settings.macroSteps, settings.trapSearch, settings.candidateTestNodes};
    recordBudget budget{maxStates};
    if (network != nullptr && searchByMacroSteps(search, *network, steadyStates, budget)) return 0;
    search.trapSearch = nullptr;
    cutSteadyStates(search, steadyStates, budget);
    int iteration = 0;
    do {
        ++iteration;
        writeProgress(search.frag.progress, "iteration is ", iteration, "\n");
        if (!searchOnePass(search, steadyStates, budget)) break;
    } while (!chkConstantAsync(op, geneId));
    return 0;
}

int compSteadyAsync(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                    DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                    DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates,
                    double maxStates, const networkFunctions* network,
                    const progressSink& progress) {
    return compSteadyAsyncOn(symbolicEncoding{mgr, ip, nInpVar, inpCubeFwd, inpCubeBwd, topSame},
                             op, geneId, steadyStates,
                             asyncSearchSettings{maxStates, network, progress});
}

bool chkConstantAsync(const std::vector<DdNode*>& node, const std::vector<int>& geneId) {
    for (int g : geneId)
        if (!Cudd_IsConstant(node[g])) return false;
    return true;
}
