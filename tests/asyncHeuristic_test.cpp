// The per-block search (synchronous stage, then the asynchronous search
// outside the basin of its results): its edge cases and a
// differential check against the explicit-state reference.
#include <gtest/gtest.h>

#include "asyncFixture.h"
#include "bddHandle.h"
#include "bruteForce.h"
#include "compSteadyAsyncComplex.h"
#include "engineChecks.h"

using namespace asyncFixture;
using bruteForce::attractorSet;
using bruteForce::stateSet;

namespace {

struct heuristicRun {
    std::vector<stateSet> ordered;  // the results in the order appended
    attractorSet attractors;
    size_t foundCount = 0;
    bool asyncRelationsZero = false;
    std::string output;
    int outstandingSync = -1;
    int outstandingAsync = -1;
};

// Runs compSteadyAsyncHeuristic on the relations of db in two managers, as
// the composition does: relations built in the synchronous manager and
// transferred into the asynchronous one. `wholeSpaceFirst` puts the whole
// state space into the result array before the call.
heuristicRun runHeuristic(const geneDatabase& db, const std::vector<int>& fragment, bool sifting,
                          bool wholeSpaceFirst = false, double syncSeconds = kSyncBackwardSeconds) {
    heuristicRun run;
    const int n = static_cast<int>(db.size());
    bddSpace sync = openSpace(n, sifting);
    bddSpace async = openSpace(n, sifting);
    std::vector<DdNode*> op = relationsOf(sync, db);
    std::vector<DdNode*> opAsync = transferAll(sync, async, op);
    std::vector<DdNode*> steadyStates;
    if (wholeSpaceFirst) appendOwned(steadyStates, bddOne(sync.mgr));
    const size_t first = steadyStates.size();
    run.output = captureOutput([&] {
        compSteadyAsyncHeuristic(sync.mgr, async.mgr, opAsync, async.ip, op, sync.ip, fragment,
                                 sync.inpCubeFwd, sync.inpCubeBwd, async.topSame, n, steadyStates,
                                 syncSeconds);
    });
    const std::vector<DdNode*> found(steadyStates.begin() + static_cast<std::ptrdiff_t>(first),
                                     steadyStates.end());
    run.foundCount = found.size();
    for (DdNode* set : found) run.ordered.push_back(*attractorsOf(sync, {set}, fragment).begin());
    run.attractors = attractorsOf(sync, found, fragment);
    run.asyncRelationsZero = true;
    for (int g : fragment)
        run.asyncRelationsZero = run.asyncRelationsZero &&
                                 opAsync[static_cast<size_t>(g)] == Cudd_ReadLogicZero(async.mgr);
    releaseNodes(sync.mgr, steadyStates);
    releaseNodes(sync.mgr, op);
    releaseNodes(async.mgr, opAsync);
    run.outstandingSync = closeSpace(sync);
    run.outstandingAsync = closeSpace(async);
    return run;
}

}  // namespace

TEST(AsyncHeuristic, oneFixedPointReachedByAllNeedsNoAsynchronousSearch) {
    geneDatabase db(3);
    addTerm(db, 1, true, {{0, 1}});
    addTerm(db, 2, true, {{1, 1}, {0, 1}});
    const heuristicRun run = runHeuristic(db, {0, 1, 2}, true);
    EXPECT_EQ(run.attractors, (attractorSet{states({"000"})}));
    EXPECT_EQ(run.foundCount, 1u);
    // The fixed point's basin is the whole space: nothing is left to the
    // asynchronous search.
    EXPECT_TRUE(run.asyncRelationsZero);
    EXPECT_EQ(run.outstandingSync, 0);
    EXPECT_EQ(run.outstandingAsync, 0);
}

TEST(AsyncHeuristic, twoSelfNegatingGenesAreLeftToTheAsynchronousSearch) {
    geneDatabase db(2);
    addTerm(db, 0, false, {{0, 1}});
    addTerm(db, 1, false, {{1, 1}});
    // The synchronous stage meets two cycles, each changing both genes in
    // one step (not results); the one result is the asynchronous
    // attractor, and the search that found it cut the whole space.
    ASSERT_EQ(bruteForce::syncAttractors(2, bruteForce::updateOf(db)),
              (attractorSet{states({"00", "11"}), states({"01", "10"})}));
    const heuristicRun run = runHeuristic(db, {0, 1}, false);
    EXPECT_EQ(run.ordered, (std::vector<stateSet>{states({"00", "01", "10", "11"})}));
    EXPECT_EQ(run.foundCount, 1u);
    EXPECT_TRUE(run.asyncRelationsZero);
    EXPECT_EQ(run.outstandingSync, 0);
    EXPECT_EQ(run.outstandingAsync, 0);
}

TEST(AsyncHeuristic, fixedPointComesBeforeTheComplexAttractor) {
    // g0 <- +(g0): with g0 = 0, g1 and g2 fall to 0 (steady state 000);
    // with g0 = 1 both negate themselves, and in the four states of that
    // attractor two genes can move at once.
    geneDatabase db(3);
    addTerm(db, 0, true, {{0, 1}});
    addTerm(db, 1, true, {{0, 1}, {1, 0}});
    addTerm(db, 2, true, {{0, 1}, {2, 0}});
    for (bool sifting : {false, true}) {
        const heuristicRun run = runHeuristic(db, {2, 0, 1}, sifting);
        ASSERT_EQ(run.ordered.size(), 2u);
        EXPECT_EQ(run.ordered[0], states({"000"}));
        EXPECT_EQ(run.ordered[1], states({"100", "110", "101", "111"}));
        EXPECT_EQ(run.outstandingSync, 0);
        EXPECT_EQ(run.outstandingAsync, 0);
    }
}

