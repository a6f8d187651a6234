// Asynchronous image, reachability and descent (one gene moves per step).
// Encoding and ownership as in utilFragSync.h; topSame is the identity
// relation AND_i (x'_i XNOR x_i).
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "fragAsync.h"
#include "progressSink.h"


// The states one asynchronous step of a fragment gene away from initState
// (successors when inpCube is the current-state cube and initState is over
// x; predecessors when inpCube is the next-state cube and initState is over
// x'), less reachedStates (which may be the logical zero), in the encoding of
// initState.
DdNode* compImageFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                           const std::vector<int>& geneId, DdNode* inpCube, DdNode* initState,
                           DdNode* topSame, DdNode* reachedStates, int nInpVar);

// initState and every state reachable from it (forward) or from which it is
// reachable (backward), in its encoding. Prints the step counters of the
// search (each followed by three blanks) and "number of states  " with the
// path count.
DdNode* compReachStatesFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                                 std::vector<DdNode*>& ip, DdNode* initState, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
                                 const progressSink& progress = standardOutputProgress());

// A start state for the attractor search: a conjunction over the
// current-state variables of the fragment genes, the end of a long random
// walk over explicit states (at a steady state, or after 64 steps per gene
// and 1024 more); inpCube is the current-state cube. Referenced, owned by
// the caller; nullptr when no fragment gene can take a step (an empty
// fragment included). Prints "next state evaluates to 1 with possible
// depth  " and the number of states of the walk.
DdNode* compRandomStateFragAsync(DdManager* mgr, std::vector<DdNode*>& ip,
                                 std::vector<DdNode*>& topNode, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
                                 const progressSink& progress = standardOutputProgress());


// ---- Searches over one fragment (records in fragAsync.h) ------------------

geneMoves makeGeneMoves(const fragAsync& frag);

// The moves of m restricted to the genes that can move in the smallest
// subcube that holds `start` (over x) and that no step leaves: the genes of
// m that cannot move in it never move from a state reachable from start,
// forward or backward within what start reaches, so searches from start
// with the returned moves reach what they reach with m, at the cost of the
// genes that move only. Gives nothing when every gene can move there.
// `trap`, when given, receives the subcube: the cube over x of the values
// that start gives the genes of m that cannot move in it.
std::optional<geneMoves> movesWithinTrap(const fragAsync& frag, const geneMoves& m, DdNode* start,
                                         bddHandle* trap = nullptr);

// Fills m.rise, m.fall and m.stay from m.moves; ip holds x then x'.
void splitMoves(DdManager* mgr, const std::vector<DdNode*>& ip, int nInpVar, geneMoves& m);

// Thrown by a reachability given a node limit once its set passes it: the
// caller has a cheaper way to go on.
struct reachTooLarge : std::runtime_error {
    reachTooLarge()
        : std::runtime_error("internal error: a bounded reachability passed its limit") {}
};

// The states reachable from `start` (over x) by steps of `moves`, forward or
// backward, by saturation (see utilFragAsync.cpp), all sets over x. With
// `domain` (over x), the search keeps inside it. With `goal` (over x), the
// search stops as soon as every state of goal is reached and sets *goalMet
// (the set is then only part of the reachable set). With `maxNodes` above 0,
// throws reachTooLarge once the set holds more nodes. Prints one counter per
// step that added states and a last one.
bddHandle compReachBySaturation(const fragAsync& frag, const geneMoves& moves, DdNode* start,
                                searchDirection direction, DdNode* domain = nullptr,
                                DdNode* goal = nullptr, bool* goalMet = nullptr, int maxNodes = 0);

// compReachStatesFragAsync over prebuilt moves: `start` over x (forward) or
// x' (backward), the result in the same encoding; prints the same lines.
// `maxNodes` as for compReachBySaturation.
bddHandle compReachStatesAsync(const fragAsync& frag, const geneMoves& moves, DdNode* start,
                               searchDirection direction, int maxNodes = 0);

// The states reachable from `start` (forward or backward) by paths that never
// leave `domain`; start, domain and the result over x, start inside domain.
// With `covered`, the search stops as soon as every state of domain is
// reached and sets *covered (the result is then domain itself). Prints the
// step counters and "number of states  " like compReachStatesFragAsync.
bddHandle compReachStatesInsideAsync(const fragAsync& frag, const geneMoves& moves, DdNode* start,
                                     DdNode* domain, searchDirection direction,
                                     bool* covered = nullptr);

// compRandomStateFragAsync over prebuilt moves; an empty handle when no
// fragment gene can take a step.
bddHandle compRandomStateAsync(const fragAsync& frag, const geneMoves& moves);
