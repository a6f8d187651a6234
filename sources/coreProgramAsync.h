// The symbolic analysis driver and the level-by-level composition.
#pragma once

#include <string>
#include <vector>

#include "analysisOptions.h"
#include "analysisRequest.h"
#include "bddEngine.h"
#include "networkRecords.h"
#include "progressSink.h"

// Puts the variables of both managers (2 x nInpVar each, made by
// createVarsFragSync) in the order x_0, x'_0, x_1, x'_1, ... and declares one
// fixed group {x_i, x'_i} per gene, so sifting moves each pair as a whole.
// Throws quorvelError when the engine refuses.
int interleaveStateVars(DdManager* mgr, DdManager* mgrAsync, int nInpVar);

// Runs the symbolic analysis and returns the result text in
// request.options.format: the asynchronous attractors by the level-by-level
// composition, or with updateMode::sync the synchronous ones
// (compSteadyTopFuncSync). Creates and quits both managers; steadyStates is
// empty again on return (and on an error). Throws quorvelError when
// references are left outstanding at the end.
// With inputs grouped, the inputs (request.groupedInputs) are parameters: the
// result gives the outcomes of compInputOutcomes (printOutcomes; format cubes
// or json, update async).
// options.maxMemory, when not 0, caps the bytes that the BDD engine's node
// tables and caches of both managers take together; the engine also keeps
// within the process's own limits, and reports exhaustion as a quorvelError.
// Every progress line of the analysis goes to request.progress.
// options.cancel, when not null, is the caller's stop flag: once it is set,
// the managers' operations fail and the call throws.
std::string topFuncAsync(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                         const std::vector<int>& defaultStatus, const levelArray& sccTopoLvl,
                         std::vector<DdNode*>& steadyStates,
                         const analysisRequest& request = analysisRequest{});

// The level-by-level composition (see coreProgramAsync.cpp). It works in
// mgrAsync alone: mgr, op, ip, inpCubeFwd and inpCubeBwd are not read at all
// (null is fine) and op is left as it was.
std::string compSteadyTopFunc(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                              const std::vector<int>& defaultStatus, const levelArray& sccTopoLvl,
                              std::vector<DdNode*>& steadyStates, DdManager* mgr,
                              DdManager* mgrAsync, std::vector<DdNode*>& opAsync,
                              std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& op,
                              std::vector<DdNode*>& ip, DdNode* inpCubeFwd, DdNode* inpCubeBwd,
                              DdNode* inpCubeFwdAsync, DdNode* inpCubeBwdAsync, DdNode* topNodeSame,
                              int nInpVar, resultFormat format = resultFormat::states,
                              const progressSink& progress = standardOutputProgress());
