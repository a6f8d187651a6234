// Variable creation and the synchronous image, reachability and descent.
//
// The searches write their progress lines (layer counters, depths, state
// counts) to `progress`.
//
// Encoding: ip[i] is x_i (current value of reduced gene i), ip[nInpVar + i]
// is x'_i (its next value). Forward searches keep sets over x, backward
// searches over x'. Every returned BDD carries one reference owned by the
// caller; arguments are never consumed.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "bddEngine.h"
#include "progressSink.h"
#include "symbolicEncoding.h"

// Creates 2 x nInpVar variables (index k = ip[k]), nInpVar placeholder
// relations (constant one) and the names "inp%d" / "func%d". Resizes the
// four vectors.
int createVarsFragSync(DdManager* mgr, std::vector<DdNode*>& ip, std::vector<DdNode*>& op,
                       std::vector<std::string>& inpName, std::vector<std::string>& outName,
                       int nInpVar);

DdNode* compImageFragSync(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                          const std::vector<int>& geneId, DdNode* inpCube, DdNode* initState,
                          int nInpVar, int flagBwd);

DdNode* compReachStatesFragSync(DdManager* mgr, std::vector<DdNode*>& topNode,
                                std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                                DdNode* initState, DdNode* inpCube, int nInpVar, int flagBwd,
                                const progressSink& progress = standardOutputProgress());

// As compReachStatesFragSync over the encoding of encoding.mgr (its
// variables and gene count; the cube abstracted is encoding.inpCubeFwd
// forward, encoding.inpCubeBwd backward, and the identity is not read), but
// given a deadline (null: none) the search stops at the first layer that
// begins after it, with `complete` cleared; it then returns the states
// reached so far (the initial set included). The result carries one
// reference, owned by the caller.
DdNode* compReachStatesFragSyncUntil(const symbolicEncoding& encoding,
                                     std::vector<DdNode*>& topNode, const std::vector<int>& geneId,
                                     DdNode* initState, int flagBwd,
                                     const std::chrono::steady_clock::time_point* deadline,
                                     bool& complete,
                                     const progressSink& progress = standardOutputProgress());

DdNode* compRandomStateFragSync(DdManager* mgr, std::vector<DdNode*>& ip,
                                std::vector<DdNode*>& topNode, const std::vector<int>& geneId,
                                DdNode* inpCube, int nInpVar,
                                const progressSink& progress = standardOutputProgress());
