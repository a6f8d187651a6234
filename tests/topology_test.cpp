// Dependency graph, strongly connected components, blocks and levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "randomNetwork.h"
#include "util.h"

namespace {

using edgeList = std::vector<std::pair<int, int>>;
using ints = std::vector<int>;

// A database of n genes "g0".."g<n-1>" in which every edge u -> v is one
// activating term (u) of v, in the order given.
geneDatabase dbFromEdges(int n, const edgeList& edges) {
    geneDatabase db(static_cast<std::size_t>(n));
    for (int g = 0; g < n; ++g) db[static_cast<std::size_t>(g)].name = "g" + std::to_string(g);
    for (const auto& [u, v] : edges) {
        influenceDefBool term;
        term.geneId = {u};
        term.genePolar = {1};
        db[static_cast<std::size_t>(v)].inGenesPos.push_back(term);
    }
    return db;
}

struct topology {
    adjacencyList graph, graphTp, scc;
    levelArray levels;
    std::string output;
};

topology levelsOf(const geneDatabase& db) {
    topology t;
    t.graph.resize(db.size());
    t.graphTp.resize(db.size());
    makeGraph(db, t.graph, t.graphTp);
    testing::internal::CaptureStdout();
    computeSCCs(t.scc, t.graph, t.graphTp);
    makeSccLevels(t.scc, t.graph, t.levels);
    t.output = testing::internal::GetCapturedStdout();
    return t;
}

// The straightforward recursive search, as a reference for dfs.
void recursiveDfs(const adjacencyList& graph, ints& col, ints& finStack, int src) {
    col[static_cast<std::size_t>(src)] = 1;
    for (const int v : graph[static_cast<std::size_t>(src)])
        if (col[static_cast<std::size_t>(v)] == 0) recursiveDfs(graph, col, finStack, v);
    col[static_cast<std::size_t>(src)] = 2;
    finStack.push_back(src);
}

adjacencyList randomGraph(std::mt19937& rng, int n, int edges, bool sortedLists) {
    adjacencyList graph(static_cast<std::size_t>(n));
    for (int e = 0; e < edges; ++e)
        graph[rng() % static_cast<unsigned>(n)].push_back(
            static_cast<int>(rng() % static_cast<unsigned>(n)));
    for (ints& list : graph) {
        if (sortedLists) std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }
    return graph;
}

adjacencyList transpose(const adjacencyList& graph) {
    adjacencyList tp(graph.size());
    for (std::size_t u = 0; u < graph.size(); ++u)
        for (const int v : graph[u]) tp[static_cast<std::size_t>(v)].push_back(static_cast<int>(u));
    return tp;
}

// reach[u][v]: v can be reached from u (u reaches itself).
std::vector<std::vector<char>> reachability(const adjacencyList& graph) {
    const std::size_t n = graph.size();
    std::vector<std::vector<char>> reach(n, std::vector<char>(n, 0));
    for (std::size_t s = 0; s < n; ++s) {
        ints stack = {static_cast<int>(s)};
        reach[s][s] = 1;
        while (!stack.empty()) {
            const int u = stack.back();
            stack.pop_back();
            for (const int v : graph[static_cast<std::size_t>(u)])
                if (!reach[s][static_cast<std::size_t>(v)]) {
                    reach[s][static_cast<std::size_t>(v)] = 1;
                    stack.push_back(v);
                }
        }
    }
    return reach;
}

std::string graphText(const adjacencyList& graph) {
    std::ostringstream text;
    for (std::size_t u = 0; u < graph.size(); ++u) {
        text << u << ":";
        for (const int v : graph[u]) text << " " << v;
        text << "\n";
    }
    return text.str();
}

}  // namespace

// ---- makeGraph ------------------------------------------------------------------

