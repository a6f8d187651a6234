// The parts of the asynchronous search below compSteadyAsync: the cycle cut,
// the genes' functions read back from their relations, the explicit walks
// and recurrence test, the macro steps, and the searches over moves built
// once. Each is checked against an explicit-state reference on random
// networks from fixed seeds (the seed is printed on failure), and every
// manager is left without an outstanding reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "asyncFixture.h"
#include "bruteForce.h"
#include "chkRecurrenceExplicit.h"
#include "compReachFragAsync.h"
#include "compWalkExplicit.h"
#include "engineChecks.h"
#include "makeMacroSteps.h"
#include "makeStateSet.h"
#include "readNetworkFunctions.h"
#include "util.h"
#include "utilFragAsync.h"

using namespace asyncFixture;
using bruteForce::state;
using bruteForce::stateSet;

namespace {

// ---- cycle cut ----

// True when the nodes not in `removed` hold a cycle of `reads` (a self-read
// included): Kahn's algorithm leaves a node unpeeled exactly then.
bool hasCycle(const adjacencyList& reads, const std::set<int>& removed) {
    const size_t n = reads.size();
    std::vector<int> pending(n, 0);
    adjacencyList readers(n);
    for (size_t k = 0; k < n; ++k) {
        if (removed.count(static_cast<int>(k))) continue;
        for (int r : reads[k]) {
            if (removed.count(r)) continue;
            ++pending[k];
            readers[static_cast<size_t>(r)].push_back(static_cast<int>(k));
        }
    }
    std::vector<int> ready;
    size_t peeled = removed.size();
    for (size_t k = 0; k < n; ++k)
        if (!removed.count(static_cast<int>(k)) && pending[k] == 0) ready.push_back(int(k));
    while (!ready.empty()) {
        const int k = ready.back();
        ready.pop_back();
        ++peeled;
        for (int d : readers[static_cast<size_t>(k)])
            if (--pending[static_cast<size_t>(d)] == 0) ready.push_back(d);
    }
    return peeled != n;
}

TEST(CycleCut, handMadeGraphs) {
    EXPECT_TRUE(compCycleCut({}).empty());
    // A chain 0 <- 1 <- 2 has no cycle.
    EXPECT_TRUE(compCycleCut({{}, {0}, {1}}).empty());
    // A gene reading itself is its own cycle.
    EXPECT_EQ(compCycleCut({{}, {1}, {1}}), (std::vector<int>{1}));
    // Two cycles through gene 1 (0 <-> 1, 1 <-> 2): gene 1 alone cuts both.
    EXPECT_EQ(compCycleCut({{1}, {0, 2}, {1}}), (std::vector<int>{1}));
    // Two disjoint two-gene cycles need one gene of each.
    const std::vector<int> cut = compCycleCut({{1}, {0}, {3}, {2}});
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(std::count_if(cut.begin(), cut.end(), [](int k) { return k < 2; }), 1);
}

TEST(CycleCut, meetsEveryCycleAndEachGeneIsNeededOnRandomGraphs) {
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        std::mt19937 rng(seed);
        const size_t n = 1 + rng() % 12;
        adjacencyList reads(n);
        const size_t edges = rng() % (2 * n + 1);
        for (size_t e = 0; e < edges; ++e) {
            const int from = static_cast<int>(rng() % n);
            std::vector<int>& list = reads[rng() % n];
            if (std::find(list.begin(), list.end(), from) == list.end()) list.push_back(from);
        }
        const std::vector<int> cut = compCycleCut(reads);
        const std::set<int> removed(cut.begin(), cut.end());
        ASSERT_EQ(removed.size(), cut.size()) << "seed " << seed;
        ASSERT_FALSE(hasCycle(reads, removed)) << "seed " << seed;
        for (int k : cut) {
            std::set<int> without = removed;
            without.erase(k);
            EXPECT_TRUE(hasCycle(reads, without)) << "seed " << seed << ": gene " << k;
        }
    }
}

// ---- one manager over a random network ----

// A random network of n genes in one manager, its relations and functions;
// everything released, and the references checked, at the end.
struct networkCase {
    geneDatabase db;
    bddSpace space;
    std::vector<DdNode*> op;
    networkFunctions network;
    std::vector<int> fragment;

