// Network input, gene databases, reduction, graph and level algorithms,
// small BDD helpers and the result text.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "bddEngine.h"
#include "parseNetwork.h"
#include "progressSink.h"
#include "readNetworkText.h"

using adjacencyList = std::vector<std::vector<int>>;

// ---- Network file reader -------------------------------------------------

// Appends the rules of `fileName` to `network`, in file order, and prints
// their count. Throws quorvelError (naming the file) when the file cannot be
// opened or read or is no text (see readNetworkText), when the last rule is
// cut short, or when a literal has no name (only "^").
int readNetwork(const std::string& fileName, std::vector<networkDefBool>& network,
                const progressSink& progress = standardOutputProgress());

// Parses one regulator expression ("A&^B") into names and polarities.
int fragStringBool(const std::string& inpString, std::vector<std::string>& geneName,
                   std::vector<int>& genePolar);

// Appends the maximal runs of characters not in `delimiter` to `tokens`.
int tokenize(const std::string& str, std::vector<std::string>& tokens, const char* delimiter);

// ---- Gene database -------------------------------------------------------

// Builds the database of every gene named in `network`: identifiers in order
// of first appearance (target first, then regulators left to right), every
// rule a term of its target.
int constGeneDb(const std::vector<networkDefBool>& network, geneDatabase& geneDb,
                const progressSink& progress = standardOutputProgress());

// Index of the first gene named exactly `geneChk`, or -1.
int chkInList(const geneDatabase& geneDb, const std::string& geneChk);

// Position of the first element equal to `valChk`, or -1.
int chkInListInt(const std::vector<int>& listing, int valChk);

// ---- Reduction, graph, components, blocks and levels ---------------------

// Builds geneDbOrg, propagates forced values into defaultStatus (one entry
// per geneDbOrg gene; the values are described in util.cpp), builds
// geneDbReduced (indices into itself) and the blocks in levels. The four
// outputs are replaced. The genes of `geneOrder` come first in geneDbOrg, in
// that order (a format reader's order of its genes, which may include genes
// without any rule); the others follow in order of first appearance. Writes
// the progress lines of every step.
// Each gene of `fixes` (name, 0 or 1) has its update function replaced by
// that constant before the propagation, so the reduction removes it with
// that value; geneDbOrg still lists it. A name the network does not have
// throws optionError naming it.
int refineNetwork(const std::vector<networkDefBool>& orgNetwork, geneDatabase& geneDbOrg,
                  geneDatabase& geneDbReduced, std::vector<int>& defaultStatus,
                  levelArray& sccTopoLvl, const std::vector<std::string>& geneOrder = {},
                  const std::vector<geneFix>& fixes = {},
                  const progressSink& progress = standardOutputProgress());

// Dependency graph of geneDb: graph[u] lists, ascending and once each, the
// genes whose terms mention u; graphTp[i] lists the regulators of i in order
// of first mention (activating terms first). Appends to the lists, which are
// grown to geneDb.size() entries when shorter.
int makeGraph(const geneDatabase& geneDb, adjacencyList& graph, adjacencyList& graphTp);

// The strongly connected components of `graph` (graphTp: its transpose), in
// the order and with the members in the order computeSCCs gives them; prints
// nothing.
adjacencyList stronglyConnectedComponents(const adjacencyList& graph,
                                         const adjacencyList& graphTp);

// Nodes that meet every cycle of a graph given by `reads` (reads[k]: the
// nodes that node k reads, a self-read being a cycle), in the order they are
// taken: greedily, while some node lies on a cycle, the one of them that
// reads and is read by the most others on cycles is taken; then each node
// taken that no cycle needs (none comes back without it) is given back.
std::vector<int> compCycleCut(const adjacencyList& reads);

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

// The genes of geneId, each once, in order of first appearance.
std::vector<int> uniqueGenes(const std::vector<int>& geneId);

// ---- BDD helpers -----------------------------------------------------------
// The analysis holds its sets in bddHandles (bddHandle.h); the helpers here
// keep the raw interfaces that tests and the fixed signatures use.

// Takes the result of a BDD operation: throws quorvelError when the engine
// failed (a null handle, as on memory exhaustion); otherwise references the
// result and returns it. The caller owns that reference.
DdNode* refChecked(DdNode* node);

// `set` with every current-state variable ip[i] exchanged with its
// next-state variable ip[nInpVar + i]. Referenced, owned by the caller.
DdNode* swapCurrentAndNext(DdManager* mgr, DdNode* set, std::vector<DdNode*>& ip, int nInpVar);

// A cube array for Cudd_bddPickOneCube: one entry per variable of mgr (and at
// least 2 x nInpVar), all 2 ("either") until a pick fills it.
std::vector<char> makeCubeArray(DdManager* mgr, int nInpVar);

// One state of the fragment from a random cube of `topNode`: a conjunction
// over the current-state variables ip[g], g in geneId, read from the cube at
// the current-state positions (flag 0) or next-state positions (flag 1); a
// free entry counts as 0. Returned referenced, owned by the caller.
DdNode* pickMinterm(DdManager* mgr, DdNode* topNode, std::vector<DdNode*>& ip,
                    const std::vector<int>& geneId, int nInpVar, int flag);

// Conjunction of ip[k] (literals[k] == 1) and NOT ip[k] (literals[k] == 0)
// for k < nInpVar; referenced, owned by the caller.
DdNode* makeBdd(DdManager* mgr, std::vector<DdNode*>& ip, const char* literals, int nInpVar);

// True when setSub is contained in setSuper.
bool checkInclusion(DdManager* mgr, DdNode* setSuper, DdNode* setSub);

// ---- Composition helper and result text -----------------------------------

// Appends the genes of block (lvl, offSet), then those of its ancestors.
int makeVectorGene(const levelArray& sccTopoLvl, int lvl, int offSet, std::vector<int>& geneId);

// The number of blocks on all levels (what progress counts them against).
inline std::size_t countBlocks(const levelArray& sccTopoLvl) {
    std::size_t blocks = 0;
    for (const std::vector<sccTopo>& level : sccTopoLvl) blocks += level.size();
    return blocks;
}

// The longest result text that is written (a Java string holds at most
// 2^31 - 1 characters).
constexpr double kMaxResultTextBytes = 2147483647.0;
// Ends the states format's refusal of an attractor too large for its text:
// the formats that write any attractor.
constexpr const char* kLargeAttractorFormats =
    "; --format cubes or --format json writes attractors of any size";

// Appends one line per call to outSS: every state of the set topNode (over
// current-state variables ip[0..nInpVar-1]), each state a value for every
// gene of geneDbOrg followed by three blanks.
int printCubesJava(DdManager* mgr, const geneDatabase& geneDbOrg,
                   const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus,
                   DdNode* topNode, std::vector<DdNode*>& ip, std::ostringstream& outSS,
                   int nInpVar, std::vector<int>& nodeLvl,
                   const progressSink& progress = standardOutputProgress());

// Throws quorvelError when the stream of a result text has failed (growing
// a string stream that runs out of memory sets its failbit or badbit and
// drops what follows without a word), so that no text cut short is ever
// handed on as a result.
void chkWrittenWhole(const std::ostream& out);

// Sets nodeLvl for the genes of geneDbOrg absent from geneDbReduced.
int printNonDynamicSteadyStatesJava(const geneDatabase& geneDbOrg,
                                    const geneDatabase& geneDbReduced,
                                    const std::vector<int>& defaultStatus,
                                    std::vector<int>& nodeLvl);
