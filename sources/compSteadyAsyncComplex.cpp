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

#include "bddHelpers.h"
#include "compReachFragAsync.h"
#include "compReachFragSync.h"
#include "quorvelError.h"
#include "transferBdd.h"
#include "utilFragAsync.h"

int compSteadyAsyncHeuristicOn(const symbolicEncoding& sync, const symbolicEncoding& async,
                               std::vector<DdNode*>& op, std::vector<DdNode*>& opAsync,
                               const std::vector<int>& geneId, std::vector<DdNode*>& steadyStates,
                               double syncSeconds, const asyncSearchSettings& settings) {
    DdManager* const mgr = sync.mgr;
    DdManager* const mgrAsync = async.mgr;
    const size_t firstNew = steadyStates.size();
    if (syncSeconds > 0) {
        // The cycles that change several genes in one step are not results;
        // the asynchronous search below covers their region.
        std::vector<DdNode*> steadyFalse;
        const rawNodesGuard steadyFalseOwned(mgr, steadyFalse);
        compSteadySyncOn(sync, op, geneId, steadyStates, steadyFalse, syncSeconds,
                         settings.progress);
    }

    // Only the attractors found here bound the basin, whatever the array
    // held on entry.
    const std::vector<DdNode*> retained(
        steadyStates.begin() + static_cast<std::ptrdiff_t>(firstNew), steadyStates.end());
    std::vector<DdNode*> complexLoop;
    const rawNodesGuard complexLoopOwned(mgrAsync, complexLoop);
    secCheckOn(sync, async, retained, opAsync, geneId, complexLoop, settings);

    // All moved before any is appended: a failed transfer leaves the
    // caller's array as the synchronous stage left it.
    bddArray moved;
    for (DdNode* entry : complexLoop)
        moved.push_back(transferBdd(mgrAsync, mgr, entry, "complex loop transfer unsuccessful"));
    releaseInto(moved, steadyStates);
    return 0;
}

int compSteadyAsyncHeuristic(DdManager* mgr, DdManager* mgrAsync, std::vector<DdNode*>& opAsync,
                             std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& op,
                             std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                             DdNode* inpCubeFwd, DdNode* inpCubeBwd, DdNode* topSame, int nInpVar,
                             std::vector<DdNode*>& steadyStates, double syncSeconds,
                             double maxStates, const networkFunctions* network,
                             const progressSink& progress) {
    return compSteadyAsyncHeuristicOn(
        symbolicEncoding{mgr, ip, nInpVar, inpCubeFwd, inpCubeBwd},
        symbolicEncoding{mgrAsync, ipAsync, nInpVar, nullptr, nullptr, topSame}, op, opAsync,
        geneId, steadyStates, syncSeconds, asyncSearchSettings{maxStates, network, progress});
}

int secCheckOn(const symbolicEncoding& sync, const symbolicEncoding& async,
               const std::vector<DdNode*>& steadyStates, std::vector<DdNode*>& opAsync,
               const std::vector<int>& geneId, std::vector<DdNode*>& complexLoop,
               const asyncSearchSettings& settings) {
    DdManager* const mgr = sync.mgr;
    DdManager* const mgrAsync = async.mgr;
    std::vector<DdNode*>& ipAsync = async.ip;
    const int nInpVar = async.nInpVar;
    const bddHandle inpCubeAsync =
        transferBdd(mgr, mgrAsync, sync.inpCubeFwd, "steadyFalse transfer unsuccessful");
    bddHandle inpCubeBwd = bddOne(mgrAsync);
    for (int i = 0; i < nInpVar; ++i)
        inpCubeBwd = bddResult(mgrAsync, Cudd_bddAnd(mgrAsync, inpCubeBwd.get(),
                                                     ipAsync[static_cast<size_t>(nInpVar + i)]));

    // Without retained attractors the basin is empty and cuts nothing: the
    // search runs on the relations as they are (the composition with its
    // synchronous stage off, or a stage that found nothing).
    if (!steadyStates.empty()) {
        bddHandle steadyTop = bddZero(mgr);
        for (DdNode* entry : steadyStates)
            steadyTop = bddResult(mgr, Cudd_bddOr(mgr, steadyTop.get(), entry));
        const bddHandle steadyTopAsync =
            transferBdd(mgr, mgrAsync, steadyTop.get(), "steadyTop transfer unsuccessful");
        steadyTop.reset();

        // The asynchronous basin of the retained attractors, over x'.
        const bddHandle steadyTopNext = swapCurrentAndNext(steadyTopAsync, ipAsync, nInpVar);
        const bddHandle reachedStatesBack = bddHandle::adopt(
            mgrAsync, compReachStatesFragAsync(mgrAsync, opAsync, ipAsync, steadyTopNext.get(),
                                               inpCubeBwd.get(), geneId, async.topSame, nInpVar,
                                               settings.progress));
        // No transition enters the basin any more.
        excludeStatesAsync(mgrAsync, opAsync, geneId, reachedStatesBack.get());
    }

    // The search runs over the cubes made here from mgrAsync's variables.
    if (!chkConstantAsync(opAsync, geneId))
        compSteadyAsyncOn(symbolicEncoding{mgrAsync, ipAsync, nInpVar, inpCubeAsync.get(),
                                           inpCubeBwd.get(), async.topSame},
                          opAsync, geneId, complexLoop, settings);
    return 0;
}

int secCheck(DdManager* mgr, DdManager* mgrAsync, const std::vector<DdNode*>& steadyStates,
             DdNode* inpCube, std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& opAsync,
             const std::vector<int>& geneId, DdNode* topSame, int nInpVar,
             std::vector<DdNode*>& complexLoop, double maxStates, const networkFunctions* network,
             const progressSink& progress) {
    // Of mgr only the manager and the cube are read.
    std::vector<DdNode*> noVariables;
    return secCheckOn(symbolicEncoding{mgr, noVariables, nInpVar, inpCube},
                      symbolicEncoding{mgrAsync, ipAsync, nInpVar, nullptr, nullptr, topSame},
                      steadyStates, opAsync, geneId, complexLoop,
                      asyncSearchSettings{maxStates, network, progress});
}
