// The dependency graph, its strongly connected components, the blocks and
// their levels, and the genes of a block with its ancestors.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "networkRecords.h"
#include "progressSink.h"

using adjacencyList = std::vector<std::vector<int>>;

// genes whose terms mention u; graphTp[i] lists the regulators of i in order
// of first mention (activating terms first). Appends to the lists, which are
// grown to geneDb.size() entries when shorter.
int makeGraph(const geneDatabase& geneDb, adjacencyList& graph, adjacencyList& graphTp);

// The strongly connected components of `graph` (graphTp: its transpose), in
// the order and with the members in the order computeSCCs gives them; prints
// nothing.
adjacencyList stronglyConnectedComponents(const adjacencyList& graph, const adjacencyList& graphTp);

// Nodes that meet every cycle of a graph given by `reads` (reads[k]: the
// nodes that node k reads, a self-read being a cycle), in the order they are
// taken: greedily, while some node lies on a cycle, the one of them that
// reads and is read by the most others on cycles is taken; then each node
// taken that no cycle needs (none comes back without it) is given back.
std::vector<int> compCycleCut(const adjacencyList& reads);

// Signed reads: reads[k] lists (r, signs) for each node r that node k reads,
// signs holding kReadRises (k's function can rise with r) and kReadFalls (it
// can fall with r); a read with both acts both ways.
constexpr int kReadRises = 1;
constexpr int kReadFalls = 2;
using signedReads = std::vector<std::vector<std::pair<int, int>>>;

// Nodes of `cycleCut` (nodes that meet every cycle of `reads`) that still
// meet every negative cycle (an odd number of falling reads around it; a
// read that acts both ways makes every cycle through it negative one way),
// in the order of cycleCut: each node of the cut is given back, in turn,
// when the nodes outside the cut then still have no negative cycle.
std::vector<int> compNegativeCycleCut(const signedReads& reads, const std::vector<int>& cycleCut);

// Appends the strongly connected components of `graph` to `scc`: every edge
// between two components runs from the earlier to the later one; members in
// finishing order of the search on graphTp (the starting gene last).
int computeSCCs(adjacencyList& scc, const adjacencyList& graph, const adjacencyList& graphTp,
                const progressSink& progress = standardOutputProgress());

// Depth-first search from src (col[src] must be 0): visits neighbours in
// list order, sets col to 1 on entry and 2 on finishing, and appends genes to
// finStack as they finish, exactly as a recursive search would. Uses an
// explicit stack, so the depth is not limited by the call stack.
int dfs(const adjacencyList& graph, std::vector<int>& col, std::vector<int>& finStack, int src);

// Sets dTime[e] (resized to graph.size()) to 1 + the number of edges of the
// longest path from an entry without parents to e; graph holds child lists of
// an acyclic graph (throws quorvelError otherwise).
int dfsHier(const adjacencyList& graph, std::vector<int>& dTime);

// Extends the block collapsedSCC upwards, breadth-first from position ptr:
// every parent (sccGraphTp) of a listed component that has one gene and is
// unclaimed (col 0) is appended and claimed.
int collapseNode(std::vector<int>& collapsedSCC, std::size_t ptr, std::vector<int>& col,
                 const adjacencyList& sccGraphTp, const adjacencyList& scc);

// Forms the blocks of the reduced components `scc` (graph: reduced dependency
// graph), levels them and replaces sccTopoLvl by the records; writes the
// level counts and one "<genes> out edges <child blocks>" line per block.
int makeSccLevels(const adjacencyList& scc, const adjacencyList& graph, levelArray& sccTopoLvl,
                  const progressSink& progress = standardOutputProgress());

// Appends the genes of block (lvl, offSet), then those of its ancestors.
int makeVectorGene(const levelArray& sccTopoLvl, int lvl, int offSet, std::vector<int>& geneId);