    networkCase(uint32_t seed, int n, bool sifting = false)
        : networkCase(randomDatabase(seed, n, true), {}, sifting) {
        fragment = randomClosedFragment(seed, db);
    }
    networkCase(geneDatabase network_, std::vector<int> fragment_, bool sifting = false)
        : db(std::move(network_)),
          space(openSpace(static_cast<int>(db.size()), sifting)),
          op(relationsOf(space, db)),
          network(readNetworkFunctions(space.mgr, op, space.ip, static_cast<int>(db.size()))),
          fragment(std::move(fragment_)) {}
    ~networkCase() {
        network.next.clear();
        releaseNodes(space.mgr, op);
        releaseSpace(space);
        EXPECT_EQ(outstandingRefs(space.mgr), 0);
        Cudd_Quit(space.mgr);
    }
    fragAsync context() {
        return fragAsync{
            space.mgr,     op,           space.ip, fragment, space.inpCubeFwd, space.inpCubeBwd,
            space.topSame, space.nInpVar};
    }
    std::vector<int> genes() const {
        const std::set<int> distinct(fragment.begin(), fragment.end());
        return std::vector<int>(distinct.begin(), distinct.end());
    }
    stateSet states(DdNode* set) {
        return bruteForce::statesOfBdd(space.mgr, set, space.nInpVar, genes());
    }
    // The states the fragment reaches from x (outside genes 0), x included.
    stateSet forward(const state& x) const {
        stateSet seen{x};
        std::vector<state> queue{x};
        while (!queue.empty()) {
            const state y = queue.back();
            queue.pop_back();
            for (int g : genes()) {
                state z = y;
                z[static_cast<size_t>(g)] = bruteForce::nextValue(db, g, y);
                if (seen.insert(z).second) queue.push_back(z);
            }
        }
        return seen;
    }
    std::string context(uint32_t seed) const {
        return "seed " + std::to_string(seed) + "\n" + bruteForce::toString(db) +
               fragmentText(fragment);
    }
    // Every state of the fragment, outside genes 0.
    std::vector<state> fragmentStates() const {
        std::vector<state> all;
        const std::vector<int> g = genes();
        for (unsigned k = 0; k < (1u << g.size()); ++k) {
            state x(db.size(), 0);
            for (size_t j = 0; j < g.size(); ++j) x[static_cast<size_t>(g[j])] = (k >> j) & 1u;
            all.push_back(x);
        }
        return all;
    }
    bddHandle stateOf(const state& x) { return stateNode(space, genes(), x); }
};

TEST(NetworkFunctionsRead, functionsAndRegulatorsMatchTheRules) {
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        const int n = 6;
        networkCase c(seed, n);
        for (int g = 0; g < n; ++g) {
            std::set<int> reads;
            for (unsigned k = 0; k < (1u << n); ++k) {
                const state x = bruteForce::stateOfIndex(n, k);
                std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(c.space.mgr)), 0);
                for (int i = 0; i < n; ++i) inputs[static_cast<size_t>(i)] = x[size_t(i)];
                const int value = Cudd_Eval(c.space.mgr, c.network.next[size_t(g)].get(),
                                            inputs.data()) == Cudd_ReadOne(c.space.mgr);
                ASSERT_EQ(value, bruteForce::nextValue(c.db, g, x)) << c.context(seed);
                for (int r = 0; r < n; ++r) {
                    state y = x;
                    y[size_t(r)] = 1 - y[size_t(r)];
                    if (bruteForce::nextValue(c.db, g, y) != value) reads.insert(r);
                }
            }
            EXPECT_EQ(c.network.regulators[size_t(g)], std::vector<int>(reads.begin(), reads.end()))
                << c.context(seed) << "gene " << g;
        }
    }
}

TEST(ExplicitRecurrenceTest, decidesEveryStateLikeTheReference) {
    int recurrent = 0, transient = 0, cyclic = 0;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        networkCase c(seed, 6);
        const fragAsync frag = c.context();
        for (const state& x : c.fragmentStates()) {
            const stateSet ahead = c.forward(x);
            bool back = true;
            for (const state& y : ahead) back = back && c.forward(y).count(x) > 0;
            const bddHandle start = c.stateOf(x);
            bddHandle attractor;
            const int result =
                explicitRecurrence(frag, c.network, start.get(), 1u << 12, attractor);
            ASSERT_EQ(result, back ? 1 : 0) << c.context(seed) << bruteForce::toString(x);
            if (back) {
                ASSERT_EQ(c.states(attractor.get()), ahead) << c.context(seed);
                ++recurrent;
                cyclic += ahead.size() > 1;
            } else {
                EXPECT_FALSE(attractor);
                ++transient;
            }
            // A forward set larger than the bound leaves the test undecided.
            if (ahead.size() > 1) {
                bddHandle none;
                EXPECT_EQ(explicitRecurrence(frag, c.network, start.get(), 1, none), -1)
                    << c.context(seed);
                EXPECT_FALSE(none);
            }
        }
    }
    EXPECT_GT(recurrent, 100);
    EXPECT_GT(transient, 100);
    EXPECT_GT(cyclic, 20);
}