TEST(MakeGraph, OrdersAndDuplicates) {
    // Gene 2: activating (1 & 0 & 1), inhibiting (3) and (2): regulators in
    // order of first mention, activating terms first; self-edge once.
    geneDatabase db(4);
    db[2].inGenesPos.push_back({{1, 0, 1}, {1, 0, 1}});
    db[2].inGenesNeg.push_back({{3}, {1}});
    db[2].inGenesNeg.push_back({{2, 1}, {1, 1}});
    db[0].inGenesNeg.push_back({{3}, {0}});
    db[3].inGenesPos.push_back({{2}, {1}});
    db[3].inGenesPos.push_back({{2}, {0}});
    adjacencyList graph(4), graphTp(4);
    makeGraph(db, graph, graphTp);
    EXPECT_EQ(graph, (adjacencyList{{2}, {2}, {2, 3}, {0, 2}}));
    EXPECT_EQ(graphTp, (adjacencyList{{3}, {}, {1, 0, 3, 2}, {2}}));
}

TEST(MakeGraph, AppendsAndGrowsTheLists) {
    geneDatabase db = dbFromEdges(2, {{0, 1}});
    adjacencyList graph = {{7}}, graphTp;
    makeGraph(db, graph, graphTp);
    EXPECT_EQ(graph, (adjacencyList{{7, 1}, {}}));
    EXPECT_EQ(graphTp, (adjacencyList{{}, {0}}));
}

// ---- dfs and computeSCCs ---------------------------------------------------------

TEST(Dfs, FinishesGenesInTheOrderOfTheRecursiveSearch) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        const int n = 1 + static_cast<int>(rng() % 40);
        const adjacencyList graph =
            randomGraph(rng, n, static_cast<int>(rng() % 120), seed % 2 == 0);
        ints col(static_cast<std::size_t>(n), 0), colRef = col, fin, finRef;
        // Several searches sharing the marks, from random unvisited starts.
        for (int start = 0; start < 4; ++start) {
            const int src = static_cast<int>(rng() % static_cast<unsigned>(n));
            if (colRef[static_cast<std::size_t>(src)] != 0) continue;
            recursiveDfs(graph, colRef, finRef, src);
            dfs(graph, col, fin, src);
        }
        ASSERT_EQ(fin, finRef) << "seed " << seed << "\n" << graphText(graph);
        ASSERT_EQ(col, colRef) << "seed " << seed;
    }
}

TEST(Dfs, LongChainDoesNotExhaustTheStack) {
    const int n = 300000;
    adjacencyList graph(static_cast<std::size_t>(n));
    for (int g = 0; g + 1 < n; ++g) graph[static_cast<std::size_t>(g)] = {g + 1};
    graph.back() = {0};  // one big cycle
    ints col(static_cast<std::size_t>(n), 0), fin;
    dfs(graph, col, fin, 0);
    ASSERT_EQ(fin.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(fin.front(), n - 1);
    EXPECT_EQ(fin.back(), 0);
    adjacencyList scc;
    testing::internal::CaptureStdout();
    computeSCCs(scc, graph, transpose(graph));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "number of scc found 1\n");
    EXPECT_EQ(scc.size(), 1u);
}

TEST(ComputeSCCs, GraphWithoutEdgesGivesReverseOrder) {
    adjacencyList scc;
    testing::internal::CaptureStdout();
    computeSCCs(scc, adjacencyList(3), adjacencyList(3));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "number of scc found 3\n");
    EXPECT_EQ(scc, (adjacencyList{{2}, {1}, {0}}));
}

TEST(ComputeSCCs, TwoGeneCycleListsTheStartingGeneLast) {
    const topology t = levelsOf(dbFromEdges(2, {{0, 1}, {1, 0}}));
    EXPECT_EQ(t.scc, (adjacencyList{{1, 0}}));
}

TEST(ComputeSCCs, ChainComesOutInOrder) {
    const topology t = levelsOf(dbFromEdges(3, {{0, 1}, {1, 2}}));
    EXPECT_EQ(t.scc, (adjacencyList{{0}, {1}, {2}}));
}

