// The result text: every state of an attractor, a value for every gene.
#pragma once

#include <ostream>
#include <sstream>
#include <vector>

#include "bddEngine.h"
#include "networkRecords.h"
#include "progressSink.h"
#include "symbolicEncoding.h"

// The longest result text that is written (a Java string holds at most
// 2^31 - 1 characters).
constexpr double kMaxResultTextBytes = 2147483647.0;
// Ends the states format's refusal of an attractor too large for its text:
// the formats that write any attractor.
constexpr const char* kLargeAttractorFormats =
    "; --format cubes or --format json writes attractors of any size";

// Appends one line per call to outSS: every state of the set topNode (over
// the current-state variables of the encoding, ip[0..nInpVar-1] of
// encoding.mgr; its cubes and identity are not read), each state a value
// for every gene of geneDbOrg followed by three blanks. topNode is read, not
// released. nodeLvl is scratch, one entry per gene of geneDbOrg.
int printCubesJavaOn(const symbolicEncoding& encoding, const geneDatabase& geneDbOrg,
                     const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus,
                     DdNode* topNode, std::ostringstream& outSS, std::vector<int>& nodeLvl,
                     const progressSink& progress = standardOutputProgress());

// printCubesJavaOn with the encoding given piece by piece.
int printCubesJava(DdManager* mgr, const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                   const std::vector<int>& defaultStatus, DdNode* topNode, std::vector<DdNode*>& ip,
                   std::ostringstream& outSS, int nInpVar, std::vector<int>& nodeLvl,
                   const progressSink& progress = standardOutputProgress());

// Throws quorvelError when the stream of a result text has failed (growing
// a string stream that runs out of memory sets its failbit or badbit and
// drops what follows without a word), so that no text cut short is ever
// handed on as a result.
void chkWrittenWhole(const std::ostream& out);

// Sets nodeLvl for the genes of geneDbOrg absent from geneDbReduced.
int printNonDynamicSteadyStatesJava(const geneDatabase& geneDbOrg,
                                    const geneDatabase& geneDbReduced,
                                    const std::vector<int>& defaultStatus,
                                    std::vector<int>& nodeLvl);
