// The symbolic analysis driver: managers, state variables, cubes, the
// identity relation and the next-state relations in both managers; and the
// level-by-level composition that runs the searches.
#include "coreProgramAsync.h"

#include <iostream>

#include "constBdd.h"
#include "util.h"
#include "utilFragSync.h"

namespace {

// Quits the managers of one analysis on every way out of topFuncAsync, so an
// error in the middle of the analysis leaves no manager behind.
struct managerGuard {
    DdManager* mgr = nullptr;
    DdManager* mgrAsync = nullptr;
    std::vector<DdNode*>* steadyStates = nullptr;
    managerGuard() = default;
    managerGuard(const managerGuard&) = delete;
    managerGuard& operator=(const managerGuard&) = delete;
    ~managerGuard() {
        // Handles of a quit manager must not stay in the caller's hands.
        if (steadyStates != nullptr) steadyStates->clear();
        if (mgr != nullptr) Cudd_Quit(mgr);
        if (mgrAsync != nullptr) Cudd_Quit(mgrAsync);
    }
};

DdManager* newManager() {
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    if (m == nullptr) throw quorvelError("BDD engine failure: a manager could not be created");
    return m;
}

// A BDD of `from` moved into `to`, referenced; a failed transfer is fatal with
// the given line.
DdNode* transferOrFail(DdManager* from, DdManager* to, DdNode* f, const char* failureLine) {
    DdNode* moved = Cudd_bddTransfer(from, to, f);
    if (moved == nullptr) raiseFatal(failureLine);
    Cudd_Ref(moved);
    return moved;
}

// Conjunction of `terms` (referenced; released here, the array emptied),
// taken from the last term to the first; the constant one when empty.
// Referenced, owned by the caller.
DdNode* conjoinBottomUp(DdManager* m, std::vector<DdNode*>& terms) {
    DdNode* acc = refChecked(Cudd_ReadOne(m));
    while (!terms.empty()) {
        DdNode* term = terms.back();
        terms.pop_back();
        DdNode* next = refChecked(Cudd_bddAnd(m, term, acc));
        Cudd_RecursiveDeref(m, term);
        Cudd_RecursiveDeref(m, acc);
        acc = next;
    }
    return acc;
}

void releaseAll(DdManager* m, std::vector<DdNode*>& nodes) {
    for (DdNode* node : nodes) Cudd_RecursiveDeref(m, node);
    nodes.clear();
}

}  // namespace

int interleaveStateVars(DdManager* mgr, DdManager* mgrAsync, int nInpVar) {
    if (nInpVar == 0) return 0;
    // Entry j of the permutation is the variable index brought to level j:
    // x_0, x'_0, x_1, x'_1, ...
    std::vector<int> perm(2 * static_cast<size_t>(nInpVar));
    for (int i = 0; i < nInpVar; ++i) {
        perm[2 * static_cast<size_t>(i)] = i;
        perm[2 * static_cast<size_t>(i) + 1] = nInpVar + i;
    }
    if (Cudd_ShuffleHeap(mgr, perm.data()) != 1 || Cudd_ShuffleHeap(mgrAsync, perm.data()) != 1)
        throw quorvelError("BDD engine failure: the variable order could not be set");
    // One fixed group per gene keeps x'_i right below x_i while sifting. The
    // engine reads the first argument as a variable index: index i (x_i) sits
    // at level 2i after the shuffle, so the group covers x_i and x'_i.
    for (int i = 0; i < nInpVar; ++i) {
        const unsigned index = static_cast<unsigned>(i);
        if (Cudd_MakeTreeNode(mgrAsync, index, 2, MTR_FIXED) == nullptr ||
            Cudd_MakeTreeNode(mgr, index, 2, MTR_FIXED) == nullptr)
            throw quorvelError("BDD engine failure: variable groups could not be formed");
    }
    return 0;
}

