// The symbolic analysis driver: managers, state variables, cubes, the
// identity relation and the next-state relations in both managers; and the
// level-by-level composition that runs the searches.
#include "coreProgramAsync.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "bddHelpers.h"
#include "compBlockSteps.h"
#include "compInputOutcomes.h"
#include "compReachFragAsync.h"
#include "compSccLevels.h"
#include "constBdd.h"
#include "coreProgramSync.h"
#include "memoryRoom.h"
#include "newManager.h"
#include "printResult.h"
#include "printStates.h"
#include "quorvelError.h"
#include "readNetworkFunctions.h"
#include "transferBdd.h"
#include "utilFragAsync.h"
#include "utilFragSync.h"
#include "utilSets.h"

namespace {

// Quits the managers of one analysis on every way out of topFuncAsync, so an
// error in the middle of the analysis leaves no manager behind. Declared
// before every handle of the analysis, it quits last.
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

// The starting sizes of each manager's tables on the layer: per variable,
// unique-table slots, and computed-table slots. The layer takes its starting
// node table from the cache size (see startKernel) and keeps the defaults:
// started at 4096 nodes, bbm-243 crashed in about one run in three on it, a
// fault not yet found. On CUDD, compEngineSizes gives the sizes and limits
// of each manager (bench/results/cudd-vs-layer.txt).
#ifdef QUORVEL_CUDD_LAYER
constexpr unsigned kCacheSlots = CUDD_CACHE_SLOTS;
#else
constexpr unsigned kCacheSlots = 1u << 12;
#endif

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
                         std::vector<DdNode*>& steadyStates, const analysisRequest& request) {
    const updateMode update = request.options.update;
    const std::size_t maxMemory = request.options.maxMemory;
    const std::vector<int>* const groupedInputs =
        request.options.inputs == inputMode::grouped ? &request.groupedInputs : nullptr;
    const progressSink& progress = request.progress;
    const std::atomic<bool>* const cancel = request.options.cancel;
    const int nInpVar = static_cast<int>(geneDbReduced.size());
    managerGuard guard;
    guard.steadyStates = &steadyStates;
    // Every operation result of this thread checks the stop flag until the
    // analysis ends (the previous flag back: an analysis never nests, but
    // the flag must not outlive it).
    struct stopFlagScope {
        const std::atomic<bool>* saved = analysisStopFlag();
        explicit stopFlagScope(const std::atomic<bool>* flag) { analysisStopFlag() = flag; }
        stopFlagScope(const stopFlagScope&) = delete;
        stopFlagScope& operator=(const stopFlagScope&) = delete;
        ~stopFlagScope() { analysisStopFlag() = saved; }
    } const stopScope(cancel);
    // The synchronous analysis leaves the search to the solver (the BDDs
    // only carry the functions and the result), so its engine starts small
    // and grows when needed: filling the caches of the full size took more
    // than the whole search on most published models.
    const bool satSearch = update == updateMode::sync && groupedInputs == nullptr;
    const unsigned cacheSlots =
        satSearch ? std::min(kCacheSlots, unsigned{CUDD_CACHE_SLOTS / 16}) : kCacheSlots;
    guard.mgr = newManager(maxMemory, cacheSlots, 2 * nInpVar, cancel);
    guard.mgrAsync = newManager(maxMemory, cacheSlots, 2 * nInpVar, cancel);
    DdManager* const mgr = guard.mgr;
    DdManager* const mgrAsync = guard.mgrAsync;
    // No automatic sifting. The interleaved order below keeps every relation
    // small, and sifting during the searches cost far more than it saved:
    // 32-66 % of the time on the models profiled, 99 % on a ring of 250 genes
    // (6.25 s against 0.06 s without it), and on CUDD, whose trigger after
    // twenty reorderings rises by only twenty nodes, almost continuous
    // re-sifting (bbm-239 3.3 s against 0.2 s, bbm-261 out of time against
    // 1.6 s), with the same answers. It also made the time of a run depend
    // on the machine's load, as the engine layer bounds its sifting by wall
    // time.

    // Every handle of the analysis lives in this scope, so that all are
    // released before the leak check below (and before the guard quits the
    // managers on an error).
    const std::string result = [&] {
        std::vector<DdNode*> ip, op, ipAsync, opAsync;
        const rawNodesGuard ipOwned(mgr, ip), opOwned(mgr, op);
        const rawNodesGuard ipAsyncOwned(mgrAsync, ipAsync), opAsyncOwned(mgrAsync, opAsync);
        std::vector<std::string> inpName, outName;
        createVarsFragSync(mgr, ip, op, inpName, outName, nInpVar);
        createVarsFragSync(mgrAsync, ipAsync, opAsync, inpName, outName, nInpVar);
        interleaveStateVars(mgr, mgrAsync, nInpVar);

        // Conjunctions along the order are built from the bottom up: each step
        // then only puts one node on top, where the top-down order costs a
        // walk down the whole chain per step.
        bddArray currentVars;
        for (int i = 0; i < nInpVar; ++i) currentVars.emplace_back(mgr, ip[static_cast<size_t>(i)]);
        const bddHandle inpCubeFwd = conjoinBottomUp(mgr, currentVars);
        const bddHandle inpCubeBwd = swapCurrentAndNext(inpCubeFwd, ip, nInpVar);
        const bddHandle inpCubeFwdAsync =
            transferBdd(mgr, mgrAsync, inpCubeFwd.get(), "inpCubeFwdAsync transfer unsuccessful");
        const bddHandle inpCubeBwdAsync =
            transferBdd(mgr, mgrAsync, inpCubeBwd.get(), "inpCubeBwdAsync transfer unsuccessful");

        reportProgress(progress, stageEvent(progressStage::encoding, static_cast<size_t>(nInpVar)));
        // Identity relation: every gene keeps its value.
        bddArray sameTerms;
        for (int m = 0; m < nInpVar; ++m) {
            writeProgress(progress, m, "  ");
            const size_t i = static_cast<size_t>(m);
            sameTerms.push_back(bddResult(
                mgrAsync,
                Cudd_bddXnor(mgrAsync, ipAsync[static_cast<size_t>(nInpVar) + i], ipAsync[i])));
        }
        const bddHandle topNodeSame = conjoinBottomUp(mgrAsync, sameTerms);
        sameTerms.clear();

        writeProgress(progress, "constructing synchronous BDD\n");
        constBddFrag(geneDbOrg, geneDbReduced, defaultStatus, mgr, ip, op, nInpVar, progress);

        writeProgress(progress, "constructing Asynchronous BDD\n");
        for (size_t m = 0; m < op.size(); ++m)
            replaceOwned(opAsync[m],
                         transferBdd(mgr, mgrAsync, op[m], "bdd transfer unsuccessful"));
        writeProgress(progress, "BDD construction done\n");

        if (groupedInputs != nullptr) {
            const inputOutcomes outcomes = compInputOutcomes(
                symbolicEncoding{mgrAsync, ipAsync, nInpVar, inpCubeFwdAsync.get(),
                                 inpCubeBwdAsync.get(), topNodeSame.get()},
                opAsync, sccTopoLvl, request);
            return printOutcomes(request, symbolicEncoding{mgrAsync, ipAsync, nInpVar}, geneDbOrg,
                                 geneDbReduced, defaultStatus, outcomes);
        }
        std::string text =
            update == updateMode::sync
                ? compSteadyTopFuncSync(
                      geneDbOrg, geneDbReduced, defaultStatus,
                      symbolicEncoding{mgr, ip, nInpVar, inpCubeFwd.get(), inpCubeBwd.get()}, op,
                      request)
                : compSteadyTopFuncOn(
                      geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl,
                      symbolicEncoding{mgrAsync, ipAsync, nInpVar, inpCubeFwdAsync.get(),
                                       inpCubeBwdAsync.get(), topNodeSame.get()},
                      opAsync, steadyStates, request);
        // The attractors are written out: their handles go with the others.
        adoptAll(mgrAsync, steadyStates);
        return text;
    }();

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

// ---- Level-by-level composition of the blocks' attractors

namespace {

// The most states the result text can hold in `format` (four characters per
// gene and state); cubes have no such limit.
double writableStates(const geneDatabase& geneDbOrg, resultFormat format) {
    return format != resultFormat::states
               ? HUGE_VAL
               : kMaxResultTextBytes /
                     (4.0 * static_cast<double>(std::max<size_t>(geneDbOrg.size(), 1)));
}

// The cube of the values `values[g]` (0 or 1) of the genes `genes` over x.
bddHandle valuesCube(DdManager* m, std::vector<DdNode*>& ip, int nInpVar,
                     const std::vector<int>& genes, const std::vector<signed char>& values) {
    std::vector<char> literals(static_cast<size_t>(nInpVar), 2);
    for (const int g : genes)
        literals[static_cast<size_t>(g)] = static_cast<char>(values.at(static_cast<size_t>(g)));
    return bddHandle::adopt(m, makeBdd(m, ip, literals.data(), nInpVar));
}

// The number of states of `set` counted over `width` genes that include
// its support (its variables are current-state ones). Past about a thousand
// variables in the support a double cannot hold the scaled minterm count;
// the result is then `fallback`, a lower bound the caller knows.
double statesOverGenes(const bddHandle& set, size_t width, double fallback) {
    DdManager* const m = set.manager();
    const size_t used = supportOf(m, set.get()).size();
    if (used > 1000) return fallback;
    const double count = std::ldexp(Cudd_CountMinterm(m, set.get(), static_cast<int>(used)),
                                    static_cast<int>(width - used));
    return std::isfinite(count) ? count : fallback;
}

// The values of the genes that an attractor of the processed part holds
// constant, indexed by gene: 0 or 1, and -1 for a gene that changes in it or
// is not processed yet. Shared between an attractor and its extensions while
// a block fixes no gene of its own.
using settledValues = std::shared_ptr<const std::vector<signed char>>;

// One attractor of the processed part of the network, kept as two factors:
// the values of the genes constant in it (`settled`), and its states over
// the genes that change in it (`moving`, a set over x whose support holds
// no settled gene and no gene not processed yet). Its states are the
// conjunction of the two. Keeping the constant genes out of the diagram
// makes the work of a block follow the genes it reads, not every gene
// processed before it (a chain of n genes would otherwise cost n^2).
// `count` is its number of states over the processed genes (a lower bound
// when that does not fit a double).
struct partAttractor {
    bddHandle moving;
    settledValues settled;
    double count = 0;
};

// Throws quorvelError, with the searches' own messages, when the attractors
// `part` cannot all be written: each of them extends to at least one
// attractor of the whole network with at least as many states, and distinct
// ones to distinct ones.
void checkWritable(const std::vector<partAttractor>& part, double maxStates) {
    double total = 0;
    double largest = 0;
    for (const partAttractor& a : part) {
        total += a.count;
        largest = std::max(largest, a.count);
    }
    if (total <= maxStates) return;
    std::ostringstream message;
    message.precision(15);
    if (largest > maxStates)
        message << "an attractor of at least " << std::round(largest)
                << " states is too large to write" << kLargeAttractorFormats;
    else
        message << "attractors of at least " << std::round(total)
                << " states in all are too large to write" << kLargeAttractorFormats;
    throw quorvelError(message.str());
}

// What every block's search shares: the encoding of mgrAsync, where the
// composition works (lent by the caller, as its relations), and how the
// searches run.
struct compositionContext {
    const symbolicEncoding& encoding;
    std::vector<DdNode*>& op;  // the network's relations, never narrowed
    double maxStates;
    networkFunctions& network;
    progressSink progress;
};

std::optional<bddArray> searchTrap(const compositionContext& c, const std::vector<int>& moving,
                                   const bddHandle& trap, size_t largest);

// The asynchronous attractors of the fragment `genes` within what the
// relations `relations` (indexed by gene, one reference each) allow. With
// `exact` (the relations are exactly the genes' functions in c.network, as
// for a block whose inputs hold constant values), the search may hand a
// trap subcube to the whole composition (searchTrap).
bddArray searchFragment(const compositionContext& c, std::vector<DdNode*>& relations,
                        const std::vector<int>& genes, bool exact) {
    std::vector<DdNode*> found;
    const rawNodesGuard foundOwned(c.encoding.mgr, found);
    asyncSearchSettings settings{c.maxStates, &c.network, c.progress};
    if (exact)
        settings.trapSearch = [&c](const bddHandle& trap, const std::vector<int>& moving,
                                   size_t largest) { return searchTrap(c, moving, trap, largest); };
    if (!chkConstantAsync(relations, genes))
        compSteadyAsyncOn(c.encoding, relations, genes, found, settings);
    return adoptAll(c.encoding.mgr, found);
}

// The attractors of the fragment `genes` (closed under regulators once the
// genes `inputs`, ascending, cube `inputCube`, are held at the single
// valuation `point`) inside `inside` (a set over the fragment's genes, or
// one). The fragment's functions are cofactored by `point`, which makes it
// an autonomous network over its own genes, and its relations are confined
// to `inside` on both sides of every transition.
bddArray searchCofactored(const compositionContext& c, const std::vector<int>& genes,
                          const std::vector<int>& inputs, const bddHandle& inputCube,
                          const bddHandle& point, const bddHandle& inside) {
    DdManager* const m = c.encoding.mgr;
    std::vector<int> own(genes);
    std::sort(own.begin(), own.end());
    const bddHandle insideNext = swapCurrentAndNext(inside, c.encoding.ip, c.encoding.nInpVar);
    bddArray functions;
    std::vector<std::vector<int>> regulators;
    std::vector<DdNode*> relations(static_cast<size_t>(c.encoding.nInpVar), nullptr);
    const rawNodesGuard relationsOwned(m, relations);
    for (const int g : genes) {
        const size_t at = static_cast<size_t>(g);
        // Exact for a point: f AND v keeps f's value at v, the abstraction
        // drops the inputs' variables.
        functions.push_back(inputs.empty()
                                ? c.network.next[at]
                                : bddResult(m, Cudd_bddAndAbstract(m, c.network.next[at].get(),
                                                                   point.get(), inputCube.get())));
        std::vector<int> read;
        for (const int r : c.network.regulators[at])
            if (std::binary_search(own.begin(), own.end(), r)) read.push_back(r);
        regulators.push_back(std::move(read));
        bddHandle relation = bddResult(
            m, Cudd_bddXnor(m, c.encoding.ip[static_cast<size_t>(c.encoding.nInpVar) + at],
                            functions.back().get()));
        relation = bddResult(m, Cudd_bddAnd(m, relation.get(), inside.get()));
        relation = bddResult(m, Cudd_bddAnd(m, relation.get(), insideNext.get()));
        relations[at] = relation.release();
    }
    const cofactoredFunctions inBlock(c.network, genes, std::move(functions),
                                      std::move(regulators));
    return searchFragment(c, relations, genes, inside.get() == Cudd_ReadOne(m));
}

// The external regulators of the genes `genes`, ascending, each once.
std::vector<int> externalRegulators(const networkFunctions& network, std::vector<int> genes) {
    std::sort(genes.begin(), genes.end());
    std::vector<int> inputs;
    for (const int g : genes)
        for (const int r : network.regulators.at(static_cast<size_t>(g)))
            if (!std::binary_search(genes.begin(), genes.end(), r)) inputs.push_back(r);
    std::sort(inputs.begin(), inputs.end());
    inputs.erase(std::unique(inputs.begin(), inputs.end()), inputs.end());
    return inputs;
}

// How block B meets one attractor A of the processed part on its moving
// path: the ancestors that still matter, the values of those that do not,
// and A's projection onto the first.
struct movingView {
    std::vector<int> genes;   // B's genes, then the ancestors in `moving`
    std::vector<int> moving;  // ancestors that change in A and reach B through such genes
    std::vector<int> held;    // the fragment's external regulators: constant in A
    bddHandle point;          // their values in A (a cube over `held`)
    bddHandle inside;         // A's projection onto `moving`
};

// The view of B (`own`: its genes, ascending) from the attractor `a`,
// whose ancestors of B are `ancestors` (ascending). An ancestor gene that
// is constant in A never changes while the part stays in A, so it acts on
// B only as a constant; an ancestor that changes but reaches B only through
// constant genes cannot act on B at all. Only the ancestors that change and
// reach B along changing genes (`moving`) are searched with B.
movingView viewFrom(const compositionContext& c, const std::vector<int>& own,
                    const std::vector<int>& ancestors, const partAttractor& a) {
    const std::vector<signed char>& settled = *a.settled;
    auto isAncestor = [&](int g) {
        return std::binary_search(ancestors.begin(), ancestors.end(), g);
    };
    // Backwards from B along changing ancestors.
    movingView view;
    view.moving = walkChangingRegulators(c.network, own, isAncestor, [&](int r) {
                      return settled[static_cast<size_t>(r)] < 0;
                  }).changing;
    view.genes = own;
    view.genes.insert(view.genes.end(), view.moving.begin(), view.moving.end());
    view.held = externalRegulators(c.network, view.genes);
    // Every external regulator is a constant ancestor: a changing one would
    // have been reached.
    for (const int r : view.held)
        if (!isAncestor(r) || settled[static_cast<size_t>(r)] < 0)
            throw quorvelError("internal error: a block's regulator is not a settled ancestor");
    view.point = valuesCube(c.encoding.mgr, c.encoding.ip, c.encoding.nInpVar, view.held, settled);
    view.inside = projectOnto(a.moving, view.moving);
    return view;
}

// The extension of `a` by `found`, a set over B's genes (`own`) and genes
// that change in `a`: the genes of B constant in `found` join a's settled
// values, and the rest of `found` joins a's moving factor.
partAttractor extend(const partAttractor& a, const std::vector<int>& own, const bddHandle& found) {
    DdManager* const m = found.manager();
    std::vector<int> constant;
    std::shared_ptr<std::vector<signed char>> settled;
    // A gene constant in `found` takes its value on every path, so on the
    // path picked here: only the genes that path fixes are tested, and none
    // when `found` is that one path (a steady state, however many genes).
    std::vector<char> path = makeCubeArray(m, Cudd_ReadSize(m));
    if (Cudd_bddPickOneCube(m, found.get(), path.data()) != 1)
        throw quorvelError("BDD engine failure: no state of an attractor could be picked");
    const bool onePath = Cudd_CountPathsToNonZero(found.get()) == 1;
    for (const int g : own) {
        const char onPath = path[static_cast<size_t>(g)];
        if (onPath != 0 && onPath != 1) continue;
        DdNode* const var = Cudd_bddIthVar(m, g);
        if (!onePath && Cudd_bddLeq(m, found.get(), onPath == 1 ? var : Cudd_Not(var)) != 1)
            continue;
        const int value = onPath;
        if (!settled) settled = std::make_shared<std::vector<signed char>>(*a.settled);
        (*settled)[static_cast<size_t>(g)] = static_cast<signed char>(value);
        constant.push_back(g);
    }
    const bddHandle rest =
        constant.empty()
            ? found
            : bddResult(m, Cudd_bddExistAbstract(m, found.get(), cubeOfIndices(m, constant).get()));
    partAttractor extended;
    extended.moving = bddResult(m, Cudd_bddAnd(m, a.moving.get(), rest.get()));
    extended.settled = settled ? settledValues(std::move(settled)) : a.settled;
    return extended;
}

// The attractors of the processed part and a block of one gene g (which
// may read itself, and reads the genes `inputs` besides), inside the
// attractor `a`, with no search (see oneGeneOutcomes): whether g can fall
// and whether it can rise are facts about all of A.
std::vector<partAttractor> extendByOneGene(const compositionContext& c, const partAttractor& a,
                                           int g, const std::vector<int>& inputs) {
    DdManager* const m = c.encoding.mgr;
    DdNode* const var = c.encoding.ip.at(static_cast<size_t>(g));
    // f_g with g = 1 and g = 0, its settled inputs replaced by their values:
    // functions of A's changing genes only.
    std::vector<int> held;
    for (const int r : inputs)
        if ((*a.settled)[static_cast<size_t>(r)] >= 0) held.push_back(r);
    const bddHandle values = valuesCube(m, c.encoding.ip, c.encoding.nInpVar, held, *a.settled);
    const bddHandle heldCube = cubeOfIndices(m, held);
    auto cofactor = [&](DdNode* literal) {
        const bddHandle onG = bddResult(
            m,
            Cudd_bddAndAbstract(m, c.network.next.at(static_cast<size_t>(g)).get(), literal, var));
        return bddResult(m, Cudd_bddAndAbstract(m, onG.get(), values.get(), heldCube.get()));
    };
    const bddHandle whenOn = cofactor(var);
    const bddHandle whenOff = cofactor(Cudd_Not(var));
    const bool canFall = Cudd_bddLeq(m, a.moving.get(), whenOn.get()) != 1;
    const bool canRise = Cudd_bddLeq(m, a.moving.get(), Cudd_Not(whenOff.get())) != 1;
    std::vector<partAttractor> found;
    for (const oneGeneOutcome& outcome :
         oneGeneOutcomes(canFall ? bddOne(m) : bddZero(m), canRise ? bddOne(m) : bddZero(m))) {
        if (outcome.where.get() == Cudd_ReadLogicZero(m)) continue;
        const bool both = outcome.value < 0;
        partAttractor next = extend(
            a, {g}, both ? bddOne(m) : bddHandle(m, outcome.value == 1 ? var : Cudd_Not(var)));
        next.count = a.count * (both ? 2.0 : 1.0);
        found.push_back(std::move(next));
    }
    return found;
}

// The states of `a` over x: its moving factor and its settled values.
bddHandle statesOf(DdManager* m, std::vector<DdNode*>& ip, int nInpVar, const partAttractor& a) {
    std::vector<int> constant;
    for (size_t g = 0; g < a.settled->size(); ++g)
        if ((*a.settled)[g] >= 0) constant.push_back(static_cast<int>(g));
    const bddHandle values = valuesCube(m, ip, nInpVar, constant, *a.settled);
    return bddResult(m, Cudd_bddAnd(m, a.moving.get(), values.get()));
}

// The attractors of the blocks of `sccTopoLvl`, composed in level order as
// compSteadyTopFuncOn describes, each as its settled values and its moving
// factor; the genes of no block stay free in them.
std::vector<partAttractor> composeBlocks(const compositionContext& c,
                                         const levelArray& sccTopoLvl) {
    DdManager* const m = c.encoding.mgr;
    std::vector<partAttractor> part;
    part.push_back({bddOne(m),
                    std::make_shared<const std::vector<signed char>>(
                        static_cast<size_t>(c.encoding.nInpVar), -1),
                    1.0});
    size_t processed = 0;  // the genes of the blocks done
    const size_t blocks = countBlocks(sccTopoLvl);
    size_t cnt = 0;
    for (size_t i = 0; i < sccTopoLvl.size(); ++i) {
        for (size_t j = 0; j < sccTopoLvl[i].size(); ++j) {
            const sccTopo& block = sccTopoLvl[i][j];
            ++cnt;
            reportProgress(c.progress, partEvent(progressStage::block, cnt, blocks, part.size()));
            std::vector<int> own(block.geneName);
            std::sort(own.begin(), own.end());
            const std::vector<int> inputs = externalRegulators(c.network, own);
            const bddHandle inputCube = cubeOfIndices(m, inputs);
            // The ancestors' genes, listed only when some attractor takes the
            // moving path.
            std::vector<int> ancestors;
            bool ancestorsListed = false;
            // Searches of B alone by the inputs' values (in `inputs` order),
            // and with moving ancestors by the view's set.
            std::map<std::vector<signed char>, bddArray> byInputs;
            nodeMemo<bddArray> byView;
            std::vector<partAttractor> extended;
            for (const partAttractor& a : part) {
                if (block.geneName.size() == 1) {
                    // One gene: no search (see extendByOneGene).
                    for (partAttractor& next : extendByOneGene(c, a, block.geneName[0], inputs))
                        extended.push_back(std::move(next));
                    continue;
                }
                const bool inputsSettled = std::all_of(inputs.begin(), inputs.end(), [&](int r) {
                    return (*a.settled)[static_cast<size_t>(r)] >= 0;
                });
                if (inputsSettled) {
                    std::vector<signed char> values;
                    for (const int r : inputs)
                        values.push_back((*a.settled)[static_cast<size_t>(r)]);
                    auto known = byInputs.find(values);
                    if (known == byInputs.end())
                        known = byInputs
                                    .emplace(values,
                                             searchCofactored(
                                                 c, block.geneName, inputs, inputCube,
                                                 valuesCube(m, c.encoding.ip, c.encoding.nInpVar,
                                                            inputs, *a.settled),
                                                 bddOne(m)))
                                    .first;
                    const bddArray& found = known->second;
                    for (const bddHandle& c : found) {
                        partAttractor next = extend(a, own, c);
                        next.count = a.count * statesOverGenes(c, block.geneName.size(), 1.0);
                        extended.push_back(std::move(next));
                    }
                    continue;
                }
                if (!ancestorsListed) {
                    std::vector<int> fragment;
                    makeVectorGene(sccTopoLvl, static_cast<int>(i), static_cast<int>(j), fragment);
                    for (const int g : fragment)
                        if (!std::binary_search(own.begin(), own.end(), g)) ancestors.push_back(g);
                    std::sort(ancestors.begin(), ancestors.end());
                    ancestorsListed = true;
                }
                const movingView view = viewFrom(c, own, ancestors, a);
                const bddHandle key =
                    bddResult(m, Cudd_bddAnd(m, view.point.get(), view.inside.get()));
                const bddArray& found = byView.find(key, [&] {
                    return searchCofactored(c, view.genes, view.held, cubeOfIndices(m, view.held),
                                            view.point, view.inside);
                });
                for (const bddHandle& d : found) {
                    partAttractor next = extend(a, own, d);
                    // Over the processed genes that change in it: the settled
                    // ones count once.
                    const size_t settledCount = static_cast<size_t>(
                        std::count_if(next.settled->begin(), next.settled->end(),
                                      [](signed char value) { return value >= 0; }));
                    next.count = statesOverGenes(
                        next.moving, processed + block.geneName.size() - settledCount, a.count);
                    extended.push_back(std::move(next));
                }
            }
            part = std::move(extended);
            processed += block.geneName.size();
            checkWritable(part, c.maxStates);
            // ---- block boundary: `part` holds the attractors of the blocks
            // processed so far.
        }
    }
    return part;
}

// The attractors of a closed fragment inside its trap subcube `trap` (a
// cube over x of the fragment genes that cannot move there), found by the
// composition of the blocks that the genes `moving` (ascending) form once
// the others hold their values in `trap`. No step leaves the subcube, so its
// attractors are the fragment's attractors there, each the conjunction of
// `trap` and an attractor of that smaller network; the genes held there no
// longer read or pass on anything, and a large block often falls apart into
// small ones (a 400-gene random block: 61 genes moving around a walk's end,
// in 46 blocks of at most 16). Gives nothing when a block of the moving
// genes would have more than `largest` genes, or they form one block: the
// fragment's own search handles that as well. The searches inside report no
// progress; the caller counts what it records.
std::optional<bddArray> searchTrap(const compositionContext& c, const std::vector<int>& moving,
                                   const bddHandle& trap, size_t largest) {
    DdManager* const m = c.encoding.mgr;
    std::optional<trapBlocks> split = splitTrap(m, c.network, moving, trap, largest);
    if (!split) return std::nullopt;
    levelArray levels;
    makeSccLevels(split->components, split->graph, levels, progressSink{});
    for (auto& level : levels)
        for (sccTopo& block : level)
            for (int& g : block.geneName) g = moving[static_cast<size_t>(g)];
    const cofactoredFunctions inTrap(c.network, moving, std::move(split->functions),
                                     std::move(split->regulators));
    const compositionContext inside{c.encoding, c.op, c.maxStates, c.network, progressSink{}};
    bddArray found;
    for (const partAttractor& a : composeBlocks(inside, levels)) {
        const bddHandle states = statesOf(m, c.encoding.ip, c.encoding.nInpVar, a);
        found.push_back(bddResult(m, Cudd_bddAnd(m, states.get(), trap.get())));
    }
    return found;
}

}  // namespace

// The attractors of the whole network are composed block by block, in level
// order. P holds the attractors of the processed part (the blocks done so
// far, closed under regulators since every parent lies on a lower level):
// sets over x, free on the genes not yet processed. It starts as {one}: the
// empty network has one state, its only attractor. For each block B, with R
// its external regulators and anc(B) its ancestors' genes, every attractor A
// of P is extended:
//
// - Constant path. When A's projection v onto R is a single valuation, B sees
//   constant inputs and runs as an autonomous network with its functions
//   cofactored by v; its attractors C_j (over B's genes, searched once per v)
//   give the attractors A AND C_j of the extended part inside A: A and B's
//   genes are then independent asynchronous systems, and the terminal
//   strongly connected sets of such a product are the products of theirs.
//
// - Moving path. Otherwise A' = A's projection onto anc(B) is an attractor of
//   anc(B) (a projection of an attractor onto a part closed under regulators
//   is closed and strongly connected). The fragment anc(B) + B is searched
//   with its relations confined to A' on both sides (once per A'); each of
//   its attractors D_j gives the attractor A AND D_j: it is closed (the
//   processed part moves inside A and anc(B) inside A', B inside D_j),
//   strongly connected (a path of D_j lifts, anc(B) being autonomous, and
//   from its end a path inside A reaches any state of A with B's genes held,
//   since B regulates nothing processed), and every attractor of the
//   extended part inside A projects onto the fragment as some D_j.
//
// Every attractor of P extends to at least one attractor of the network, so
// P never holds more attractors than the answer, and at the end P is the
// answer. With the states format the attractors of P are checked against
// what the text can hold after every block. steadyStates receives the
// attractors, handles of mgrAsync with one reference each (owned by the
// caller), appended after whatever it held. The composition works in
// mgrAsync alone (the encoding's manager).
std::string compSteadyTopFuncOn(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                                const std::vector<int>& defaultStatus, const levelArray& sccTopoLvl,
                                const symbolicEncoding& encoding, std::vector<DdNode*>& opAsync,
                                std::vector<DdNode*>& steadyStates,
                                const analysisRequest& request) {
    DdManager* const mgrAsync = encoding.mgr;
    std::vector<DdNode*>& ipAsync = encoding.ip;
    const int nInpVar = encoding.nInpVar;
    const resultFormat format = request.options.format;
    const progressSink& progress = request.progress;
    const double maxStates = writableStates(geneDbOrg, format);
    // The genes' own next-state functions and influences (the relations are
    // never narrowed here).
    networkFunctions network = readNetworkFunctions(mgrAsync, opAsync, ipAsync, nInpVar);
    const compositionContext context{encoding, opAsync, maxStates, network, progress};
    std::vector<partAttractor> part = composeBlocks(context, sccTopoLvl);

    reportProgress(progress, countEvent(progressStage::finalSearch, part.size()));
    const size_t firstResult = steadyStates.size();
    for (const partAttractor& a : part)
        appendOwned(steadyStates, statesOf(mgrAsync, ipAsync, nInpVar, a));
    part.clear();
    const std::vector<DdNode*> attractors(steadyStates.begin() + static_cast<long>(firstResult),
                                          steadyStates.end());
    return printResult(format, updateMode::async, encoding, geneDbOrg, geneDbReduced, defaultStatus,
                       attractors, progress);
}

std::string compSteadyTopFunc(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                              const std::vector<int>& defaultStatus, const levelArray& sccTopoLvl,
                              std::vector<DdNode*>& steadyStates, DdManager* /*mgr*/,
                              DdManager* mgrAsync, std::vector<DdNode*>& opAsync,
                              std::vector<DdNode*>& ipAsync, std::vector<DdNode*>& /*op*/,
                              std::vector<DdNode*>& /*ip*/, DdNode* /*inpCubeFwd*/,
                              DdNode* /*inpCubeBwd*/, DdNode* inpCubeFwdAsync,
                              DdNode* inpCubeBwdAsync, DdNode* topNodeSame, int nInpVar,
                              resultFormat format, const progressSink& progress) {
    analysisRequest request;
    request.options.format = format;
    request.progress = progress;
    return compSteadyTopFuncOn(
        geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl,
        symbolicEncoding{mgrAsync, ipAsync, nInpVar, inpCubeFwdAsync, inpCubeBwdAsync, topNodeSame},
        opAsync, steadyStates, request);
}
