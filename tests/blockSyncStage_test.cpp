// The composition writes exactly the brute-force attractors of random
// networks (as written, every gene, nothing reduced), and the synchronous
// manager plays no part in it at all: its relations are left as they were,
// and a composition given no synchronous manager runs the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asyncFixture.h"
#include "bruteForce.h"
#include "coreProgramAsync.h"
#include "engineChecks.h"
#include "randomNetwork.h"
#include "resultText.h"
#include "util.h"

using namespace asyncFixture;

namespace {

struct reducedRandom {
    std::vector<networkDefBool> rules;
    geneDatabase geneDbOrg, geneDbReduced;
    std::vector<int> defaultStatus;
    levelArray sccTopoLvl;
};

reducedRandom reducedNetworkOf(unsigned seed) {
    randomNetworkOptions options;
    options.maxGenes = 10;
    reducedRandom r;
    r.rules = randomNetwork(seed, options);
    captureOutput([&] {
        refineNetwork(r.rules, r.geneDbOrg, r.geneDbReduced, r.defaultStatus, r.sccTopoLvl);
    });
    return r;
}

struct compositionRun {
    resultText::parsedResult result;  // the result text, parsed
    bool syncRelationsUnchanged = false;
    int outstanding = -1;  // after every handle is released
};

// Runs compSteadyTopFunc on copies of the relations of both managers, as
// topFuncAsync does.
compositionRun runComposition(const reducedRandom& r) {
    compositionRun run;
    const int n = static_cast<int>(r.geneDbReduced.size());
    twoManagers e;
    captureOutput([&] { e = encodeTwoManagers(r.geneDbOrg, r.geneDbReduced, r.defaultStatus); });
    std::vector<DdNode*> op = copiesOf(e.op);
    std::vector<DdNode*> opAsync = copiesOf(e.opAsync);
    std::vector<DdNode*> steadyStates;
    std::string text;
    captureOutput([&] {
        text = compSteadyTopFunc(
            r.geneDbOrg, r.geneDbReduced, r.defaultStatus, r.sccTopoLvl, steadyStates, e.sync.mgr,
            e.async.mgr, opAsync, e.async.ip, op, e.sync.ip, e.sync.inpCubeFwd, e.sync.inpCubeBwd,
            e.async.inpCubeFwd, e.async.inpCubeBwd, e.async.topSame, n, resultFormat::states);
    });
    run.result = resultText::parse(text);
    run.syncRelationsUnchanged = op == e.op;
    releaseNodes(e.async.mgr, steadyStates);
    releaseNodes(e.sync.mgr, op);
    releaseNodes(e.async.mgr, opAsync);
    run.outstanding = releaseTwoManagers(e);
    return run;
}

}  // namespace

TEST(BlockSyncStage, offFindsTheReferenceAttractors) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        const reducedRandom r = reducedNetworkOf(seed);
        const int n = static_cast<int>(r.geneDbReduced.size());
        if (n == 0) continue;
        const bruteForce::attractorSet expected = attractorsByRules(r.rules);
        const std::string context = "seed " + std::to_string(seed) + ", network:\n" +
                                    networkText(r.rules) +
                                    "expected: " + bruteForce::toString(expected);
        const compositionRun run = runComposition(r);
        ASSERT_TRUE(run.result.ok) << context << "\n" << run.result.error;
        ASSERT_EQ(run.result.genes, genesInFileOrder(r.rules)) << context;
        ASSERT_EQ(resultText::asSet(run.result), expected) << context;
        ASSERT_EQ(run.result.attractors.size(), expected.size()) << context;
        ASSERT_EQ(run.outstanding, 0) << context;
        ASSERT_TRUE(run.syncRelationsUnchanged) << context;
    }
}

#ifdef QUORVEL_CUDD_LAYER
// The layer counts every call on a null manager. With the stage off the
// composition gets no synchronous manager, relations, variables or cubes at
// all, and still finds every attractor without one such call.
TEST(BlockSyncStage, offNeedsNoSynchronousManager) {
    for (unsigned seed = 61; seed <= 90; ++seed) {
        const reducedRandom r = reducedNetworkOf(seed);
        const int n = static_cast<int>(r.geneDbReduced.size());
        if (n == 0) continue;
        const std::string context =
            "seed " + std::to_string(seed) + ", network:\n" + networkText(r.rules);
        twoManagers e;
        captureOutput(
            [&] { e = encodeTwoManagers(r.geneDbOrg, r.geneDbReduced, r.defaultStatus); });
        std::vector<DdNode*> opAsync = copiesOf(e.opAsync);
        std::vector<DdNode*> noOp, noIp, steadyStates;
        const int misusesBefore = Cudd_LayerMisuseCount();
        std::string text;
        captureOutput([&] {
            text = compSteadyTopFunc(r.geneDbOrg, r.geneDbReduced, r.defaultStatus, r.sccTopoLvl,
                                     steadyStates, nullptr, e.async.mgr, opAsync, e.async.ip, noOp,
                                     noIp, nullptr, nullptr, e.async.inpCubeFwd, e.async.inpCubeBwd,
                                     e.async.topSame, n);
        });
        EXPECT_EQ(Cudd_LayerMisuseCount(), misusesBefore) << context;
        EXPECT_EQ(resultText::asSet(resultText::parse(text)), attractorsByRules(r.rules))
            << context;
        releaseNodes(e.async.mgr, steadyStates);
        releaseNodes(e.async.mgr, opAsync);
        EXPECT_EQ(releaseTwoManagers(e), 0) << context;
        if (HasFailure()) break;
    }
}
#endif
