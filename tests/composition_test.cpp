// The level-by-level composition: which genes a block's search sees, and
// whole analyses of small networks whose attractors
// are known by hand.
#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "parseNetwork.h"
#include "resultText.h"
#include "util.h"

namespace {

using place = std::pair<int, int>;  // (level, position)

// Levels of blocks from each block's genes and parents; children are filled
// in from the parents, in the order the parents are listed.
struct blockShape {
    place at;
    std::vector<int> genes;
    std::vector<place> parents;
};

levelArray makeLevels(const std::vector<blockShape>& blocks) {
    levelArray levels;
    for (const blockShape& b : blocks) {
        if (levels.size() <= static_cast<size_t>(b.at.first)) levels.resize(b.at.first + 1);
        std::vector<sccTopo>& level = levels[static_cast<size_t>(b.at.first)];
        if (level.size() <= static_cast<size_t>(b.at.second)) level.resize(b.at.second + 1);
    }
    for (const blockShape& b : blocks) {
        sccTopo& record = levels[b.at.first][b.at.second];
        record.geneName = b.genes;
        record.trueScc = 1;
        for (const place& p : b.parents) {
            record.paSccLvl.push_back(p.first);
            record.paSccIndex.push_back(p.second);
            levels[p.first][p.second].chSccLvl.push_back(b.at.first);
            levels[p.first][p.second].chSccIndex.push_back(b.at.second);
        }
    }
    return levels;
}

std::vector<int> fragmentOf(const levelArray& levels, place at) {
    std::vector<int> geneId;
    makeVectorGene(levels, at.first, at.second, geneId);
    return geneId;
}

TEST(MakeVectorGene, ChainListsBlockThenParentThenGrandparent) {
    const levelArray levels =
        makeLevels({{{0, 0}, {5, 4}, {}}, {{1, 0}, {2}, {{0, 0}}}, {{2, 0}, {0, 1}, {{1, 0}}}});
    EXPECT_EQ(fragmentOf(levels, {2, 0}), (std::vector<int>{0, 1, 2, 5, 4}));
    EXPECT_EQ(fragmentOf(levels, {0, 0}), (std::vector<int>{5, 4}));
}

TEST(MakeVectorGene, AppendsWithoutClearing) {
    const levelArray levels = makeLevels({{{0, 0}, {1}, {}}});
    std::vector<int> geneId = {9};
    makeVectorGene(levels, 0, 0, geneId);
    EXPECT_EQ(geneId, (std::vector<int>{9, 1}));
}

TEST(MakeVectorGene, SharedAncestorIsListedOnceAtItsFirstOccurrence) {
    // A (level 0) -> B, C (level 1) -> D (level 2): depth first D, B, A, C.
    const levelArray levels = makeLevels({{{0, 0}, {0}, {}},
                                          {{1, 0}, {1}, {{0, 0}}},
                                          {{1, 1}, {2, 3}, {{0, 0}}},
                                          {{2, 0}, {4}, {{1, 0}, {1, 1}}}});
    EXPECT_EQ(fragmentOf(levels, {2, 0}), (std::vector<int>{4, 1, 0, 2, 3}));
}

TEST(MakeVectorGene, ParentsOnSeveralLevels) {
    // D on level 3 has parents on levels 0 and 2 (in that order).
    const levelArray levels = makeLevels({{{0, 0}, {0}, {}},
                                          {{0, 1}, {1}, {}},
                                          {{1, 0}, {2}, {{0, 1}}},
                                          {{2, 0}, {3}, {{1, 0}}},
                                          {{3, 0}, {4}, {{0, 0}, {2, 0}}}});
    EXPECT_EQ(fragmentOf(levels, {3, 0}), (std::vector<int>{4, 0, 3, 2, 1}));
}

TEST(MakeVectorGene, LadderOfFeedForwardPathsStaysLinear) {
    // 30 levels of two blocks, each block a child of both blocks of the level
    // above: 2^29 parent paths from the bottom; its fragment is the block and
    // the 58 blocks above it, each listed once.
    std::vector<blockShape> blocks;
    for (int l = 0; l < 30; ++l)
        for (int q = 0; q < 2; ++q) {
            blockShape b{{l, q}, {2 * l + q}, {}};
            if (l > 0) b.parents = {{l - 1, 0}, {l - 1, 1}};
            blocks.push_back(b);
        }
    const std::vector<int> geneId = fragmentOf(makeLevels(blocks), {29, 1});
    std::set<int> expected;
    for (int g = 0; g < 58; ++g) expected.insert(g);
    expected.insert(59);
    ASSERT_EQ(geneId.size(), 59u);
    EXPECT_EQ(std::set<int>(geneId.begin(), geneId.end()), expected);
    EXPECT_EQ(geneId[0], 59);
    EXPECT_EQ(geneId[1], 56);  // its first parent, (28, 0)
}

TEST(MakeVectorGene, LongChainInAThreadWithASmallStack) {
    // 50,000 blocks in a chain, walked in a thread of 256 KiB of stack (a
    // Java thread's stack can be as small): the walk must not take a call
    // frame per block.
    const int n = 50000;
    levelArray levels(static_cast<size_t>(n));
    for (int l = 0; l < n; ++l) {
        sccTopo block;
        block.geneName = {l};
        if (l > 0) {
            block.paSccLvl = {l - 1};
            block.paSccIndex = {0};
        }
        levels[static_cast<size_t>(l)].push_back(block);
    }
    struct job {
        const levelArray* levels;
        std::vector<int> geneId;
    } work{&levels, {}};
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void* arg) -> void* {
                      job& w = *static_cast<job*>(arg);
                      const int last = static_cast<int>(w.levels->size()) - 1;
                      makeVectorGene(*w.levels, last, 0, w.geneId);
                      return nullptr;
                  },
                  &work),
              0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attr);
    ASSERT_EQ(work.geneId.size(), static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) ASSERT_EQ(work.geneId[static_cast<size_t>(k)], n - 1 - k);
}

