// State encoding and next-state relations: every relation checked against the
// rules of the original network under the values the reduction fixed; the
// variable order and groups; the symbolic driver's output, cleanup and
// reference counts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "bruteForce.h"
#include "constBdd.h"
#include "coreProgramAsync.h"
#include "engineChecks.h"
#include "randomNetwork.h"
#include "resultText.h"
#include "symbolicNetwork.h"
#include "testNetworks.h"
#include "util.h"
#include "utilFragSync.h"

namespace {

// The default analysis, writing no progress.
analysisRequest quietRequest() {
    analysisRequest request;
    request.progress = progressSink{};
    return request;
}

// Value of Cudd_Eval of `f` with current-state values x and next-state
// values xNext (bit i of each gives gene i).
bool holds(symbolicNetwork& net, DdNode* f, unsigned x, unsigned xNext) {
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(net.mgr)), 0);
    for (int i = 0; i < net.nInpVar; ++i) {
        inputs[static_cast<size_t>(i)] = (x >> i) & 1u;
        inputs[static_cast<size_t>(net.nInpVar + i)] = (xNext >> i) & 1u;
    }
    return Cudd_Eval(net.mgr, f, inputs.data()) == Cudd_ReadOne(net.mgr);
}

std::vector<int> supportOf(DdManager* mgr, DdNode* f) {
    int* indices = nullptr;
    const int count = Cudd_SupportIndices(mgr, f, &indices);
    std::vector<int> support;
    for (int k = 0; k < count; ++k) support.push_back(indices[k]);
    std::free(indices);
    return support;
}

// Checks every relation of the encoded reduced network against the rules:
// op[i] holds for (x, x') exactly when x'_i is the next value that the
// original rules give gene i in the full state made of x and the fixed
// values. Returns the number of failures (each is reported).
int checkRelations(const reducedNetwork& r, symbolicNetwork& net) {
    const int n = net.nInpVar;
    std::map<std::string, int> values;
    for (size_t k = 0; k < r.geneDbOrg.size(); ++k) {
        const int d = r.defaultStatus[k];
        values[r.geneDbOrg[k].name] =
            (d == 1 || d == 2) ? 1 : 0;  // reduced genes overwritten below
    }
    int failures = 0;
    for (int i = 0; i < n; ++i) {
        DdNode* rel = net.op[static_cast<size_t>(i)];
        // The relation constrains x'_i and no other next-state variable, so
        // checking both values of x'_i (others 0) covers every pair (x, x').
        bool ownNext = false;
        for (int v : supportOf(net.mgr, rel)) {
            if (v == n + i)
                ownNext = true;
            else if (v >= n) {
                ADD_FAILURE() << "relation of gene " << i << " depends on next-state variable "
                              << v;
                ++failures;
            }
        }
        if (!ownNext) {
            ADD_FAILURE() << "relation of gene " << i << " does not depend on its next value";
            ++failures;
        }
        const std::string& name = r.geneDbReduced[static_cast<size_t>(i)].name;
        const unsigned nextBit = 1u << i;
        for (unsigned x = 0; x < (1u << n); ++x) {
            for (int j = 0; j < n; ++j)
                values[r.geneDbReduced[static_cast<size_t>(j)].name] = (x >> j) & 1u;
            const int expected = nextValueByRules(r.rules, name, values);
            const bool on = holds(net, rel, x, nextBit);
            const bool off = holds(net, rel, x, 0);
            if (on != (expected == 1) || off != (expected == 0)) {
                ADD_FAILURE() << "gene " << name << " in state " << x << ": relation allows"
                              << (off ? " 0" : "") << (on ? " 1" : "") << ", rules give "
                              << expected;
                ++failures;
            }
        }
    }
    return failures;
}

