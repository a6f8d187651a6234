// Synchronous image, reachability, descent and attractor search, checked on
// hand-made cases and against the explicit-state reference on random
// fragments.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "bddHandle.h"
#include "bruteForce.h"
#include "compReachFragSync.h"
#include "symbolicNetwork.h"
#include "testNetworks.h"
#include "util.h"
#include "utilFragSync.h"

namespace {

using asyncFixture::closedFragment;
using bruteForce::attractorSet;
using bruteForce::stateSet;

influenceDefBool term(std::vector<int> ids, std::vector<int> polar) {
    influenceDefBool t;
    t.geneId = std::move(ids);
    t.genePolar = std::move(polar);
    return t;
}

struct searchResult {
    std::vector<stateSet> steady, prospective;
    std::string output;
};

// Runs compSteadySync on `geneId` and reads both result arrays as states over
// the fragment (other genes 0); releases everything and checks the manager
// is left without references.
searchResult runSearch(symbolicNetwork& net, const std::vector<int>& geneId) {
    searchResult result;
    std::vector<DdNode*> steadyStates, steadyFalse;
    testing::internal::CaptureStdout();
    compSteadySync(net.mgr, net.op, net.ip, geneId, net.inpCubeFwd, net.inpCubeBwd, net.nInpVar,
                   steadyStates, steadyFalse);
    result.output = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(chkConstant(net.op, geneId)) << "the search ended with space left";
    for (DdNode* s : steadyStates)
        result.steady.push_back(bruteForce::statesOfBdd(net.mgr, s, net.nInpVar, geneId));
    for (DdNode* s : steadyFalse)
        result.prospective.push_back(bruteForce::statesOfBdd(net.mgr, s, net.nInpVar, geneId));
    releaseNodes(net.mgr, steadyStates);
    releaseNodes(net.mgr, steadyFalse);
    EXPECT_EQ(releaseAndCheck(net), 0) << "references left after the search";
    return result;
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++count;
    return count;
}

// ---- Hand-made cases ------------------------------------------------------

TEST(SyncSearch, SelfNegatingGeneIsOneAttractorChangingOneGenePerStep) {
    symbolicNetwork net;
    encodeNetwork(net, selfNegating(1));
    const searchResult r = runSearch(net, {0});
    ASSERT_EQ(r.steady.size(), 1u);
    EXPECT_EQ(r.steady[0], (stateSet{{0}, {1}}));
    EXPECT_TRUE(r.prospective.empty());
    EXPECT_EQ(countOf(r.output, "recurrent state\n"), 1u);
}

TEST(SyncSearch, TwoSelfNegatingGenesGiveTwoProspectiveCycles) {
    symbolicNetwork net;
    encodeNetwork(net, selfNegating(2));
    const searchResult r = runSearch(net, {0, 1});
    EXPECT_TRUE(r.steady.empty());
    const std::set<stateSet> got(r.prospective.begin(), r.prospective.end());
    EXPECT_EQ(r.prospective.size(), 2u);
    EXPECT_EQ(got, (std::set<stateSet>{{{0, 0}, {1, 1}}, {{0, 1}, {1, 0}}}));
    EXPECT_EQ(countOf(r.output, "prospective steady state\n"), 2u);
}

TEST(SyncSearch, SteadyStateGoesToSteadyStates) {
    // g0 keeps itself on; g1 follows g0: steady states 00 and 11, and 10 -> 11.
    geneDatabase db = namedGenes(2);
    db[0].inGenesPos.push_back(term({0}, {1}));
    db[1].inGenesPos.push_back(term({0}, {1}));
    symbolicNetwork net;
    encodeNetwork(net, db);
    const searchResult r = runSearch(net, {0, 1});
    const std::set<stateSet> got(r.steady.begin(), r.steady.end());
    EXPECT_EQ(got, (std::set<stateSet>{{{0, 0}}, {{1, 1}}}));
    EXPECT_EQ(r.steady.size(), 2u);
    EXPECT_TRUE(r.prospective.empty());
}

TEST(SyncSearch, WholeBasinOfAFixedPointIsRemovedInOnePass) {
    // Every gene's only activating term (x_i AND NOT x_i) never holds: all 8
    // states reach 000 in one step, so the first backward image is the whole
    // space.
    geneDatabase db = namedGenes(3);
    for (int i = 0; i < 3; ++i)
        db[static_cast<size_t>(i)].inGenesPos.push_back(term({i, i}, {1, 0}));
    symbolicNetwork net;
    encodeNetwork(net, db);
    const searchResult r = runSearch(net, {0, 1, 2});
    ASSERT_EQ(r.steady.size(), 1u);
    EXPECT_EQ(r.steady[0], (stateSet{{0, 0, 0}}));
    EXPECT_TRUE(r.prospective.empty()) << "states of the basin were left in the space";
    EXPECT_EQ(countOf(r.output, "computing forward reachable states"), 1u);
}

// One gene whose relation lets `from` move to either value and keeps the
// other value in place: `from` is transient, the other value a steady state.
void transientCase(int from, std::string& output, std::vector<stateSet>& steady,
                   std::vector<stateSet>& prospective) {
    symbolicNetwork net;
    encodeNetwork(net, namedGenes(1));
    DdNode* x = net.ip[0];
    DdNode* xNext = net.ip[1];
    // from -> anything; (1 - from) -> (1 - from).
    replaceOwned(net.op[0], from == 0
                                ? bddResult(net.mgr, Cudd_bddOr(net.mgr, Cudd_Not(x), xNext))
                                : bddResult(net.mgr, Cudd_bddOr(net.mgr, x, Cudd_Not(xNext))));
    const searchResult r = runSearch(net, {0});
    output = r.output;
    steady = r.steady;
    prospective = r.prospective;
}

TEST(SyncSearch, TransientStartStillRemovesItsBackwardSet) {
    // Whichever start the engine picks, one of the two mirror cases begins in
    // its transient state; both must end with exactly their steady state.
    std::string outputs;
    for (int from = 0; from < 2; ++from) {
        SCOPED_TRACE("transient state " + std::to_string(from));
        std::string output;
        std::vector<stateSet> steady, prospective;
        transientCase(from, output, steady, prospective);
        ASSERT_EQ(steady.size(), 1u) << output;
        EXPECT_EQ(steady[0], (stateSet{{1 - from}}));
        EXPECT_TRUE(prospective.empty()) << output;
        outputs += output;
    }
    EXPECT_GE(countOf(outputs, "transient state\n"), 1u) << outputs;
}

// ---- Reachability, descent and helpers --------------------------------------

// x' = rotation of x: 100 -> 010 -> 001 -> 100.
geneDatabase rotation3() {
    geneDatabase db = namedGenes(3);
    db[0].inGenesPos.push_back(term({2}, {1}));
    db[1].inGenesPos.push_back(term({0}, {1}));
    db[2].inGenesPos.push_back(term({1}, {1}));
    return db;
}

TEST(SyncReach, ForwardAroundACycleOfThree) {
    symbolicNetwork net;
    encodeNetwork(net, rotation3());
    bddHandle start = stateBdd(net, {0, 1, 2}, {1, 0, 0});
    testing::internal::CaptureStdout();
    bddHandle reached = bddHandle::adopt(
        net.mgr, compReachStatesFragSync(net.mgr, net.op, net.ip, {0, 1, 2}, start.get(),
                                         net.inpCubeFwd, net.nInpVar, 0));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "1   2   3   4   next state evaluates to 1 with possible depth  4\n\n"
              "minimum number of states 3\n");
    EXPECT_EQ(bruteForce::statesOfBdd(net.mgr, reached.get(), 3, {0, 1, 2}),
              (stateSet{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
    reached.reset();
    start.reset();
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(SyncReach, ForwardFromASteadyState) {
    symbolicNetwork net;
    encodeNetwork(net, rotation3());
    bddHandle start = stateBdd(net, {0, 1, 2}, {0, 0, 0});
    testing::internal::CaptureStdout();
    bddHandle reached = bddHandle::adopt(
        net.mgr, compReachStatesFragSync(net.mgr, net.op, net.ip, {0, 1, 2}, start.get(),
                                         net.inpCubeFwd, net.nInpVar, 0));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "1   2   next state evaluates to 1 with possible depth  2\n\n"
              "minimum number of states 1\n");
    EXPECT_EQ(reached, start);
    reached.reset();
    start.reset();
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(SyncReach, BackwardReachesEveryPredecessorEvenWhenTheImageIsEverything) {
    // Two genes that are always switched off: every state reaches 00 in one
    // step, so the backward image of 00 is the whole space.
    geneDatabase db = namedGenes(2);
    for (int i = 0; i < 2; ++i)
        db[static_cast<size_t>(i)].inGenesPos.push_back(term({i, i}, {1, 0}));
    symbolicNetwork net;
    encodeNetwork(net, db);
    bddHandle start = stateBdd(net, {0, 1}, {0, 0});
    bddHandle startNext = bddResult(
        net.mgr, Cudd_bddSwapVariables(net.mgr, start.get(), net.ip.data(), net.ip.data() + 2, 2));
    testing::internal::CaptureStdout();
    bddHandle back = bddHandle::adopt(
        net.mgr, compReachStatesFragSync(net.mgr, net.op, net.ip, {0, 1}, startNext.get(),
                                         net.inpCubeBwd, net.nInpVar, 1));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(back.get(), Cudd_ReadOne(net.mgr));
    for (bddHandle* node : {&back, &startNext, &start}) node->reset();
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(SyncReach, BackwardFromNextStateSetContainsTheSet) {
    symbolicNetwork net;
    encodeNetwork(net, rotation3());
    bddHandle start = stateBdd(net, {0, 1, 2}, {0, 1, 0});
    bddHandle startNext = bddResult(
        net.mgr, Cudd_bddSwapVariables(net.mgr, start.get(), net.ip.data(), net.ip.data() + 3, 3));
    testing::internal::CaptureStdout();
    bddHandle back = bddHandle::adopt(
        net.mgr, compReachStatesFragSync(net.mgr, net.op, net.ip, {0, 1, 2}, startNext.get(),
                                         net.inpCubeBwd, net.nInpVar, 1));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(checkInclusion(net.mgr, back.get(), startNext.get()));
    bddHandle backCurrent = bddResult(
        net.mgr, Cudd_bddSwapVariables(net.mgr, back.get(), net.ip.data(), net.ip.data() + 3, 3));
    EXPECT_EQ(bruteForce::statesOfBdd(net.mgr, backCurrent.get(), 3, {0, 1, 2}),
              (stateSet{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}));
    for (bddHandle* node : {&backCurrent, &back, &startNext, &start}) node->reset();
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(SyncReach, ConstantInitialSets) {
    symbolicNetwork net;
    encodeNetwork(net, rotation3());
    testing::internal::CaptureStdout();
    bddHandle fromEmpty =
        bddHandle::adopt(net.mgr, compReachStatesFragSync(net.mgr, net.op, net.ip, {0, 1, 2},
                                                          Cudd_ReadLogicZero(net.mgr),
                                                          net.inpCubeFwd, net.nInpVar, 0));
    bddHandle fromAll = bddHandle::adopt(
        net.mgr, compReachStatesFragSync(net.mgr, net.op, net.ip, {0, 1, 2}, Cudd_ReadOne(net.mgr),
                                         net.inpCubeFwd, net.nInpVar, 0));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(countOf(out, "possible depth  0\n"), 2u);
    EXPECT_EQ(fromEmpty.get(), Cudd_ReadLogicZero(net.mgr));
    EXPECT_EQ(fromAll.get(), Cudd_ReadOne(net.mgr));  // everything is reachable from everything
    fromEmpty.reset();
    fromAll.reset();
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(SyncReach, GenesOutsideTheFragmentStayFree) {
    symbolicNetwork net;
    encodeNetwork(net, rotation3());
    bddHandle start = stateBdd(net, {0, 1, 2}, {1, 0, 0});
    // Only gene 1 moves: its next value is x_0 = 1; genes 0 and 2 are free.
    bddHandle image =
        bddHandle::adopt(net.mgr, compImageFragSync(net.mgr, net.op, net.ip, {1}, net.inpCubeFwd,
                                                    start.get(), net.nInpVar, 0));
    EXPECT_EQ(image.get(), net.ip[1]);
    image.reset();
    start.reset();
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(SyncReach, RandomDescentEndsOnTheCycle) {
    symbolicNetwork net;
    encodeNetwork(net, rotation3());
    testing::internal::CaptureStdout();
    bddHandle state = bddHandle::adopt(
        net.mgr,
        compRandomStateFragSync(net.mgr, net.ip, net.op, {0, 1, 2}, net.inpCubeFwd, net.nInpVar));
    testing::internal::GetCapturedStdout();
    const stateSet got = bruteForce::statesOfBdd(net.mgr, state.get(), 3, {0, 1, 2});
    ASSERT_EQ(got.size(), 1u);
    // Every attractor of the rotation (000, 111, the two cycles of three) has
    // a length dividing 3: a state on its cycle is back after three steps.
    bddHandle walk = state;
    for (int step = 0; step < 3; ++step)
        walk = bddHandle::adopt(
            net.mgr, compImageFragSync(net.mgr, net.op, net.ip, {0, 1, 2}, net.inpCubeFwd,
                                       walk.get(), net.nInpVar, 0));
    EXPECT_EQ(walk, state);
    walk.reset();
    state.reset();
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(SyncHelpers, PickMintermMakeBddInclusionConstant) {
    symbolicNetwork net;
    encodeNetwork(net, rotation3());
    {
        // The results are released at the end of this block, before the check.
        const bddHandle s = stateBdd(net, {0, 1}, {1, 0});
        const bddHandle picked = bddHandle::adopt(
            net.mgr, pickMinterm(net.mgr, s.get(), net.ip, {0, 1}, net.nInpVar, 0));
        EXPECT_EQ(picked, s);
        const bddHandle fromOne = bddHandle::adopt(
            net.mgr, pickMinterm(net.mgr, Cudd_ReadOne(net.mgr), net.ip, {0, 1}, net.nInpVar, 0));
        EXPECT_EQ(fromOne, stateBdd(net, {0, 1}, {0, 0}));
        // Read at the next-state half: x'_0 = 1 becomes the current-state literal x_0.
        const bddHandle nextOn =
            bddHandle::adopt(net.mgr, pickMinterm(net.mgr, net.ip[3], net.ip, {0}, net.nInpVar, 1));
        EXPECT_EQ(nextOn.get(), net.ip[0]);

        const char literals[] = {1, 0, 2};
        EXPECT_EQ(bddHandle::adopt(net.mgr, makeBdd(net.mgr, net.ip, literals, 3)), s);
        const char free[] = {2, 2, 2};
        EXPECT_EQ(bddHandle::adopt(net.mgr, makeBdd(net.mgr, net.ip, free, 3)).get(),
                  Cudd_ReadOne(net.mgr));

        DdNode* zero = Cudd_ReadLogicZero(net.mgr);
        EXPECT_TRUE(checkInclusion(net.mgr, s.get(), s.get()));
        EXPECT_FALSE(checkInclusion(net.mgr, zero, s.get()));
        EXPECT_TRUE(checkInclusion(net.mgr, s.get(), zero));
        EXPECT_TRUE(checkInclusion(net.mgr, net.ip[0], s.get()));
        EXPECT_FALSE(checkInclusion(net.mgr, s.get(), net.ip[0]));

        EXPECT_FALSE(chkConstant(net.op, {0, 1, 2}));
        std::vector<DdNode*> withConstant = {net.op[0], zero};
        EXPECT_TRUE(chkConstant(withConstant, {1}));
        EXPECT_FALSE(chkConstant(withConstant, {0}));
    }
    EXPECT_EQ(releaseAndCheck(net), 0);
}

TEST(SyncHelpers, FailedPickIsReportedNotFatal) {
    symbolicNetwork net;
    encodeNetwork(net, rotation3());
    std::string line;
    try {
        pickMinterm(net.mgr, Cudd_ReadLogicZero(net.mgr), net.ip, {0}, net.nInpVar, 0);
    } catch (const fatalCondition& fatal) {
        line = fatal.what();
    }
    EXPECT_EQ(line.rfind("error in printing cube::: status is ", 0), 0u) << line;
    EXPECT_EQ(releaseAndCheck(net), 0);
}

// ---- Differential check against the explicit-state reference --------------

// A random database of named genes: terms of zero to three literals,
// regulators drawn from every gene (self-loops, repeated and negated
// regulators included), genes with no terms, only activating or only
// inhibiting terms. Its own generator (not asyncFixture::randomDatabase):
// the networks of this file's seeds are drawn from this stream.
geneDatabase randomNamedDatabase(std::mt19937& rng, int n) {
    geneDatabase db = namedGenes(n);
    std::uniform_int_distribution<int> geneDist(0, n - 1), small(0, 2), lits(0, 3), coin(0, 1);
    for (gene& g : db) {
        for (auto* terms : {&g.inGenesPos, &g.inGenesNeg}) {
            const int nTerms = small(rng);
            for (int t = 0; t < nTerms; ++t) {
                influenceDefBool tm;
                const int nLits = std::max(lits(rng), coin(rng));  // rarely empty
                for (int k = 0; k < nLits; ++k) {
                    tm.geneId.push_back(geneDist(rng));
                    tm.genePolar.push_back(coin(rng));
                }
                terms->push_back(tm);
            }
        }
    }
    return db;
}

// True when every synchronous step inside the attractor changes at most one
// gene of the fragment.
bool oneChangePerStep(const geneDatabase& db, const stateSet& attractor,
                      const std::vector<int>& geneId) {
    for (const bruteForce::state& x : attractor) {
        int changes = 0;
        for (int g : geneId)
            if (bruteForce::nextValue(db, g, x) != x[static_cast<size_t>(g)]) ++changes;
        if (changes > 1) return false;
    }
    return true;
}

// A random set of states of `genes`: the union of a few random states,
// over current-state variables.
bddHandle randomStates(symbolicNetwork& net, std::mt19937& rng, const std::vector<int>& genes) {
    bddHandle set = bddZero(net.mgr);
    const int count = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < count; ++k) {
        std::vector<int> values;
        for (size_t g = 0; g < genes.size(); ++g) values.push_back(static_cast<int>(rng() % 2));
        const bddHandle state = stateBdd(net, genes, values);
        set = bddResult(net.mgr, Cudd_bddOr(net.mgr, set.get(), state.get()));
    }
    return set;
}

// op[g] := op[g] AND NOT removed(x) AND NOT removed(x') for the fragment,
// as the searches and the composition narrow relations.
void narrowBothSides(symbolicNetwork& net, const std::vector<int>& geneId, DdNode* removed) {
    const bddHandle removedNext =
        bddResult(net.mgr, Cudd_bddSwapVariables(net.mgr, removed, net.ip.data(),
                                                 net.ip.data() + net.nInpVar, net.nInpVar));
    for (int g : geneId)
        for (DdNode* side : {removed, removedNext.get()}) {
            DdNode*& rel = net.op[static_cast<size_t>(g)];
            replaceOwned(rel, bddResult(net.mgr, Cudd_bddAnd(net.mgr, rel, Cudd_Not(side))));
        }
}

// Backward search by layers of compImageFragSync, the relational product
// taken as the reference; sets over x'.
bddHandle relationalBackwardSearch(symbolicNetwork& net, const std::vector<int>& geneId,
                                   DdNode* start) {
    bddHandle reached(net.mgr, start);
    bddHandle frontier(net.mgr, start);
    while (frontier.get() != Cudd_ReadLogicZero(net.mgr)) {
        const bddHandle image = bddHandle::adopt(
            net.mgr, compImageFragSync(net.mgr, net.op, net.ip, geneId, net.inpCubeBwd,
                                       frontier.get(), net.nInpVar, 1));
        frontier = bddResult(net.mgr, Cudd_bddAnd(net.mgr, image.get(), Cudd_Not(reached.get())));
        reached = bddResult(net.mgr, Cudd_bddOr(net.mgr, reached.get(), frontier.get()));
    }
    return reached;
}

// The backward search takes its images by substitution when every relation
// is a function of the current state; it must give exactly the sets of the
// relational product, also on relations narrowed on both sides and on a
// relation that lets its gene take either value (where it must fall back).
TEST(SyncReachDifferential, BackwardSearchEqualsRelationalLayers) {
    for (unsigned seed = 1; seed <= 120; ++seed) {
        std::mt19937 rng(seed);
        const int n = 2 + static_cast<int>(seed % 7);
        const geneDatabase db = randomNamedDatabase(rng, n);
        std::uniform_int_distribution<int> geneDist(0, n - 1);
        const std::vector<int> geneId = closedFragment(db, {geneDist(rng)});
        const unsigned variant = seed % 3;  // plain, narrowed, one gene free
        SCOPED_TRACE("seed " + std::to_string(seed) + ", variant " + std::to_string(variant) +
                     ", network:\n" + bruteForce::toString(db));
        symbolicNetwork net;
        encodeNetwork(net, db);
        if (variant == 1) {
            narrowBothSides(net, geneId, randomStates(net, rng, geneId).get());
        } else if (variant == 2) {
            // Where `loose` holds, gene geneId[0] may take either next value.
            const bddHandle loose = randomStates(net, rng, geneId);
            DdNode*& rel = net.op[static_cast<size_t>(geneId[0])];
            replaceOwned(rel, bddResult(net.mgr, Cudd_bddOr(net.mgr, rel, loose.get())));
        }
        bddHandle target = randomStates(net, rng, geneId);
        bddHandle targetNext = bddResult(
            net.mgr,
            Cudd_bddSwapVariables(net.mgr, target.get(), net.ip.data(), net.ip.data() + n, n));
        testing::internal::CaptureStdout();
        bddHandle got = bddHandle::adopt(
            net.mgr, compReachStatesFragSync(net.mgr, net.op, net.ip, geneId, targetNext.get(),
                                             net.inpCubeBwd, net.nInpVar, 1));
        testing::internal::GetCapturedStdout();
        bddHandle want = relationalBackwardSearch(net, geneId, targetNext.get());
        EXPECT_EQ(got, want);
        for (bddHandle* node : {&got, &want, &targetNext, &target}) node->reset();
        EXPECT_EQ(releaseAndCheck(net), 0);
        if (HasFailure()) break;
    }
}

TEST(SyncSearchDifferential, RandomFragmentsMatchBruteForce) {
    int fragments = 0;
    for (unsigned seed = 1; seed <= 260; ++seed) {
        std::mt19937 rng(seed);
        const int n = 1 + static_cast<int>(seed % 10);
        const geneDatabase db = randomNamedDatabase(rng, n);
        std::uniform_int_distribution<int> geneDist(0, n - 1);
        const std::vector<int> geneId = closedFragment(db, {geneDist(rng)});
        SCOPED_TRACE("seed " + std::to_string(seed) + ", fragment of " +
                     std::to_string(geneId.size()) + " genes, network:\n" +
                     bruteForce::toString(db));

        const attractorSet expected = bruteForce::restrictToZeroOutside(
            bruteForce::syncAttractors(n, bruteForce::updateOf(db), geneId), geneId);

        symbolicNetwork net;
        encodeNetwork(net, db);
        const searchResult r = runSearch(net, geneId);
        ++fragments;

        attractorSet got;
        for (const stateSet& s : r.steady) {
            EXPECT_TRUE(oneChangePerStep(db, s, geneId))
                << "kept although a step changes several genes: " << bruteForce::toString(s);
            got.insert(s);
        }
        for (const stateSet& s : r.prospective) {
            EXPECT_FALSE(oneChangePerStep(db, s, geneId))
                << "set apart although it changes one gene per step: " << bruteForce::toString(s);
            got.insert(s);
        }
        EXPECT_EQ(got.size(), r.steady.size() + r.prospective.size()) << "an attractor came twice";
        EXPECT_EQ(got, expected) << "got " << bruteForce::toString(got) << "\nexpected "
                                 << bruteForce::toString(expected);
        if (HasFailure()) break;
    }
    EXPECT_GE(fragments, 200);
}

}  // namespace