TEST(ComputeSCCs, ComponentsAreMutualReachabilityClassesInTopologicalOrder) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        const int n = 1 + static_cast<int>(rng() % 30);
        const adjacencyList graph = randomGraph(rng, n, static_cast<int>(rng() % 60), true);
        adjacencyList scc;
        testing::internal::CaptureStdout();
        computeSCCs(scc, graph, transpose(graph));
        testing::internal::GetCapturedStdout();
        const auto reach = reachability(graph);
        ints componentOf(static_cast<std::size_t>(n), -1);
        for (std::size_t c = 0; c < scc.size(); ++c)
            for (const int g : scc[c]) {
                ASSERT_EQ(componentOf[static_cast<std::size_t>(g)], -1)
                    << "seed " << seed << ": gene twice";
                componentOf[static_cast<std::size_t>(g)] = static_cast<int>(c);
            }
        for (std::size_t u = 0; u < graph.size(); ++u) {
            ASSERT_NE(componentOf[u], -1) << "seed " << seed << ": gene " << u << " missing";
            for (std::size_t v = 0; v < graph.size(); ++v)
                ASSERT_EQ(componentOf[u] == componentOf[v], reach[u][v] && reach[v][u])
                    << "seed " << seed << " genes " << u << ", " << v << "\n"
                    << graphText(graph);
            for (const int v : graph[u])
                ASSERT_LE(componentOf[u], componentOf[static_cast<std::size_t>(v)])
                    << "seed " << seed;
        }
    }
}

// ---- Blocks and levels -------------------------------------------------------------

namespace {

// Levelling by following every path from every root (exponential in general,
// fine on small graphs): the depths dfsHier must reproduce.
void levelAlongEveryPath(const adjacencyList& graph, ints& dTime, int src, int level) {
    if (dTime[static_cast<std::size_t>(src)] < level) dTime[static_cast<std::size_t>(src)] = level;
    for (const int c : graph[static_cast<std::size_t>(src)])
        levelAlongEveryPath(graph, dTime, c, level + 1);
}

}  // namespace

TEST(DfsHier, SameDepthsAsFollowingEveryPath) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        const int n = 1 + static_cast<int>(rng() % 14);
        // Random DAG with a random (not topological) numbering.
        ints label(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k) label[static_cast<std::size_t>(k)] = k;
        std::shuffle(label.begin(), label.end(), rng);
        adjacencyList graph(static_cast<std::size_t>(n)), parents(static_cast<std::size_t>(n));
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b)
                if (rng() % 3 == 0) {
                    graph[static_cast<std::size_t>(label[static_cast<std::size_t>(a)])].push_back(
                        label[static_cast<std::size_t>(b)]);
                    parents[static_cast<std::size_t>(label[static_cast<std::size_t>(b)])].push_back(
                        label[static_cast<std::size_t>(a)]);
                }
        ints expected(static_cast<std::size_t>(n), -1), got;
        for (int r = 0; r < n; ++r)
            if (parents[static_cast<std::size_t>(r)].empty())
                levelAlongEveryPath(graph, expected, r, 1);
        dfsHier(graph, got);
        ASSERT_EQ(got, expected) << "seed " << seed << "\n" << graphText(graph);
    }
}

TEST(DfsHier, CycleIsRefused) {
    ints dTime;
    EXPECT_THROW(dfsHier(adjacencyList{{1}, {2}, {1}}, dTime), quorvelError);
}