// The literal check of every pair (x, x') for small networks.
int checkEveryPair(const reducedNetwork& r, symbolicNetwork& net) {
    const int n = net.nInpVar;
    std::map<std::string, int> values;
    for (size_t k = 0; k < r.geneDbOrg.size(); ++k) {
        const int d = r.defaultStatus[k];
        values[r.geneDbOrg[k].name] = (d == 1 || d == 2) ? 1 : 0;
    }
    int failures = 0;
    for (unsigned x = 0; x < (1u << n); ++x) {
        for (int j = 0; j < n; ++j)
            values[r.geneDbReduced[static_cast<size_t>(j)].name] = (x >> j) & 1u;
        for (int i = 0; i < n; ++i) {
            const int expected =
                nextValueByRules(r.rules, r.geneDbReduced[static_cast<size_t>(i)].name, values);
            for (unsigned xNext = 0; xNext < (1u << n); ++xNext) {
                const bool want = static_cast<int>((xNext >> i) & 1u) == expected;
                if (holds(net, net.op[static_cast<size_t>(i)], x, xNext) != want) ++failures;
            }
        }
    }
    EXPECT_EQ(failures, 0) << "pairs (x, x') where a relation disagrees with the rules";
    return failures;
}

TEST(Encoding, RelationsFollowTheOriginalRulesOnRandomNetworks) {
    randomNetworkOptions options;
    options.maxGenes = 10;
    int networks = 0;
    for (unsigned seed = 1; seed <= 150; ++seed) {
        const std::vector<networkDefBool> rules = randomNetwork(seed, options);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", network:\n" + networkText(rules));
        const reducedNetwork r = reducedNetworkOf(rules);
        if (r.geneDbReduced.empty()) continue;  // no relation to check
        symbolicNetwork net;
        encodeNetwork(net, r.geneDbOrg, r.geneDbReduced, r.defaultStatus);
        int failures = checkRelations(r, net);
        if (net.nInpVar <= 5) failures += checkEveryPair(r, net);
        EXPECT_EQ(releaseAndCheck(net), 0) << "references left";
        ++networks;
        if (failures > 0) break;
    }
    EXPECT_GE(networks, 100);
}

