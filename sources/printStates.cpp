// The result text: every state of an attractor, a value for every gene.
#include "printStates.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <locale>
#include <memory>
#include <unordered_map>

#include "bddHandle.h"
#include "bddHelpers.h"
#include "compDisjointCubes.h"
#include "constGeneDb.h"
#include "quorvelError.h"

int printNonDynamicSteadyStatesJava(const geneDatabase& geneDbOrg,
                                    const geneDatabase& geneDbReduced,
                                    const std::vector<int>& defaultStatus,
                                    std::vector<int>& nodeLvl) {
    for (size_t i = 0; i < geneDbOrg.size(); ++i) {
        if (chkInList(geneDbReduced, geneDbOrg[i].name) != -1) continue;
        const int status = defaultStatus.at(i);
        nodeLvl.at(i) = (status == 1 || status == 2) ? 1 : 0;
    }
    return 0;
}

// The set is covered by disjoint cubes and every state of each cube is
// written (its free current-state variables taking every combination of
// values), so every state is written exactly once and the BDD work is per
// node of the set, not per state. The count of states goes to `progress` after "number of
// states ". The genes fixed by the reduction take the same value in every
// state and are looked up once.
int printCubesJava(DdManager* mgr, const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                   const std::vector<int>& defaultStatus, DdNode* topNode, std::vector<DdNode*>& ip,
                   std::ostringstream& outSS, int nInpVar, std::vector<int>& nodeLvl,
                   const progressSink& progress) {
    return printCubesJavaOn(symbolicEncoding{mgr, ip, nInpVar}, geneDbOrg, geneDbReduced,
                            defaultStatus, topNode, outSS, nodeLvl, progress);
}

int printCubesJavaOn(const symbolicEncoding& encoding, const geneDatabase& geneDbOrg,
                     const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus,
                     DdNode* topNode, std::ostringstream& outSS, std::vector<int>& nodeLvl,
                     const progressSink& progress) {
    DdManager* const mgr = encoding.mgr;
    std::vector<DdNode*>& ip = encoding.ip;
    const int nInpVar = encoding.nInpVar;
    if (nodeLvl.size() < geneDbOrg.size()) nodeLvl.resize(geneDbOrg.size(), 0);
    // Where each reduced gene's value goes in the written state, looked up
    // once rather than once per state.
    std::vector<int> orgIndex(static_cast<size_t>(nInpVar), -1);
    for (int r = 0; r < nInpVar; ++r)
        orgIndex[static_cast<size_t>(r)] =
            chkInList(geneDbOrg, geneDbReduced.at(static_cast<size_t>(r)).name);
    printNonDynamicSteadyStatesJava(geneDbOrg, geneDbReduced, defaultStatus, nodeLvl);

    // Each state takes four characters per gene. A text past 2^31 - 1
    // characters fits no Java string and would take hours to write: refuse
    // such an attractor up front instead of exhausting memory.
    const double states = Cudd_CountMinterm(mgr, topNode, nInpVar);
    const double bytes = states * 4.0 * static_cast<double>(geneDbOrg.size());
    chkWrittenWhole(outSS);  // a failed stream's tellp() is -1
    if (bytes + static_cast<double>(outSS.tellp()) > kMaxResultTextBytes) {
        std::ostringstream message;
        message.precision(15);
        message << "an attractor of " << states << " states is too large to write"
                << kLargeAttractorFormats;
        throw quorvelError(message.str());
    }
    // The states come from a cover of the set by disjoint cubes, read from
    // its diagram once: each cube's states are written by setting its free
    // genes in a line of text made once per attractor. Taking one cube at a
    // time out of the set instead rebuilt the set per cube, and an attractor
    // of a ring of thousands of genes (one cube per state) cost minutes.
    const cubeCover cover = compDisjointCubes(mgr, topNode, ip, nInpVar);
    if (cover.cubes.empty()) raiseFatal("error in printing cube::: status is 0");
    std::string line(4 * geneDbOrg.size(), ' ');
    auto setGene = [&](int org, int value) {
        nodeLvl[static_cast<size_t>(org)] = value;
        line[4 * static_cast<size_t>(org)] = static_cast<char>('0' + value);
    };
    for (size_t k = 0; k < geneDbOrg.size(); ++k) setGene(static_cast<int>(k), nodeLvl[k] ? 1 : 0);
    outSS << "\n";
    unsigned long long written = 0;
    std::vector<int> freeGenes;
    for (const std::string& cube : cover.cubes) {
        freeGenes.clear();
        for (int r = 0; r < nInpVar; ++r) {
            const size_t at = static_cast<size_t>(r);
            if (cube[at] == '-')
                freeGenes.push_back(orgIndex[at]);
            else if (orgIndex[at] != -1)
                setGene(orgIndex[at], cube[at] == '1' ? 1 : 0);
        }
        const unsigned long long states = 1ULL << freeGenes.size();
        for (unsigned long long combination = 0; combination < states; ++combination) {
            for (size_t k = 0; k < freeGenes.size(); ++k)
                if (freeGenes[k] != -1) setGene(freeGenes[k], int((combination >> k) & 1u));
            outSS.write(line.data(), static_cast<std::streamsize>(line.size()));
            chkWrittenWhole(outSS);
        }
        written += states;
    }
    writeProgress(progress, "number of states ", written, "\n");
    return 0;
}

void chkWrittenWhole(const std::ostream& out) {
    if (out.fail())
        throw quorvelError("memory exhausted: the result text could not be written whole");
}
