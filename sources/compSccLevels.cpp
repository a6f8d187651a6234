// The dependency graph, components, blocks and levels.
#include "compSccLevels.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <locale>
#include <memory>
#include <unordered_map>

#include "constGeneDb.h"
#include "quorvelError.h"

// ---- Dependency graph and components ---------------------------------------

int makeGraph(const geneDatabase& geneDb, adjacencyList& graph, adjacencyList& graphTp) {
    if (graph.size() < geneDb.size()) graph.resize(geneDb.size());
    if (graphTp.size() < geneDb.size()) graphTp.resize(geneDb.size());
    for (std::size_t i = 0; i < geneDb.size(); ++i) {
        const int target = static_cast<int>(i);
        // All edges into gene i are added while i is the current gene, so a
        // repeated edge is always the last entry of its regulator's list.
        auto addTerms = [&](const std::vector<influenceDefBool>& terms) {
            for (const influenceDefBool& term : terms)
                for (const int u : term.geneId) {
                    std::vector<int>& targets = graph[static_cast<std::size_t>(u)];
                    if (!targets.empty() && targets.back() == target) continue;
                    targets.push_back(target);
                    graphTp[i].push_back(u);
                }
        };
        addTerms(geneDb[i].inGenesPos);
        addTerms(geneDb[i].inGenesNeg);
    }
    return 0;
}

int dfs(const adjacencyList& graph, std::vector<int>& col, std::vector<int>& finStack, int src) {
    // Explicit stack of (gene, next neighbour position): neighbours are
    // entered in list order and genes finish in the order of a recursive
    // search, without its depth limit.
    std::vector<std::pair<int, std::size_t>> stack;
    col[static_cast<std::size_t>(src)] = 1;
    stack.emplace_back(src, 0);
    while (!stack.empty()) {
        const int u = stack.back().first;
        const std::vector<int>& next = graph[static_cast<std::size_t>(u)];
        std::size_t& position = stack.back().second;
        if (position < next.size()) {
            const int v = next[position++];
            if (col[static_cast<std::size_t>(v)] == 0) {
                col[static_cast<std::size_t>(v)] = 1;
                stack.emplace_back(v, 0);
            }
        } else {
            col[static_cast<std::size_t>(u)] = 2;
            finStack.push_back(u);
            stack.pop_back();
        }
    }
    return 0;
}

adjacencyList stronglyConnectedComponents(const adjacencyList& graph,
                                          const adjacencyList& graphTp) {
    const std::size_t n = graph.size();
    std::vector<int> col(n, 0);
    std::vector<int> fStack;
    fStack.reserve(n);
    for (std::size_t v = 0; v < n; ++v)
        if (col[v] == 0) dfs(graph, col, fStack, static_cast<int>(v));
    std::fill(col.begin(), col.end(), 0);
    // Reverse finishing order on the transposed graph: each search collects
    // one component, its starting gene last.
    adjacencyList components;
    for (auto g = fStack.rbegin(); g != fStack.rend(); ++g) {
        if (col[static_cast<std::size_t>(*g)] != 0) continue;
        std::vector<int> component;
        dfs(graphTp, col, component, *g);
        components.push_back(std::move(component));
    }
    return components;
}

int computeSCCs(adjacencyList& scc, const adjacencyList& graph, const adjacencyList& graphTp,
                const progressSink& progress) {
    for (std::vector<int>& component : stronglyConnectedComponents(graph, graphTp))
        scc.push_back(std::move(component));
    writeProgress(progress, "number of scc found ", scc.size(), "\n");
    return 0;
}

