// The symbolic analysis driver: managers, state variables, cubes, the
// identity relation and the next-state relations in both managers; and the
// level-by-level composition that runs the searches.
#include "coreProgramAsync.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "compReachFragAsync.h"
#include "compSteadyAsyncComplex.h"
#include "utilFragAsync.h"
#include "constBdd.h"
#include "coreProgramSync.h"
#include "printResult.h"
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

// maxMemory (0: none) is the cap of both managers together: the layer's two
// managers share one engine, which the first Cudd_Init starts with its
// maxMemory; CUDD gives each manager its own.
DdManager* newManager(std::size_t maxMemory) {
#ifndef QUORVEL_CUDD_LAYER
    maxMemory /= 2;
#endif
#ifdef QUORVEL_WITH_CUDD
    // CUDD's own answer to a failed allocation ends the process; the silent
    // one lets the operation give NULL, which becomes a quorvelError.
    Cudd_InstallOutOfMemoryHandler(Cudd_OutOfMemSilent);
#endif
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, maxMemory);
    if (m == nullptr) throw quorvelError("BDD engine failure: a manager could not be created");
#ifdef QUORVEL_WITH_CUDD
    Cudd_RegisterOutOfMemoryCallback(m, Cudd_OutOfMemSilent);
#endif
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
                         std::vector<DdNode*>& steadyStates, resultFormat format,
                         updateMode update, std::size_t maxMemory) {
    const int nInpVar = static_cast<int>(geneDbReduced.size());
    managerGuard guard;
    guard.steadyStates = &steadyStates;
    guard.mgr = newManager(maxMemory);
    guard.mgrAsync = newManager(maxMemory);
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
        update == updateMode::sync
            ? compSteadyTopFuncSync(geneDbOrg, geneDbReduced, defaultStatus, mgr, op, ip,
                                    inpCubeFwd, inpCubeBwd, nInpVar, format)
            : compSteadyTopFunc(geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl,
                                steadyStates, mgr, mgrAsync, opAsync, ipAsync, op, ip, inpCubeFwd,
                                inpCubeBwd, inpCubeFwdAsync, inpCubeBwdAsync, topNodeSame,
                                nInpVar, format);

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
#if defined(QUORVEL_WITH_CUDD) && defined(QUORVEL_ENGINE_CHECKS)
    // In the tests, CUDD's own check too (reference and dead counts, the
    // unique tables): it walks every node, too costly for every run.
    if (Cudd_DebugCheck(mgr) != 0 || Cudd_DebugCheck(mgrAsync) != 0)
        throw quorvelError("internal error: CUDD's consistency check failed");
#endif
    Cudd_Quit(mgr);
    guard.mgr = nullptr;
    Cudd_Quit(mgrAsync);
    guard.mgrAsync = nullptr;
    return result;
}

// ---- Level-by-level composition

namespace {

// held := held AND constraint, on mgr; the old handle is released.
void confineHandle(DdManager* mgr, DdNode*& held, DdNode* constraint) {
    DdNode* next = refChecked(Cudd_bddAnd(mgr, held, constraint));
    Cudd_RecursiveDeref(mgr, held);
    held = next;
}

// Moves `set` between the current-state and the next-state variables of ip
// (the exchange is its own inverse); the old handle is released.
void swapHandle(DdManager* mgr, DdNode*& set, std::vector<DdNode*>& ip, int nInpVar) {
    DdNode* next = refChecked(Cudd_bddSwapVariables(mgr, set, ip.data(), ip.data() + nInpVar, nInpVar));
    Cudd_RecursiveDeref(mgr, set);
    set = next;
}

// Whether the blocks' searches run the synchronous stage, the only reader of
// the relations in mgr. Without it, confining those relations only costs
// time (with a large cyclic attractor, seconds per block), so they are left
// as they are.
constexpr bool kSyncRelationsRead = kBlockSyncSeconds > 0;

// Confines the relations of the genes of block (lvl, offSet)'s children, then
// those of the block's own genes, to `steadyTop` in mgr and `steadyTopAsync`
// in mgrAsync (both over the same kind of variables).
void confineBlockAndChildren(const sccTopo& block, const levelArray& sccTopoLvl,
                             DdManager* mgr, std::vector<DdNode*>& op, DdNode* steadyTop,
                             DdManager* mgrAsync, std::vector<DdNode*>& opAsync,
                             DdNode* steadyTopAsync) {
    auto confineGenes = [&](const std::vector<int>& genes) {
        for (const int g : genes) {
            if (kSyncRelationsRead) confineHandle(mgr, op.at(static_cast<size_t>(g)), steadyTop);
            confineHandle(mgrAsync, opAsync.at(static_cast<size_t>(g)), steadyTopAsync);
        }
    };
    for (size_t k = 0; k < block.chSccLvl.size(); ++k) {
        const sccTopo& child = sccTopoLvl.at(static_cast<size_t>(block.chSccLvl[k]))
                                   .at(static_cast<size_t>(block.chSccIndex.at(k)));
        confineGenes(child.geneName);
    }
    confineGenes(block.geneName);
}

void releaseHandles(DdManager* mgr, std::vector<DdNode*>& handles) {
    for (DdNode*& handle : handles) {
        if (handle != nullptr) Cudd_RecursiveDeref(mgr, handle);
        handle = nullptr;
    }
    handles.clear();
}

}  // namespace

