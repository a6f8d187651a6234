// Asynchronous image, reachability and descent (one gene moves per step).
// Encoding and ownership as in utilFragSync.h; topSame is the identity
// relation AND_i (x'_i XNOR x_i).
#pragma once

#include <cstddef>
#include <vector>

#include "bddEngine.h"


// The states one asynchronous step of a fragment gene away from initState
// (successors when inpCube is the current-state cube and initState is over
// x; predecessors when inpCube is the next-state cube and initState is over
// x'), less reachedStates (which may be the logical zero), in the encoding of
// initState.
DdNode* compImageFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                           std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                           DdNode* inpCube, DdNode* initState, DdNode* topSame,
                           DdNode* reachedStates, int nInpVar);

// initState and every state reachable from it (forward) or from which it is
// reachable (backward), in its encoding. Prints the step counters of the
// search (each followed by three blanks) and "number of states  " with the
// path count.
DdNode* compReachStatesFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                                 std::vector<DdNode*>& ip, DdNode* initState, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar);

// The states reachable from initState (forward, or backward when
// `backward`) by paths that never leave `domain`; initState, domain and the
// result over x. initState must lie inside domain. Prints the step counters
// and "number of states  " like compReachStatesFragAsync. Referenced, owned
// by the caller.
DdNode* compReachStatesFragAsyncInside(DdManager* mgr, std::vector<DdNode*>& topNode,
                                       std::vector<DdNode*>& ip, DdNode* initState,
                                       const std::vector<int>& geneId, DdNode* topSame,
                                       int nInpVar, DdNode* domain, bool backward);


// A start state for the attractor search: a conjunction over the
// current-state variables of the fragment genes, the end of a long random
// walk over explicit states (at a steady state, or after 64 steps per gene
// and 1024 more); inpCube is the current-state cube. Referenced, owned by
// the caller; nullptr when no fragment gene can take a step (an empty
// fragment included). Prints "next state evaluates to 1 with possible
// depth  " and the number of states of the walk.
DdNode* compRandomStateFragAsync(DdManager* mgr, std::vector<DdNode*>& ip,
                                 std::vector<DdNode*>& topNode, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar);

// The next-state functions of the genes 0 .. nInpVar-1 and the genes each
// one reads, from their relations op (x'_g XNOR f_g(x) over the whole space:
// relations not yet narrowed to a part of it).
struct networkFunctions {
    std::vector<std::vector<int>> regulators;  // the genes in f_g's support, ascending
    std::vector<DdNode*> next;                 // f_g over x; one reference each
};
networkFunctions readNetworkFunctions(DdManager* mgr, std::vector<DdNode*>& op,
                                      std::vector<DdNode*>& ip, int nInpVar);

// The macro steps of a fragment around a cycle cut: `cut` holds fragment
// genes that meet every cycle of influences among the fragment genes, so the
// other genes (`rest`, each after its regulators among them) become stable
// by themselves once the cut's genes are held, at values that are functions
// of the cut's genes: stable[k] for rest[k]. A macro step changes one gene c
// of the cut to values[k] = f_c at those stable values (a real step), after
// which the other genes become stable again (real steps too). Sets of the
// macro steps ("points") are over the cut's current-state variables. Every
// function here is over current-state variables (the moves also over x'_c)
// and holds one reference, released by releaseMacroSteps.
struct macroSteps {
    std::vector<int> cut;
    std::vector<int> rest;
    std::vector<DdNode*> stable;      // stable[k]: the value of rest[k]
    std::vector<DdNode*> values;      // values[k]: the next value of cut[k]
    std::vector<DdNode*> moves;       // x'_c XNOR values[k]
    std::vector<DdNode*> substitute;  // per variable index: the variable, or its stable value (borrowed)
};
macroSteps makeMacroSteps(DdManager* mgr, std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                          int nInpVar, const networkFunctions& network,
                          const std::vector<int>& cut);
void releaseMacroSteps(DdManager* mgr, macroSteps& ms);

// The points whose state (the cut's values, the others stable) lies in
// `set` (over x). Referenced, owned by the caller.
DdNode* macroProject(DdManager* mgr, const macroSteps& ms, DdNode* set);

// The points that no macro step leaves: their states are exactly the
// steady states of the fragment. Referenced, owned by the caller.
DdNode* macroFixedPoints(DdManager* mgr, const macroSteps& ms, std::vector<DdNode*>& ip);

// The points from which a point of `start` is reached by macro steps,
// until every point of `goal` is among them (covered tells; the set is then
// possibly partial). Prints the step counters. Referenced, owned by the
// caller.
DdNode* macroBackward(DdManager* mgr, const macroSteps& ms, std::vector<DdNode*>& ip,
                      int nInpVar, DdNode* start, DdNode* goal, bool& covered);

// The state of one point of `points`: a conjunction over the fragment genes
// (the cut's values, the others stable); *point receives that point alone.
// Both referenced, owned by the caller.
DdNode* macroState(DdManager* mgr, const macroSteps& ms, std::vector<DdNode*>& ip, int nInpVar,
                   DdNode* points, DdNode** point);

// The end of a random walk from `state` (a conjunction over the fragment
// genes, which must read no gene outside the fragment) that takes the steps
// of the genes' own functions (network.next), each gene that can change
// chosen at random by a generator seeded with `seed`: at a fixed point, at
// the first state of `target` (a set over x; nullptr for none), or after
// maxSteps steps. Prints "next state evaluates to 1 with
// possible depth  " and the number of states of the walk. Referenced, owned
// by the caller.
DdNode* walkFromState(DdManager* mgr, std::vector<DdNode*>& ip, const networkFunctions& network,
                      const std::vector<int>& geneId, int nInpVar, DdNode* state,
                      DdNode* target, long maxSteps, unsigned seed);

// The recurrence test of `state` over explicit states, by the genes' own
// functions (the fragment must read no gene outside it): 1 when every state
// of its forward set leads back to it (*attractor then receives that set,
// over x, referenced, owned by the caller), 0 when some does not, -1 when the
// forward set has more than maxStates states.
int explicitRecurrence(DdManager* mgr, std::vector<DdNode*>& ip, const networkFunctions& network,
                       const std::vector<int>& geneId, int nInpVar, DdNode* state,
                       size_t maxStates, DdNode** attractor);
