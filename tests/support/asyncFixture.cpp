// BDD spaces, random networks and fragments for the asynchronous tests.
#include "asyncFixture.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <set>
#include <stdexcept>
#include <utility>

#include "constBdd.h"
#include "coreProgramAsync.h"
#include "engineChecks.h"
#include "testBdd.h"
#include "utilFragSync.h"

namespace asyncFixture {

namespace {

// An owned reference on node of the record's manager, for the record's raw
// arrays and fields (released by releaseSpace and releaseNodes).
DdNode* owned(bddHandle node) { return node.release(); }

bddHandle termNode(const bddSpace& space, const influenceDefBool& term) {
    std::vector<DdNode*> vars;
    std::vector<int> values;
    for (size_t k = 0; k < term.geneId.size(); ++k) {
        vars.push_back(space.ip[static_cast<size_t>(term.geneId[k])]);
        values.push_back(term.genePolar[k] == 1 ? 1 : 0);
    }
    return cubeOf(space.mgr, vars, values);
}

bddHandle anyTerm(const bddSpace& space, const std::vector<influenceDefBool>& terms) {
    bddHandle node = bddZero(space.mgr);
    for (const influenceDefBool& term : terms) {
        const bddHandle t = termNode(space, term);
        node = bddResult(space.mgr, Cudd_bddOr(space.mgr, node.get(), t.get()));
    }
    return node;
}

}  // namespace

void completeSpace(bddSpace& space) {
    const int n = space.nInpVar;
    bddHandle cubeFwd = bddOne(space.mgr);
    bddHandle cubeBwd = bddOne(space.mgr);
    bddHandle same = bddOne(space.mgr);
    for (int i = 0; i < n; ++i) {
        DdNode* x = space.ip[static_cast<size_t>(i)];
        DdNode* xNext = space.ip[static_cast<size_t>(n + i)];
        cubeFwd = bddResult(space.mgr, Cudd_bddAnd(space.mgr, cubeFwd.get(), x));
        cubeBwd = bddResult(space.mgr, Cudd_bddAnd(space.mgr, cubeBwd.get(), xNext));
        const bddHandle sameGene = bddResult(space.mgr, Cudd_bddXnor(space.mgr, xNext, x));
        same = bddResult(space.mgr, Cudd_bddAnd(space.mgr, same.get(), sameGene.get()));
    }
    space.inpCubeFwd = owned(std::move(cubeFwd));
    space.inpCubeBwd = owned(std::move(cubeBwd));
    space.topSame = owned(std::move(same));
}

void orderStateVars(const bddSpace& space, bool grouped) {
    const int n = space.nInpVar;
    if (n == 0) return;
    std::vector<int> order;
    for (int i = 0; i < n; ++i) {
        order.push_back(i);
        order.push_back(n + i);
    }
    if (Cudd_ShuffleHeap(space.mgr, order.data()) != 1)
        throw std::runtime_error("variable order not set");
    // Index i (x_i) sits at level 2i after the shuffle: the group covers x_i
    // and x'_i.
    for (int i = 0; grouped && i < n; ++i)
        if (Cudd_MakeTreeNode(space.mgr, static_cast<unsigned>(i), 2, MTR_FIXED) == nullptr)
            throw std::runtime_error("variable group not formed");
}

bddSpace openSpace(int n, bool sifting, size_t maxMemory) {
    bddSpace space;
    space.nInpVar = n;
    space.mgr = openTestManager(maxMemory > 0 ? 1024 : CUDD_CACHE_SLOTS, maxMemory);
    if (space.mgr == nullptr) throw std::runtime_error("no BDD manager");
    if (sifting) Cudd_AutodynEnable(space.mgr, CUDD_REORDER_SIFT);
    for (int k = 0; k < 2 * n; ++k)
        space.ip.push_back(owned(bddResult(space.mgr, Cudd_bddNewVar(space.mgr))));
    orderStateVars(space, false);
    completeSpace(space);
    return space;
}

void openDriverSpace(bddSpace& space, std::vector<DdNode*>& op, int n, unsigned cacheSlots) {
    space.nInpVar = n;
    space.mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, cacheSlots, 0);
    if (space.mgr == nullptr) throw std::runtime_error("no BDD manager");
    Cudd_AutodynEnable(space.mgr, CUDD_REORDER_SIFT);
    std::vector<std::string> inpName, outName;
    createVarsFragSync(space.mgr, space.ip, op, inpName, outName, n);
}

