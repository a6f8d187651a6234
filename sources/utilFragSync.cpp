// Variable creation and the synchronous image, reachability and descent of a
// fragment. All sets carry one reference owned by whoever holds them.
#include "utilFragSync.h"

#include <iostream>

#include "util.h"

int createVarsFragSync(DdManager* mgr, std::vector<DdNode*>& ip, std::vector<DdNode*>& op,
                       std::vector<std::string>& inpName, std::vector<std::string>& outName,
                       int nInpVar) {
    const size_t n = static_cast<size_t>(nInpVar);
    ip.assign(2 * n, nullptr);
    op.assign(n, nullptr);
    inpName.assign(2 * n, std::string());
    outName.assign(n, std::string());
    // The manager starts without variables, so variable k gets index k.
    for (size_t k = 0; k < 2 * n; ++k) ip[k] = refChecked(Cudd_bddNewVar(mgr));
    for (size_t i = 0; i < n; ++i) op[i] = refChecked(Cudd_ReadOne(mgr));
    for (size_t i = 0; i < n; ++i) {
        inpName[i] = "inp" + std::to_string(i);
        inpName[n + i] = "inp" + std::to_string(n + i);
        outName[i] = "func" + std::to_string(i);
    }
    return 0;
}

DdNode* compImageFragSync(DdManager* mgr, std::vector<DdNode*>& topNode,
                          std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                          DdNode* inpCube, DdNode* initState, int nInpVar, int flagBwd) {
    Cudd_Ref(initState);
    DdNode* acc = initState;
    const auto replace = [mgr, &acc](DdNode* next) {
        Cudd_RecursiveDeref(mgr, acc);
        acc = next;
    };
    for (int g : geneId) {
        replace(refChecked(Cudd_bddAnd(mgr, acc, topNode[static_cast<size_t>(g)])));
        // Backward: x'_g is used up by this relation; dropping it at once keeps
        // the product small.
        if (flagBwd == 1)
            replace(refChecked(
                Cudd_bddExistAbstract(mgr, acc, ip[static_cast<size_t>(nInpVar + g)])));
    }
    replace(refChecked(Cudd_bddExistAbstract(mgr, acc, inpCube)));
    replace(refChecked(Cudd_bddSwapVariables(mgr, acc, ip.data(), ip.data() + nInpVar, nInpVar)));
    return acc;
}

namespace {

void printDepth(int iteration) {
    std::cout << "next state evaluates to 1 with possible depth  " << iteration << std::endl;
}

// One layer of a frontier search: r becomes the states of rNew not reached
// before and joins reachedStates; rNew becomes the image of r. Returns false,
// with rNew unchanged, when r is empty (the search is complete). All three
// handles are owned by the caller and replaced in place.
bool nextLayerSync(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                   const std::vector<int>& geneId, DdNode* inpCube, int nInpVar, int flagBwd,
                   DdNode*& rNew, DdNode*& r, DdNode*& reachedStates) {
    DdNode* frontier = refChecked(Cudd_bddAnd(mgr, rNew, Cudd_Not(reachedStates)));
    Cudd_RecursiveDeref(mgr, r);
    r = frontier;
    if (r == Cudd_ReadLogicZero(mgr)) return false;
    DdNode* reached = refChecked(Cudd_bddOr(mgr, reachedStates, r));
    Cudd_RecursiveDeref(mgr, reachedStates);
    reachedStates = reached;
    DdNode* image = compImageFragSync(mgr, topNode, ip, geneId, inpCube, r, nInpVar, flagBwd);
    Cudd_RecursiveDeref(mgr, rNew);
    rNew = image;
    return true;
}

}  // namespace

// Breadth-first search that expands only the frontier. The depth message
// ends the line of counters.
//
// An image that is the constant one means that every state is reached (a
// narrowed relation excludes the removed states, so the whole space is only
// possible while nothing has been removed); the result is then the whole
// space. Dropping such an image would return an incomplete backward set, and
// the attractor search would then misjudge recurrent states as transient and
// leave part of a basin in the space.
DdNode* compReachStatesFragSync(DdManager* mgr, std::vector<DdNode*>& topNode,
                                std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                                DdNode* initState, DdNode* inpCube, int nInpVar, int flagBwd) {
    DdNode* one = Cudd_ReadOne(mgr);
    Cudd_Ref(initState);
    DdNode* rNew = initState;
    Cudd_Ref(initState);
    DdNode* r = initState;
    DdNode* reachedStates = refChecked(Cudd_ReadLogicZero(mgr));
    int iteration = 0;
    for (;;) {
        if (Cudd_IsConstant(rNew)) {
            if (rNew == one) {
                Cudd_RecursiveDeref(mgr, reachedStates);
                reachedStates = refChecked(one);
            }
            printDepth(iteration);
            break;
        }
        ++iteration;
        std::cout << iteration << "   " << std::flush;
        if (!nextLayerSync(mgr, topNode, ip, geneId, inpCube, nInpVar, flagBwd, rNew, r,
                           reachedStates)) {
            printDepth(iteration);
            break;
        }
    }
    std::cout << std::endl
              << "minimum number of states " << Cudd_CountPathsToNonZero(reachedStates)
              << std::endl;
    Cudd_RecursiveDeref(mgr, rNew);
    Cudd_RecursiveDeref(mgr, r);
    return reachedStates;
}

DdNode* compRandomStateFragSync(DdManager* mgr, std::vector<DdNode*>& ip,
                                std::vector<DdNode*>& topNode, const std::vector<int>& geneId,
                                DdNode* inpCube, int nInpVar) {
    // A random transition of the first gene's relation, read at its
    // current-state half: a narrowed relation has no transition out of a
    // removed state, so the start lies in the space not yet removed.
    DdNode* start =
        pickMinterm(mgr, topNode[static_cast<size_t>(geneId.at(0))], ip, geneId, nInpVar, 0);
    DdNode* rNew = start;
    Cudd_Ref(rNew);
    DdNode* r = start;  // takes over the reference of start
    DdNode* reachedStates = refChecked(Cudd_ReadLogicZero(mgr));
    int iteration = 0;
    for (;;) {
        if (Cudd_IsConstant(rNew)) {
            // The walk left the space (no successor): settle on the last frontier.
            Cudd_RecursiveDeref(mgr, rNew);
            Cudd_Ref(r);
            rNew = r;
            printDepth(iteration);
            break;
        }
        ++iteration;
        std::cout << iteration << "  " << std::flush;
        if (!nextLayerSync(mgr, topNode, ip, geneId, inpCube, nInpVar, 0, rNew, r,
                           reachedStates)) {
            printDepth(iteration);
            break;
        }
    }
    // The last image: when the frontier ran empty, every state of it had been
    // visited, so it lies on the cycle where the walk closed.
    Cudd_RecursiveDeref(mgr, r);
    Cudd_RecursiveDeref(mgr, reachedStates);
    if (rNew == Cudd_ReadLogicZero(mgr)) {
        Cudd_RecursiveDeref(mgr, rNew);
        raiseFatal("zero initial state");
    }
    DdNode* state = pickMinterm(mgr, rNew, ip, geneId, nInpVar, 0);
    Cudd_RecursiveDeref(mgr, rNew);
    return state;
}