// The blocks are searched in level order, each together with its ancestors
// (makeVectorGene lists every gene of that fragment once). A block's search
// works on private copies of its fragment's relations, confined on both
// sides of every transition to the product of its parents' attractor unions
// (its parent space). Afterwards the union of the block's attractors (a set
// over the fragment's current-state variables) confines, on both sides of
// every transition, the relations of the block's children and of the block
// itself, and is conjoined into stateSpace. The closing search over all genes
// runs inside stateSpace.
//
// Why this is exact. A block's fragment is closed under its regulators, so
// the projection of any attractor of the whole network onto it is an
// attractor of the fragment. By induction over the levels, every parent's
// union is exactly the set of its fragment's attractors; the parent space is
// then closed under the fragment's transitions and holds every attractor of
// the fragment, and inside it the confined relations allow exactly the
// network's own transitions. The search therefore finds exactly the
// fragment's attractors, each of which lies inside every ancestor's union.
// The same argument for stateSpace (closed, holding every attractor, and
// inside it the network's own transitions) makes the final search exact.
//
// Without the parent space the copies would still allow moves of one
// ancestor while another ancestor (not its own ancestor) sits outside its
// union and is frozen by its confinement; such states form spurious
// attractors of the fragment whose number grows exponentially with the
// frozen genes. stateSpace would drop them again, but searching them makes
// deep networks intractable.
//
// During the walk every handle of the blocks' attractors belongs to mgr and
// stays in a local array; steadyStates receives only the attractors of the
// final search, handles of mgrAsync with one reference each (owned by the
// caller), appended after whatever it held.
std::string compSteadyTopFunc(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                              const std::vector<int>& defaultStatus,
                              const levelArray& sccTopoLvl, std::vector<DdNode*>& steadyStates,
                              DdManager* mgr, DdManager* mgrAsync,
                              std::vector<DdNode*>& opAsync, std::vector<DdNode*>& ipAsync,
                              std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                              DdNode* inpCubeFwd, DdNode* inpCubeBwd, DdNode* inpCubeFwdAsync,
                              DdNode* inpCubeBwdAsync, DdNode* topNodeSame, int nInpVar,
                              resultFormat format) {
    const size_t nGenes = static_cast<size_t>(nInpVar);
    DdNode* stateSpace = Cudd_ReadOne(mgrAsync);
    Cudd_Ref(stateSpace);
    // Each finished block's attractor union over current-state variables, in
    // both managers, indexed like sccTopoLvl; kept for its children's searches.
    std::vector<std::vector<DdNode*>> blockUnion;
    std::vector<std::vector<DdNode*>> blockUnionAsync;
    for (const std::vector<sccTopo>& level : sccTopoLvl) {
        blockUnion.emplace_back(level.size(), nullptr);
        blockUnionAsync.emplace_back(level.size(), nullptr);
    }
    std::vector<DdNode*> blockStates;  // one block's attractors, in mgr
    std::vector<DdNode*> opTmp(nGenes, nullptr);
    std::vector<DdNode*> opTmpAsync(nGenes, nullptr);
    // One block's parent space, over current (Fwd) and next (Bwd) variables.
    DdNode* parentFwd = nullptr;
    DdNode* parentBwd = nullptr;
    DdNode* parentFwdAsync = nullptr;
    DdNode* parentBwdAsync = nullptr;
    DdNode* steadyTop = nullptr;
    DdNode* steadyTopAsync = nullptr;
    const size_t firstResult = steadyStates.size();

    auto drop = [](DdManager* manager, DdNode*& handle) {
        if (handle != nullptr) Cudd_RecursiveDeref(manager, handle);
        handle = nullptr;
    };
    // Releases what one block's turn holds (also when a failure cuts it short).
    auto releaseBlock = [&]() {
        releaseHandles(mgr, blockStates);
        drop(mgr, steadyTop);
        drop(mgrAsync, steadyTopAsync);
        drop(mgr, parentFwd);
        drop(mgr, parentBwd);
        drop(mgrAsync, parentFwdAsync);
        drop(mgrAsync, parentBwdAsync);
        for (size_t g = 0; g < nGenes; ++g) {
            drop(mgr, opTmp[g]);
            drop(mgrAsync, opTmpAsync[g]);
        }
    };
    auto releaseUnions = [&]() {
        for (size_t i = 0; i < blockUnion.size(); ++i)
            for (size_t j = 0; j < blockUnion[i].size(); ++j) {
                drop(mgr, blockUnion[i][j]);
                drop(mgrAsync, blockUnionAsync[i][j]);
            }
    };

    // The result text writes four characters per gene and state; an
    // attractor with more states than fit is refused as soon as the search
    // finds it (the writer refuses the same text at the end). Cubes have no
    // such limit.
    const double maxStates =
        format != resultFormat::states
            ? HUGE_VAL
            : kMaxResultTextBytes /
                  (4.0 * static_cast<double>(std::max<size_t>(geneDbOrg.size(), 1)));
    // The genes' own next-state functions and influences, read before any
    // relation is narrowed to a block's attractors; the searches use them to
    // prove that no attractor is left without cutting every basin.
    networkFunctions network;
    try {
        network = readNetworkFunctions(mgrAsync, opAsync, ipAsync, nInpVar);
        int cnt = 0;
        std::vector<int> geneId;
        for (size_t i = 0; i < sccTopoLvl.size(); ++i) {
            for (size_t j = 0; j < sccTopoLvl[i].size(); ++j) {
                const sccTopo& block = sccTopoLvl[i][j];
                ++cnt;
                std::cout << "now computing scc number " << cnt << std::endl;
                geneId.clear();
                makeVectorGene(sccTopoLvl, static_cast<int>(i), static_cast<int>(j), geneId);

                // The parent space: every parent lies on a lower level, so its
                // union is known.
                parentFwd = Cudd_ReadOne(mgr);
                Cudd_Ref(parentFwd);
                parentFwdAsync = Cudd_ReadOne(mgrAsync);
                Cudd_Ref(parentFwdAsync);
                for (size_t k = 0; k < block.paSccLvl.size(); ++k) {
                    const size_t paLvl = static_cast<size_t>(block.paSccLvl[k]);
                    const size_t paIndex = static_cast<size_t>(block.paSccIndex.at(k));
                    confineHandle(mgr, parentFwd, blockUnion.at(paLvl).at(paIndex));
                    confineHandle(mgrAsync, parentFwdAsync, blockUnionAsync.at(paLvl).at(paIndex));
                }
                parentBwd = refChecked(Cudd_bddAnd(mgr, parentFwd, Cudd_ReadOne(mgr)));
                swapHandle(mgr, parentBwd, ip, nInpVar);
                parentBwdAsync =
                    refChecked(Cudd_bddAnd(mgrAsync, parentFwdAsync, Cudd_ReadOne(mgrAsync)));
                swapHandle(mgrAsync, parentBwdAsync, ipAsync, nInpVar);

                // Private copies, confined to the parent space, that the
                // block's search may narrow.
                for (const int g : geneId) {
                    const size_t at = static_cast<size_t>(g);
                    if (opTmp.at(at) != nullptr) continue;  // a gene listed twice is copied once
                    opTmp[at] = refChecked(Cudd_bddAnd(mgr, op[at], Cudd_ReadOne(mgr)));
                    if (kSyncRelationsRead) {
                        confineHandle(mgr, opTmp[at], parentFwd);
                        confineHandle(mgr, opTmp[at], parentBwd);
                    }
                    opTmpAsync[at] = refChecked(Cudd_bddAnd(mgrAsync, opAsync[at], parentFwdAsync));
                    confineHandle(mgrAsync, opTmpAsync[at], parentBwdAsync);
                }
                compSteadyAsyncHeuristic(mgr, mgrAsync, opTmpAsync, ipAsync, opTmp, ip, geneId,
                                         inpCubeFwd, inpCubeBwd, topNodeSame, nInpVar,
                                         blockStates, kBlockSyncSeconds, maxStates, &network);

                steadyTop = Cudd_ReadLogicZero(mgr);
                Cudd_Ref(steadyTop);
                for (DdNode* attractor : blockStates) {
                    DdNode* next = refChecked(Cudd_bddOr(mgr, steadyTop, attractor));
                    Cudd_RecursiveDeref(mgr, steadyTop);
                    steadyTop = next;
                }
                steadyTopAsync = Cudd_bddTransfer(mgr, mgrAsync, steadyTop);
                if (steadyTopAsync == nullptr) raiseFatal("steadyTop transfer unsuccessful");
                Cudd_Ref(steadyTopAsync);
                confineHandle(mgrAsync, stateSpace, steadyTopAsync);
                Cudd_Ref(steadyTop);
                blockUnion[i][j] = steadyTop;
                Cudd_Ref(steadyTopAsync);
                blockUnionAsync[i][j] = steadyTopAsync;

                confineBlockAndChildren(block, sccTopoLvl, mgr, op, steadyTop, mgrAsync, opAsync,
                                        steadyTopAsync);
                swapHandle(mgr, steadyTop, ip, nInpVar);
                swapHandle(mgrAsync, steadyTopAsync, ipAsync, nInpVar);
                confineBlockAndChildren(block, sccTopoLvl, mgr, op, steadyTop, mgrAsync, opAsync,
                                        steadyTopAsync);
                releaseBlock();
            }
        }
        releaseUnions();

        // The final search: every gene, every relation confined to stateSpace.
        geneId.clear();
        for (int g = 0; g < nInpVar; ++g) geneId.push_back(g);
        for (size_t g = 0; g < nGenes; ++g) confineHandle(mgrAsync, opAsync[g], stateSpace);
        swapHandle(mgrAsync, stateSpace, ipAsync, nInpVar);
        for (size_t g = 0; g < nGenes; ++g) confineHandle(mgrAsync, opAsync[g], stateSpace);
        drop(mgrAsync, stateSpace);

        std::cout << "final computation on small space" << std::endl;
        compSteadyAsync(mgrAsync, opAsync, ipAsync, inpCubeFwdAsync, inpCubeBwdAsync, geneId,
                        topNodeSame, nInpVar, steadyStates, maxStates, &network);
        // When the reduction fixed every gene, the network has exactly one
        // state left and it is its only attractor, but a search over no genes
        // takes no step and finds nothing: record that state (the constant
        // one over no variables), which the result text writes with the
        // fixed values.
        if (nInpVar == 0 && steadyStates.size() == firstResult) {
            DdNode* onlyState = Cudd_ReadOne(mgrAsync);
            Cudd_Ref(onlyState);
            steadyStates.push_back(onlyState);
        }
    } catch (...) {
        releaseBlock();
        releaseUnions();
        drop(mgrAsync, stateSpace);
        throw;
    }

    const std::vector<DdNode*> attractors(steadyStates.begin() + static_cast<long>(firstResult),
                                          steadyStates.end());
    return printResult(format, updateMode::async, mgrAsync, geneDbOrg, geneDbReduced,
                       defaultStatus, attractors, ipAsync, nInpVar);
}
