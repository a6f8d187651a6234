// Asynchronous attractor search by elimination.
#pragma once

#include <cmath>
#include <vector>

#include "bddEngine.h"
#include "fragAsync.h"
#include "progressSink.h"
#include "readNetworkFunctions.h"
#include "symbolicEncoding.h"

// Appends every asynchronous attractor of the fragment (within the space the
// relations op[g] still allow) to steadyStates: a set over x, one reference
// each, owned by the array, after the entries already there. Narrows op[g],
// g in geneId, in place: on return they are constant (the logical zero) unless
// the search ended because no fragment gene could move, or because it proved
// that no attractor is left. That proof needs `network`, the next-state
// functions of the fragment genes over the whole space and their influences
// (the relations themselves may be narrowed); without it the search cuts the
// backward set of everything it finds until no state is left. Returns 0.
// When the attractors found hold more than maxStates states (over the
// fragment genes), the search throws quorvelError at once: "an attractor of
// at least N states is too large to write" for one such attractor, "attractors
// of at least N states in all are too large to write" for several. The
// search reports its progress to `progress`.
//
// Over the encoding of encoding.mgr: its variables, gene count, both cubes
// and the identity relation are read (each lent by the caller). maxStates,
// network and progress come from `settings`.
int compSteadyAsyncOn(const symbolicEncoding& encoding, std::vector<DdNode*>& op,
                      const std::vector<int>& geneId, std::vector<DdNode*>& steadyStates,
                      const asyncSearchSettings& settings = asyncSearchSettings{});

// compSteadyAsyncOn with the encoding and the settings given piece by piece.
int compSteadyAsync(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                    DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                    DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates,
                    double maxStates = HUGE_VAL, const networkFunctions* network = nullptr,
                    const progressSink& progress = standardOutputProgress());

// Cuts `states` out of the fragment's relations: op[g] = op[g] AND NOT
// states, once per distinct gene g of geneId, releasing the old handle. A set
// over x removes the transitions leaving it, a set over x' those entering it.
void excludeStatesAsync(DdManager* mgr, std::vector<DdNode*>& op, const std::vector<int>& geneId,
                        DdNode* states);

// True when node[g] is constant for every g in geneId (true when empty).
bool chkConstantAsync(const std::vector<DdNode*>& node, const std::vector<int>& geneId);
