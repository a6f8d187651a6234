// Variable creation and the synchronous image, reachability and descent of a
// fragment. Every set is held by a bddHandle; the raw results handed to the
// caller carry one reference, which the caller owns.
#include "utilFragSync.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "bddHandle.h"
#include "bddHelpers.h"
#include "constGeneDb.h"
#include "quorvelError.h"

int createVarsFragSync(DdManager* mgr, std::vector<DdNode*>& ip, std::vector<DdNode*>& op,
                       std::vector<std::string>& inpName, std::vector<std::string>& outName,
                       int nInpVar) {
    const size_t n = static_cast<size_t>(nInpVar);
    ip.assign(2 * n, nullptr);
    op.assign(n, nullptr);
    inpName.assign(2 * n, std::string());
    outName.assign(n, std::string());
    // The manager starts without variables, so variable k gets index k. The
    // arrays own one reference per entry.
    for (size_t k = 0; k < 2 * n; ++k) ip[k] = bddResult(mgr, Cudd_bddNewVar(mgr)).release();
    for (size_t i = 0; i < n; ++i) op[i] = bddOne(mgr).release();
    for (size_t i = 0; i < n; ++i) {
        inpName[i] = "inp" + std::to_string(i);
        inpName[n + i] = "inp" + std::to_string(n + i);
        outName[i] = "func" + std::to_string(i);
    }
    return 0;
}

namespace {

// The image of compImageFragSync, as a handle.
bddHandle imageSync(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                    const std::vector<int>& geneId, DdNode* inpCube, DdNode* initState, int nInpVar,
                    int flagBwd) {
    bddHandle acc(mgr, initState);
    for (int g : geneId) {
        acc = bddResult(mgr, Cudd_bddAnd(mgr, acc.get(), topNode[static_cast<size_t>(g)]));
        // Backward: x'_g is used up by this relation; dropping it at once keeps
        // the product small.
        if (flagBwd == 1)
            acc = bddResult(
                mgr, Cudd_bddExistAbstract(mgr, acc.get(), ip[static_cast<size_t>(nInpVar + g)]));
    }
    acc = bddResult(mgr, Cudd_bddExistAbstract(mgr, acc.get(), inpCube));
    return swapCurrentAndNext(acc, ip, nInpVar);
}

}  // namespace

DdNode* compImageFragSync(DdManager* mgr, std::vector<DdNode*>& topNode, std::vector<DdNode*>& ip,
                          const std::vector<int>& geneId, DdNode* inpCube, DdNode* initState,
                          int nInpVar, int flagBwd) {
    return imageSync(mgr, topNode, ip, geneId, inpCube, initState, nInpVar, flagBwd).release();
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
    std::vector<DdNode*> vector;  // per variable index: next_g(x) at x'_g, else the variable;
                                  // lent by `held` and the caller's ip
    bddArray held;                // the cofactors computed, next_g among them
    bddHandle domain;             // dom with the substitution made
};

// True when no variable of `node` is a next-state variable.
bool readsCurrentOnly(DdManager* mgr, DdNode* node, int nInpVar) {
    int* support = nullptr;
    const int count = Cudd_SupportIndices(mgr, node, &support);
    bool current = count >= 0;
    for (int k = 0; k < count; ++k) current = current && support[k] < nInpVar;
    free(support);
    return current;
}

// The functional form of the fragment's relations; none when some relation
// is not functional in its gene's next-state variable.
std::optional<syncFunctions> makeSyncFunctions(DdManager* mgr, std::vector<DdNode*>& topNode,
                                               std::vector<DdNode*>& ip,
                                               const std::vector<int>& geneId, int nInpVar) {
    syncFunctions f;
    f.vector.assign(ip.begin(), ip.end());
    for (int k = static_cast<int>(ip.size()); k < Cudd_ReadSize(mgr); ++k)
        f.vector.push_back(Cudd_bddIthVar(mgr, k));
    bddHandle domain = bddOne(mgr);
    for (int g : uniqueGenes(geneId)) {
        DdNode* rel = topNode[static_cast<size_t>(g)];
        DdNode* next = ip[static_cast<size_t>(nInpVar + g)];
        f.held.push_back(bddResult(mgr, Cudd_bddAndAbstract(mgr, rel, next, next)));
        DdNode* high = f.held.back().get();
        f.held.push_back(bddResult(mgr, Cudd_bddAndAbstract(mgr, rel, Cudd_Not(next), next)));
        DdNode* low = f.held.back().get();
        if (!readsCurrentOnly(mgr, high, nInpVar) || Cudd_bddLeq(mgr, high, Cudd_Not(low)) != 1)
            return std::nullopt;
        f.vector[static_cast<size_t>(nInpVar + g)] = high;
        const bddHandle either = bddResult(mgr, Cudd_bddOr(mgr, high, low));
        domain = bddResult(mgr, Cudd_bddAnd(mgr, domain.get(), either.get()));
    }
    f.domain = bddResult(mgr, Cudd_bddVectorCompose(mgr, domain.get(), f.vector.data()));
    return f;
}

