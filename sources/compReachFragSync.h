// Synchronous attractor search on a fragment.
#pragma once

#include <vector>

#include "cudd.h"

// Appends to steadyStates the synchronous attractors that change at most one
// gene per step and to steadyFalse the others (sets over x, one reference
// each, owned by the arrays). Narrows op[g], g in geneId, in place.
int compSteadySync(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                   const std::vector<int>& geneId, DdNode* inpCubeFwd, DdNode* inpCubeBwd,
                   int nInpVar, std::vector<DdNode*>& steadyStates,
                   std::vector<DdNode*>& steadyFalse);

bool chkFalseLoopFragSync(DdManager* mgr, std::vector<DdNode*>& topNode, DdNode* reachedStates,
                          std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                          DdNode* inpCube, int nInpVar);

// True when node[g] is constant for at least one g in geneId.
bool chkConstant(const std::vector<DdNode*>& node, const std::vector<int>& geneId);