TEST(ExplicitRecurrenceTest, statesWiderThanOneWordKeepEveryGene) {
    // 70 genes, all in the fragment: most hold their value, genes 63 and 64
    // (on both sides of a 64-bit word) negate themselves, gene 65 follows
    // their conjunction, and gene 66, once on, stays on. From a state with
    // gene 66 off the start is transient; with it on, the attractor is the
    // 8 states of genes 63-65 with every other gene as in the start.
    const int n = 70;
    geneDatabase db(n);
    for (int g = 0; g < n; ++g)
        if (g != 63 && g != 64 && g != 65) addTerm(db, g, true, {{g, 1}});
    addTerm(db, 63, false, {{63, 1}});
    addTerm(db, 64, false, {{64, 1}});
    addTerm(db, 65, true, {{63, 1}, {64, 1}});
    addTerm(db, 66, true, {{63, 1}, {64, 1}, {65, 1}});
    std::vector<int> all(n);
    for (int g = 0; g < n; ++g) all[static_cast<size_t>(g)] = g;
    networkCase c(std::move(db), all);
    const fragAsync frag = c.context();
    state start(n, 0);
    for (int g = 0; g < n; g += 3) start[static_cast<size_t>(g)] = 1;
    start[66] = 0;
    {
        bddHandle none;
        EXPECT_EQ(explicitRecurrence(frag, c.network, c.stateOf(start).get(), 1024, none), 0);
        EXPECT_FALSE(none);
    }
    start[66] = 1;
    bddHandle attractor;
    ASSERT_EQ(explicitRecurrence(frag, c.network, c.stateOf(start).get(), 1024, attractor), 1);
    EXPECT_EQ(Cudd_CountMinterm(c.space.mgr, attractor.get(), n), 8.0);
    const stateSet found =
        bruteForce::statesOfBdd(c.space.mgr, attractor.get(), n, {63, 64, 65}, start);
    EXPECT_EQ(found.size(), 8u);
    bddHandle none;
    EXPECT_EQ(explicitRecurrence(frag, c.network, c.stateOf(start).get(), 7, none), -1);
}

TEST(WalkFromStateTest, endsWithinTheForwardSetAtAFixedPointOrTheTarget) {
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        networkCase c(seed, 6);
        const fragAsync frag = c.context();
        const std::vector<state> all = c.fragmentStates();
        const state x = all[seed % all.size()];
        const bddHandle start = c.stateOf(x);
        const stateSet ahead = c.forward(x);
        captureOutput([&] {
            // No step: the start itself.
            const bddHandle still = walkFromState(frag, c.network, start.get(), nullptr, 0, seed);
            EXPECT_EQ(still, start) << c.context(seed);
            const bddHandle end = walkFromState(frag, c.network, start.get(), nullptr, 200, seed);
            const stateSet ends = c.states(end.get());
            ASSERT_EQ(ends.size(), 1u) << c.context(seed);
            EXPECT_TRUE(ahead.count(*ends.begin())) << c.context(seed);
            // With the start as target the walk does not move.
            const bddHandle atTarget =
                walkFromState(frag, c.network, start.get(), start.get(), 200, seed);
            EXPECT_EQ(atTarget, start) << c.context(seed);
        });
    }
}

