// Asynchronous image, reachability and descent: edge cases, progress lines,
// and images checked against one step of the explicit-state graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "asyncFixture.h"
#include "bddHandle.h"
#include "bruteForce.h"
#include "engineChecks.h"
#include "testNetworks.h"
#include "utilFragAsync.h"

using namespace asyncFixture;
using bruteForce::state;
using bruteForce::stateSet;

namespace {

// One manager with the relations of db; releases everything and checks that
// no reference is left when the test ends.
struct imageCase {
    bddSpace space;
    std::vector<DdNode*> op;
    bddArray held;  // results the test keeps; released at the end

    imageCase(const geneDatabase& db, bool sifting = false)
        : space(openSpace(static_cast<int>(db.size()), sifting)), op(relationsOf(space, db)) {}
    ~imageCase() {
        held.clear();
        releaseNodes(space.mgr, op);
        EXPECT_EQ(closeSpace(space), 0);
    }
    // Takes over a referenced result (null allowed) and lends it.
    DdNode* keep(DdNode* node) { return keep(bddHandle::adopt(space.mgr, node)); }
    DdNode* keep(bddHandle node) {
        held.push_back(std::move(node));
        return held.back().get();
    }
    DdNode* state(const std::vector<int>& genes, const bruteForce::state& x) {
        return keep(stateNode(space, genes, x));
    }
    DdNode* swapped(DdNode* set) {
        return keep(bddResult(
            space.mgr, Cudd_bddSwapVariables(space.mgr, set, space.ip.data(),
                                             space.ip.data() + space.nInpVar, space.nInpVar)));
    }
    stateSet states(DdNode* set) {
        return bruteForce::statesOfBdd(space.mgr, set, space.nInpVar,
                                       bruteForce::allGenes(space.nInpVar));
    }
};

}  // namespace

TEST(AsyncImage, emptyFragmentGivesTheEmptySet) {
    imageCase c(selfNegating(2));
    DdNode* start = c.state({0, 1}, {1, 0});
    DdNode* image =
        c.keep(compImageFragAsync(c.space.mgr, c.op, c.space.ip, {}, c.space.inpCubeFwd, start,
                                  c.space.topSame, Cudd_ReadLogicZero(c.space.mgr), 2));
    EXPECT_EQ(image, Cudd_ReadLogicZero(c.space.mgr));
}