std::string topFuncAsync(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                         const std::vector<int>& defaultStatus, const levelArray& sccTopoLvl,
                         std::vector<DdNode*>& steadyStates) {
    const int nInpVar = static_cast<int>(geneDbReduced.size());
    managerGuard guard;
    guard.steadyStates = &steadyStates;
    guard.mgr = newManager();
    guard.mgrAsync = newManager();
    DdManager* const mgr = guard.mgr;
    DdManager* const mgrAsync = guard.mgrAsync;
    Cudd_AutodynEnable(mgr, CUDD_REORDER_SIFT);
    Cudd_AutodynEnable(mgrAsync, CUDD_REORDER_SIFT);

    std::vector<DdNode*> ip, op, ipAsync, opAsync;
    std::vector<std::string> inpName, outName;
    createVarsFragSync(mgr, ip, op, inpName, outName, nInpVar);
    createVarsFragSync(mgrAsync, ipAsync, opAsync, inpName, outName, nInpVar);
    interleaveStateVars(mgr, mgrAsync, nInpVar);

    // Conjunctions along the order are built from the bottom up: each step then
    // only puts one node on top, where the top-down order costs a walk down
    // the whole chain per step.
    std::vector<DdNode*> currentVars(ip.begin(), ip.begin() + nInpVar);
    for (DdNode* var : currentVars) Cudd_Ref(var);
    DdNode* inpCubeFwd = conjoinBottomUp(mgr, currentVars);
    DdNode* inpCubeBwd = refChecked(
        Cudd_bddSwapVariables(mgr, inpCubeFwd, ip.data(), ip.data() + nInpVar, nInpVar));
    DdNode* inpCubeFwdAsync =
        transferOrFail(mgr, mgrAsync, inpCubeFwd, "inpCubeFwdAsync transfer unsuccessful");
    DdNode* inpCubeBwdAsync =
        transferOrFail(mgr, mgrAsync, inpCubeBwd, "inpCubeBwdAsync transfer unsuccessful");

    // Identity relation: every gene keeps its value.
    std::vector<DdNode*> sameTerms;
    for (int m = 0; m < nInpVar; ++m) {
        std::cout << m << "  " << std::flush;
        const size_t i = static_cast<size_t>(m);
        sameTerms.push_back(refChecked(
            Cudd_bddXnor(mgrAsync, ipAsync[static_cast<size_t>(nInpVar) + i], ipAsync[i])));
    }
    DdNode* topNodeSame = conjoinBottomUp(mgrAsync, sameTerms);

    std::cout << "constructing synchronous BDD" << std::endl;
    constBddFrag(geneDbOrg, geneDbReduced, defaultStatus, mgr, ip, op, nInpVar);

    std::cout << "constructing Asynchronous BDD" << std::endl;
    for (size_t m = 0; m < op.size(); ++m) {
        DdNode* moved = transferOrFail(mgr, mgrAsync, op[m], "bdd transfer unsuccessful");
        Cudd_RecursiveDeref(mgrAsync, opAsync[m]);
        opAsync[m] = moved;
    }
    std::cout << "BDD construction done" << std::endl;

    const std::string result =
        compSteadyTopFunc(geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl, steadyStates, mgr,
                          mgrAsync, opAsync, ipAsync, op, ip, inpCubeFwd, inpCubeBwd,
                          inpCubeFwdAsync, inpCubeBwdAsync, topNodeSame, nInpVar);

    Cudd_RecursiveDeref(mgr, inpCubeFwd);
    Cudd_RecursiveDeref(mgr, inpCubeBwd);
    Cudd_RecursiveDeref(mgrAsync, inpCubeFwdAsync);
    Cudd_RecursiveDeref(mgrAsync, inpCubeBwdAsync);
    Cudd_RecursiveDeref(mgrAsync, topNodeSame);
    releaseAll(mgrAsync, steadyStates);
    releaseAll(mgr, ip);
    releaseAll(mgrAsync, ipAsync);
    releaseAll(mgr, op);
    releaseAll(mgrAsync, opAsync);

    // Every run is also a leak check: nothing may hold a reference now.
    const int leftSync = Cudd_CheckZeroRef(mgr);
    const int leftAsync = Cudd_CheckZeroRef(mgrAsync);
    if (leftSync != 0 || leftAsync != 0)
        throw quorvelError("internal error: " + std::to_string(leftSync) + " + " +
                           std::to_string(leftAsync) + " BDD references left outstanding");
    Cudd_Quit(mgr);
    guard.mgr = nullptr;
    Cudd_Quit(mgrAsync);
    guard.mgrAsync = nullptr;
    return result;
}

// ---- Level-by-level composition
// Temporary: builds only the first line of the result text (every gene name
// followed by three blanks) until the composition lands.
std::string compSteadyTopFunc(const geneDatabase& geneDbOrg, const geneDatabase&,
                              const std::vector<int>&, const levelArray&, std::vector<DdNode*>&,
                              DdManager*, DdManager*, std::vector<DdNode*>&,
                              std::vector<DdNode*>&, std::vector<DdNode*>&,
                              std::vector<DdNode*>&, DdNode*, DdNode*, DdNode*, DdNode*, DdNode*,
                              int) {
    std::string text;
    for (const gene& g : geneDbOrg) text += g.name + "   ";
    return text + "\n";
}