TEST(MacroStepsTest, fixedPointsGiveExactlyTheSteadyStates) {
    int steady = 0;
    for (uint32_t seed = 1; seed <= 80; ++seed) {
        networkCase c(seed, 7);
        const fragAsync frag = c.context();
        stateSet expected;
        for (const state& x : c.fragmentStates())
            if (c.forward(x) == stateSet{x}) expected.insert(x);
        const std::vector<int> cut = makeCycleCutOfFragment(c.network, c.genes());
        const macroSteps ms = makeMacroSteps(frag, c.network, cut).value();
        EXPECT_EQ(ms.rest.size() + cut.size(), c.genes().size()) << c.context(seed);
        bddHandle left = macroFixedPoints(frag, ms);
        stateSet found;
        while (left.get() != Cudd_ReadLogicZero(c.space.mgr)) {
            bddHandle point;
            const bddHandle state = macroState(frag, ms, left.get(), point);
            const stateSet one = c.states(state.get());
            ASSERT_EQ(one.size(), 1u) << c.context(seed);
            found.insert(*one.begin());
            // The state's projection is its point.
            EXPECT_EQ(macroProject(c.space.mgr, ms, state.get()), point) << c.context(seed);
            left =
                bddResult(c.space.mgr, Cudd_bddAnd(c.space.mgr, left.get(), Cudd_Not(point.get())));
        }
        EXPECT_EQ(found, expected) << c.context(seed);
        steady += static_cast<int>(expected.size());
    }
    EXPECT_GT(steady, 40);
}

TEST(MovesBuiltOnce, reusedMovesGiveWhatEachEntryPointGives) {
    // One geneMoves serves every search of the fragment: the reachable sets
    // (both ways) agree with the entry points, which build the moves per
    // call, and with the reference.
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        networkCase c(seed, 6, seed % 2 == 0);
        const fragAsync frag = c.context();
        const geneMoves moves = makeGeneMoves(frag);
        captureOutput([&] {
            // Both searches from `from` (over x, or x' backward), the set
            // given back over x.
            auto reach = [&](DdNode* from, searchDirection direction) {
                DdManager* mgr = c.space.mgr;
                const bool forward = direction == searchDirection::forward;
                const bddHandle reused = compReachStatesAsync(frag, moves, from, direction);
                const bddHandle each = bddHandle::adopt(
                    mgr, compReachStatesFragAsync(mgr, c.op, c.space.ip, from,
                                                  forward ? c.space.inpCubeFwd : c.space.inpCubeBwd,
                                                  c.fragment, c.space.topSame, c.space.nInpVar));
                EXPECT_EQ(reused, each) << c.context(seed);
                return forward
                           ? reused
                           : bddHandle::adopt(mgr, swapCurrentAndNext(mgr, reused.get(), c.space.ip,
                                                                      c.space.nInpVar));
            };
            std::map<state, stateSet> ahead, behind;
            for (const state& x : c.fragmentStates()) {
                ahead[x] = c.forward(x);
                for (const state& y : ahead[x]) behind[y].insert(x);
            }
            for (const state& x : c.fragmentStates()) {
                const bddHandle start = c.stateOf(x);
                const bddHandle startNext = bddHandle::adopt(
                    c.space.mgr,
                    swapCurrentAndNext(c.space.mgr, start.get(), c.space.ip, c.space.nInpVar));
                EXPECT_EQ(c.states(reach(start.get(), searchDirection::forward).get()), ahead[x])
                    << c.context(seed);
                EXPECT_EQ(c.states(reach(startNext.get(), searchDirection::backward).get()),
                          behind[x])
                    << c.context(seed);
            }
            const bddHandle descent = compRandomStateAsync(frag, moves);
            const bddHandle descentEach = bddHandle::adopt(
                c.space.mgr,
                compRandomStateFragAsync(c.space.mgr, c.space.ip, c.op, c.space.inpCubeFwd,
                                         c.fragment, c.space.topSame, c.space.nInpVar));
            // The descent's first transition is picked by the engine, which
            // may choose differently per call: both give one state, or none.
            EXPECT_EQ(bool(descent), bool(descentEach)) << c.context(seed);
            if (descent) {
                EXPECT_EQ(c.states(descent.get()).size(), 1u) << c.context(seed);
            }
        });
    }
}

