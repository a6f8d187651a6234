// The per-block attractor search: synchronous first, then asynchronous
// outside the basin of the synchronous results.
#pragma once

#include <vector>

#include "cudd.h"

// Appends the attractors of the fragment to steadyStates as handles of mgr.
// op (in mgr) and opAsync (in mgrAsync) are the caller's copies; their
// fragment entries are narrowed.
int compSteadyAsyncHeuristic(DdManager* mgr, DdManager* mgrAsync, std::vector<DdNode*>& opAsync,
                             std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& op,
                             std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                             DdNode* inpCubeFwd, DdNode* inpCubeBwd, DdNode* topSame,
                             int nInpVar, std::vector<DdNode*>& steadyStates);

int secCheck(DdManager* mgr, DdManager* mgrAsync, const std::vector<DdNode*>& steadyStates,
             DdNode* inpCube, std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& opAsync,
             const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
             std::vector<DdNode*>& complexLoop);