// ---- Whole analyses of small networks ----------------------------------------

struct analysis {
    std::string text;
    resultText::parsedResult parsed;
};

analysis analyse(const std::string& network) {
    analysis a;
    const std::string path = resultText::writeTempFile(network);
    a.text = resultText::runAnalysis(path);
    resultText::removeFile(path);
    a.parsed = resultText::parse(a.text);
    return a;
}

TEST(Composition, EmptyReducedNetworkStillReportsItsOneState) {
    // a has no rule, so a = 0 and then b = 0: the reduction removes both and
    // the network has one steady state, a = b = 0.
    const analysis a = analyse("a -> b\n");
    EXPECT_EQ(a.text, "b   a   \n0   0   \n");
}

TEST(Composition, SelfActivatorAndItsFollower) {
    const analysis a = analyse("a -> a\na -> b\n");
    ASSERT_TRUE(a.parsed.ok) << a.parsed.error << "\n" << a.text;
    EXPECT_EQ(a.parsed.genes, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(resultText::asSet(a.parsed), (resultText::attractorSet{{{0, 0}}, {{1, 1}}}));
    EXPECT_EQ(a.parsed.attractors.size(), 2u);
}

TEST(Composition, CounterRunsOnAcrossLevels) {
    // Two self-activating roots and one follower each: two levels of two blocks.
    const analysis a = analyse("a -> a\nb -> b\na -> c\nb -> d\n");
    ASSERT_TRUE(a.parsed.ok) << a.parsed.error;
    // c follows a and d follows b in each of the four settings of a and b.
    const resultText::attractorSet expected = {
        {{0, 0, 0, 0}}, {{0, 1, 0, 1}}, {{1, 0, 1, 0}}, {{1, 1, 1, 1}}};
    EXPECT_EQ(resultText::asSet(a.parsed), expected) << a.text;
}

TEST(Composition, CyclicAttractorBelowASharedAncestor) {
    // s feeds two cycles; x, y is a negative loop (a cyclic attractor) only
    // when s is on.
    const analysis a = analyse(
        "s -> s\n"
        "s&^y -> x\n"
        "x -> y\n"
        "s&u -> v\n"
        "v -> u\n");
    ASSERT_TRUE(a.parsed.ok) << a.parsed.error << "\n" << a.text;
    EXPECT_EQ(a.parsed.genes, (std::vector<std::string>{"s", "x", "y", "v", "u"}));
    // s = 0: x, y, u, v all go to 0. s = 1: x, y cycle through four states;
    // u = v either both 0 or both 1.
    resultText::attractorSet expected = {{{0, 0, 0, 0, 0}}};
    for (const int uv : {0, 1}) {
        std::set<resultText::state> cycle;
        for (const auto& xy : std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {1, 1}, {0, 1}})
            cycle.insert({1, xy.first, xy.second, uv, uv});
        expected.insert(cycle);
    }
    EXPECT_EQ(resultText::asSet(a.parsed), expected)
        << resultText::toString(resultText::asSet(a.parsed));
}

TEST(Composition, FixedGenesAreWrittenInEveryState) {
    // k is fixed on by its rule-less inhibitor; x, y form a negative loop.
    const analysis a = analyse("^z -> k\nk&^y -> x\nx -> y\n");
    ASSERT_TRUE(a.parsed.ok) << a.parsed.error << "\n" << a.text;
    EXPECT_EQ(a.parsed.genes, (std::vector<std::string>{"k", "z", "x", "y"}));
    const resultText::attractorSet expected = {
        {{1, 0, 0, 0}, {1, 0, 1, 0}, {1, 0, 1, 1}, {1, 0, 0, 1}}};
    EXPECT_EQ(resultText::asSet(a.parsed), expected) << a.text;
}

}  // namespace