TEST(AsyncImage, imagesAndSearchesMatchTheExplicitGraph) {
    // Random networks: the image of a random set is the set of its one-step
    // successors (predecessors), less the excluded set.
    // Both must occur: a domain that cuts the forward closure, and one that
    // does not.
    int boundedKept = 0, boundedLeft = 0, coveredSome = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const int n = 1 + static_cast<int>(seed % 6);
        const geneDatabase db = randomDatabase(seed, n, false);
        imageCase c(db, seed % 2 == 0);
        std::mt19937 rng(seed);
        const std::vector<int> fragment = randomClosedFragment(seed, db);
        stateSet startStates, excluded;
        DdNode* start = c.keep(bddZero(c.space.mgr));
        DdNode* reached = c.keep(bddZero(c.space.mgr));
        const std::vector<int> all = bruteForce::allGenes(n);
        for (unsigned k = 0; k < (1u << n); ++k) {
            const state x = bruteForce::stateOfIndex(n, k);
            const bddHandle node = stateNode(c.space, all, x);
            if (rng() % 3 == 0) {
                startStates.insert(x);
                start = c.keep(bddResult(c.space.mgr, Cudd_bddOr(c.space.mgr, start, node.get())));
            }
            if (rng() % 4 == 0) {
                excluded.insert(x);
                reached =
                    c.keep(bddResult(c.space.mgr, Cudd_bddOr(c.space.mgr, reached, node.get())));
            }
        }
        const auto f = bruteForce::updateOf(db);
        stateSet successors, predecessors;
        for (unsigned k = 0; k < (1u << n); ++k) {
            const state x = bruteForce::stateOfIndex(n, k);
            for (int g : fragment) {
                state y = x;
                y[static_cast<size_t>(g)] = f(g, x);
                if (startStates.count(x) && !excluded.count(y)) successors.insert(y);
                if (startStates.count(y) && !excluded.count(x)) predecessors.insert(x);
            }
        }
        DdNode* forward =
            c.keep(compImageFragAsync(c.space.mgr, c.op, c.space.ip, fragment, c.space.inpCubeFwd,
                                      start, c.space.topSame, reached, n));
        EXPECT_EQ(c.states(forward), successors)
            << "seed " << seed << "\n"
            << bruteForce::toString(db) << fragmentText(fragment);
        DdNode* backward =
            c.keep(compImageFragAsync(c.space.mgr, c.op, c.space.ip, fragment, c.space.inpCubeBwd,
                                      c.swapped(start), c.space.topSame, c.swapped(reached), n));
        EXPECT_EQ(c.states(c.swapped(backward)), predecessors)
            << "seed " << seed << "\n"
            << bruteForce::toString(db) << fragmentText(fragment);

        // The searches against the explicit closures of the start set.
        stateSet ahead = startStates, behind = startStates;
        for (bool grew = true; grew;) {
            grew = false;
            for (unsigned k = 0; k < (1u << n); ++k) {
                const state x = bruteForce::stateOfIndex(n, k);
                for (int g : fragment) {
                    state y = x;
                    y[static_cast<size_t>(g)] = f(g, x);
                    if (ahead.count(x) && ahead.insert(y).second) grew = true;
                    if (behind.count(y) && behind.insert(x).second) grew = true;
                }
            }
        }
        DdNode* reachedAhead = nullptr;
        DdNode* reachedBehind = nullptr;
        captureOutput([&] {
            reachedAhead =
                c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip, start,
                                                c.space.inpCubeFwd, fragment, c.space.topSame, n));
            reachedBehind =
                c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip, c.swapped(start),
                                                c.space.inpCubeBwd, fragment, c.space.topSame, n));
        });
        EXPECT_EQ(c.states(reachedAhead), ahead)
            << "seed " << seed << "\n"
            << bruteForce::toString(db) << fragmentText(fragment);
        EXPECT_EQ(c.states(c.swapped(reachedBehind)), behind)
            << "seed " << seed << "\n"
            << bruteForce::toString(db) << fragmentText(fragment);

        // The searches confined to a random domain holding the start set
        // (the pass's recurrence test runs the backward one inside the
        // forward set): the explicit closures whose every state lies inside.
        stateSet domainStates = startStates;
        DdNode* domain = start;
        for (unsigned k = 0; k < (1u << n); ++k) {
            const state x = bruteForce::stateOfIndex(n, k);
            if (rng() % 3 == 0) continue;
            domainStates.insert(x);
            const bddHandle node = stateNode(c.space, all, x);
            domain = c.keep(bddResult(c.space.mgr, Cudd_bddOr(c.space.mgr, domain, node.get())));
        }
        stateSet aheadInside = startStates, behindInside = startStates;
        for (bool grew = true; grew;) {
            grew = false;
            for (unsigned k = 0; k < (1u << n); ++k) {
                const state x = bruteForce::stateOfIndex(n, k);
                if (!domainStates.count(x)) continue;
                for (int g : fragment) {
                    state y = x;
                    y[static_cast<size_t>(g)] = f(g, x);
                    if (!domainStates.count(y)) continue;
                    if (aheadInside.count(x) && aheadInside.insert(y).second) grew = true;
                    if (behindInside.count(y) && behindInside.insert(x).second) grew = true;
                }
            }
        }
        DdNode* insideAhead = nullptr;
        DdNode* insideBehind = nullptr;
        DdNode* coveringBehind = nullptr;
        bool coveredAll = false;
        captureOutput([&] {
            const fragAsync frag{
                c.space.mgr,     c.op, c.space.ip, fragment, c.space.inpCubeFwd, c.space.inpCubeBwd,
                c.space.topSame, n};
            const geneMoves moves = makeGeneMoves(frag);
            insideAhead = c.keep(
                compReachStatesInsideAsync(frag, moves, start, domain, searchDirection::forward)
                    .release());
            insideBehind = c.keep(
                compReachStatesInsideAsync(frag, moves, start, domain, searchDirection::backward)
                    .release());
            // Asked to stop once the domain is covered: the same set, and
            // covered exactly when that set is the whole domain.
            bool covered = false;
            coveringBehind = c.keep(compReachStatesInsideAsync(frag, moves, start, domain,
                                                               searchDirection::backward, &covered)
                                        .release());
            coveredAll = covered;
        });
        EXPECT_EQ(c.states(coveringBehind), behindInside)
            << "seed " << seed << "\n"
            << bruteForce::toString(db) << fragmentText(fragment);
        EXPECT_EQ(coveredAll, behindInside == domainStates) << "seed " << seed;
        coveredSome += coveredAll;
        EXPECT_EQ(c.states(insideAhead), aheadInside)
            << "seed " << seed << "\n"
            << bruteForce::toString(db) << fragmentText(fragment);
        EXPECT_EQ(c.states(insideBehind), behindInside)
            << "seed " << seed << "\n"
            << bruteForce::toString(db) << fragmentText(fragment);
        ++(aheadInside == ahead ? boundedKept : boundedLeft);
    }
    EXPECT_GT(boundedKept, 0);
    EXPECT_GT(boundedLeft, 0);
    EXPECT_GT(coveredSome, 0);
}

