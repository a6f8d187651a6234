// The explicit-state reference on small networks whose attractors are known
// by hand.
#include <gtest/gtest.h>

#include "asyncFixture.h"
#include "bruteForce.h"

using namespace bruteForce;

namespace {

using asyncFixture::addTerm;
using asyncFixture::states;

geneDatabase emptyDb(int n) { return geneDatabase(static_cast<size_t>(n)); }

}  // namespace

TEST(BruteForceUpdate, activatingAndInhibitingTerms) {
    // g2 <- +(g0) -(g1): g0 AND NOT g1.
    geneDatabase db = emptyDb(3);
    addTerm(db, 2, true, {{0, 1}});
    addTerm(db, 2, false, {{1, 1}});
    EXPECT_EQ(nextValue(db, 2, {0, 0, 0}), 0);
    EXPECT_EQ(nextValue(db, 2, {1, 0, 0}), 1);
    EXPECT_EQ(nextValue(db, 2, {1, 1, 0}), 0);
    EXPECT_EQ(nextValue(db, 2, {0, 1, 1}), 0);
}

TEST(BruteForceUpdate, onlyInhibitingTermsGiveNotH) {
    // g1 <- -(g0 ^g1): NOT (g0 AND NOT g1).
    geneDatabase db = emptyDb(2);
    addTerm(db, 1, false, {{0, 1}, {1, 0}});
    EXPECT_EQ(nextValue(db, 1, {0, 0}), 1);
    EXPECT_EQ(nextValue(db, 1, {1, 0}), 0);
    EXPECT_EQ(nextValue(db, 1, {1, 1}), 1);
}

TEST(BruteForceUpdate, noRulesGiveZeroAndEmptyTermHolds) {
    geneDatabase db = emptyDb(2);
    addTerm(db, 1, true, {});
    EXPECT_EQ(nextValue(db, 0, {1, 1}), 0);
    EXPECT_EQ(nextValue(db, 1, {0, 0}), 1);
    EXPECT_EQ(updateVector(db, {1, 0}), (state{0, 1}));
}

TEST(BruteForceUpdate, severalActivatingTermsAreOred) {
    geneDatabase db = emptyDb(3);
    addTerm(db, 2, true, {{0, 1}});
    addTerm(db, 2, true, {{1, 0}});
    EXPECT_EQ(nextValue(db, 2, {0, 1, 0}), 0);
    EXPECT_EQ(nextValue(db, 2, {0, 0, 0}), 1);
    EXPECT_EQ(nextValue(db, 2, {1, 1, 0}), 1);
}

TEST(BruteForceAttractors, toggleSwitch) {
    geneDatabase db = emptyDb(2);
    addTerm(db, 0, false, {{1, 1}});
    addTerm(db, 1, false, {{0, 1}});
    EXPECT_EQ(asyncAttractors(2, updateOf(db)), (attractorSet{states({"10"}), states({"01"})}));
    EXPECT_EQ(syncAttractors(2, updateOf(db)),
              (attractorSet{states({"10"}), states({"01"}), states({"00", "11"})}));
}

TEST(BruteForceAttractors, negativeRingOfThree) {
    geneDatabase db = emptyDb(3);
    addTerm(db, 0, false, {{2, 1}});
    addTerm(db, 1, false, {{0, 1}});
    addTerm(db, 2, false, {{1, 1}});
    const stateSet sixCycle = states({"100", "101", "001", "011", "010", "110"});
    EXPECT_EQ(asyncAttractors(3, updateOf(db)), (attractorSet{sixCycle}));
    EXPECT_EQ(syncAttractors(3, updateOf(db)), (attractorSet{sixCycle, states({"000", "111"})}));
}

TEST(BruteForceAttractors, selfNegatingGene) {
    geneDatabase db = emptyDb(1);
    addTerm(db, 0, false, {{0, 1}});
    EXPECT_EQ(asyncAttractors(1, updateOf(db)), (attractorSet{states({"0", "1"})}));
    EXPECT_EQ(syncAttractors(1, updateOf(db)), (attractorSet{states({"0", "1"})}));
}

TEST(BruteForceAttractors, twoSelfNegatingGenes) {
    geneDatabase db = emptyDb(2);
    addTerm(db, 0, false, {{0, 1}});
    addTerm(db, 1, false, {{1, 1}});
    EXPECT_EQ(asyncAttractors(2, updateOf(db)), (attractorSet{states({"00", "01", "10", "11"})}));
    EXPECT_EQ(syncAttractors(2, updateOf(db)),
              (attractorSet{states({"00", "11"}), states({"01", "10"})}));
    // Only gene 0 moves: gene 1 keeps its value, so each of its values
    // gives its own two-state attractor, under both updates.
    const attractorSet halves{states({"00", "10"}), states({"01", "11"})};
    EXPECT_EQ(asyncAttractors(2, updateOf(db), {0}), halves);
    EXPECT_EQ(syncAttractors(2, updateOf(db), {0}), halves);
    EXPECT_EQ(restrictToZeroOutside(halves, {0}), (attractorSet{states({"00", "10"})}));
}

