// Synchronous attractor search on a fragment.
#pragma once

#include <vector>

#include "bddEngine.h"
#include "progressSink.h"
#include "symbolicEncoding.h"

// How long, in seconds, the backward searches of one synchronous search may
// run in all, and each one of them, before that search stops early (see
// compSteadySync).
constexpr double kSyncBackwardSeconds = 60.0;
constexpr double kSyncPassSeconds = 2.0;

// Appends to steadyStates the synchronous attractors that change at most one
// gene per step and to steadyFalse the others (sets over x, one reference
// each, owned by the arrays). Narrows op[g], g in geneId, in place.
//
// On large fragments a synchronous backward search can take hours while the
// asynchronous search would not. Once the search has run backwardSeconds, or
// one backward search has run kSyncPassSeconds, that backward search stops
// at its next layer, or inside a layer's substitution (an engine time
// limit), and the whole search ends there:
// the attractor being examined is kept when the states found so far already
// prove it recurrent, and nothing else is appended. Every appended set is
// still an attractor; the caller's asynchronous search covers the rest.
// An infinite backwardSeconds (HUGE_VAL) sets no limit at all: the search
// runs to its end and appends every synchronous attractor of the fragment.
//
// An engine failure (or a failed cube pick) throws quorvelError after
// releasing every set the search held. The caller's arrays stay whole: each
// op[g] holds one relation (narrowed or not) with one reference, and the
// sets appended so far stay in steadyStates and steadyFalse; all remain the
// caller's to release. Progress lines go to `progress`.
//
// Over the encoding of encoding.mgr: its variables, gene count and both
// cubes are read (the identity is not). op and the arrays are the caller's.
int compSteadySyncOn(const symbolicEncoding& encoding, std::vector<DdNode*>& op,
                     const std::vector<int>& geneId, std::vector<DdNode*>& steadyStates,
                     std::vector<DdNode*>& steadyFalse,
                     double backwardSeconds = kSyncBackwardSeconds,
                     const progressSink& progress = standardOutputProgress());

// compSteadySyncOn with the encoding given piece by piece.
int compSteadySync(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                   const std::vector<int>& geneId, DdNode* inpCubeFwd, DdNode* inpCubeBwd,
                   int nInpVar, std::vector<DdNode*>& steadyStates,
                   std::vector<DdNode*>& steadyFalse, double backwardSeconds = kSyncBackwardSeconds,
                   const progressSink& progress = standardOutputProgress());

bool chkFalseLoopFragSync(DdManager* mgr, std::vector<DdNode*>& topNode, DdNode* reachedStates,
                          std::vector<DdNode*>& ip, const std::vector<int>& geneId, DdNode* inpCube,
                          int nInpVar);

// True when node[g] is constant for at least one g in geneId.
bool chkConstant(const std::vector<DdNode*>& node, const std::vector<int>& geneId);