TEST(AsyncHeuristic, entriesPresentOnEntryDoNotHideAttractors) {
    // The caller's array already holds the whole space; only what this call
    // finds bounds the basin, so both attractors are still found.
    geneDatabase db(3);
    addTerm(db, 0, true, {{0, 1}});
    addTerm(db, 1, true, {{0, 1}, {1, 0}});
    addTerm(db, 2, true, {{0, 1}, {2, 0}});
    const heuristicRun run = runHeuristic(db, {0, 1, 2}, false, true);
    EXPECT_EQ(run.attractors, expectedAttractors(db, {0, 1, 2}));
    EXPECT_EQ(run.foundCount, 2u);
    EXPECT_EQ(run.outstandingSync, 0);
    EXPECT_EQ(run.outstandingAsync, 0);
}

TEST(AsyncHeuristicRandom, matchesTheReferenceOnRandomFragments) {
    int complex = 0, stopped = 0;
    for (uint32_t seed = 1001; seed <= 1320; ++seed) {
        const int n = 1 + static_cast<int>(seed % 10);
        geneDatabase db = randomDatabase(seed, n, seed % 3 != 0);
        // Every other network gets self-negating genes, whose oscillations
        // change several genes in one synchronous step: the asynchronous
        // stage has to find those attractors.
        if (seed % 2 == 1)
            for (int g = 0; g < n; g += 2) addTerm(db, g, false, {{g, 1}});
        const std::vector<int> fragment = randomClosedFragment(seed, db);
        const attractorSet expected = expectedAttractors(db, fragment);
        // Every fourth fragment gives the synchronous stage almost no time:
        // it stops at its first backward layer and the asynchronous stage
        // must still find every attractor, none twice. Another fourth skips
        // the synchronous stage (no time at all); the rest give it its full
        // time.
        const double syncSeconds = seed % 4 == 3   ? 1e-9
                                   : seed % 4 == 1 ? 0.0
                                                   : kSyncBackwardSeconds;
        const heuristicRun run = runHeuristic(db, fragment, seed % 2 == 0, false, syncSeconds);
        const std::string context = "seed " + std::to_string(seed) + "\n" +
                                    bruteForce::toString(db) + fragmentText(fragment);
        ASSERT_EQ(run.attractors, expected) << context << "\nexpected\n"
                                            << bruteForce::toString(expected);
        ASSERT_EQ(run.foundCount, expected.size()) << context;
        ASSERT_EQ(run.outstandingSync, 0) << context;
        ASSERT_EQ(run.outstandingAsync, 0) << context;
        // Which stage found what leaves the results alike: these lines are
        // the one sign that each stage ran, stopped or stayed off.
        complex += run.output.find("iteration is 1\n") != std::string::npos;
        stopped += run.output.find("synchronous search stopped") != std::string::npos;
        // Without the synchronous stage no synchronous search is printed.
        if (seed % 4 == 1) {
            EXPECT_EQ(run.output.find("minimum number of states"), std::string::npos) << context;
        }
    }
    EXPECT_GT(stopped, 40) << stopped;
    // Both stages are exercised: many fragments need the asynchronous search.
    EXPECT_GT(complex, 60) << complex;
}

TEST(AsyncHeuristic, engineFailureIsAnErrorAndLeavesNoAsynchronousReference) {
    // Both managers share an engine bounded to a few thousand nodes; a
    // failing search throws quorvelError and leaves no reference behind in
    // the asynchronous manager. (The synchronous manager is left to the
    // tests of the synchronous search, whose failures happen there.)
    int failures = 0;
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        const int n = 12;
        geneDatabase db = randomDatabase(seed, n, false);
        for (int g = 0; g < n; g += 3) addTerm(db, g, false, {{g, 1}});
        bddSpace sync = openSpace(n, false, 4096);
        bddSpace async = openSpace(n, false, 4096);
        std::vector<DdNode*> op, opAsync;
        try {
            op = relationsOf(sync, db);
            opAsync = transferAll(sync, async, op);
        } catch (const std::exception&) {
            Cudd_Quit(sync.mgr);
            Cudd_Quit(async.mgr);
            continue;
        }
        std::vector<DdNode*> found;
        bool failed = false;
        captureOutput([&] {
            try {
                compSteadyAsyncHeuristic(sync.mgr, async.mgr, opAsync, async.ip, op, sync.ip,
                                         bruteForce::allGenes(n), sync.inpCubeFwd, sync.inpCubeBwd,
                                         async.topSame, n, found);
            } catch (const quorvelError&) {
                failed = true;
            }
        });
        failures += failed;
        releaseNodes(sync.mgr, found);
        releaseNodes(sync.mgr, op);
        releaseNodes(async.mgr, opAsync);
        releaseSpace(sync);
        Cudd_Quit(sync.mgr);
        EXPECT_EQ(closeSpace(async), 0) << "seed " << seed;
    }
    std::cout << failures << " searches failed" << std::endl;
    EXPECT_GT(failures, 0);
}
