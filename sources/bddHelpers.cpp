// Small BDD helpers over the raw interfaces of the analysis.
#include "bddHelpers.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <locale>
#include <memory>
#include <numeric>
#include <unordered_map>

#include "bddHandle.h"
#include "constGeneDb.h"
#include "quorvelError.h"

// For the raw interfaces (and the tests that build sets by hand): the caller
// owns the reference returned.
DdNode* refChecked(DdNode* node) {
    if (node == nullptr)
        throw quorvelError("BDD engine failure: an operation gave no result (memory exhausted)");
    Cudd_Ref(node);  // a raw reference, owned by the caller (no manager at hand)
    return node;
}

DdNode* swapCurrentAndNext(DdManager* mgr, DdNode* set, std::vector<DdNode*>& ip, int nInpVar) {
    return swapCurrentAndNext(bddHandle(mgr, set), ip, nInpVar).release();
}

bddHandle swapCurrentAndNext(const bddHandle& set, std::vector<DdNode*>& ip, int nInpVar) {
    DdManager* const mgr = set.manager();
    return bddResult(
        mgr, Cudd_bddSwapVariables(mgr, set.get(), ip.data(), ip.data() + nInpVar, nInpVar));
}

std::vector<char> makeCubeArray(DdManager* mgr, int nInpVar) {
    const int nVars = std::max(Cudd_ReadSize(mgr), 2 * nInpVar);
    return std::vector<char>(static_cast<size_t>(std::max(nVars, 1)), 2);
}

namespace {

// The conjunction of the literals (gene g, value) over the current-state
// variables ip[g] (variable index g). Conjoined from the bottom of the
// variable order up, each literal lands above the cube built so far, so a
// cube of n literals costs n steps instead of n^2.
bddHandle cubeOf(DdManager* mgr, std::vector<DdNode*>& ip,
                 std::vector<std::pair<int, bool>> literals) {
    std::sort(literals.begin(), literals.end(), [mgr](const auto& a, const auto& b) {
        return Cudd_ReadPerm(mgr, a.first) > Cudd_ReadPerm(mgr, b.first);
    });
    bddHandle node = bddOne(mgr);
    for (const auto& [g, positive] : literals) {
        DdNode* var = ip[static_cast<size_t>(g)];
        node = bddResult(mgr, Cudd_bddAnd(mgr, node.get(), positive ? var : Cudd_Not(var)));
    }
    return node;
}

}  // namespace

DdNode* pickMinterm(DdManager* mgr, DdNode* topNode, std::vector<DdNode*>& ip,
                    const std::vector<int>& geneId, int nInpVar, int flag) {
    std::vector<char> cube = makeCubeArray(mgr, nInpVar);
    const int status = Cudd_bddPickOneCube(mgr, topNode, cube.data());
    if (status != 1) raiseFatal("error in printing cube::: status is " + std::to_string(status));
    std::vector<std::pair<int, bool>> literals;
    for (int g : uniqueGenes(geneId))
        literals.emplace_back(g, cube[static_cast<size_t>(g + flag * nInpVar)] == 1);
    return cubeOf(mgr, ip, literals).release();
}

DdNode* makeBdd(DdManager* mgr, std::vector<DdNode*>& ip, const char* literals, int nInpVar) {
    std::vector<std::pair<int, bool>> chosen;
    for (int k = 0; k < nInpVar; ++k)
        if (literals[k] == 0 || literals[k] == 1) chosen.emplace_back(k, literals[k] == 1);
    return cubeOf(mgr, ip, chosen).release();
}

bool checkInclusion(DdManager* mgr, DdNode* setSuper, DdNode* setSub) {
    return Cudd_bddLeq(mgr, setSub, setSuper) == 1;
}

bddHandle conjoinBottomUp(DdManager* mgr, const bddArray& terms) {
    auto topLevel = [&](size_t k) {
        DdNode* f = terms[k].get();
        return Cudd_IsConstant(f) ? Cudd_ReadSize(mgr) : Cudd_ReadPerm(mgr, Cudd_NodeReadIndex(f));
    };
    std::vector<size_t> order(terms.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return topLevel(a) > topLevel(b); });
    bddHandle product = bddOne(mgr);
    for (size_t k : order)
        product = bddResult(mgr, Cudd_bddAnd(mgr, product.get(), terms[k].get()));
    return product;
}
