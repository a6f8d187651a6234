// Asynchronous image, reachability and descent (one gene moves per step).
// Encoding and ownership as in utilFragSync.h; topSame is the identity
// relation AND_i (x'_i XNOR x_i).
#pragma once

#include <vector>

#include "cudd.h"

DdNode* compImageFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                           std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                           DdNode* inpCube, DdNode* initState, DdNode* topSame,
                           DdNode* reachedStates, int nInpVar);

DdNode* compReachStatesFragAsync(DdManager* mgr, std::vector<DdNode*>& topNode,
                                 std::vector<DdNode*>& ip, DdNode* initState, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar);

// A start state for the attractor search, or nullptr when no fragment gene
// can take a step.
DdNode* compRandomStateFragAsync(DdManager* mgr, std::vector<DdNode*>& ip,
                                 std::vector<DdNode*>& topNode, DdNode* inpCube,
                                 const std::vector<int>& geneId, DdNode* topSame, int nInpVar);
