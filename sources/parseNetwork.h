// Records that carry a network from the rule file to the symbolic analysis,
// the project's error type, and the pipeline driver.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#define QUORVEL_EXPORT __attribute__((visibility("default")))

// One rule of the network file: a conjunction of regulators that activates
// (outGenePolar 1) or inhibits (outGenePolar 0) one target gene.
struct networkDefBool {
    std::vector<std::string> inpGeneName;  // regulator names, in written order
    std::vector<int> inpGenePolar;         // 1 plain, 0 negated; parallel to inpGeneName
    std::string outGeneName;
    int outGenePolar = 0;
};

// One conjunctive term attached to a target gene. geneId holds indices into
// the gene database the term belongs to (geneDbOrg or geneDbReduced).
struct influenceDefBool {
    std::vector<int> geneId;
    std::vector<int> genePolar;  // 1 plain, 0 negated; parallel to geneId
};

// One entry of a gene database; a gene's identifier is its index in the array.
struct gene {
    std::string name;
    int nodeId = 0;                            // never used
    std::vector<int> inGeneId;                 // never used
    std::vector<influenceDefBool> inGenesPos;  // activating terms, file order
    std::vector<influenceDefBool> inGenesNeg;  // inhibiting terms, file order
    std::vector<int> posAffect;                // never used
    std::vector<int> negAffect;                // never used
};

// One block of the reduced network placed in a level of sccTopoLvl.
// Children and parents are referenced by (level, position) pairs held in the
// parallel lists chSccLvl/chSccIndex and paSccLvl/paSccIndex.
struct sccTopo {
    std::vector<int> geneName;  // geneDbReduced indices of the block's genes
    std::vector<int> chGene;    // left empty
    std::vector<int> paGene;    // left empty
    std::vector<int> chSccLvl;
    std::vector<int> chSccIndex;
    std::vector<int> paSccLvl;
    std::vector<int> paSccIndex;
    int trueScc = 0;
    int level = 0;  // never used
};

using geneDatabase = std::vector<gene>;
using levelArray = std::vector<std::vector<sccTopo>>;

// Every failure of an analysis travels as this exception up to an entry
// point, which turns it into a message and an exit status or a Java
// exception. The library never ends its host process.
struct quorvelError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A fatal condition met deep in an analysis (a failed cube pick, a failed
// transfer, an attractor too large to write). Its message is also the line
// by which the analysis has always reported it: the driver writes that line
// to the call's progress sink before the error goes on to the entry point.
struct fatalCondition : quorvelError {
    using quorvelError::quorvelError;
};

// Throws fatalCondition(line).
[[noreturn]] void raiseFatal(const std::string& line);

// Runs one whole analysis of the network file `s` and returns the result
// text. Throws quorvelError on any failure.
QUORVEL_EXPORT std::string topFuncQuorvel(const char* s);

struct analysisOptions;

// The same with options (analysisOptions.h): the result in options.format,
// the attractors of options.update, options.fixes applied before the
// reduction. While it runs, progress lines go where progressSinkOf(options)
// says, and nowhere else: no stream of the process is redirected, so calls
// on other threads write where their own options say. When it throws, no
// progress line is left open, so the caller's message starts a line of its
// own; when it returns, the log's line on a terminal is cleared. options.files, help
// and version are not read. Throws quorvelError on any failure
// (analysisStopped once options.cancel is set), optionError for a fixed gene
// the network lacks.
std::string topFuncQuorvel(const char* s, const analysisOptions& options);