TEST(AsyncReach, emptyFragmentReturnsTheStartSet) {
    imageCase c(selfNegating(2));
    DdNode* start = c.state({0, 1}, {1, 0});
    DdNode* reached = nullptr;
    captureOutput([&] {
        reached = c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip, start,
                                                  c.space.inpCubeFwd, {}, c.space.topSame, 2));
    });
    EXPECT_EQ(c.states(reached), states({"10"}));
    EXPECT_EQ(reached, start);
}

TEST(AsyncReach, emptyStartSet) {
    imageCase c(selfNegating(2));
    DdNode* reached = nullptr;
    captureOutput([&] {
        reached = c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip,
                                                  Cudd_ReadLogicZero(c.space.mgr),
                                                  c.space.inpCubeFwd, {0, 1}, c.space.topSame, 2));
    });
    EXPECT_TRUE(c.states(reached).empty());
    EXPECT_EQ(reached, Cudd_ReadLogicZero(c.space.mgr));
}

TEST(AsyncReach, fixedPointReachesOnlyItself) {
    // g0 <- +(g0), g1 <- +(g1): every state is steady.
    geneDatabase db(2);
    addTerm(db, 0, true, {{0, 1}});
    addTerm(db, 1, true, {{1, 1}});
    imageCase c(db);
    DdNode* start = c.state({0, 1}, {1, 0});
    DdNode* reached = nullptr;
    captureOutput([&] {
        reached = c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip, start,
                                                  c.space.inpCubeFwd, {0, 1}, c.space.topSame, 2));
    });
    EXPECT_EQ(c.states(reached), states({"10"}));
    EXPECT_EQ(reached, start);
}

TEST(AsyncReach, saturationExhaustsTheBottomGeneFirst) {
    // Two self-negating genes from 00. Gene 1 (the lower in the order) adds
    // 01; the scan goes on from gene 1 (no gene linked to it lies lower),
    // which adds nothing and gene 0 adds 10 and 11;
    // the last scan adds nothing and its counter ends the search. The
    // counter's line is the one sign of the order of the scans (any order
    // reaches the same set).
    imageCase c(selfNegating(2));
    DdNode* start = c.state({0, 1}, {0, 0});
    DdNode* reached = nullptr;
    const std::string out = captureOutput([&] {
        reached = c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip, start,
                                                  c.space.inpCubeFwd, {0, 1}, c.space.topSame, 2));
    });
    EXPECT_EQ(out.substr(0, out.find('\n')), "1   2   3   ");
    EXPECT_EQ(reached, Cudd_ReadOne(c.space.mgr));
}

