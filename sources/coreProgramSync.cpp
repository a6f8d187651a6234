// The synchronous analysis over the whole reduced network.
#include "coreProgramSync.h"

#include <cmath>

#include "bddHandle.h"
#include "compReachFragSync.h"
#include "printResult.h"
#include "util.h"

std::string compSteadyTopFuncSync(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                                  const std::vector<int>& defaultStatus, DdManager* mgr,
                                  std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                                  DdNode* inpCubeFwd, DdNode* inpCubeBwd, int nInpVar,
                                  resultFormat format, const progressSink& progress) {
    std::vector<int> geneId;
    for (int g = 0; g < nInpVar; ++g) geneId.push_back(g);
    // compSteadySync sorts the cycles into those that change one gene per
    // step and the others; under synchronous update both are attractors.
    // What it appends is released here also when it fails part way.
    std::vector<DdNode*> steadyStates, steadyFalse;
    const rawNodesGuard ownSteady(mgr, steadyStates), ownFalse(mgr, steadyFalse);
    writeProgress(progress, "synchronous search over all genes\n");
    compSteadySync(mgr, op, ip, geneId, inpCubeFwd, inpCubeBwd, nInpVar, steadyStates,
                   steadyFalse, HUGE_VAL, progress);
    bddArray attractors = adoptAll(mgr, steadyStates);
    for (bddHandle& cycle : adoptAll(mgr, steadyFalse)) attractors.push_back(std::move(cycle));
    // With every gene fixed by the reduction the one state left is the
    // only attractor (the search over no genes takes no step).
    if (nInpVar == 0) attractors.push_back(bddOne(mgr));
    return printResult(format, updateMode::sync, mgr, geneDbOrg, geneDbReduced, defaultStatus,
                       lentNodes(attractors), ip, nInpVar, progress);
}