TEST(BruteForceAttractors, positiveSelfLoopAndConstantGene) {
    // g0 <- +(g0): two steady values; g1 without rules settles at 0.
    geneDatabase db = emptyDb(2);
    addTerm(db, 0, true, {{0, 1}});
    const attractorSet expected{states({"00"}), states({"10"})};
    EXPECT_EQ(asyncAttractors(2, updateOf(db)), expected);
    EXPECT_EQ(syncAttractors(2, updateOf(db)), expected);
}

TEST(BruteForceAttractors, fixedPointsAndCycleSideBySide) {
    // g0, g1: toggle switch (two steady states); g2, g3: g3 <- +(g2),
    // g2 <- -(g3), an oscillator of four states under both updates.
    geneDatabase db = emptyDb(4);
    addTerm(db, 0, false, {{1, 1}});
    addTerm(db, 1, false, {{0, 1}});
    addTerm(db, 2, false, {{3, 1}});
    addTerm(db, 3, true, {{2, 1}});
    const attractorSet async = asyncAttractors(4, updateOf(db));
    EXPECT_EQ(async.size(), 2u);
    for (const stateSet& attractor : async) EXPECT_EQ(attractor.size(), 4u);
    EXPECT_TRUE(async.count(states({"1000", "1010", "1011", "1001"})));
    // Fragment {2, 3} alone, genes 0 and 1 pinned at 0: the oscillator.
    EXPECT_EQ(restrictToZeroOutside(asyncAttractors(4, updateOf(db), {2, 3}), {2, 3}),
              (attractorSet{states({"0000", "0010", "0011", "0001"})}));
}

TEST(BruteForceAttractors, transientStatesAreLeftOut) {
    // g1 <- +(g0), g0 without rules: everything ends in 00.
    geneDatabase db = emptyDb(2);
    addTerm(db, 1, true, {{0, 1}});
    EXPECT_EQ(asyncAttractors(2, updateOf(db)), (attractorSet{states({"00"})}));
    EXPECT_EQ(syncAttractors(2, updateOf(db)), (attractorSet{states({"00"})}));
}

TEST(BruteForceAttractors, stateIndexRoundTrip) {
    for (unsigned k = 0; k < 64; ++k) EXPECT_EQ(indexOfState(stateOfIndex(6, k)), k);
    EXPECT_EQ(stateOfIndex(3, 1), (state{1, 0, 0}));
}

TEST(BruteForceUpdate, markersOfTheReduction) {
    // g2 <- +(g0) -(g1); g3 only inhibited by g0; g4 without terms.
    geneDatabase db = emptyDb(5);
    addTerm(db, 2, true, {{0, 1}});
    addTerm(db, 2, false, {{1, 1}});
    addTerm(db, 3, false, {{0, 1}});
    const state x{1, 0, 0, 0, 0};
    const state y{0, 1, 0, 0, 0};
    EXPECT_EQ(nextValueWithStatus(db, 2, x, 3), 0);
    EXPECT_EQ(nextValueWithStatus(db, 2, x, 2), 1);  // NOT h, activation ignored
    EXPECT_EQ(nextValueWithStatus(db, 2, y, 2), 0);
    EXPECT_EQ(nextValueWithStatus(db, 2, x, 0), 1);
    EXPECT_EQ(nextValueWithStatus(db, 2, x, -1), 1);
    EXPECT_EQ(nextValueWithStatus(db, 3, y, 0), 0);  // no activation, d = 0
    EXPECT_EQ(nextValueWithStatus(db, 3, y, -1), 1);
    EXPECT_EQ(nextValueWithStatus(db, 3, x, 1), 0);
    EXPECT_EQ(nextValueWithStatus(db, 4, x, 2), 1);
    EXPECT_EQ(nextValueWithStatus(db, 4, x, 1), 0);
    // The marker is found by name in the original database.
    geneDatabase org = emptyDb(2);
    org[0].name = "B";
    org[1].name = "A";
    geneDatabase reduced = emptyDb(1);
    reduced[0].name = "A";
    EXPECT_EQ(updateOfReduced(org, reduced, {0, 2})(0, {0}), 1);
    EXPECT_EQ(updateOfReduced(org, reduced, {2, 0})(0, {0}), 0);
}