TEST(Levels, WorkedExample) {
    const topology t =
        levelsOf(dbFromEdges(6, {{0, 1}, {0, 4}, {1, 2}, {2, 3}, {3, 2}, {3, 5}, {4, 5}}));
    ASSERT_EQ(t.scc, (adjacencyList{{0}, {4}, {1}, {3, 2}, {5}}));
    ASSERT_EQ(t.levels.size(), 3u);
    for (const auto& level : t.levels) ASSERT_EQ(level.size(), 1u);
    const sccTopo& b0 = t.levels[0][0];
    const sccTopo& b1 = t.levels[1][0];
    const sccTopo& b2 = t.levels[2][0];
    EXPECT_EQ(b0.geneName, (ints{3, 2, 0, 1}));
    EXPECT_EQ(b0.chSccLvl, (ints{1, 2}));
    EXPECT_EQ(b0.chSccIndex, (ints{0, 0}));
    EXPECT_TRUE(b0.paSccLvl.empty());
    EXPECT_EQ(b1.geneName, (ints{4}));
    EXPECT_EQ(b1.chSccLvl, (ints{2}));
    EXPECT_EQ(b1.chSccIndex, (ints{0}));
    EXPECT_EQ(b1.paSccLvl, (ints{0}));
    EXPECT_EQ(b1.paSccIndex, (ints{0}));
    EXPECT_EQ(b2.geneName, (ints{5}));
    EXPECT_TRUE(b2.chSccLvl.empty());
    EXPECT_EQ(b2.paSccLvl, (ints{1, 0}));
    EXPECT_EQ(b2.paSccIndex, (ints{0, 0}));
    for (const sccTopo* b : {&b0, &b1, &b2}) {
        EXPECT_EQ(b->trueScc, 1);
        EXPECT_TRUE(b->chGene.empty());
        EXPECT_TRUE(b->paGene.empty());
    }
    EXPECT_EQ(t.output,
              "number of scc found 5\n"
              "number of levels are 4\n"
              "\n"
              "final number of levels are 3\n"
              "4 out edges 2\n"
              "1 out edges 1\n"
              "1 out edges 0\n");
}

TEST(Levels, OneGeneComponentsAreTheirOwnBlocks) {
    // 0 -> 1 -> 3, 0 -> 2, 2 regulates itself.
    const topology t = levelsOf(dbFromEdges(4, {{0, 1}, {1, 3}, {0, 2}, {2, 2}}));
    ASSERT_EQ(t.levels.size(), 3u);
    EXPECT_EQ(t.levels[0].size(), 1u);
    EXPECT_EQ(t.levels[1].size(), 2u);
    EXPECT_EQ(t.levels[2].size(), 1u);
    EXPECT_EQ(t.levels[0][0].geneName, (ints{0}));
    EXPECT_EQ(t.levels[2][0].geneName, (ints{3}));
    EXPECT_NE(t.output.find("number of levels are 3\n\nfinal number of levels are 3\n"),
              std::string::npos);
}

TEST(Levels, ChainAboveACycleJoinsItsBlock) {
    // s2 = 0 -> s1 = 1 -> cycle {2, 3}.
    const topology t = levelsOf(dbFromEdges(4, {{0, 1}, {1, 2}, {2, 3}, {3, 2}}));
    ASSERT_EQ(t.levels.size(), 1u);
    ASSERT_EQ(t.levels[0].size(), 1u);
    const ints cycle = t.scc[2];  // the components are (0), (1), (cycle)
    EXPECT_EQ(t.levels[0][0].geneName, (ints{cycle[0], cycle[1], 0, 1}));
}

TEST(Levels, SharedRegulatorJoinsTheFirstCycleOnly) {
    // s = 0 regulates cycle X1 = {1, 2} and cycle X2 = {3, 4}; X1 -> X2.
    const topology t =
        levelsOf(dbFromEdges(5, {{0, 1}, {0, 3}, {1, 2}, {2, 1}, {2, 3}, {3, 4}, {4, 3}}));
    ASSERT_EQ(t.levels.size(), 2u);
    const sccTopo& first = t.levels[0][0];
    const sccTopo& second = t.levels[1][0];
    EXPECT_EQ(std::set<int>(first.geneName.begin(), first.geneName.end()),
              (std::set<int>{0, 1, 2}));
    EXPECT_EQ(std::set<int>(second.geneName.begin(), second.geneName.end()), (std::set<int>{3, 4}));
    EXPECT_EQ(second.paSccLvl, (ints{0}));
    EXPECT_EQ(second.paSccIndex, (ints{0}));
}

TEST(Levels, GeneBelowACycleIsNotMergedUpwards) {
    const topology t = levelsOf(dbFromEdges(3, {{0, 1}, {1, 0}, {1, 2}}));
    ASSERT_EQ(t.levels.size(), 2u);
    EXPECT_EQ(t.levels[1][0].geneName, (ints{2}));
    EXPECT_EQ(t.levels[1][0].paSccLvl, (ints{0}));
    EXPECT_EQ(t.levels[0][0].chSccLvl, (ints{1}));
}

