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

// States are taken out of a working copy of topNode a cube at a time: a cube
// is picked, every state it covers is written (its free current-state
// variables taking every combination of values), and the cube is removed, so
// every state is written exactly once and the BDD work is per cube, not per
// state. The count of states goes to `progress` after "number of
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
    std::vector<char> outCube(static_cast<size_t>(Cudd_ReadSize(mgr)) + 1, 2);
    bddHandle left(mgr, topNode);  // the states not yet written
    unsigned long long written = 0;
    do {
        const int status = Cudd_bddPickOneCube(mgr, left.get(), outCube.data());
        if (status != 1)
            raiseFatal("error in printing cube::: status is " + std::to_string(status));
        if (written == 0) outSS << "\n";
        std::vector<int> freeGenes;
        for (int r = 0; r < nInpVar; ++r) {
            const size_t at = static_cast<size_t>(r);
            if (outCube[at] == 2)
                freeGenes.push_back(r);
            else if (orgIndex[at] != -1)
                nodeLvl[static_cast<size_t>(orgIndex[at])] = outCube[at] == 1 ? 1 : 0;
        }
        const unsigned long long states = 1ULL << freeGenes.size();
        for (unsigned long long combination = 0; combination < states; ++combination) {
            for (size_t k = 0; k < freeGenes.size(); ++k) {
                const int at = orgIndex[static_cast<size_t>(freeGenes[k])];
                if (at != -1) nodeLvl[static_cast<size_t>(at)] = int((combination >> k) & 1u);
            }
            for (size_t k = 0; k < geneDbOrg.size(); ++k) outSS << nodeLvl[k] << "   ";
            chkWrittenWhole(outSS);
        }
        written += states;
        const bddHandle cube = bddHandle::adopt(mgr, makeBdd(mgr, ip, outCube.data(), nInpVar));
        left = bddResult(mgr, Cudd_bddAnd(mgr, left.get(), Cudd_Not(cube.get())));
    } while (left.get() != Cudd_ReadLogicZero(mgr));
    writeProgress(progress, "number of states ", written, "\n");
    return 0;
}

void chkWrittenWhole(const std::ostream& out) {
    if (out.fail())
        throw quorvelError("memory exhausted: the result text could not be written whole");
}