twoManagers encodeTwoManagers(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                              const std::vector<int>& defaultStatus) {
    twoManagers e;
    const int n = static_cast<int>(geneDbReduced.size());
    openDriverSpace(e.sync, e.op, n, CUDD_CACHE_SLOTS);
    openDriverSpace(e.async, e.opAsync, n, CUDD_CACHE_SLOTS);
    interleaveStateVars(e.sync.mgr, e.async.mgr, n);
    completeSpace(e.sync);
    completeSpace(e.async);
    constBddFrag(geneDbOrg, geneDbReduced, defaultStatus, e.sync.mgr, e.sync.ip, e.op, n);
    for (size_t i = 0; i < e.op.size(); ++i) {
        replaceOwned(e.opAsync[i],
                     bddResult(e.async.mgr, Cudd_bddTransfer(e.sync.mgr, e.async.mgr, e.op[i])));
    }
    return e;
}

int releaseTwoManagers(twoManagers& e) {
    releaseNodes(e.sync.mgr, e.op);
    releaseNodes(e.async.mgr, e.opAsync);
    const int outstandingSync = closeSpace(e.sync);
    return std::max(outstandingSync, closeSpace(e.async));
}

std::vector<DdNode*> copiesOf(const std::vector<DdNode*>& nodes) {
    for (DdNode* node : nodes) refCopy(node);
    return nodes;
}

int closeSpace(bddSpace& space) {
    releaseSpace(space);
    const int outstanding = outstandingRefs(space.mgr);
    Cudd_Quit(space.mgr);
    space.mgr = nullptr;
    return outstanding;
}

void releaseSpace(bddSpace& space) {
    releaseNodes(space.mgr, space.ip);
    for (DdNode** node : {&space.inpCubeFwd, &space.inpCubeBwd, &space.topSame}) {
        if (*node != nullptr) Cudd_RecursiveDeref(space.mgr, *node);
        *node = nullptr;
    }
}


bddHandle nextStateFunction(const bddSpace& space, const geneDatabase& db, int i) {
    const gene& g = db.at(static_cast<size_t>(i));
    if (!g.inGenesPos.empty()) {
        const bddHandle activated = anyTerm(space, g.inGenesPos);
        const bddHandle inhibited = anyTerm(space, g.inGenesNeg);
        return bddResult(space.mgr,
                         Cudd_bddAnd(space.mgr, activated.get(), Cudd_Not(inhibited.get())));
    }
    if (!g.inGenesNeg.empty()) {
        const bddHandle inhibited = anyTerm(space, g.inGenesNeg);
        return bddHandle(space.mgr, Cudd_Not(inhibited.get()));
    }
    return bddZero(space.mgr);
}

std::vector<DdNode*> relationsOf(const bddSpace& space, const geneDatabase& db) {
    std::vector<DdNode*> relations;
    for (int i = 0; i < static_cast<int>(db.size()); ++i) {
        const bddHandle f = nextStateFunction(space, db, i);
        DdNode* xNext = space.ip[static_cast<size_t>(space.nInpVar + i)];
        appendOwned(relations, bddResult(space.mgr, Cudd_bddXnor(space.mgr, xNext, f.get())));
    }
    return relations;
}

std::vector<DdNode*> transferAll(const bddSpace& from, const bddSpace& to,
                                 const std::vector<DdNode*>& nodes) {
    std::vector<DdNode*> moved;
    for (DdNode* node : nodes)
        appendOwned(moved, bddResult(to.mgr, Cudd_bddTransfer(from.mgr, to.mgr, node)));
    return moved;
}

bddHandle stateNode(const bddSpace& space, const std::vector<int>& genes,
                    const bruteForce::state& x) {
    std::vector<DdNode*> vars;
    std::vector<int> values;
    for (int g : genes) {
        vars.push_back(space.ip[static_cast<size_t>(g)]);
        values.push_back(x.at(static_cast<size_t>(g)));
    }
    return cubeOf(space.mgr, vars, values);
}

geneDatabase randomDatabase(uint32_t seed, int n, bool local) {
    std::mt19937 rng(seed);
    auto below = [&rng](int k) { return static_cast<int>(rng() % static_cast<uint32_t>(k)); };
    geneDatabase db(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int pool = local ? std::min(n, i + 2) : n;
        for (int activating = 0; activating < 2; ++activating) {
            const int nTerms = below(3);
            for (int t = 0; t < nTerms; ++t) {
                influenceDefBool term;
                const int nLiterals = below(4);
                for (int l = 0; l < nLiterals; ++l) {
                    term.geneId.push_back(below(pool));
                    term.genePolar.push_back(below(2));
                }
                gene& g = db[static_cast<size_t>(i)];
                (activating ? g.inGenesPos : g.inGenesNeg).push_back(term);
            }
        }
    }
    return db;
}

