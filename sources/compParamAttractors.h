// Attractor search over a fragment whose parameter genes never move: one
// search answers for every setting of the parameters at once.
#pragma once

#include <vector>

#include "bddHandle.h"
#include "utilFragAsync.h"

// Attractors for a set of settings: for every setting p of `settings`
// (a set over the parameter genes' variables), the states of `states` whose
// parameter genes hold p form one attractor for p. `states` lies inside
// `settings` (its projection onto the parameters is exactly `settings`).
struct paramAttractor {
    bddHandle settings;
    bddHandle states;
};

// `genes` sorted from the top of m's variable order down.
std::vector<int> sortTopDown(DdManager* m, std::vector<int> genes);

// One state of `set` per setting of the variables outside `genesTopDown`
// (the genes, from the top of the order down, whose variables make the cube
// genesCube): the least one, its genes fixed from the top down (x_g := 0
// where some state of the setting with x_g = 0 is left), with set operations
// rather than per setting. Each setting of `set` keeps exactly one state.
bddHandle compLeastPerSetting(bddHandle set, std::vector<DdNode*>& ip,
                              const std::vector<int>& genesTopDown, const bddHandle& genesCube);

// Every asynchronous attractor of the fragment for every setting of its
// parameters, as a list of paramAttractors: for each setting p, the sets
// {states restricted to p : p in settings} over the list are exactly the
// attractors reached under p, each once.
//
// frag.geneId lists the genes that move (the parameters are not among them);
// every set is over x. `domain` (over the parameters and the moving genes,
// no other variable) holds the states searched: it must be closed under the
// steps of the moving genes, and its projection onto the parameters gives
// the settings searched. The parameters are the variables of the domain that
// no moving gene owns; they keep their values in every step, since no move
// changes them.
//
// How: the steady states of every setting at once (where no moving gene can
// change), split into one state per setting per round; then, outside their
// basin, rounds of a parametric elimination: a pivot per setting (its least
// state), its forward set F and, inside F, the states that reach back B. The
// settings where F lies inside B have found an attractor (F). The others
// take a new pivot in F outside B, whose forward set is strictly smaller,
// until every setting has an attractor; then the basins of the attractors
// found leave the space. Settings never move, so one reachability serves
// all of them, and the rounds follow the number of attractors per setting,
// not the number of settings. Prints the reachability counters.
std::vector<paramAttractor> compParamAttractors(const fragAsync& frag, const bddHandle& domain);
