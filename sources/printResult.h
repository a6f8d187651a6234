// The result of an analysis in each of its formats.
#pragma once

#include <string>
#include <vector>

#include "analysisOptions.h"
#include "analysisRequest.h"
#include "bddEngine.h"
#include "compDisjointCubes.h"
#include "compInputOutcomes.h"
#include "networkRecords.h"
#include "progressSink.h"
#include "symbolicEncoding.h"

// The result text of `attractors` (sets over the current-state variables of
// `encoding`, in its manager; its cubes and identity are not read) in
// the chosen format; every gene of geneDbOrg is written, the genes the
// reduction fixed with their value from defaultStatus.
//   states: the historical text (one line per attractor, every state);
//   cubes:  the same header, then per attractor a line with its number of
//           states and its cubes, each followed by three blanks;
//   json:   {"genes", "update", "attractors": [{"states", "cubes", "space"}],
//           "fixed"}, "space" the smallest subspace holding the attractor
//           (per gene 0, 1, or - where the gene changes in it).
// Writes one progress line per attractor to `progress`. Throws quorvelError when the text
// cannot be built whole (memory exhausted, a name JSON cannot hold); no
// partial text is ever returned.
std::string printResult(resultFormat format, updateMode update, const symbolicEncoding& encoding,
                        const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                        const std::vector<int>& defaultStatus,
                        const std::vector<DdNode*>& attractors,
                        const progressSink& progress = standardOutputProgress());

// The outcomes of --inputs grouped (compInputOutcomes) in
// request.options.format, cubes or json; the inputs are
// request.groupedInputs, their reduced indices, ascending (header order).
//   cubes: the header line; a line with "inputs" and the inputs' names; then
//          per outcome a line "outcome", then its settings as disjoint cubes
//          over the inputs (one character per input, in the order of that
//          line), followed by one line per attractor as in the cubes format,
//          with '-' at every input. Every item is followed by three blanks.
//   json:  {"genes", "update", "inputs", "outcomes": [{"settings": [cubes],
//          "attractors": [{"states", "cubes", "space"}]}], "fixed"} ("space" has
//          - at the inputs, as the cubes).
// An attractor's number of states counts the states under one setting (its
// cubes' '-' at the inputs stand for that setting's values). The text is
// written in one pass: each distinct attractor's text is made once and copied
// wherever it appears again. Writes one progress line per outcome to
// request.progress. Throws quorvelError as printResult does.
std::string printOutcomes(const analysisRequest& request, const symbolicEncoding& encoding,
                          const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                          const std::vector<int>& defaultStatus, const inputOutcomes& outcomes);
