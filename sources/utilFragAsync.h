// Asynchronous image, reachability and descent (one gene moves per step).
// Encoding and ownership as in utilFragSync.h; topSame is the identity
// relation AND_i (x'_i XNOR x_i).
#pragma once

#include <vector>

#include "cudd.h"


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
