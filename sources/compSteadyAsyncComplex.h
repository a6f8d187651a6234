// The per-block attractor search: synchronous first, then asynchronous
// outside the basin of the synchronous results. The synchronous stage only
// saves work; the asynchronous stage alone finds every attractor.
#pragma once

#include <cmath>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "progressSink.h"
#include "compReachFragSync.h"
#include "fragAsync.h"
#include "readNetworkFunctions.h"
#include "symbolicEncoding.h"

// Appends the asynchronous attractors of the fragment to steadyStates as sets
// over x in sync.mgr, one reference each, owned by the array: first those
// the synchronous search retains, then those the asynchronous search finds
// outside their basin. Two encodings: `sync` (mgr: its variables, gene count
// and both cubes are read) and `async` (mgrAsync: its variables, gene count
// and identity relation; its cubes are not read, the search makes its own).
// op holds relations of mgr, opAsync of mgrAsync; both are the caller's
// copies: their fragment entries are narrowed. Entries already in
// steadyStates on entry are kept and play no part in the search. A failed
// transfer raises quorvelError ("complex loop transfer unsuccessful").
// syncSeconds bounds the synchronous stage's backward searches (see
// compSteadySync); zero or less skips that stage, and the asynchronous
// search then covers the whole fragment. settings: the asynchronous
// search's limit on the size of an attractor (see compSteadyAsync), the
// genes' functions, and where both stages report. Every node of the
// encodings and of `settings` is lent. Returns 0.
int compSteadyAsyncHeuristicOn(const symbolicEncoding& sync, const symbolicEncoding& async,
                               std::vector<DdNode*>& op, std::vector<DdNode*>& opAsync,
                               const std::vector<int>& geneId, std::vector<DdNode*>& steadyStates,
                               double syncSeconds = kSyncBackwardSeconds,
                               const asyncSearchSettings& settings = asyncSearchSettings{});

// compSteadyAsyncHeuristicOn with the encodings and the settings given piece
// by piece: op, ip, inpCubeFwd, inpCubeBwd are handles of mgr; opAsync,
// ipAsync, topSame of mgrAsync.
int compSteadyAsyncHeuristic(DdManager* mgr, DdManager* mgrAsync, std::vector<DdNode*>& opAsync,
                             std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& op,
                             std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                             DdNode* inpCubeFwd, DdNode* inpCubeBwd, DdNode* topSame, int nInpVar,
                             std::vector<DdNode*>& steadyStates,
                             double syncSeconds = kSyncBackwardSeconds, double maxStates = HUGE_VAL,
                             const networkFunctions* network = nullptr,
                             const progressSink& progress = standardOutputProgress());

// Cuts the asynchronous basin of the union of steadyStates (sets over x in
// sync.mgr; when there are none, nothing is cut) out of opAsync[g], g in
// geneId, and, when states remain, appends the attractors found there to
// complexLoop (handles of async.mgr, one reference each, owned by the
// array). Of `sync` only the manager and inpCubeFwd (the current-state cube)
// are read; of `async` its variables, gene count and identity relation (its
// cubes are made here). A failed transfer raises quorvelError ("steadyTop
// transfer unsuccessful", "steadyFalse transfer unsuccessful"). settings as
// for compSteadyAsync. Returns 0.
int secCheckOn(const symbolicEncoding& sync, const symbolicEncoding& async,
               const std::vector<DdNode*>& steadyStates, std::vector<DdNode*>& opAsync,
               const std::vector<int>& geneId, std::vector<DdNode*>& complexLoop,
               const asyncSearchSettings& settings = asyncSearchSettings{});

// secCheckOn with the encodings and the settings given piece by piece;
// inpCube is the current-state cube of mgr.
int secCheck(DdManager* mgr, DdManager* mgrAsync, const std::vector<DdNode*>& steadyStates,
             DdNode* inpCube, std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& opAsync,
             const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
             std::vector<DdNode*>& complexLoop, double maxStates = HUGE_VAL,
             const networkFunctions* network = nullptr,
             const progressSink& progress = standardOutputProgress());
