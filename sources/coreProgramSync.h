// The synchronous analysis: every attractor when all genes update at once.
#pragma once

#include <string>
#include <vector>

#include "analysisOptions.h"
#include "analysisRequest.h"
#include "bddEngine.h"
#include "bddHandle.h"
#include "networkRecords.h"
#include "progressSink.h"
#include "symbolicEncoding.h"

// Finds every attractor of the reduced network under synchronous update
// (steady states and cycles) with compSteadySync over all reduced genes, run
// to its end, and returns the result text in request.options.format. op holds the
// next-state relations in encoding.mgr (x'_g XNOR f_g over the whole space); they
// are narrowed in place and stay owned by the caller. The reduction is exact
// for synchronous update as well: a gene whose regulators are all fixed
// takes its fixed value after one step, so every attractor holds it.
// Progress lines go to request.progress; no other part of the request is
// read. The encoding's variables, gene count and both cubes are read (its
// identity is not).
std::string compSteadyTopFuncSync(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                                  const std::vector<int>& defaultStatus,
                                  const symbolicEncoding& encoding, std::vector<DdNode*>& op,
                                  const analysisRequest& request);

// The synchronous attractors of the whole reduced network by the search by
// satisfiability (compSatSync): on success every attractor, as a set over
// current-state variables, replaces the content of `attractors` and the
// result is true. False, with `attractors` untouched, when the update
// functions' covers are too large or the search reached one of its bounds;
// the caller then takes the BDD search. op (the relations x'_g XNOR f_g) is
// only read.
bool compAttractorsSatRoute(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                            int nInpVar, bddArray& attractors,
                            const progressSink& progress = standardOutputProgress());
