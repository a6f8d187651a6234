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
#include "readNetworkFunctions.h"

// Appends the asynchronous attractors of the fragment to steadyStates as sets
// over x in mgr, one reference each, owned by the array: first those the
// synchronous search retains, then those the asynchronous search finds
// outside their basin. op, ip, inpCubeFwd, inpCubeBwd are handles of mgr;
// opAsync, ipAsync, topSame of mgrAsync. op and opAsync are the caller's
// copies: their fragment entries are narrowed. Entries already in
// steadyStates on entry are kept and play no part in the search. A failed
// transfer raises quorvelError ("complex loop transfer unsuccessful").
// syncSeconds bounds the synchronous stage's backward searches (see
// compSteadySync); zero or less skips that stage, and the asynchronous
// search then covers the whole fragment. maxStates is compSteadyAsync's
// limit on the size of an attractor. Progress lines go to `progress`.
// Returns 0.
int compSteadyAsyncHeuristic(DdManager* mgr, DdManager* mgrAsync, std::vector<DdNode*>& opAsync,
                             std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& op,
                             std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                             DdNode* inpCubeFwd, DdNode* inpCubeBwd, DdNode* topSame, int nInpVar,
                             std::vector<DdNode*>& steadyStates,
                             double syncSeconds = kSyncBackwardSeconds, double maxStates = HUGE_VAL,
                             const networkFunctions* network = nullptr,
                             const progressSink& progress = standardOutputProgress());

// Cuts the asynchronous basin of the union of steadyStates (sets over x in
// mgr; when there are none, nothing is cut and nothing of mgr is read but
// inpCube) out of opAsync[g], g in geneId, and, when states remain, appends the
// attractors found there to complexLoop (handles of mgrAsync, one reference
// each, owned by the array). inpCube is the current-state cube of mgr. A
// failed transfer raises quorvelError ("steadyTop transfer unsuccessful",
// "steadyFalse transfer unsuccessful"). maxStates as for compSteadyAsync.
// Returns 0.
int secCheck(DdManager* mgr, DdManager* mgrAsync, const std::vector<DdNode*>& steadyStates,
             DdNode* inpCube, std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& opAsync,
             const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
             std::vector<DdNode*>& complexLoop, double maxStates = HUGE_VAL,
             const networkFunctions* network = nullptr,
             const progressSink& progress = standardOutputProgress());
