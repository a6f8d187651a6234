// Explicit-state reference for the tests: the update rule of a gene database
// and the synchronous and asynchronous attractors of a (fragment of a)
// network, found by enumerating every state. Written to be plainly correct,
// not fast; meant for networks of at most 12 genes (4096 states).
//
// Test code only: nothing here is linked into the library.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "bddEngine.h"
#include "parseNetwork.h"

namespace bruteForce {

// A state: the value (0 or 1) of every gene, indexed by gene.
using state = std::vector<int>;
using stateSet = std::set<state>;
// Every attractor once, each as the set of its full states.
using attractorSet = std::set<stateSet>;

// The next value of gene `gene` in state `x` (0 or 1).
using updateFunction = std::function<int(int gene, const state& x)>;

// True when every literal of `term` holds in `x` (a term without literals
// holds). Literal k reads x[term.geneId[k]]; polarity 1 asks for 1, 0 for 0.
bool termHolds(const influenceDefBool& term, const state& x);

// The next value of gene i of `db` in state x (x has one entry per gene of
// db; terms index into db). With a = some activating term holds and
// h = some inhibiting term holds: a AND NOT h when the gene has activating
// terms, NOT h when it has only inhibiting terms, 0 when it has no terms.
int nextValue(const geneDatabase& db, int i, const state& x);

// nextValue for every gene at once (the synchronous successor of x when
// every gene moves).
state updateVector(const geneDatabase& db, const state& x);

// nextValue of db as an updateFunction (db is copied).
updateFunction updateOf(const geneDatabase& db);

// The next value of gene i of a reduced database under the marker d that the
// reduction leaves for it in defaultStatus: 0 when d = 3; when d = 2, NOT h
// if the gene has inhibiting terms, else 1; otherwise a AND NOT h, a, or
// (without activating terms) 0 when d = 0 and NOT h or 0 for other markers.
int nextValueWithStatus(const geneDatabase& db, int i, const state& x, int d);

// nextValueWithStatus for every gene of geneDbReduced, its marker found in
// defaultStatus (indexed by geneDbOrg) through the first geneDbOrg gene of
// the same name. The databases are copied.
updateFunction updateOfReduced(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                               const std::vector<int>& defaultStatus);

// 0, 1, ..., n-1.
std::vector<int> allGenes(int n);

// State number k of n genes: gene i takes bit i of k.
state stateOfIndex(int n, unsigned k);
unsigned indexOfState(const state& x);

// Attractors of the synchronous map on n genes: every gene of `moving` takes
// its next value at once, the others keep theirs. These are the cycles of the
// map (a fixed point is a cycle of one state).
attractorSet syncAttractors(int n, const updateFunction& f, const std::vector<int>& moving);
attractorSet syncAttractors(int n, const updateFunction& f);

// Attractors of the asynchronous graph on n genes: a move lets one gene g of
// `moving` take its next value, provided that changes it (a gene that keeps
// its value gives no move). Attractors are the terminal strongly connected
// sets; a state without moves is a steady state, an attractor of one state.
attractorSet asyncAttractors(int n, const updateFunction& f, const std::vector<int>& moving);
attractorSet asyncAttractors(int n, const updateFunction& f);

// Terminal strongly connected sets of a graph on the states of n genes given
// by its successor lists (indices as in stateOfIndex). Shared by both kinds
// of attractor above.
attractorSet terminalSets(int n, const std::vector<std::vector<unsigned>>& successors);

// Keeps only the states (and attractors made only of states) in which every
// gene outside `genes` is 0: the attractors of a fragment closed under its
// regulators, with the free genes outside it pinned to 0.
attractorSet restrictToZeroOutside(const attractorSet& attractors, const std::vector<int>& genes);

// Readable forms for failure messages.
std::string toString(const state& x);
std::string toString(const stateSet& s);
std::string toString(const attractorSet& a);
// The rules of a database, one line per gene ("g3 <- +(g0 ^g1) -(g2)").
std::string toString(const geneDatabase& db);

// The states of a BDD set over current-state variables (variable index i is
// gene i, as in the state encoding): every assignment of the genes listed in
// `genes` is tried with Cudd_Eval, the other genes taking their value in
// `base` (all 0 when base is empty) and every next-state variable 0.
// Returns full states of n genes. Defined here, inline, so that programs
// which do not use it need no BDD engine.
inline stateSet statesOfBdd(DdManager* mgr, DdNode* set, int n, const std::vector<int>& genes,
                            const state& base = {}) {
    stateSet states;
    const int nVars = Cudd_ReadSize(mgr);
    std::vector<int> inputs(static_cast<size_t>(nVars > n ? nVars : n), 0);
    state x = base.empty() ? state(static_cast<size_t>(n), 0) : base;
    const unsigned count = 1u << genes.size();
    for (unsigned k = 0; k < count; ++k) {
        for (size_t j = 0; j < genes.size(); ++j) x[static_cast<size_t>(genes[j])] = (k >> j) & 1u;
        for (int i = 0; i < n; ++i) inputs[static_cast<size_t>(i)] = x[static_cast<size_t>(i)];
        if (Cudd_Eval(mgr, set, inputs.data()) == Cudd_ReadOne(mgr)) states.insert(x);
    }
    return states;
}

}  // namespace bruteForce