// The backward image of `initState` (over x') through the functional form;
// the same set as compImageFragSync with flagBwd 1, over x'.
// With a `deadline`, the substitution (the conjunction of every gene's
// function, for one state, and the step that can run for minutes on a
// large block) runs under an engine time limit: an empty handle when it
// expires.
bddHandle preimageByFunctions(DdManager* mgr, const syncFunctions& f, std::vector<DdNode*>& ip,
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
            return bddHandle();
        }
    }
    const bddHandle composed = bddResult(mgr, substituted);
    const bddHandle image =
        bddResult(mgr, Cudd_bddAndAbstract(mgr, composed.get(), f.domain.get(), inpCube));
    return swapCurrentAndNext(image, ip, nInpVar);
}

void printDepth(const progressSink& progress, int iteration) {
    writeProgress(progress, "next state evaluates to 1 with possible depth  ", iteration, "\n");
}

// What every layer of one frontier search reads: the encoding (its manager,
// variables and gene count), the fragment's relations, the cube the images
// abstract (inpCube: of every x_i forward, of every x'_i backward) and the
// direction, and for a backward search the functional form (null: images
// through the relations) and the deadline (null: none). Every node is lent.
struct frontierSearch {
    const symbolicEncoding& encoding;
    std::vector<DdNode*>& topNode;
    const std::vector<int>& geneId;
    DdNode* inpCube;
    int flagBwd;
    const syncFunctions* functions;
    const std::chrono::steady_clock::time_point* deadline;
};

// One layer of a frontier search: r becomes the states of rNew not reached
// before and joins reachedStates; rNew becomes the image of r (a backward one
// through `functions` when given, under `deadline` when given). Returns
// false, with rNew unchanged, when r is empty (the search is complete) or
// when the image ran out of time (then `stopped` is set).
bool nextLayerSync(const frontierSearch& search, bddHandle& rNew, bddHandle& r,
                   bddHandle& reachedStates, bool& stopped) {
    DdManager* const mgr = search.encoding.mgr;
    std::vector<DdNode*>& ip = search.encoding.ip;
    const int nInpVar = search.encoding.nInpVar;
    r = bddResult(mgr, Cudd_bddAnd(mgr, rNew.get(), Cudd_Not(reachedStates.get())));
    if (r.get() == Cudd_ReadLogicZero(mgr)) return false;
    reachedStates = bddResult(mgr, Cudd_bddOr(mgr, reachedStates.get(), r.get()));
    bddHandle image = search.functions != nullptr
                          ? preimageByFunctions(mgr, *search.functions, ip, search.inpCube, r.get(),
                                                nInpVar, search.deadline)
                          : imageSync(mgr, search.topNode, ip, search.geneId, search.inpCube,
                                      r.get(), nInpVar, search.flagBwd);
    if (!image) {
        stopped = true;
        return false;
    }
    rNew = std::move(image);
    return true;
}

