// The synchronous analysis over the whole reduced network.
#include "coreProgramSync.h"

#include <cmath>

#include "bddHandle.h"
#include "bddHelpers.h"
#include "compReachFragSync.h"
#include "compSatSync.h"
#include "printResult.h"

namespace {

// Literals of the update functions' covers beyond which the search by
// satisfiability is not tried.
constexpr long kSatMaxLiterals = 4000000;

// The states of one cycle as a set over current-state variables.
bddHandle setOfCycle(DdManager* mgr, std::vector<DdNode*>& ip, int nInpVar,
                     const std::vector<satSyncState>& cycle) {
    bddHandle set = bddZero(mgr);
    std::vector<char> literals(static_cast<size_t>(nInpVar));
    for (const satSyncState& x : cycle) {
        for (int g = 0; g < nInpVar; ++g)
            literals[static_cast<size_t>(g)] = x[static_cast<size_t>(g)] == '1' ? 1 : 0;
        const bddHandle state = bddHandle::adopt(mgr, makeBdd(mgr, ip, literals.data(), nInpVar));
        set = bddResult(mgr, Cudd_bddOr(mgr, set.get(), state.get()));
    }
    return set;
}

}  // namespace

bool compAttractorsSatRoute(DdManager* mgr, std::vector<DdNode*>& op, std::vector<DdNode*>& ip,
                            int nInpVar, bddArray& attractors, const progressSink& progress) {
    satSyncNetwork network;
    if (!makeSatSyncNetwork(mgr, op, ip, nInpVar, kSatMaxLiterals, network)) {
        writeProgress(progress,
                      "synchronous search by satisfiability not tried: the update functions are "
                      "too large\n");
        return false;
    }
    writeProgress(progress, "synchronous search by satisfiability over all genes\n");
    const satSyncOutcome outcome = compAttractorsSatSync(network);
    if (!outcome.complete) {
        writeProgress(progress, "synchronous search by satisfiability stopped at a bound after ",
                      outcome.attractors.size(), " attractors\n");
        return false;
    }
    writeProgress(progress, outcome.attractors.size(), " attractors, no other state left after ",
                  outcome.steps, " steps (", outcome.calls, " calls of the solver)\n");
    bddArray found;
    for (const std::vector<satSyncState>& cycle : outcome.attractors)
        found.push_back(setOfCycle(mgr, ip, nInpVar, cycle));
    attractors = std::move(found);
    return true;
}

std::string compSteadyTopFuncSync(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                                  const std::vector<int>& defaultStatus,
                                  const symbolicEncoding& encoding, std::vector<DdNode*>& op,
                                  const analysisRequest& request) {
    const progressSink& progress = request.progress;
    DdManager* const mgr = encoding.mgr;
    std::vector<DdNode*>& ip = encoding.ip;
    const int nInpVar = encoding.nInpVar;
    reportProgress(progress,
                   stageEvent(progressStage::synchronousSearch, static_cast<size_t>(nInpVar)));
    bddArray attractors;
    if (!compAttractorsSatRoute(mgr, op, ip, nInpVar, attractors, progress)) {
        std::vector<int> geneId;
        for (int g = 0; g < nInpVar; ++g) geneId.push_back(g);
        // compSteadySync sorts the cycles into those that change one gene per
        // step and the others; under synchronous update both are attractors.
        // What it appends is released here also when it fails part way.
        std::vector<DdNode*> steadyStates, steadyFalse;
        const rawNodesGuard ownSteady(mgr, steadyStates), ownFalse(mgr, steadyFalse);
        writeProgress(progress, "synchronous search over all genes\n");
        compSteadySyncOn(encoding, op, geneId, steadyStates, steadyFalse, HUGE_VAL, progress);
        attractors = adoptAll(mgr, steadyStates);
        for (bddHandle& cycle : adoptAll(mgr, steadyFalse)) attractors.push_back(std::move(cycle));
        // With every gene fixed by the reduction the one state left is the
        // only attractor (the search over no genes takes no step).
        if (nInpVar == 0) attractors.push_back(bddOne(mgr));
    }
    return printResult(request.options.format, updateMode::sync, encoding, geneDbOrg, geneDbReduced,
                       defaultStatus, lentNodes(attractors), progress);
}