namespace {

// Which of the alive nodes lie on a cycle of `reads` among the alive nodes:
// those in a strongly connected component of more than one node, or reading
// themselves.
std::vector<char> onCycle(const adjacencyList& reads, const std::vector<char>& alive) {
    const std::size_t n = alive.size();
    std::vector<char> cyclic(n, 0);
    adjacencyList graph(n), graphTp(n);
    for (std::size_t k = 0; k < n; ++k) {
        if (!alive[k]) continue;
        for (const int r : reads[k]) {
            const std::size_t from = static_cast<std::size_t>(r);
            if (!alive[from]) continue;
            if (from == k) cyclic[k] = 1;
            graph[from].push_back(static_cast<int>(k));
            graphTp[k].push_back(r);
        }
    }
    for (const std::vector<int>& component : stronglyConnectedComponents(graph, graphTp))
        if (component.size() > 1)
            for (const int k : component) cyclic[static_cast<std::size_t>(k)] = 1;
    return cyclic;
}

}  // namespace

std::vector<int> compCycleCut(const adjacencyList& reads) {
    const std::size_t n = reads.size();
    std::vector<char> alive(n, 1);
    std::vector<std::size_t> taken;
    for (;;) {
        const std::vector<char> cyclic = onCycle(reads, alive);
        std::vector<long> in(n, 0), out(n, 0);
        for (std::size_t k = 0; k < n; ++k)
            for (const int r : reads[k])
                if (cyclic[k] && cyclic[static_cast<std::size_t>(r)]) {
                    ++in[k];
                    ++out[static_cast<std::size_t>(r)];
                }
        std::size_t chosen = n;
        for (std::size_t k = 0; k < n; ++k)
            if (cyclic[k] && (chosen == n || in[k] * out[k] > in[chosen] * out[chosen])) chosen = k;
        if (chosen == n) break;
        alive[chosen] = 0;
        taken.push_back(chosen);
    }
    std::vector<int> cut;
    for (const std::size_t k : taken) {
        alive[k] = 1;
        const std::vector<char> cyclic = onCycle(reads, alive);
        if (std::find(cyclic.begin(), cyclic.end(), 1) != cyclic.end()) {
            alive[k] = 0;
            cut.push_back(static_cast<int>(k));
        }
    }
    return cut;
}

namespace {

// Whether the nodes with `alive` set have a negative cycle among them. A
// strongly connected graph has none exactly when its nodes take signs such
// that every read within it joins equal signs when it rises and opposite
// signs when it falls: fix one node's sign and any two paths to a node give
// it the same sign, since a path back closes both into positive walks.
bool hasNegativeCycle(const signedReads& reads, const std::vector<char>& alive) {
    const std::size_t n = reads.size();
    adjacencyList graph(n), graphTp(n);
    for (std::size_t k = 0; k < n; ++k) {
        if (!alive[k]) continue;
        for (const auto& [r, signs] : reads[k])
            if (alive[static_cast<std::size_t>(r)]) {
                graph[static_cast<std::size_t>(r)].push_back(static_cast<int>(k));
                graphTp[k].push_back(r);
            }
    }
    std::vector<int> component(n, -1);
    const adjacencyList components = stronglyConnectedComponents(graph, graphTp);
    for (std::size_t c = 0; c < components.size(); ++c)
        for (const int k : components[c])
            component[static_cast<std::size_t>(k)] = static_cast<int>(c);
    std::vector<int> sign(n, 0);
    for (std::size_t start = 0; start < n; ++start) {
        if (!alive[start] || sign[start] != 0) continue;
        sign[start] = 1;
        std::vector<std::size_t> todo{start};
        while (!todo.empty()) {
            const std::size_t k = todo.back();
            todo.pop_back();
            // Reads within the component, both ways round: k reads r, and
            // the nodes that read k.
            auto visit = [&](std::size_t from, std::size_t to, int signs) {
                if (component[from] != component[to]) return false;
                for (const int s : {kReadRises, kReadFalls}) {
                    if ((signs & s) == 0) continue;
                    const int want = s == kReadRises ? sign[from] : -sign[from];
                    if (sign[to] == 0) {
                        sign[to] = want;
                        todo.push_back(to);
                    } else if (sign[to] != want) {
                        return true;
                    }
                }
                return false;
            };
            for (const auto& [r, signs] : reads[k])
                if (alive[static_cast<std::size_t>(r)] &&
                    visit(k, static_cast<std::size_t>(r), signs))
                    return true;
            for (const int reader : graph[k])
                for (const auto& [r, signs] : reads[static_cast<std::size_t>(reader)])
                    if (static_cast<std::size_t>(r) == k &&
                        visit(k, static_cast<std::size_t>(reader), signs))
                        return true;
        }
    }
    return false;
}

}  // namespace

