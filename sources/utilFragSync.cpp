// Variable creation and the synchronous image, reachability and descent of a
// fragment. All sets carry one reference owned by whoever holds them.
#include "utilFragSync.h"

#include <algorithm>
#include <chrono>
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

// The fragment's relations in functional form, for backward images by
// substitution. A relation of the form built for the search,
//   op[g] = (x'_g <-> next_g(x)) AND dom_g,
// gives next_g = op[g] with x'_g = 1, as long as that cofactor reads no
// next-state variable and excludes the cofactor at x'_g = 0 (the gene has
// one next value). Then, for a set S over x',
//   EXISTS x' . S(x') AND op[g] for every g
//     = EXISTS x' . (S AND dom)[x'_g := next_g(x) for every fragment g],
// with dom the conjunction of the dom_g (the constraints that the searches
// conjoined; dom_g = both cofactors' disjunction). One simultaneous
// substitution replaces the chain of products with the relations.
struct syncFunctions {
    std::vector<DdNode*> vector;  // per variable index: next_g(x) at x'_g, else the variable
    std::vector<DdNode*> held;    // the referenced handles of vector
    DdNode* domain = nullptr;     // dom with the substitution made; referenced
};

void releaseSyncFunctions(DdManager* mgr, syncFunctions& f) {
    for (DdNode* node : f.held) Cudd_RecursiveDeref(mgr, node);
    f.held.clear();
    if (f.domain != nullptr) Cudd_RecursiveDeref(mgr, f.domain);
    f.domain = nullptr;
}

// True when no variable of `node` is a next-state variable.
bool readsCurrentOnly(DdManager* mgr, DdNode* node, int nInpVar) {
    int* support = nullptr;
    const int count = Cudd_SupportIndices(mgr, node, &support);
    bool current = count >= 0;
    for (int k = 0; k < count; ++k) current = current && support[k] < nInpVar;
    free(support);
    return current;
}

// Fills `f` for the fragment's relations; false (with nothing held) when some
// relation is not functional in its gene's next-state variable.
bool makeSyncFunctions(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                       const std::vector<int>& geneId, int nInpVar, syncFunctions& f) {
    f.vector.assign(ip.begin(), ip.end());
    for (int k = static_cast<int>(ip.size()); k < Cudd_ReadSize(mgr); ++k)
        f.vector.push_back(Cudd_bddIthVar(mgr, k));
    DdNode* domain = refChecked(Cudd_ReadOne(mgr));
    bool functional = true;
    try {
        for (int g : uniqueGenes(geneId)) {
            DdNode* rel = topNode[static_cast<size_t>(g)];
            DdNode* next = ip[static_cast<size_t>(nInpVar + g)];
            DdNode* high = refChecked(Cudd_bddAndAbstract(mgr, rel, next, next));
            f.held.push_back(high);
            DdNode* low = refChecked(Cudd_bddAndAbstract(mgr, rel, Cudd_Not(next), next));
            f.held.push_back(low);
            if (!readsCurrentOnly(mgr, high, nInpVar) ||
                Cudd_bddLeq(mgr, high, Cudd_Not(low)) != 1) {
                functional = false;
                break;
            }
            f.vector[static_cast<size_t>(nInpVar + g)] = high;
            DdNode* either = refChecked(Cudd_bddOr(mgr, high, low));
            DdNode* old = domain;
            domain = nullptr;
            domain = refReleasing(mgr, Cudd_bddAnd(mgr, old, either), {either, old});
        }
        if (functional) f.domain = refChecked(Cudd_bddVectorCompose(mgr, domain, f.vector.data()));
    } catch (...) {
        if (domain != nullptr) Cudd_RecursiveDeref(mgr, domain);
        releaseSyncFunctions(mgr, f);
        throw;
    }
    Cudd_RecursiveDeref(mgr, domain);
    if (!functional) releaseSyncFunctions(mgr, f);
    return functional;
}

// The backward image of `initState` (over x') through the functional form;
// the same set as compImageFragSync with flagBwd 1. Referenced, over x'.
// With a `deadline`, the substitution (the conjunction of every gene's
// function, for one state, and the step that can run for minutes on a
// large block) runs under an engine time limit: nullptr when it expires.
DdNode* preimageByFunctions(DdManager* mgr, const syncFunctions& f, std::vector<DdNode*>& ip,
                            DdNode* inpCube, DdNode* initState, int nInpVar,
                            const std::chrono::steady_clock::time_point* deadline) {
    std::vector<DdNode*> vector = f.vector;
    if (deadline != nullptr) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            *deadline - std::chrono::steady_clock::now());
        Cudd_ResetStartTime(mgr);
        Cudd_SetTimeLimit(mgr, static_cast<unsigned long>(std::max<long long>(left.count(), 0)));
    }
    DdNode* substituted = Cudd_bddVectorCompose(mgr, initState, vector.data());
    if (deadline != nullptr) {
        Cudd_UnsetTimeLimit(mgr);
        if (substituted == nullptr && Cudd_ReadErrorCode(mgr) == CUDD_TIMEOUT_EXPIRED) {
            Cudd_ClearErrorCode(mgr);
            return nullptr;
        }
    }
    DdNode* composed = refChecked(substituted);
    DdNode* image =
        refReleasing(mgr, Cudd_bddAndAbstract(mgr, composed, f.domain, inpCube), {composed});
    return refReleasing(
        mgr, Cudd_bddSwapVariables(mgr, image, ip.data(), ip.data() + nInpVar, nInpVar), {image});
}

