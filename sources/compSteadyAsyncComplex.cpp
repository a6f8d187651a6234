// The per-block attractor search. The synchronous search runs first (in
// mgr); its attractors that change at most one gene per step are closed
// under asynchronous steps and are attractors of the asynchronous dynamics
// too. The asynchronous search (in mgrAsync) then runs only outside their
// asynchronous basin, where it finds the attractors the first stage missed:
// the basin is closed under predecessors, so cutting it out leaves the
// dynamics of the other states unchanged, and no retained attractor is found
// twice.
#include "compSteadyAsyncComplex.h"

#include <cstddef>
#include <string>

#include "compReachFragAsync.h"
#include "compReachFragSync.h"
#include "util.h"
#include "utilFragAsync.h"

int compSteadyAsyncHeuristic(DdManager* mgr, DdManager* mgrAsync, std::vector<DdNode*>& opAsync,
                             std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& op,
                             std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                             DdNode* inpCubeFwd, DdNode* inpCubeBwd, DdNode* topSame,
                             int nInpVar, std::vector<DdNode*>& steadyStates,
                             double syncSeconds, double maxStates,
                             const networkFunctions* network) {
    const size_t firstNew = steadyStates.size();
    std::vector<DdNode*> steadyFalse;
    try {
        if (syncSeconds > 0)
            compSteadySync(mgr, op, ip, geneId, inpCubeFwd, inpCubeBwd, nInpVar, steadyStates,
                           steadyFalse, syncSeconds);
    } catch (...) {
        releaseAll(mgr, steadyFalse);
        throw;
    }
    // The cycles that change several genes in one step are not results; the
    // asynchronous search below covers their region.
    releaseAll(mgr, steadyFalse);

    // Only the attractors found here bound the basin, whatever the array
    // held on entry.
    const std::vector<DdNode*> retained(
        steadyStates.begin() + static_cast<std::ptrdiff_t>(firstNew), steadyStates.end());
    std::vector<DdNode*> complexLoop;
    try {
        secCheck(mgr, mgrAsync, retained, inpCubeFwd, ipAsync, opAsync, geneId, topSame,
                 nInpVar, complexLoop, maxStates, network);
    } catch (...) {
        releaseAll(mgrAsync, complexLoop);
        throw;
    }

    std::vector<DdNode*> moved;
    for (DdNode* entry : complexLoop) {
        DdNode* tmpSync = Cudd_bddTransfer(mgrAsync, mgr, entry);
        if (tmpSync == nullptr) {
            releaseAll(mgr, moved);
            releaseAll(mgrAsync, complexLoop);
            raiseFatal("complex loop transfer unsuccessful");
        }
        Cudd_Ref(tmpSync);
        moved.push_back(tmpSync);
    }
    steadyStates.insert(steadyStates.end(), moved.begin(), moved.end());
    releaseAll(mgrAsync, complexLoop);
    return 0;
}

int secCheck(DdManager* mgr, DdManager* mgrAsync, const std::vector<DdNode*>& steadyStates,
             DdNode* inpCube, std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& opAsync,
             const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
             std::vector<DdNode*>& complexLoop, double maxStates,
             const networkFunctions* network) {
    std::vector<DdNode*> steadyTop{Cudd_ReadLogicZero(mgr)};
    Cudd_Ref(steadyTop[0]);
    try {
        for (DdNode* entry : steadyStates) {
            DdNode* united = refChecked(Cudd_bddOr(mgr, steadyTop[0], entry));
            Cudd_RecursiveDeref(mgr, steadyTop[0]);
            steadyTop[0] = united;
        }
    } catch (...) {
        releaseAll(mgr, steadyTop);
        throw;
    }
    DdNode* steadyTopAsync = Cudd_bddTransfer(mgr, mgrAsync, steadyTop[0]);
    releaseAll(mgr, steadyTop);
    if (steadyTopAsync == nullptr) raiseFatal("steadyTop transfer unsuccessful");
    Cudd_Ref(steadyTopAsync);

    // Every handle of mgrAsync that this call holds, released on every way out.
    std::vector<DdNode*> held{steadyTopAsync};
    try {
        DdNode* inpCubeAsync = Cudd_bddTransfer(mgr, mgrAsync, inpCube);
        if (inpCubeAsync == nullptr) raiseFatal("steadyFalse transfer unsuccessful");
        Cudd_Ref(inpCubeAsync);
        held.push_back(inpCubeAsync);

        DdNode* inpCubeBwd = Cudd_ReadOne(mgrAsync);
        Cudd_Ref(inpCubeBwd);
        held.push_back(inpCubeBwd);
        for (int i = 0; i < nInpVar; ++i) {
            DdNode* cube = refChecked(Cudd_bddAnd(mgrAsync, inpCubeBwd, ipAsync[nInpVar + i]));
            Cudd_RecursiveDeref(mgrAsync, inpCubeBwd);
            held.back() = inpCubeBwd = cube;
        }

        // The asynchronous basin of the retained attractors, over x'.
        DdNode* steadyTopNext = refChecked(Cudd_bddSwapVariables(
            mgrAsync, steadyTopAsync, ipAsync.data(), ipAsync.data() + nInpVar, nInpVar));
        held.push_back(steadyTopNext);
        DdNode* reachedStatesBack = compReachStatesFragAsync(
            mgrAsync, opAsync, ipAsync, steadyTopNext, inpCubeBwd, geneId, topSame, nInpVar);
        held.push_back(reachedStatesBack);
        // No transition enters the basin any more.
        excludeStatesAsync(mgrAsync, opAsync, geneId, reachedStatesBack);

        if (!chkConstantAsync(opAsync, geneId))
            compSteadyAsync(mgrAsync, opAsync, ipAsync, inpCubeAsync, inpCubeBwd, geneId,
                            topSame, nInpVar, complexLoop, maxStates, network);
    } catch (...) {
        releaseAll(mgrAsync, held);
        throw;
    }
    releaseAll(mgrAsync, held);
    return 0;
}
