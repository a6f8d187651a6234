// Next-state relations of the reduced genes.
#pragma once

#include <vector>

#include "bddEngine.h"
#include "networkRecords.h"
#include "progressSink.h"

// Replaces op[i] (the constant one on entry) by T_i = (x'_i XNOR f_i(x)) for
// every reduced gene i. ip holds 2 x nInpVar variables: x_i at i, x'_i at
// nInpVar + i. Each op[i] keeps one reference, owned by the caller. Writes
// each gene's index to `progress` as its relation is built.
// Returns nullptr.
DdNode* constBddFrag(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                     const std::vector<int>& defaultStatus, DdManager* mgr,
                     std::vector<DdNode*>& ip, std::vector<DdNode*>& op, int nInpVar,
                     const progressSink& progress = standardOutputProgress());
