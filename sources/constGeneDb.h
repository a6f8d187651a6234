// Gene databases built from the rules, and lookups in gene lists.
#pragma once

#include <string>
#include <vector>

#include "networkRecords.h"
#include "progressSink.h"

// Builds the database of every gene named in `network`: identifiers in order
// of first appearance (target first, then regulators left to right), every
// rule a term of its target.
int constGeneDb(const std::vector<networkDefBool>& network, geneDatabase& geneDb,
                const progressSink& progress = standardOutputProgress());

// Index of the first gene named exactly `geneChk`, or -1.
int chkInList(const geneDatabase& geneDb, const std::string& geneChk);

// Position of the first element equal to `valChk`, or -1.
int chkInListInt(const std::vector<int>& listing, int valChk);

// The genes of geneId, each once, in order of first appearance.
std::vector<int> uniqueGenes(const std::vector<int>& geneId);
