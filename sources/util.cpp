// Network input, gene databases, reduction, graph and level algorithms,
// small BDD helpers and the result text.
#include "util.h"

#include <algorithm>
#include <fstream>
#include <iostream>

// ---- Network file reader -------------------------------------------------


// ---- Gene database -------------------------------------------------------


// ---- Reduction -------------------------------------------------------------


// ---- Dependency graph and components ---------------------------------------


// ---- Blocks and levels -------------------------------------------------------


// ---- BDD helpers -------------------------------------------------------------

DdNode* refChecked(DdNode* node) {
    if (node == nullptr)
        throw quorvelError("BDD engine failure: an operation gave no result (memory exhausted)");
    Cudd_Ref(node);
    return node;
}

std::vector<char> makeCubeArray(DdManager* mgr, int nInpVar) {
    const int nVars = std::max(Cudd_ReadSize(mgr), 2 * nInpVar);
    return std::vector<char>(static_cast<size_t>(std::max(nVars, 1)), 2);
}

namespace {

// acc AND literal, where the literal is var or NOT var; releases acc.
DdNode* conjoinLiteral(DdManager* mgr, DdNode* acc, DdNode* var, bool positive) {
    DdNode* next = refChecked(Cudd_bddAnd(mgr, acc, positive ? var : Cudd_Not(var)));
    Cudd_RecursiveDeref(mgr, acc);
    return next;
}

}  // namespace

DdNode* pickMinterm(DdManager* mgr, DdNode* topNode, std::vector<DdNode*>& ip,
                    const std::vector<int>& geneId, int nInpVar, int flag) {
    std::vector<char> cube = makeCubeArray(mgr, nInpVar);
    const int status = Cudd_bddPickOneCube(mgr, topNode, cube.data());
    if (status != 1) raiseFatal("error in printing cube::: status is " + std::to_string(status));
    DdNode* node = refChecked(Cudd_ReadOne(mgr));
    for (int g : geneId) {
        const char v = cube[static_cast<size_t>(g + flag * nInpVar)];
        node = conjoinLiteral(mgr, node, ip[static_cast<size_t>(g)], v == 1);
    }
    return node;
}

DdNode* makeBdd(DdManager* mgr, std::vector<DdNode*>& ip, const char* literals, int nInpVar) {
    DdNode* node = refChecked(Cudd_ReadOne(mgr));
    for (int k = 0; k < nInpVar; ++k) {
        if (literals[k] == 0 || literals[k] == 1)
            node = conjoinLiteral(mgr, node, ip[static_cast<size_t>(k)], literals[k] == 1);
    }
    return node;
}

bool checkInclusion(DdManager* mgr, DdNode* setSuper, DdNode* setSub) {
    return Cudd_bddLeq(mgr, setSub, setSuper) == 1;
}



// ---- Composition helper and result text --------------------------------------