TEST(Levels, BlockWithParentsInLevelsZeroAndTwoIsInLevelThree) {
    // p = 0 -> q = 1 -> r = 2; b = 3 has parents p and r.
    const topology t = levelsOf(dbFromEdges(4, {{0, 1}, {1, 2}, {0, 3}, {2, 3}}));
    ASSERT_EQ(t.levels.size(), 4u);
    const sccTopo& b = t.levels[3][0];
    EXPECT_EQ(b.geneName, (ints{3}));
    ASSERT_EQ(b.paSccLvl.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        const sccTopo& parent = t.levels[static_cast<std::size_t>(b.paSccLvl[k])]
                                        [static_cast<std::size_t>(b.paSccIndex[k])];
        EXPECT_TRUE(parent.geneName == ints{0} || parent.geneName == ints{2});
    }
    EXPECT_EQ(std::set<int>(b.paSccLvl.begin(), b.paSccLvl.end()), (std::set<int>{0, 2}));
}

TEST(Levels, ManyPathsAreLevelledWithoutFollowingEachOne) {
    // A ladder of 60 rungs has 2^60 root-to-bottom paths.
    edgeList edges;
    const int rungs = 60;
    for (int k = 0; k + 1 < rungs; ++k)
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b) edges.emplace_back(2 * k + a, 2 * (k + 1) + b);
    const topology t = levelsOf(dbFromEdges(2 * rungs, edges));
    ASSERT_EQ(t.levels.size(), static_cast<std::size_t>(rungs));
    for (const auto& level : t.levels) EXPECT_EQ(level.size(), 2u);
}

// ---- Invariants of the records --------------------------------------------------

namespace {

// Checks every invariant of sccTopoLvl against the dependency graph of the
// database whose genes it places; returns a description of the first
// violation, or "".
std::string checkLevels(const geneDatabase& db, const levelArray& levels) {
    std::ostringstream failure;
    adjacencyList graph(db.size()), graphTp(db.size());
    makeGraph(db, graph, graphTp);
    std::vector<std::pair<int, int>> placeOf(db.size(), {-1, -1});
    for (std::size_t k = 0; k < levels.size(); ++k) {
        if (levels[k].empty()) return "empty level " + std::to_string(k);
        for (std::size_t q = 0; q < levels[k].size(); ++q)
            for (const int g : levels[k][q].geneName) {
                if (placeOf.at(static_cast<std::size_t>(g)).first != -1)
                    return "gene " + std::to_string(g) + " in two records";
                placeOf[static_cast<std::size_t>(g)] = {static_cast<int>(k), static_cast<int>(q)};
            }
    }
    for (std::size_t g = 0; g < db.size(); ++g)
        if (placeOf[g].first == -1) return "gene " + std::to_string(g) + " in no record";
    // Block edges from the gene edges.
    std::set<std::pair<std::pair<int, int>, std::pair<int, int>>> blockEdges;
    for (std::size_t u = 0; u < graph.size(); ++u)
        for (const int v : graph[u])
            if (placeOf[u] != placeOf[static_cast<std::size_t>(v)])
                blockEdges.insert({placeOf[u], placeOf[static_cast<std::size_t>(v)]});
    std::set<std::pair<std::pair<int, int>, std::pair<int, int>>> listedChildren, listedParents;
    for (std::size_t k = 0; k < levels.size(); ++k)
        for (std::size_t q = 0; q < levels[k].size(); ++q) {
            const sccTopo& record = levels[k][q];
            const std::pair<int, int> self = {static_cast<int>(k), static_cast<int>(q)};
            if (record.trueScc != 1) return "trueScc not 1";
            if (record.chSccLvl.size() != record.chSccIndex.size() ||
                record.paSccLvl.size() != record.paSccIndex.size())
                return "unpaired references";
            bool parentJustBelow = false;
            for (std::size_t e = 0; e < record.paSccLvl.size(); ++e) {
                const std::pair<int, int> parent = {record.paSccLvl[e], record.paSccIndex[e]};
                if (!listedParents.insert({parent, self}).second) return "parent listed twice";
                if (parent.first >= static_cast<int>(k)) return "parent not in a lower level";
                if (parent.first == static_cast<int>(k) - 1) parentJustBelow = true;
            }
            if (k == 0 && !record.paSccLvl.empty()) return "record with parents in level 0";
            if (k > 0 && !parentJustBelow)
                return "no parent in the level just below level " + std::to_string(k);
            for (std::size_t e = 0; e < record.chSccLvl.size(); ++e) {
                const std::pair<int, int> child = {record.chSccLvl[e], record.chSccIndex[e]};
                if (!listedChildren.insert({self, child}).second) return "child listed twice";
                if (child.first <= static_cast<int>(k)) return "child not in a higher level";
            }
        }
    if (listedChildren != blockEdges) return "children differ from the edges between blocks";
    if (listedParents != blockEdges) return "parents differ from the edges between blocks";
    return failure.str();
}

}  // namespace