#ifdef QUORVEL_CUDD_LAYER
TEST(AsyncSearchFailures, anEngineFailureAtAnyOperationLeavesNoReference) {
    // The whole search, by elimination and by macro steps, with an engine
    // failure after every count of operations in turn: each run either
    // fails with an error or finds the reference's attractors, and leaves
    // no reference but the case's own (checked when the case closes).
    int failures = 0;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        for (const bool withFunctions : {false, true}) {
            networkCase c(seed, 5, true);
            const bruteForce::attractorSet expected = expectedAttractors(c.db, c.fragment);
            const int before = outstandingRefs(c.space.mgr);
            for (long failAfter = 0;; ++failAfter) {
                std::vector<DdNode*> op = copiesOf(c.op);
                std::vector<DdNode*> found;
                std::string error;
                captureOutput([&] {
                    Cudd_LayerFailAfter(failAfter);
                    try {
                        compSteadyAsync(c.space.mgr, op, c.space.ip, c.space.inpCubeFwd,
                                        c.space.inpCubeBwd, c.fragment, c.space.topSame,
                                        c.space.nInpVar, found, HUGE_VAL,
                                        withFunctions ? &c.network : nullptr);
                    } catch (const quorvelError& e) {
                        error = e.what();
                    }
                });
                const bool fired = Cudd_LayerFailAfter(-1) < 0;
                const std::string where = c.context(seed) + "failure after " +
                                          std::to_string(failAfter) +
                                          (withFunctions ? " with functions" : "");
                EXPECT_EQ(error.empty(), !fired) << where << ": " << error;
                if (!fired) {
                    EXPECT_EQ(attractorsOf(c.space, found, c.fragment), expected) << where;
                }
                releaseNodes(c.space.mgr, found);
                releaseNodes(c.space.mgr, op);
                ASSERT_EQ(outstandingRefs(c.space.mgr), before) << where;
                if (!fired) break;
                ++failures;
            }
        }
    }
    EXPECT_GT(failures, 100);
}
#endif

}  // namespace

TEST(MakeStateSet, equalsTheUnionOfTheStatesCubes) {
    // Random sets of explicit states over 1 to 150 genes (several words per
    // state), some genes left out, the columns in a shuffled order of the
    // genes, some states listed twice: the set is exactly the union of one cube per
    // state built literal by literal.
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        const int n = 1 + static_cast<int>(random() % 150);
        bddSpace space = openSpace(n, false);
        // Column c is gene genes[c], a shuffle: the columns are not in the
        // order of the variables.
        std::vector<int> genes(static_cast<size_t>(n));
        for (int g = 0; g < n; ++g) genes[static_cast<size_t>(g)] = g;
        std::shuffle(genes.begin(), genes.end(), random);
        std::vector<int> columnGene(genes);
        for (int& g : columnGene)
            if (random() % 5 == 0) g = -1;
        const size_t words = (static_cast<size_t>(n) + 63) / 64;
        const size_t count = 1 + random() % 300;
        std::vector<uint64_t> bits(count * words, 0);
        for (size_t p = 0; p < count; ++p) {
            if (p > 0 && random() % 8 == 0) {
                std::copy(bits.begin() + static_cast<long>((p - 1) * words),
                          bits.begin() + static_cast<long>(p * words),
                          bits.begin() + static_cast<long>(p * words));
                continue;
            }
            // States near one another, as in an attractor: a few genes vary.
            for (int c = 0; c < n; ++c)
                if ((c % 7 == 0) ? random() % 2 == 0 : random() % 16 == 0)
                    bits[p * words + static_cast<size_t>(c) / 64] |= uint64_t{1} << (c % 64);
        }
        DdNode* expected = Cudd_ReadLogicZero(space.mgr);
        Cudd_Ref(expected);
        for (size_t p = 0; p < count; ++p) {
            DdNode* cube = Cudd_ReadOne(space.mgr);
            Cudd_Ref(cube);
            for (int c = 0; c < n; ++c) {
                if (columnGene[static_cast<size_t>(c)] < 0) continue;
                const bool one = (bits[p * words + static_cast<size_t>(c) / 64] >> (c % 64)) & 1U;
                DdNode* var = space.ip[static_cast<size_t>(columnGene[static_cast<size_t>(c)])];
                DdNode* both = Cudd_bddAnd(space.mgr, cube, one ? var : Cudd_Not(var));
                Cudd_Ref(both);
                Cudd_RecursiveDeref(space.mgr, cube);
                cube = both;
            }
            DdNode* joined = Cudd_bddOr(space.mgr, expected, cube);
            Cudd_Ref(joined);
            Cudd_RecursiveDeref(space.mgr, expected);
            Cudd_RecursiveDeref(space.mgr, cube);
            expected = joined;
        }
        {
            const bddHandle made = makeStateSet(space.mgr, space.ip, columnGene,
                                                packedStateRows{count, words, bits.data()});
            EXPECT_EQ(made.get(), expected)
                << "seed " << seed << ", " << n << " genes, " << count << " states";
        }
        Cudd_RecursiveDeref(space.mgr, expected);
        EXPECT_EQ(closeSpace(space), 0) << "seed " << seed;
    }
}
