// The synchronous analysis over the whole reduced network.
#include "coreProgramSync.h"

#include <cmath>
#include <iostream>

#include "compReachFragSync.h"
#include "printResult.h"
#include "util.h"

std::string compSteadyTopFuncSync(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                                  const std::vector<int>& defaultStatus, DdManager* mgr,
                                  std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                                  DdNode* inpCubeFwd, DdNode* inpCubeBwd, int nInpVar,
                                  resultFormat format) {
    std::vector<int> geneId;
    for (int g = 0; g < nInpVar; ++g) geneId.push_back(g);
    // compSteadySync sorts the cycles into those that change one gene per
    // step and the others; under synchronous update both are attractors.
    std::vector<DdNode*> attractors;
    std::vector<DdNode*> steadyFalse;
    std::string result;
    try {
        std::cout << "synchronous search over all genes" << std::endl;
        compSteadySync(mgr, op, ip, geneId, inpCubeFwd, inpCubeBwd, nInpVar, attractors,
                       steadyFalse, HUGE_VAL);
        attractors.insert(attractors.end(), steadyFalse.begin(), steadyFalse.end());
        steadyFalse.clear();
        // With every gene fixed by the reduction the one state left is the
        // only attractor (the search over no genes takes no step).
        if (nInpVar == 0) attractors.push_back(refChecked(Cudd_ReadOne(mgr)));
        result = printResult(format, updateMode::sync, mgr, geneDbOrg, geneDbReduced,
                             defaultStatus, attractors, ip, nInpVar);
    } catch (...) {
        releaseAll(mgr, attractors);
        releaseAll(mgr, steadyFalse);
        throw;
    }
    releaseAll(mgr, attractors);
    return result;
}
