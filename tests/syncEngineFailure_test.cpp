// Engine failures in the synchronous analysis and in the construction of
// the relations: each node-building operation fails in turn (densely at
// first, then sparser), through the failure injection of the BuDDy layer.
// Every failure must end the call with quorvelError and leave no reference
// behind once the caller has released what it owns; armed past the last
// operation, the call must give the explicit-state reference's result.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "asyncFixture.h"
#include "bruteForce.h"
#include "compReachFragSync.h"
#include "constBdd.h"
#include "coreProgramSync.h"
#include "engineChecks.h"
#include "resultText.h"
#include "symbolicNetwork.h"
#include "utilFragSync.h"

namespace {

using bruteForce::attractorSet;

// A random database of n genes named g0, g1, ... (the result text looks
// genes up by name). Only the layer's failure injection uses it.
[[maybe_unused]] geneDatabase namedRandomDatabase(uint32_t seed, int n) {
    geneDatabase db = asyncFixture::randomDatabase(seed, n, seed % 2 == 0);
    for (int i = 0; i < n; ++i) db[static_cast<size_t>(i)].name = "g" + std::to_string(i);
    return db;
}

// What one call under an armed failure did.
struct failedCall {
    std::string error;     // the quorvelError's message, empty without one
    bool fired = false;    // the armed failure happened
    int outstanding = -1;  // references left once everything was released
};

#ifdef QUORVEL_CUDD_LAYER
// Runs `work` with the engine failing after `failAfter` operations and
// standard output collected.
template <typename Work>
void runArmed(long failAfter, failedCall& call, Work work) {
    testing::internal::CaptureStdout();
    Cudd_LayerFailAfter(failAfter);
    try {
        work();
    } catch (const quorvelError& e) {
        call.error = e.what();
    }
    call.fired = Cudd_LayerFailAfter(-1) < 0;
    testing::internal::GetCapturedStdout();
}

// Calls attempt(failAfter, call) for failAfter = 0, 1, 2, ... (sparser as it
// grows, so that long runs stay short) until the armed failure no longer
// happens. Each attempt runs its call through runArmed, releases all it owns,
// fills call.outstanding, and checks the result of a whole run itself.
// Every attempt must end in an error exactly when its failure happened, and
// leave no reference. Returns the number of failures injected.
template <typename Attempt>
int sweepFailures(const std::string& context, Attempt attempt) {
    int injected = 0;
    for (long failAfter = 0;; failAfter += 1 + failAfter / 16) {
        failedCall call;
        attempt(failAfter, call);
        if (call.outstanding != 0 || call.error.empty() == call.fired) {
            ADD_FAILURE() << context << "failure after " << failAfter
                          << " operations: " << call.outstanding << " references left, error \""
                          << call.error << "\", failure " << (call.fired ? "" : "not ")
                          << "injected";
            return injected;
        }
        if (!call.fired) return injected;
        ++injected;
    }
}
#endif

TEST(SyncEngineFailure, anywhereInTheSearchIsAnErrorAndLeavesNoReference) {
#ifndef QUORVEL_CUDD_LAYER
    GTEST_SKIP() << "needs the failure injection of the BuDDy layer";
#else
    int injected = 0;
    for (uint32_t seed = 1; seed <= 20 && !HasFailure(); ++seed) {
        const int n = 3 + static_cast<int>(seed % 5);
        const geneDatabase db = namedRandomDatabase(seed, n);
        const std::vector<int> fragment =
            asyncFixture::closeUnderRegulators(db, {static_cast<int>(seed) % n});
        const attractorSet expected = bruteForce::restrictToZeroOutside(
            bruteForce::syncAttractors(n, bruteForce::updateOf(db), fragment), fragment);
        const std::string context = "seed " + std::to_string(seed) + "\n" +
                                    bruteForce::toString(db) +
                                    asyncFixture::fragmentText(fragment) + "\n";
        injected += sweepFailures(context, [&](long failAfter, failedCall& call) {
            symbolicNetwork net;
            encodeNetwork(net, db);
            std::vector<DdNode*> steadyStates, steadyFalse;
            runArmed(failAfter, call, [&] {
                compSteadySync(net.mgr, net.op, net.ip, fragment, net.inpCubeFwd, net.inpCubeBwd, n,
                               steadyStates, steadyFalse, HUGE_VAL);
            });
            attractorSet found;
            for (const std::vector<DdNode*>* sets : {&steadyStates, &steadyFalse})
                for (DdNode* set : *sets)
                    found.insert(bruteForce::statesOfBdd(net.mgr, set, n, fragment));
            releaseNodes(net.mgr, steadyStates);
            releaseNodes(net.mgr, steadyFalse);
            call.outstanding = releaseAndCheck(net);
            if (!call.fired) {
                EXPECT_EQ(found, expected) << context << "found " << bruteForce::toString(found);
            }
        });
    }
    EXPECT_GT(injected, 300);
#endif
}

#ifdef QUORVEL_CUDD_LAYER
// The attractors that a result text in `format` lists, counted; the states
// themselves from the states format.
size_t attractorCount(const std::string& text, resultFormat format, attractorSet& states) {
    if (format == resultFormat::json) return nlohmann::json::parse(text).at("attractors").size();
    if (format == resultFormat::cubes) {
        size_t lines = 0;
        for (char c : text) lines += c == '\n';
        return lines - 1;  // the header's line end closes the first attractor's line
    }
    const resultText::parsedResult parsed = resultText::parse(text);
    EXPECT_TRUE(parsed.ok) << parsed.error << "\n" << text;
    states = resultText::asSet(parsed);
    return parsed.attractors.size();
}
#endif

TEST(SyncEngineFailure, anywhereInTheWholeSynchronousAnalysisAndItsText) {
#ifndef QUORVEL_CUDD_LAYER
    GTEST_SKIP() << "needs the failure injection of the BuDDy layer";
#else
    int injected = 0;
    const resultFormat formats[] = {resultFormat::states, resultFormat::cubes, resultFormat::json};
    for (uint32_t seed = 1; seed <= 12 && !HasFailure(); ++seed) {
        const int n = 2 + static_cast<int>(seed % 5);
        const geneDatabase db = namedRandomDatabase(seed + 100, n);
        const std::vector<int> status(db.size(), -1);
        const resultFormat format = formats[seed % 3];
        const attractorSet expected = bruteForce::syncAttractors(n, bruteForce::updateOf(db));
        const std::string context = "seed " + std::to_string(seed + 100) + ", format " +
                                    std::to_string(seed % 3) + "\n" + bruteForce::toString(db);
        injected += sweepFailures(context, [&](long failAfter, failedCall& call) {
            symbolicNetwork net;
            encodeNetwork(net, db);
            std::string text;
            analysisRequest request;
            request.options.format = format;
            runArmed(failAfter, call, [&] {
                text = compSteadyTopFuncSync(
                    db, db, status,
                    symbolicEncoding{net.mgr, net.ip, n, net.inpCubeFwd, net.inpCubeBwd}, net.op,
                    request);
            });
            call.outstanding = releaseAndCheck(net);
            if (call.fired) {
                EXPECT_EQ(text, "") << context << "a failed analysis gave a text";
                return;
            }
            attractorSet states;
            EXPECT_EQ(attractorCount(text, format, states), expected.size()) << context << text;
            if (format == resultFormat::states) {
                EXPECT_EQ(states, expected) << context << text;
            }
        });
    }
    EXPECT_GT(injected, 100);
#endif
}

// The relations of constBddFrag, built under a failure at every operation:
// the failure releases every partial function (an operand used to be left
// behind); built whole, each relation holds exactly the transitions of the
// reference's update rule.
TEST(SyncEngineFailure, relationConstructionReleasesItsOperands) {
#ifndef QUORVEL_CUDD_LAYER
    GTEST_SKIP() << "needs the failure injection of the BuDDy layer";
#else
    int injected = 0;
    for (uint32_t seed = 1; seed <= 12 && !HasFailure(); ++seed) {
        const int n = 3 + static_cast<int>(seed % 4);
        const geneDatabase db = namedRandomDatabase(seed + 200, n);
        const std::vector<int> status(db.size(), -1);
        const std::string context =
            "seed " + std::to_string(seed + 200) + "\n" + bruteForce::toString(db);
        injected += sweepFailures(context, [&](long failAfter, failedCall& call) {
            DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, 4096, 0);
            ASSERT_NE(mgr, nullptr);
            std::vector<DdNode*> ip, op;
            std::vector<std::string> inpName, outName;
            createVarsFragSync(mgr, ip, op, inpName, outName, n);
            runArmed(failAfter, call, [&] { constBddFrag(db, db, status, mgr, ip, op, n); });
            bool exact = true;
            // Every state x with either next value of every gene.
            std::vector<int> inputs(static_cast<size_t>(2 * n), 0);
            for (unsigned k = 0; !call.fired && k < (1u << n); ++k) {
                const bruteForce::state x = bruteForce::stateOfIndex(n, k);
                const bruteForce::state next = bruteForce::updateVector(db, x);
                for (int i = 0; i < n; ++i)
                    inputs[static_cast<size_t>(i)] = x[static_cast<size_t>(i)];
                for (int i = 0; i < n; ++i)
                    for (int value = 0; value < 2; ++value) {
                        inputs[static_cast<size_t>(n + i)] = value;
                        const bool allowed = Cudd_Eval(mgr, op[static_cast<size_t>(i)],
                                                       inputs.data()) == Cudd_ReadOne(mgr);
                        exact = exact && allowed == (value == next[static_cast<size_t>(i)]);
                    }
            }
            releaseNodes(mgr, ip);
            releaseNodes(mgr, op);
            call.outstanding = outstandingRefs(mgr);
            Cudd_Quit(mgr);
            EXPECT_TRUE(exact) << context;
        });
    }
    EXPECT_GT(injected, 100);
#endif
}

}  // namespace
