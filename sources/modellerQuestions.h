// The modeller's questions about an analysis: the attractors reachable from
// given states (--initial), basins (--basins), trap spaces (--trap-spaces)
// and phenotypes (--phenotypes). The attractor search itself answers in
// JSON; the questions then read that answer, ask what they need of the
// network as written (constFullNetwork), and write the result in the chosen
// format.
#pragma once

#include <string>
#include <vector>

#include "analysisOptions.h"
#include "networkRecords.h"
#include "progressSink.h"

// True when the attractors' answer must go through printAnswers: --initial,
// --basins or --phenotypes was given.
bool asksQuestions(const analysisOptions& options);

// The --initial values as cubes over the genes of geneDbOrg (header order):
// a cube of one character per gene (0, 1 or -), or GENE=0|1,GENE=0|1,...
// with every other gene '-'. Throws optionError for anything else or an
// unknown gene.
std::vector<std::string> readInitialStates(const std::vector<std::string>& given,
                                           const geneDatabase& geneDbOrg);

// Throws optionError when a --phenotypes marker is not a gene of geneDbOrg.
void chkMarkers(const analysisOptions& options, const geneDatabase& geneDbOrg);

// The inputs (inputNames: genes whose function is their own value) that are
// not in `fixes` and that every initial cube sets to one value: such an
// input keeps that value in every state reachable from the cubes, so the
// search may fix it (with no other effect on what is reachable).
std::vector<geneFix> fixesOfInitialStates(const std::vector<std::string>& initialCubes,
                                          const std::vector<std::string>& inputNames,
                                          const std::vector<geneFix>& fixes,
                                          const geneDatabase& geneDbOrg);

// The --trap-spaces answer for the network geneDbOrg with `fixes` applied
// (geneDbReduced and defaultStatus: the reduction's genes and values, which
// the minimal trap spaces hold):
//   cubes: the header line; a line "min" or "max" and the number of trap
//          spaces; one line per trap space, its cube. Every item is
//          followed by three blanks.
//   json:  {"genes", "trapSpaces": "min"|"max", "count", "cubes"}.
std::string printTrapSpaces(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                            const std::vector<int>& defaultStatus,
                            const std::vector<geneFix>& fixes, const analysisOptions& options,
                            const progressSink& progress);

// The answer to the questions of `options`, from `jsonResult` (the search's
// answer in JSON, over the genes of geneDbOrg) and the network geneDbOrg
// with `fixes`. initialCubes come from readInitialStates; the genes of
// `searchFixes` were fixed for the search only (fixesOfInitialStates) and
// are not listed as fixed. See the README for the texts written. Progress
// lines go to `progress`.
std::string printAnswers(const std::string& jsonResult, const geneDatabase& geneDbOrg,
                         const std::vector<geneFix>& fixes,
                         const std::vector<std::string>& initialCubes,
                         const std::vector<geneFix>& searchFixes, const analysisOptions& options,
                         const progressSink& progress);