std::vector<int> closedFragment(const geneDatabase& db, std::vector<int> seeds) {
    std::set<int> in(seeds.begin(), seeds.end());
    for (size_t k = 0; k < seeds.size(); ++k) {
        const gene& g = db.at(static_cast<size_t>(seeds[k]));
        for (const auto* terms : {&g.inGenesPos, &g.inGenesNeg})
            for (const influenceDefBool& t : *terms)
                for (int r : t.geneId)
                    if (in.insert(r).second) seeds.push_back(r);
    }
    return seeds;
}

std::vector<int> closeUnderRegulators(const geneDatabase& db, const std::vector<int>& seeds) {
    const std::vector<int> found = closedFragment(db, seeds);
    const std::set<int> closed(found.begin(), found.end());
    return std::vector<int>(closed.begin(), closed.end());
}

std::vector<int> randomClosedFragment(uint32_t seed, const geneDatabase& db) {
    std::mt19937 rng(seed ^ 0x9e3779b9u);
    const int n = static_cast<int>(db.size());
    std::vector<int> seeds;
    if (n > 0) {
        const int nSeeds = 1 + static_cast<int>(rng() % 2u);
        for (int k = 0; k < nSeeds; ++k)
            seeds.push_back(static_cast<int>(rng() % static_cast<uint32_t>(n)));
    }
    std::vector<int> fragment = closeUnderRegulators(db, seeds);
    std::shuffle(fragment.begin(), fragment.end(), rng);
    if (!fragment.empty() && rng() % 4u == 0) fragment.push_back(fragment[rng() % fragment.size()]);
    return fragment;
}

bruteForce::attractorSet attractorsOf(const bddSpace& space, const std::vector<DdNode*>& sets,
                                      const std::vector<int>& fragment) {
    bruteForce::attractorSet attractors;
    const std::set<int> distinct(fragment.begin(), fragment.end());
    const std::vector<int> genes(distinct.begin(), distinct.end());
    for (DdNode* set : sets)
        attractors.insert(bruteForce::statesOfBdd(space.mgr, set, space.nInpVar, genes));
    return attractors;
}

bool dependsOnlyOn(const bddSpace& space, DdNode* set, const std::vector<int>& genes) {
    int* indices = nullptr;
    const int count = Cudd_SupportIndices(space.mgr, set, &indices);
    bool inside = count >= 0;
    for (int k = 0; k < count; ++k)
        inside = inside && std::find(genes.begin(), genes.end(), indices[k]) != genes.end();
    std::free(indices);
    return inside;
}

std::string fragmentText(const std::vector<int>& fragment) {
    std::string text = "fragment:";
    for (int g : fragment) text += " g" + std::to_string(g);
    return text;
}

void addTerm(geneDatabase& db, int target, bool activating,
             const std::vector<std::pair<int, int>>& literals) {
    influenceDefBool term;
    for (const auto& literal : literals) {
        term.geneId.push_back(literal.first);
        term.genePolar.push_back(literal.second);
    }
    gene& g = db.at(static_cast<size_t>(target));
    (activating ? g.inGenesPos : g.inGenesNeg).push_back(term);
}

std::string captureOutput(const std::function<void()>& work) {
    std::ostringstream text;
    std::streambuf* previous = std::cout.rdbuf(text.rdbuf());
    try {
        work();
    } catch (...) {
        std::cout.rdbuf(previous);
        throw;
    }
    std::cout.rdbuf(previous);
    return text.str();
}

bruteForce::attractorSet expectedAttractors(const geneDatabase& db,
                                            const std::vector<int>& fragment) {
    const int n = static_cast<int>(db.size());
    return bruteForce::restrictToZeroOutside(
        bruteForce::asyncAttractors(n, bruteForce::updateOf(db), fragment), fragment);
}

bruteForce::stateSet states(std::initializer_list<const char*> texts) {
    bruteForce::stateSet s;
    for (const char* text : texts) {
        bruteForce::state x;
        for (const char* c = text; *c; ++c) x.push_back(*c == '1' ? 1 : 0);
        s.insert(x);
    }
    return s;
}

size_t count(const std::string& text, const std::string& line) {
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
}

}  // namespace asyncFixture

void releaseNodes(DdManager* mgr, std::vector<DdNode*>& nodes) {
    for (DdNode* node : nodes)
        if (node != nullptr) Cudd_RecursiveDeref(mgr, node);
    nodes.clear();
}

DdNode* refCopy(DdNode* node) {
    Cudd_Ref(node);
    return node;
}