// The breadth-first search proper (see compReachStatesFragSync).
// With a `deadline`, the search stops at the first layer that begins after
// it, or inside a layer's substitution that runs past it, and clears
// `complete`; the states reached so far are returned.
bddHandle reachFrontiers(const frontierSearch& search, DdNode* initState, bool& complete,
                         const progressSink& progress) {
    DdManager* const mgr = search.encoding.mgr;
    const std::chrono::steady_clock::time_point* const deadline = search.deadline;
    complete = true;
    bddHandle rNew(mgr, initState);
    bddHandle r(mgr, initState);
    bddHandle reachedStates = bddZero(mgr);
    int iteration = 0;
    for (;;) {
        if (Cudd_IsConstant(rNew.get())) {
            if (rNew.get() == Cudd_ReadOne(mgr)) reachedStates = rNew;
            printDepth(progress, iteration);
            break;
        }
        if (deadline != nullptr && iteration > 0 && std::chrono::steady_clock::now() > *deadline) {
            complete = false;
            break;
        }
        ++iteration;
        writeProgress(progress, iteration, "   ");
        bool stopped = false;
        if (!nextLayerSync(search, rNew, r, reachedStates, stopped)) {
            if (stopped) {
                complete = false;
                break;
            }
            printDepth(progress, iteration);
            break;
        }
    }
    writeProgress(progress, "\nminimum number of states ",
                  Cudd_CountPathsToNonZero(reachedStates.get()), "\n");
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
                                DdNode* initState, DdNode* inpCube, int nInpVar, int flagBwd,
                                const progressSink& progress) {
    // The one cube given is the one this direction abstracts.
    const symbolicEncoding encoding = flagBwd == 1
                                          ? symbolicEncoding{mgr, ip, nInpVar, nullptr, inpCube}
                                          : symbolicEncoding{mgr, ip, nInpVar, inpCube};
    bool complete = true;
    return compReachStatesFragSyncUntil(encoding, topNode, geneId, initState, flagBwd, nullptr,
                                        complete, progress);
}

DdNode* compReachStatesFragSyncUntil(const symbolicEncoding& encoding,
                                     std::vector<DdNode*>& topNode, const std::vector<int>& geneId,
                                     DdNode* initState, int flagBwd,
                                     const std::chrono::steady_clock::time_point* deadline,
                                     bool& complete, const progressSink& progress) {
    // Backward images go through the functional form whenever the relations
    // allow it; the relations stay fixed during one search.
    std::optional<syncFunctions> functions;
    if (flagBwd == 1)
        functions = makeSyncFunctions(encoding.mgr, topNode, encoding.ip, geneId, encoding.nInpVar);
    DdNode* const inpCube = flagBwd == 1 ? encoding.inpCubeBwd : encoding.inpCubeFwd;
    const frontierSearch search{
        encoding, topNode, geneId, inpCube, flagBwd, functions ? &*functions : nullptr, deadline};
    return reachFrontiers(search, initState, complete, progress).release();
}

DdNode* compRandomStateFragSync(DdManager* mgr, std::vector<DdNode*>& ip,
                                std::vector<DdNode*>& topNode, const std::vector<int>& geneId,
                                DdNode* inpCube, int nInpVar, const progressSink& progress) {
    // A random transition of the first gene's relation, read at its
    // current-state half: a narrowed relation has no transition out of a
    // removed state, so the start lies in the space not yet removed.
    bddHandle r = bddHandle::adopt(
        mgr, pickMinterm(mgr, topNode[static_cast<size_t>(geneId.at(0))], ip, geneId, nInpVar, 0));
    bddHandle rNew = r;
    bddHandle reachedStates = bddZero(mgr);
    const symbolicEncoding encoding{mgr, ip, nInpVar, inpCube};
    const frontierSearch search{encoding, topNode, geneId, inpCube, 0, nullptr, nullptr};
    int iteration = 0;
    for (;;) {
        if (Cudd_IsConstant(rNew.get())) {
            // The walk left the space (no successor): settle on the last frontier.
            rNew = r;
            printDepth(progress, iteration);
            break;
        }
        ++iteration;
        writeProgress(progress, iteration, "  ");
        bool stopped = false;  // no deadline: never set
        if (!nextLayerSync(search, rNew, r, reachedStates, stopped)) {
            printDepth(progress, iteration);
            break;
        }
    }
    // The last image: when the frontier ran empty, every state of it had been
    // visited, so it lies on the cycle where the walk closed.
    r.reset();
    reachedStates.reset();
    if (rNew.get() == Cudd_ReadLogicZero(mgr)) raiseFatal("zero initial state");
    return pickMinterm(mgr, rNew.get(), ip, geneId, nInpVar, 0);
}