std::vector<int> compNegativeCycleCut(const signedReads& reads, const std::vector<int>& cycleCut) {
    std::vector<char> alive(reads.size(), 1);
    for (const int k : cycleCut) alive[static_cast<std::size_t>(k)] = 0;
    std::vector<int> cut;
    for (const int k : cycleCut) {
        alive[static_cast<std::size_t>(k)] = 1;
        if (hasNegativeCycle(reads, alive)) {
            alive[static_cast<std::size_t>(k)] = 0;
            cut.push_back(k);
        }
    }
    return cut;
}

// ---- Blocks and levels -------------------------------------------------------

int dfsHier(const adjacencyList& graph, std::vector<int>& dTime) {
    // Longest-path depths in one pass over a topological order of the child
    // lists (entries without parents are the roots, depth 1).
    const std::size_t m = graph.size();
    std::vector<int> parentsLeft(m, 0);
    for (const std::vector<int>& children : graph)
        for (const int c : children) ++parentsLeft[static_cast<std::size_t>(c)];
    dTime.assign(m, -1);
    std::vector<int> ready;
    for (std::size_t r = 0; r < m; ++r)
        if (parentsLeft[r] == 0) {
            dTime[r] = 1;
            ready.push_back(static_cast<int>(r));
        }
    std::size_t done = 0;
    while (!ready.empty()) {
        const std::size_t u = static_cast<std::size_t>(ready.back());
        ready.pop_back();
        ++done;
        for (const int c : graph[u]) {
            const std::size_t cu = static_cast<std::size_t>(c);
            dTime[cu] = std::max(dTime[cu], dTime[u] + 1);
            if (--parentsLeft[cu] == 0) ready.push_back(c);
        }
    }
    if (done != m) throw quorvelError("internal error: the component graph has a cycle");
    return 0;
}

int collapseNode(std::vector<int>& collapsedSCC, std::size_t ptr, std::vector<int>& col,
                 const adjacencyList& sccGraphTp, const adjacencyList& scc) {
    for (std::size_t k = ptr; k < collapsedSCC.size(); ++k)
        for (const int p : sccGraphTp[static_cast<std::size_t>(collapsedSCC[k])]) {
            const std::size_t pu = static_cast<std::size_t>(p);
            if (scc[pu].size() == 1 && col[pu] == 0) {
                collapsedSCC.push_back(p);
                col[pu] = 1;
            }
        }
    return 0;
}

namespace {

// Groups entries by depth: level k holds, ascending, the entries of depth k+1.
adjacencyList levelsByDepth(const std::vector<int>& dTime) {
    adjacencyList levels;
    for (std::size_t e = 0; e < dTime.size(); ++e) {
        const std::size_t depth = static_cast<std::size_t>(dTime[e]);
        if (levels.size() < depth) levels.resize(depth);
        levels[depth - 1].push_back(static_cast<int>(e));
    }
    return levels;
}

// Appends to `into` each block of blockOf[c], c in `components`, that is not
// `self` and not yet listed; `listed` marks what this record already holds.
void addBlockLinks(const std::vector<int>& components, const std::vector<int>& blockOf, int self,
                   std::vector<int>& listed, std::vector<int>& into) {
    for (const int c : components) {
        const int m = blockOf[static_cast<std::size_t>(c)];
        if (m == self || listed[static_cast<std::size_t>(m)] == self) continue;
        listed[static_cast<std::size_t>(m)] = self;
        into.push_back(m);
    }
}

}  // namespace