TEST(Encoding, AllInhibitorsRuledOutWithAFreeRegulatorLeft) {
    // A has no rule (fixed OFF), so A&B -| C can never hold; B stays free, so
    // C stays in the network. Nothing can inhibit C: its next value is 1.
    const reducedNetwork r =
        reducedNetworkOf({rule({"A", "B"}, {1, 1}, "C", 0), rule({"B"}, {1}, "B", 1)});
    const int c = chkInList(r.geneDbReduced, "C");
    ASSERT_GE(c, 0) << "C should stay in the reduced network";
    EXPECT_TRUE(r.geneDbReduced[static_cast<size_t>(c)].inGenesPos.empty());
    symbolicNetwork net;
    encodeNetwork(net, r.geneDbOrg, r.geneDbReduced, r.defaultStatus);
    EXPECT_EQ(net.op[static_cast<size_t>(c)], net.ip[static_cast<size_t>(net.nInpVar + c)]);
    EXPECT_EQ(checkRelations(r, net), 0);
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(Encoding, TermsOnGivenMarkers) {
    // Gene 0: activated by x_1 AND x_2, or by NOT x_3; inhibited by NOT x_4.
    geneDatabase db(5);
    for (int i = 0; i < 5; ++i) db[static_cast<size_t>(i)].name = "g" + std::to_string(i);
    influenceDefBool both, notThree, notFour;
    both.geneId = {1, 2};
    both.genePolar = {1, 1};
    notThree.geneId = {3};
    notThree.genePolar = {0};
    notFour.geneId = {4};
    notFour.genePolar = {0};
    db[0].inGenesPos = {both, notThree};
    db[0].inGenesNeg = {notFour};
    db[1].inGenesNeg = {notFour};             // only inhibiting terms
    db[2].inGenesPos = {influenceDefBool{}};  // a term without regulators always holds

    struct markerCase {
        int d0, d1;
        const char* what;
    };
    for (const markerCase& mc : {markerCase{-1, -1, "no marker"}, markerCase{0, 0, "marker 0"},
                                 markerCase{2, 2, "marker 2"}, markerCase{3, 3, "marker 3"},
                                 markerCase{1, 1, "marker 1"}}) {
        SCOPED_TRACE(mc.what);
        symbolicNetwork net;
        encodeNetwork(net, db, {mc.d0, mc.d1, -1, -1, -1});
        for (unsigned x = 0; x < 32; ++x) {
            const auto bit = [x](int i) { return static_cast<int>((x >> i) & 1u); };
            const int a = (bit(1) && bit(2)) || !bit(3);
            const int h = !bit(4);
            int f0 = a && !h;
            if (mc.d0 == 2) f0 = !h;
            if (mc.d0 == 3) f0 = 0;
            int f1 = !h;
            if (mc.d1 == 0 || mc.d1 == 3) f1 = 0;
            EXPECT_EQ(holds(net, net.op[0], x, 1u), f0 == 1) << "gene 0, state " << x;
            EXPECT_EQ(holds(net, net.op[1], x, 2u), f1 == 1) << "gene 1, state " << x;
            EXPECT_TRUE(holds(net, net.op[2], x, 4u)) << "gene 2, state " << x;
            EXPECT_TRUE(holds(net, net.op[3], x, 0u)) << "gene 3 (no terms), state " << x;
        }
        EXPECT_EQ(releaseAndCheck(net), 0);
    }
}

TEST(Encoding, OneProgressLinePerGene) {
    geneDatabase db(3);
    for (int i = 0; i < 3; ++i) db[static_cast<size_t>(i)].name = "g" + std::to_string(i);
    DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> ip, op;
    std::vector<std::string> inpName, outName;
    createVarsFragSync(mgr, ip, op, inpName, outName, 3);
    EXPECT_EQ(inpName, (std::vector<std::string>{"inp0", "inp1", "inp2", "inp3", "inp4", "inp5"}));
    EXPECT_EQ(outName, (std::vector<std::string>{"func0", "func1", "func2"}));
    EXPECT_EQ(Cudd_ReadSize(mgr), 6);
    EXPECT_EQ(constBddFrag(db, db, {-1, -1, -1}, mgr, ip, op, 3, progressSink{}), nullptr);
    releaseNodes(mgr, ip);
    releaseNodes(mgr, op);
    EXPECT_EQ(outstandingRefs(mgr), 0);
    Cudd_Quit(mgr);
}

TEST(Encoding, InterleavedOrderAndGenePairsSurviveSifting) {
    randomNetworkOptions options;
    options.minGenes = 6;
    options.maxGenes = 10;
    for (unsigned seed = 1; seed <= 10; ++seed) {
        const reducedNetwork r = reducedNetworkOf(randomNetwork(seed, options));
        SCOPED_TRACE("seed " + std::to_string(seed) + ", network:\n" + networkText(r.rules));
        const int n = static_cast<int>(r.geneDbReduced.size());
        DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        DdManager* mgrAsync = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        std::vector<DdNode*> ip, op, ipAsync, opAsync;
        std::vector<std::string> inpName, outName;
        createVarsFragSync(mgr, ip, op, inpName, outName, n);
        createVarsFragSync(mgrAsync, ipAsync, opAsync, inpName, outName, n);
        interleaveStateVars(mgr, mgrAsync, n);
        for (DdManager* m : {mgr, mgrAsync})
            for (int i = 0; i < n; ++i) {
                EXPECT_EQ(Cudd_ReadPerm(m, i), 2 * i);
                EXPECT_EQ(Cudd_ReadPerm(m, n + i), 2 * i + 1);
            }
        constBddFrag(r.geneDbOrg, r.geneDbReduced, r.defaultStatus, mgr, ip, op, n, progressSink{});
        for (DdManager* m : {mgr, mgrAsync}) {
            EXPECT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1);
            for (int i = 0; i < n; ++i) {
                EXPECT_EQ(Cudd_ReadPerm(m, i) % 2, 0) << "x_" << i << " left its pair";
                EXPECT_EQ(Cudd_ReadPerm(m, n + i), Cudd_ReadPerm(m, i) + 1)
                    << "x'_" << i << " is not right below x_" << i;
            }
        }
        releaseNodes(mgr, ip);
        releaseNodes(mgr, op);
        releaseNodes(mgrAsync, ipAsync);
        releaseNodes(mgrAsync, opAsync);
        EXPECT_EQ(outstandingRefs(mgr), 0);
        EXPECT_EQ(outstandingRefs(mgrAsync), 0);
        Cudd_Quit(mgr);
        Cudd_Quit(mgrAsync);
    }
}

TEST(SymbolicDriver, EmptyNetworkHasItsOneFixedState) {
    geneDatabase geneDbOrg(2);
    geneDbOrg[0].name = "A";
    geneDbOrg[1].name = "B";
    std::vector<DdNode*> steadyStates;
    const std::string text = topFuncAsync(geneDbOrg, {}, {0, 0}, {}, steadyStates, quietRequest());
    EXPECT_EQ(text, "A   B   \n0   0   \n");
    EXPECT_TRUE(steadyStates.empty());
}

