// Synchronous attractors by satisfiability: a search whose cost follows the
// number of attractors and the depth of their basins, not the size of the
// state space.
//
// Every gene's update function f_g is written as two irredundant covers, one
// of f_g and one of NOT f_g, so "y = f_g(x)" is a set of clauses without
// auxiliary variables (each product of f_g implies y, each product of
// NOT f_g implies NOT y). A path of L synchronous steps x_L -> ... -> x_0 is
// L copies of these clauses. The search keeps a set B of states known to
// lie in the basin of an attractor found so far (the attractors' states and
// some transient states leading into them), each excluded from x_0 by one
// clause, and asks the solver for a path whose last state x_0 is outside B:
//   - a path is found: the map is walked from x_0 until it closes a cycle or
//     enters a known attractor; a new cycle is an attractor, whose states
//     join B; when x_0 was transient, L grows;
//   - no path exists: every state of the whole space reaches B within L
//     steps, so every state reaches a known attractor, and the attractors
//     found are all of them. This is the proof of completeness.
// New steps are added at the start of the path (x_{L+1} before x_L), so the
// clauses excluding B always speak of x_0 and the solver keeps what it
// learnt between calls.
#pragma once

#include <string>
#include <vector>

#include "bddEngine.h"

// A product: literals +(v + 1) for variable v plain, -(v + 1) negated; the
// empty product is true.
using satProduct = std::vector<int>;

// One gene's update function as the covers of f and of NOT f.
struct satSyncGene {
    std::vector<satProduct> on;   // their disjunction is f
    std::vector<satProduct> off;  // their disjunction is NOT f
};

// The synchronous map of a network of nGenes genes, gene g the variable g.
struct satSyncNetwork {
    int nGenes = 0;
    std::vector<satSyncGene> genes;
};

// A state: character g is '0' or '1', the value of gene g.
using satSyncState = std::string;

// Bounds beyond which the search gives up (leaving complete false) so that
// the caller can take another road; none of them makes a result inexact.
struct satSyncLimits {
    int maxSteps = 4096;                 // steps of the unrolled path
    long walkSteps = 1L << 20;           // steps of one walk of the map
    long maxAttractorStates = 1L << 20;  // states of all attractors found
};

struct satSyncOutcome {
    // True when the search ended with the proof: `attractors` is then every
    // attractor. False when a limit was reached: the attractors listed are
    // attractors, but others may be missing.
    bool complete = false;
    // Each attractor as its cycle, starting anywhere, in the order of the map.
    std::vector<std::vector<satSyncState>> attractors;
    int steps = 0;   // path length of the last call of the solver
    long calls = 0;  // calls of the solver
};

// The covers of every gene's function read from the next-state relations
// op[g] = (x'_g XNOR f_g(x)) of mgr (x_g = ip[g], variable index g; x'_g =
// ip[nInpVar + g]). Returns false, building nothing, when some relation is
// not a function of the current state (a gene with no next value or two in
// some state) or when the covers would hold more than maxLiterals literals in
// all. BDD references taken are released before it returns, also when the
// engine fails (quorvelError).
bool makeSatSyncNetwork(DdManager* mgr, const std::vector<DdNode*>& op,
                        const std::vector<DdNode*>& ip, int nInpVar, long maxLiterals,
                        satSyncNetwork& network);

// The synchronous successor of x.
satSyncState nextStateSatSync(const satSyncNetwork& network, const satSyncState& x);

// Every synchronous attractor of `network` (see the top of this file), or
// those found before a limit was reached.
satSyncOutcome compAttractorsSatSync(const satSyncNetwork& network,
                                     const satSyncLimits& limits = {});