int makeSccLevels(const adjacencyList& scc, const adjacencyList& graph, levelArray& sccTopoLvl,
                  const progressSink& progress) {
    const std::size_t nScc = scc.size();
    std::vector<int> sccOf(graph.size(), -1);
    for (std::size_t i = 0; i < nScc; ++i)
        for (const int g : scc[i]) sccOf[static_cast<std::size_t>(g)] = static_cast<int>(i);

    // Condensation: child components in ascending order, without repetition.
    adjacencyList sccGraph(nScc), sccGraphTp(nScc);
    for (std::size_t i = 0; i < nScc; ++i) {
        std::vector<int>& children = sccGraph[i];
        for (const int g : scc[i])
            for (const int v : graph[static_cast<std::size_t>(g)]) {
                const int j = sccOf[static_cast<std::size_t>(v)];
                if (j != static_cast<int>(i)) children.push_back(j);
            }
        std::sort(children.begin(), children.end());
        children.erase(std::unique(children.begin(), children.end()), children.end());
    }
    for (std::size_t i = 0; i < nScc; ++i)
        for (const int j : sccGraph[i])
            sccGraphTp[static_cast<std::size_t>(j)].push_back(static_cast<int>(i));

    std::vector<int> dTime;
    dfsHier(sccGraph, dTime);
    adjacencyList sccLvl = levelsByDepth(dTime);
    writeProgress(progress, "number of levels are ", sccLvl.size(), "\n");

    // Blocks: each multi-gene component absorbs the unclaimed one-gene
    // components above it reachable through one-gene components only; every
    // other one-gene component is a block of its own.
    std::vector<int> col(nScc, 0);
    adjacencyList collapsedSCC;
    for (const std::vector<int>& level : sccLvl)
        for (const int x : level) {
            if (scc[static_cast<std::size_t>(x)].size() < 2) continue;
            std::vector<int> block;
            for (const int p : sccGraphTp[static_cast<std::size_t>(x)])
                if (scc[static_cast<std::size_t>(p)].size() == 1 &&
                    col[static_cast<std::size_t>(p)] == 0) {
                    block.push_back(p);
                    col[static_cast<std::size_t>(p)] = 1;
                }
            collapseNode(block, 0, col, sccGraphTp, scc);
            block.push_back(x);
            collapsedSCC.push_back(std::move(block));
        }
    for (const std::vector<int>& level : sccLvl)
        for (const int x : level)
            if (scc[static_cast<std::size_t>(x)].size() == 1 &&
                col[static_cast<std::size_t>(x)] == 0) {
                col[static_cast<std::size_t>(x)] = 1;
                collapsedSCC.push_back({x});
            }

    // Records, with block numbers as child and parent references.
    const std::size_t nBlocks = collapsedSCC.size();
    std::vector<int> blockOf(nScc, -1);
    for (std::size_t b = 0; b < nBlocks; ++b)
        for (const int x : collapsedSCC[b])
            blockOf[static_cast<std::size_t>(x)] = static_cast<int>(b);
    std::vector<sccTopo> sccDS(nBlocks);
    std::vector<int> childListed(nBlocks, -1), parentListed(nBlocks, -1);
    for (std::size_t b = 0; b < nBlocks; ++b) {
        sccTopo& record = sccDS[b];
        const int self = static_cast<int>(b);
        for (const int x : collapsedSCC[b]) {
            addBlockLinks(sccGraph[static_cast<std::size_t>(x)], blockOf, self, childListed,
                          record.chSccIndex);
            addBlockLinks(sccGraphTp[static_cast<std::size_t>(x)], blockOf, self, parentListed,
                          record.paSccIndex);
        }
        // The last component's genes first, then the others in reverse block order.
        for (auto x = collapsedSCC[b].rbegin(); x != collapsedSCC[b].rend(); ++x) {
            const std::vector<int>& genes = scc[static_cast<std::size_t>(*x)];
            record.geneName.insert(record.geneName.end(), genes.begin(), genes.end());
        }
        record.trueScc = 1;
    }

    // Block levels, then (level, position) references.
    adjacencyList blockChildren(nBlocks);
    for (std::size_t b = 0; b < nBlocks; ++b) blockChildren[b] = sccDS[b].chSccIndex;
    dfsHier(blockChildren, dTime);
    sccLvl = levelsByDepth(dTime);
    std::vector<int> levelOf(nBlocks), positionOf(nBlocks);
    for (std::size_t k = 0; k < sccLvl.size(); ++k)
        for (std::size_t q = 0; q < sccLvl[k].size(); ++q) {
            levelOf[static_cast<std::size_t>(sccLvl[k][q])] = static_cast<int>(k);
            positionOf[static_cast<std::size_t>(sccLvl[k][q])] = static_cast<int>(q);
        }
    for (sccTopo& record : sccDS) {
        for (int& m : record.chSccIndex) {
            record.chSccLvl.push_back(levelOf[static_cast<std::size_t>(m)]);
            m = positionOf[static_cast<std::size_t>(m)];
        }
        for (int& m : record.paSccIndex) {
            record.paSccLvl.push_back(levelOf[static_cast<std::size_t>(m)]);
            m = positionOf[static_cast<std::size_t>(m)];
        }
    }
    sccTopoLvl.assign(sccLvl.size(), {});
    for (std::size_t k = 0; k < sccLvl.size(); ++k)
        for (const int b : sccLvl[k]) sccTopoLvl[k].push_back(sccDS[static_cast<std::size_t>(b)]);

    writeProgress(progress, "\nfinal number of levels are ", sccTopoLvl.size(), "\n");
    std::ostringstream blocks;
    for (const sccTopo& record : sccDS)
        blocks << record.geneName.size() << " out edges " << record.chSccIndex.size() << "\n";
    writeProgress(progress, blocks.str());
    return 0;
}