TEST(SymbolicDriver, NegativeLoopOfThreeGenes) {
    const reducedNetwork r = reducedNetworkOf(
        {rule({"B"}, {1}, "A", 1), rule({"C"}, {1}, "B", 1), rule({"A"}, {0}, "C", 1)});
    ASSERT_EQ(r.geneDbReduced.size(), 3u);
    std::vector<DdNode*> steadyStates;
    const std::string text = topFuncAsync(r.geneDbOrg, r.geneDbReduced, r.defaultStatus,
                                          r.sccTopoLvl, steadyStates, quietRequest());
    // One cyclic attractor: every state but the two that alternate fully
    // (101 and 010 over A, B, C) and lead into it.
    const resultText::attractorSet found = resultText::asSet(resultText::parse(text));
    ASSERT_EQ(found.size(), 1u) << text;
    EXPECT_EQ(found.begin()->size(), 6u) << text;
    EXPECT_TRUE(steadyStates.empty());
}

TEST(SymbolicDriver, RandomNetworksLeaveNoReferences) {
    // topFuncAsync checks both managers for outstanding references before
    // quitting them and throws when any is left.
    randomNetworkOptions options;
    options.maxGenes = 10;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        const reducedNetwork r = reducedNetworkOf(randomNetwork(seed, options));
        SCOPED_TRACE("seed " + std::to_string(seed) + ", network:\n" + networkText(r.rules));
        std::vector<DdNode*> steadyStates;
        std::string text;
        EXPECT_NO_THROW(text = topFuncAsync(r.geneDbOrg, r.geneDbReduced, r.defaultStatus,
                                            r.sccTopoLvl, steadyStates, quietRequest()));
        EXPECT_TRUE(steadyStates.empty());
        std::string header;
        for (const gene& g : r.geneDbOrg) header += g.name + "   ";
        EXPECT_EQ(text.rfind(header, 0), 0u) << text;
        if (HasFailure()) break;
    }
}

// An analysis whose reduced network is empty (managers without variables),
// between two that have variables, in one process, as a Java host may run
// them.
TEST(SymbolicDriver, EmptyNetworkBetweenOtherAnalyses) {
    const reducedNetwork withGenes = reducedNetworkOf({rule({"A"}, {0}, "A", 1)});
    const reducedNetwork empty = reducedNetworkOf({rule({"A"}, {1}, "B", 1)});
    ASSERT_EQ(withGenes.geneDbReduced.size(), 1u);
    ASSERT_TRUE(empty.geneDbReduced.empty());
    for (const reducedNetwork* r : {&withGenes, &empty, &withGenes}) {
        std::vector<DdNode*> steadyStates;
        EXPECT_NO_THROW(topFuncAsync(r->geneDbOrg, r->geneDbReduced, r->defaultStatus,
                                     r->sccTopoLvl, steadyStates, quietRequest()));
    }
}

TEST(SymbolicDriver, EngineFailureBecomesAnError) {
    EXPECT_THROW(refChecked(nullptr), quorvelError);

    // A manager limited to a few thousand bytes cannot hold the relation of
    // gene 0 = OR of (x_i AND x_(12+i)) in the order x_0 .. x_23 (about 2^12
    // nodes): the construction must stop with an error, not crash or build a
    // wrong relation.
    const int n = 25;
    geneDatabase db(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) db[static_cast<size_t>(i)].name = "g" + std::to_string(i);
    for (int i = 1; i <= 12; ++i) {
        influenceDefBool pair;
        pair.geneId = {i, 12 + i};
        pair.genePolar = {1, 1};
        db[0].inGenesPos.push_back(pair);
    }
    DdManager* mgr = openTestManager(1024, 4096);
    ASSERT_NE(mgr, nullptr);
    std::vector<DdNode*> ip, op;
    std::vector<std::string> inpName, outName;
    createVarsFragSync(mgr, ip, op, inpName, outName, n);
    std::string message;
    try {
        constBddFrag(db, db, std::vector<int>(static_cast<size_t>(n), -1), mgr, ip, op, n,
                     progressSink{});
    } catch (const quorvelError& error) {
        message = error.what();
    }
    EXPECT_NE(message.find("BDD engine failure"), std::string::npos) << message;
    Cudd_Quit(mgr);
}

}  // namespace
