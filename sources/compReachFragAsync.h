// Asynchronous attractor search by elimination.
#pragma once

#include <vector>

#include "cudd.h"

// Appends every asynchronous attractor of the fragment (within the space the
// relations op[g] still allow) to steadyStates, one reference each. Narrows
// op[g], g in geneId, in place.
int compSteadyAsync(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                    DdNode* inpCubeFwd, DdNode* inpCubeBwd, const std::vector<int>& geneId,
                    DdNode* topSame, int nInpVar, std::vector<DdNode*>& steadyStates);

// True when node[g] is constant for every g in geneId (true when empty).
bool chkConstantAsync(const std::vector<DdNode*>& node, const std::vector<int>& geneId);
