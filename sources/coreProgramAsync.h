// The symbolic analysis driver and the level-by-level composition.
#pragma once

#include <string>
#include <vector>

#include "cudd.h"
#include "parseNetwork.h"

std::string topFuncAsync(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                         const std::vector<int>& defaultStatus, const levelArray& sccTopoLvl,
                         std::vector<DdNode*>& steadyStates);

std::string compSteadyTopFunc(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                              const std::vector<int>& defaultStatus,
                              const levelArray& sccTopoLvl, std::vector<DdNode*>& steadyStates,
                              DdManager* mgr, DdManager* mgrAsync,
                              std::vector<DdNode*>& opAsync, std::vector<DdNode*>& ipAsync,
                              std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                              DdNode* inpCubeFwd, DdNode* inpCubeBwd, DdNode* inpCubeFwdAsync,
                              DdNode* inpCubeBwdAsync, DdNode* topNodeSame, int nInpVar);
