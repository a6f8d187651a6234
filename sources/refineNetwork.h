// The reduction: fixed values propagated, the reduced gene database, the
// blocks in levels.
#pragma once

#include <string>
#include <vector>

#include "analysisOptions.h"
#include "networkRecords.h"
#include "progressSink.h"

// Builds geneDbOrg, propagates forced values into defaultStatus (one entry
// per geneDbOrg gene; the values are described in refineNetwork.cpp), builds
// geneDbReduced (indices into itself) and the blocks in levels. The four
// outputs are replaced. The genes of `geneOrder` come first in geneDbOrg, in
// that order (a format reader's order of its genes, which may include genes
// without any rule); the others follow in order of first appearance. Writes
// the progress lines of every step.
// Each gene of `fixes` (name, 0 or 1) has its update function replaced by
// that constant before the propagation, so the reduction removes it with
// that value; geneDbOrg still lists it. A name the network does not have
// throws optionError naming it.
int refineNetwork(const std::vector<networkDefBool>& orgNetwork, geneDatabase& geneDbOrg,
                  geneDatabase& geneDbReduced, std::vector<int>& defaultStatus,
                  levelArray& sccTopoLvl, const std::vector<std::string>& geneOrder = {},
                  const std::vector<geneFix>& fixes = {},
                  const progressSink& progress = standardOutputProgress());