void printDepth(int iteration) {
    std::cout << "next state evaluates to 1 with possible depth  " << iteration << std::endl;
}

// One layer of a frontier search: r becomes the states of rNew not reached
// before and joins reachedStates; rNew becomes the image of r (a backward one
// through `functions` when given, under `deadline` when given). Returns
// false, with rNew unchanged, when r is empty (the search is complete) or
// when the image ran out of time (then `stopped` is set). All three handles
// are owned by the caller and replaced in place.
bool nextLayerSync(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                   const std::vector<int>& geneId, DdNode* inpCube, int nInpVar, int flagBwd,
                   const syncFunctions* functions, DdNode*& rNew, DdNode*& r,
                   DdNode*& reachedStates,
                   const std::chrono::steady_clock::time_point* deadline, bool& stopped) {
    DdNode* frontier = refChecked(Cudd_bddAnd(mgr, rNew, Cudd_Not(reachedStates)));
    Cudd_RecursiveDeref(mgr, r);
    r = frontier;
    if (r == Cudd_ReadLogicZero(mgr)) return false;
    DdNode* reached = refChecked(Cudd_bddOr(mgr, reachedStates, r));
    Cudd_RecursiveDeref(mgr, reachedStates);
    reachedStates = reached;
    DdNode* image =
        functions != nullptr
            ? preimageByFunctions(mgr, *functions, ip, inpCube, r, nInpVar, deadline)
            : compImageFragSync(mgr, topNode, ip, geneId, inpCube, r, nInpVar, flagBwd);
    if (image == nullptr) {
        stopped = true;
        return false;
    }
    Cudd_RecursiveDeref(mgr, rNew);
    rNew = image;
    return true;
}

// The breadth-first search proper (see compReachStatesFragSync).
// With a `deadline`, the search stops at the first layer that begins after
// it, or inside a layer's substitution that runs past it, and clears
// `complete`; the states reached so far are returned.
DdNode* reachFrontiers(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                       const std::vector<int>& geneId, DdNode* initState, DdNode* inpCube,
                       int nInpVar, int flagBwd, const syncFunctions* functions,
                       const std::chrono::steady_clock::time_point* deadline, bool& complete) {
    complete = true;
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
        if (deadline != nullptr && iteration > 0 &&
            std::chrono::steady_clock::now() > *deadline) {
            complete = false;
            break;
        }
        ++iteration;
        std::cout << iteration << "   " << std::flush;
        bool stopped = false;
        if (!nextLayerSync(mgr, topNode, ip, geneId, inpCube, nInpVar, flagBwd, functions, rNew,
                           r, reachedStates, deadline, stopped)) {
            if (stopped) {
                complete = false;
                break;
            }
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
    bool complete = true;
    return compReachStatesFragSyncUntil(mgr, topNode, ip, geneId, initState, inpCube, nInpVar,
                                        flagBwd, nullptr, complete);
}

DdNode* compReachStatesFragSyncUntil(DdManager* mgr, std::vector<DdNode*>& topNode,
                                     std::vector<DdNode*>& ip, const std::vector<int>& geneId,
                                     DdNode* initState, DdNode* inpCube, int nInpVar,
                                     int flagBwd,
                                     const std::chrono::steady_clock::time_point* deadline,
                                     bool& complete) {
    // Backward images go through the functional form whenever the relations
    // allow it; the relations stay fixed during one search.
    syncFunctions functions;
    const bool byFunctions =
        flagBwd == 1 && makeSyncFunctions(mgr, topNode, ip, geneId, nInpVar, functions);
    try {
        DdNode* reached =
            reachFrontiers(mgr, topNode, ip, geneId, initState, inpCube, nInpVar, flagBwd,
                           byFunctions ? &functions : nullptr, deadline, complete);
        releaseSyncFunctions(mgr, functions);
        return reached;
    } catch (...) {
        releaseSyncFunctions(mgr, functions);
        throw;
    }
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
        bool stopped = false;  // no deadline: never set
        if (!nextLayerSync(mgr, topNode, ip, geneId, inpCube, nInpVar, 0, nullptr, rNew, r,
                           reachedStates, nullptr, stopped)) {
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
