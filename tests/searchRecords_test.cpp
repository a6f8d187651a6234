// The searches that take the records: the synchronous reachability over an
// encoding takes the cube of its direction, and the composition reads its
// format and its progress sink from the request alone.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "asyncFixture.h"
#include "bruteForce.h"
#include "coreProgramAsync.h"
#include "randomNetwork.h"
#include "resultText.h"
#include "symbolicNetwork.h"
#include "util.h"
#include "utilFragSync.h"

using namespace asyncFixture;
using bruteForce::state;
using bruteForce::stateSet;

namespace {

// The states from which iterating the synchronous map reaches `target`
// (backward), or that iterating it from `target` reaches (forward).
stateSet syncReach(const geneDatabase& db, const state& target, bool backward) {
    const int n = static_cast<int>(db.size());
    stateSet reached;
    for (unsigned k = 0; k < (1u << n); ++k) {
        const state from = backward ? bruteForce::stateOfIndex(n, k) : target;
        state x = from;
        for (unsigned step = 0; step <= (1u << n); ++step) {
            if (!backward) reached.insert(x);
            if (backward && x == target) reached.insert(from);
            x = bruteForce::updateVector(db, x);
        }
        if (!backward) break;
    }
    return reached;
}

}  // namespace

TEST(SearchRecords, SyncReachabilityAbstractsTheCubeOfItsDirection) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const int n = 2 + static_cast<int>(seed % 5);
        const geneDatabase db = randomDatabase(seed, n, false);
        const std::string context =
            "seed " + std::to_string(seed) + "\n" + bruteForce::toString(db);
        symbolicNetwork net;
        encodeNetwork(net, db);
        const symbolicEncoding encoding{net.mgr,        net.ip,         n,
                                        net.inpCubeFwd, net.inpCubeBwd, net.topSame};
        const state target = bruteForce::stateOfIndex(n, seed % (1u << n));
        for (const int flagBwd : {0, 1}) {
            bddHandle start = stateNode(net, bruteForce::allGenes(n), target);
            if (flagBwd == 1) start = swapCurrentAndNext(start, net.ip, n);
            bool complete = false;
            bddHandle reached = bddHandle::adopt(
                net.mgr,
                compReachStatesFragSyncUntil(encoding, net.op, bruteForce::allGenes(n), start.get(),
                                             flagBwd, nullptr, complete, progressSink{}));
            if (flagBwd == 1) reached = swapCurrentAndNext(reached, net.ip, n);
            EXPECT_TRUE(complete) << context;
            EXPECT_EQ(bruteForce::statesOfBdd(net.mgr, reached.get(), n, bruteForce::allGenes(n)),
                      syncReach(db, target, flagBwd == 1))
                << context << "direction " << flagBwd;
        }
        EXPECT_EQ(releaseAndCheck(net), 0) << context;
        if (HasFailure()) break;
    }
}

TEST(SearchRecords, CompositionReadsFormatAndProgressFromTheRequest) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        randomNetworkOptions options;
        options.maxGenes = 8;
        const std::vector<networkDefBool> rules = randomNetwork(seed, options);
        geneDatabase geneDbOrg, geneDbReduced;
        std::vector<int> defaultStatus;
        levelArray sccTopoLvl;
        captureOutput(
            [&] { refineNetwork(rules, geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl); });
        const std::string context = "seed " + std::to_string(seed) + "\n" + networkText(rules);
        for (const resultFormat format : {resultFormat::states, resultFormat::json}) {
            twoManagers e;
            captureOutput([&] { e = encodeTwoManagers(geneDbOrg, geneDbReduced, defaultStatus); });
            std::ostringstream lines;
            analysisRequest request;
            request.options.format = format;
            request.progress = progressSink{&lines, nullptr};
            std::vector<DdNode*> steadyStates;
            std::string text;
            const std::string printed = captureOutput([&] {
                text = compSteadyTopFuncOn(
                    geneDbOrg, geneDbReduced, defaultStatus, sccTopoLvl,
                    symbolicEncoding{e.async.mgr, e.async.ip, e.async.nInpVar, e.async.inpCubeFwd,
                                     e.async.inpCubeBwd, e.async.topSame},
                    e.opAsync, steadyStates, request);
            });
            EXPECT_EQ(printed, "") << context << "progress left the request's sink";
            if (format == resultFormat::states) {
                EXPECT_NE(lines.str().find("number of states "), std::string::npos) << context;
                EXPECT_EQ(resultText::asSet(resultText::parse(text)), attractorsByRules(rules))
                    << context;
            } else {
                EXPECT_EQ(text.rfind("{", 0), 0u) << context << text;
            }
            releaseNodes(e.async.mgr, steadyStates);
            EXPECT_EQ(releaseTwoManagers(e), 0) << context;
        }
        if (HasFailure()) break;
    }
}
