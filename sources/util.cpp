// Network input, gene databases, reduction, graph and level algorithms,
// small BDD helpers and the result text.
#include "util.h"

#include <fstream>
#include <iostream>

// ---- Network file reader -------------------------------------------------


// ---- Gene database -------------------------------------------------------


// ---- Reduction -------------------------------------------------------------


// ---- Dependency graph and components ---------------------------------------


// ---- Blocks and levels -------------------------------------------------------


// ---- BDD helpers -------------------------------------------------------------


// ---- Composition helper and result text --------------------------------------

namespace {

// Depth-first walk behind makeVectorGene: the block's own genes, then each
// parent (in the order of its parent lists) that has not been listed yet.
void listBlockAndAncestors(const levelArray& sccTopoLvl, int lvl, int offSet,
                             std::vector<std::vector<char>>& listed, std::vector<int>& geneId) {
    const sccTopo& block = sccTopoLvl.at(static_cast<size_t>(lvl)).at(static_cast<size_t>(offSet));
    listed[static_cast<size_t>(lvl)][static_cast<size_t>(offSet)] = 1;
    geneId.insert(geneId.end(), block.geneName.begin(), block.geneName.end());
    for (size_t k = 0; k < block.paSccLvl.size(); ++k) {
        const int paLvl = block.paSccLvl[k];
        const int paIndex = block.paSccIndex.at(k);
        if (listed.at(static_cast<size_t>(paLvl)).at(static_cast<size_t>(paIndex))) continue;
        listBlockAndAncestors(sccTopoLvl, paLvl, paIndex, listed, geneId);
    }
}

}  // namespace

// Every block is listed once, at its first occurrence in the depth-first
// order, even when it is an ancestor along several parent paths: a network
// with many feed-forward paths would otherwise repeat its upper blocks a
// number of times that grows exponentially with the depth. Since blocks are
// disjoint, the genes appended by one call are distinct.
int makeVectorGene(const levelArray& sccTopoLvl, int lvl, int offSet, std::vector<int>& geneId) {
    std::vector<std::vector<char>> listed;
    listed.reserve(sccTopoLvl.size());
    for (const std::vector<sccTopo>& level : sccTopoLvl) listed.emplace_back(level.size(), 0);
    listBlockAndAncestors(sccTopoLvl, lvl, offSet, listed, geneId);
    return 0;
}

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

namespace {

// Replaces the handle `held` by the result of an operation that read it:
// throws (leaving `held` for the caller to release) when the engine failed,
// otherwise references the result and releases the old handle.
void replaceByResult(DdManager* mgr, DdNode*& held, DdNode* result) {
    DdNode* next = refChecked(result);
    Cudd_RecursiveDeref(mgr, held);
    held = next;
}

}  // namespace

// States are taken out of a working copy of topNode one at a time: a cube is
// picked, its free current-state variables are read as 0, and that single
// state is written and removed, so every state is written exactly once. The
// count goes to standard output after "number of states ".
int printCubesJava(DdManager* mgr, const geneDatabase& geneDbOrg,
                   const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus,
                   DdNode* topNode, std::vector<DdNode*>& ip, std::ostringstream& outSS,
                   int nInpVar, std::vector<int>& nodeLvl) {
    if (nodeLvl.size() < geneDbOrg.size()) nodeLvl.resize(geneDbOrg.size(), 0);
    // Where each reduced gene's value goes in the written state, looked up
    // once rather than once per state.
    std::vector<int> orgIndex(static_cast<size_t>(nInpVar), -1);
    for (int r = 0; r < nInpVar; ++r)
        orgIndex[static_cast<size_t>(r)] =
            chkInList(geneDbOrg, geneDbReduced.at(static_cast<size_t>(r)).name);

    std::vector<char> outCube(static_cast<size_t>(Cudd_ReadSize(mgr)) + 1, 2);
    DdNode* topNodeTemp = refChecked(Cudd_bddAnd(mgr, Cudd_ReadOne(mgr), topNode));
    DdNode* node = nullptr;
    long iteration = 0;
    try {
        do {
            ++iteration;
            const int status = Cudd_bddPickOneCube(mgr, topNodeTemp, outCube.data());
            if (status != 1)
                raiseFatal("error in printing cube::: status is " + std::to_string(status));
            node = Cudd_ReadOne(mgr);
            Cudd_Ref(node);
            for (int r = 0; r < nInpVar; ++r) {
                const size_t at = static_cast<size_t>(r);
                const int value = outCube[at] == 1 ? 1 : 0;
                replaceByResult(mgr, node, Cudd_bddAnd(mgr, node, value ? ip[at] : Cudd_Not(ip[at])));
                if (orgIndex[at] != -1) nodeLvl[static_cast<size_t>(orgIndex[at])] = value;
            }
            replaceByResult(mgr, topNodeTemp, Cudd_bddAnd(mgr, topNodeTemp, Cudd_Not(node)));
            Cudd_RecursiveDeref(mgr, node);
            node = nullptr;

            printNonDynamicSteadyStatesJava(geneDbOrg, geneDbReduced, defaultStatus, nodeLvl);
            if (iteration == 1) outSS << "\n";
            for (size_t k = 0; k < geneDbOrg.size(); ++k) outSS << nodeLvl[k] << "   ";
        } while (topNodeTemp != Cudd_ReadLogicZero(mgr));
    } catch (...) {
        if (node != nullptr) Cudd_RecursiveDeref(mgr, node);
        Cudd_RecursiveDeref(mgr, topNodeTemp);
        throw;
    }
    std::cout << "number of states " << iteration << std::endl;
    Cudd_RecursiveDeref(mgr, topNodeTemp);
    return 0;
}