TEST(AsyncReach, backwardFromAStateNothingReaches) {
    // g0 <- +(): gene 0 always moves to 1, so no state steps into x0 = 0.
    geneDatabase db(1);
    addTerm(db, 0, true, {});
    imageCase c(db);
    DdNode* start = c.state({0}, {0});
    DdNode* reached = nullptr;
    captureOutput([&] {
        reached = c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip, c.swapped(start),
                                                  c.space.inpCubeBwd, {0}, c.space.topSame, 1));
    });
    EXPECT_EQ(c.swapped(reached), start);
}

TEST(AsyncReach, genesOutsideTheFragmentNeverMove) {
    // Fragment {0} of two self-negating genes: gene 1 keeps what the start
    // set says about it, fixed or free.
    imageCase c(selfNegating(2));
    DdNode* fixed = c.state({0, 1}, {0, 1});
    DdNode* free = c.state({0}, {0});
    DdNode* fromFixed = nullptr;
    DdNode* fromFree = nullptr;
    captureOutput([&] {
        fromFixed = c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip, fixed,
                                                    c.space.inpCubeFwd, {0}, c.space.topSame, 2));
        fromFree = c.keep(compReachStatesFragAsync(c.space.mgr, c.op, c.space.ip, free,
                                                   c.space.inpCubeFwd, {0}, c.space.topSame, 2));
    });
    EXPECT_EQ(fromFixed, c.space.ip[1]);
    EXPECT_EQ(fromFree, Cudd_ReadOne(c.space.mgr));
}

TEST(AsyncDescent, emptyFragmentGivesNoStateAndNoOutput) {
    imageCase c(selfNegating(2));
    DdNode* start = nullptr;
    const std::string out = captureOutput([&] {
        start = compRandomStateFragAsync(c.space.mgr, c.space.ip, c.op, c.space.inpCubeFwd, {},
                                         c.space.topSame, 2);
    });
    EXPECT_EQ(start, nullptr);
    EXPECT_EQ(out, "");
}

TEST(AsyncDescent, emptyStepRelationsAreReportedPerGene) {
    imageCase c(selfNegating(3));
    for (int g : {0, 2}) replaceOwned(c.op[static_cast<size_t>(g)], bddZero(c.space.mgr));
    DdNode* start = nullptr;
    const std::string out = captureOutput([&] {
        start = compRandomStateFragAsync(c.space.mgr, c.space.ip, c.op, c.space.inpCubeFwd, {2, 0},
                                         c.space.topSame, 3);
    });
    EXPECT_EQ(start, nullptr);
    EXPECT_EQ(out, "zero node seen\nzero node seen\n");
}

TEST(AsyncDescent, firstStateAFixedPoint) {
    // g0 without rules: every step of gene 0 ends in x0 = 0, a steady state.
    imageCase c(geneDatabase(1));
    DdNode* start = nullptr;
    captureOutput([&] {
        start = c.keep(compRandomStateFragAsync(c.space.mgr, c.space.ip, c.op, c.space.inpCubeFwd,
                                                {0}, c.space.topSame, 1));
    });
    EXPECT_EQ(c.states(start), states({"0"}));
    EXPECT_EQ(start, Cudd_Not(c.space.ip[0]));
}

TEST(AsyncDescent, givesOneStateOfTheFragment) {
    // A chain g0 <- +(), g1 <- +(g0), g2 <- +(g1), gene 3 outside the
    // fragment, gene 1 listed twice: one state over genes 0..2, gene 3 free.
    geneDatabase db(4);
    addTerm(db, 0, true, {});
    addTerm(db, 1, true, {{0, 1}});
    addTerm(db, 2, true, {{1, 1}});
    imageCase c(db, true);
    DdNode* start = nullptr;
    captureOutput([&] {
        start = c.keep(compRandomStateFragAsync(c.space.mgr, c.space.ip, c.op, c.space.inpCubeFwd,
                                                {2, 1, 0, 1}, c.space.topSame, 4));
    });
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(c.states(start).size(), 2u);
    EXPECT_TRUE(dependsOnlyOn(c.space, start, {0, 1, 2}));
}