TEST(LevelsInvariants, RandomReducedNetworks) {
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        randomNetworkOptions options;
        options.minGenes = 4;
        options.maxGenes = 12;
        options.letterNames = seed % 3 != 0;
        const std::vector<networkDefBool> network = randomNetwork(seed, options);
        geneDatabase org, reduced;
        std::vector<int> status;
        levelArray levels;
        testing::internal::CaptureStdout();
        refineNetwork(network, org, reduced, status, levels);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(checkLevels(reduced, levels), "") << "seed " << seed << "\n"
                                                    << networkText(network);
    }
}

TEST(LevelsInvariants, LargeRandomGraphs) {
    // Graphs of a few hundred genes made of many small cycles with sparse
    // forward links: many blocks absorbing one-gene components.
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        const int n = 100 + static_cast<int>(rng() % 300);
        edgeList edges;
        for (int v = 1; v < n; ++v) {
            const int links = static_cast<int>(rng() % 3);
            for (int l = 0; l < links; ++l)
                edges.emplace_back(static_cast<int>(rng() % static_cast<unsigned>(v)), v);
            if (rng() % 6 == 0)
                edges.emplace_back(
                    v, v - 1 - static_cast<int>(rng() % std::min(v, 3)));  // back edge: a cycle
        }
        const geneDatabase db = dbFromEdges(n, edges);
        const topology t = levelsOf(db);
        ASSERT_EQ(checkLevels(db, t.levels), "") << "seed " << seed;
    }
}

TEST(LevelsInvariants, RealNetworks) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(QUORVEL_SHARED_DIR) / "networks";
    if (!fs::is_directory(root / "models")) GTEST_SKIP() << "no shared networks at " << root;
    for (const char* variant : {"models", "inputs-off"})
        for (const auto& entry : fs::directory_iterator(root / variant)) {
            if (entry.path().extension() != ".net") continue;
            std::vector<networkDefBool> network;
            geneDatabase org, reduced;
            std::vector<int> status;
            levelArray levels;
            testing::internal::CaptureStdout();
            readNetwork(entry.path().string(), network);
            refineNetwork(network, org, reduced, status, levels);
            const std::string output = testing::internal::GetCapturedStdout();
            ASSERT_EQ(checkLevels(reduced, levels), "") << entry.path();
            // One "<genes> out edges <children>" line per record, after the final count.
            std::size_t records = 0;
            for (const auto& level : levels) records += level.size();
            const std::string marker =
                "final number of levels are " + std::to_string(levels.size()) + "\n";
            const std::size_t at = output.find("\n" + marker);
            ASSERT_NE(at, std::string::npos) << entry.path();
            const std::string tail = output.substr(at + 1 + marker.size());
            EXPECT_EQ(static_cast<std::size_t>(std::count(tail.begin(), tail.end(), '\n')), records)
                << entry.path();
        }
}