namespace {

// Depth-first walk behind makeVectorGene: the block's own genes, then each
// parent (in the order of its parent lists) that has not been listed yet,
// with its own ancestors before the next parent. The walk keeps its path on
// an explicit stack (block and next parent to visit): a chain of thousands of
// blocks must not take as many call frames, as the library runs in threads
// with small stacks.
void listBlockAndAncestors(const levelArray& sccTopoLvl, int lvl, int offSet,
                           std::vector<std::vector<char>>& listed, std::vector<int>& geneId) {
    struct frame {
        const sccTopo* block;
        size_t nextParent;
    };
    std::vector<frame> path;
    auto enter = [&](int level, int index) {
        const sccTopo& block =
            sccTopoLvl.at(static_cast<size_t>(level)).at(static_cast<size_t>(index));
        listed.at(static_cast<size_t>(level)).at(static_cast<size_t>(index)) = 1;
        geneId.insert(geneId.end(), block.geneName.begin(), block.geneName.end());
        path.push_back({&block, 0});
    };
    enter(lvl, offSet);
    while (!path.empty()) {
        frame& top = path.back();
        if (top.nextParent == top.block->paSccLvl.size()) {
            path.pop_back();
            continue;
        }
        const size_t k = top.nextParent++;
        const int paLvl = top.block->paSccLvl[k];
        const int paIndex = top.block->paSccIndex.at(k);
        if (listed.at(static_cast<size_t>(paLvl)).at(static_cast<size_t>(paIndex))) continue;
        enter(paLvl, paIndex);
    }
}

}  // namespace

// Every block is listed once, at its first occurrence in the depth-first
// order, even when it is an ancestor along several parent paths: a network
// with many feed-forward paths would otherwise repeat its upper blocks a
// number of times that grows exponentially with the depth. Since blocks are
// disjoint, the genes appended by one call are distinct.
int makeVectorGene(const levelArray& sccTopoLvl, int lvl, int offSet, std::vector<int>& geneId) {
    std::vector<std::vector<char>> listed;
    listed.reserve(sccTopoLvl.size());
    for (const std::vector<sccTopo>& level : sccTopoLvl) listed.emplace_back(level.size(), 0);
    listBlockAndAncestors(sccTopoLvl, lvl, offSet, listed, geneId);
    return 0;
}
