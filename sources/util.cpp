// Network input, gene databases, reduction, graph and level algorithms,
// small BDD helpers and the result text.
#include "util.h"

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

#include "bddHandle.h"

// ---- Network file reader -------------------------------------------------

int readNetwork(const std::string& fileName, std::vector<networkDefBool>& network,
                const progressSink& progress) {
    const std::string content = readNetworkText(fileName);

    // Tokens are separated by any whitespace of the C locale (blank, tab,
    // line feed, carriage return, vertical tab, form feed); line ends carry
    // no meaning, so a rule may spread over several lines.
    std::istringstream in(content);
    in.imbue(std::locale::classic());
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) tokens.push_back(std::move(token));

    const std::size_t nRules = tokens.size() / 3;
    const auto ruleContext = [&](std::size_t rule) {
        return "network file '" + printableName(fileName) + "', rule " + std::to_string(rule + 1);
    };
    if (tokens.size() % 3 != 0) {
        // Guessing a missing arrow or target would silently change the network.
        const std::string& regulators = tokens[3 * nRules];
        throw quorvelError(ruleContext(nRules) + " is cut short: the file ends after " +
                           (tokens.size() % 3 == 1
                                ? "its regulator expression '" + regulators + "'"
                                : "its regulator expression '" + regulators + "' and arrow '" +
                                      tokens[3 * nRules + 1] + "'") +
                           " (a rule is: regulators, arrow, target)");
    }

    std::vector<networkDefBool> rules(nRules);
    for (std::size_t r = 0; r < nRules; ++r) {
        networkDefBool& rule = rules[r];
        try {
            fragStringBool(tokens[3 * r], rule.inpGeneName, rule.inpGenePolar);
        } catch (const quorvelError& error) {
            throw quorvelError(ruleContext(r) + ": " + error.what());
        }
        rule.outGenePolar = tokens[3 * r + 1] == "-|" ? 0 : 1;
        rule.outGeneName = tokens[3 * r + 2];
    }
    // Nothing is appended unless the whole file was accepted.
    network.insert(network.end(), std::make_move_iterator(rules.begin()),
                   std::make_move_iterator(rules.end()));
    writeProgress(progress, network.size(), "\n");
    return 0;
}

int fragStringBool(const std::string& inpString, std::vector<std::string>& geneName,
                   std::vector<int>& genePolar) {
    std::vector<std::string> literals;
    tokenize(inpString, literals, "&");
    for (const std::string& literal : literals) {
        std::vector<std::string> parts;
        tokenize(literal, parts, "^");
        // A literal of "^" only would otherwise become a gene without a name.
        if (parts.empty())
            throw quorvelError("the literal '" + literal + "' in '" + inpString +
                               "' names no gene (it holds only '^')");
        // Any "^" negates; the name is the first run of other characters, so
        // ^A, A^ and ^^A all mean NOT A, and A^X means NOT A.
        const bool negated = parts.front().size() != literal.size();
        geneName.push_back(parts.front());
        genePolar.push_back(negated ? 0 : 1);
    }
    return 0;
}

int tokenize(const std::string& str, std::vector<std::string>& tokens, const char* delimiter) {
    std::string::size_type lastPos = str.find_first_not_of(delimiter, 0);
    std::string::size_type pos = str.find_first_of(delimiter, lastPos);
    while (lastPos != std::string::npos) {
        tokens.push_back(str.substr(lastPos, pos == std::string::npos ? std::string::npos
                                                                          : pos - lastPos));
        lastPos = str.find_first_not_of(delimiter, pos);
        pos = str.find_first_of(delimiter, lastPos);
    }
    return 0;
}


// ---- Gene database -------------------------------------------------------

int constGeneDb(const std::vector<networkDefBool>& network, geneDatabase& geneDb,
                const progressSink& progress) {
    // A name index keeps construction linear in the size of the rule list;
    // the identifiers are the same ones a scan with chkInList would give
    // (first appearance, target before its regulators).
    std::unordered_map<std::string, int> index;
    index.reserve(geneDb.size() + network.size());
    for (std::size_t g = 0; g < geneDb.size(); ++g) index.emplace(geneDb[g].name, static_cast<int>(g));
    auto enter = [&](const std::string& name) {
        if (index.emplace(name, static_cast<int>(geneDb.size())).second) {
            gene entry;
            entry.name = name;
            geneDb.push_back(std::move(entry));
        }
    };
    for (const networkDefBool& rule : network) {
        enter(rule.outGeneName);
        for (const std::string& name : rule.inpGeneName) enter(name);
    }
    writeProgress(progress, "size of geneDb is  ", geneDb.size(), "\n");

    auto lookup = [&](const std::string& name) {
        const auto found = index.find(name);
        if (found == index.end()) raiseFatal("error in constructing geneDb");
        return found->second;
    };
    for (const networkDefBool& rule : network) {
        const int target = lookup(rule.outGeneName);
        if (rule.inpGeneName.size() != rule.inpGenePolar.size())
            raiseFatal("error in constructing geneDb");
        influenceDefBool term;
        term.geneId.reserve(rule.inpGeneName.size());
        term.genePolar.reserve(rule.inpGeneName.size());
        for (std::size_t k = 0; k < rule.inpGeneName.size(); ++k) {
            term.geneId.push_back(lookup(rule.inpGeneName[k]));
            term.genePolar.push_back(rule.inpGenePolar[k]);
        }
        gene& targetGene = geneDb[static_cast<std::size_t>(target)];
        if (rule.outGenePolar == 0)
            targetGene.inGenesNeg.push_back(std::move(term));
        else
            targetGene.inGenesPos.push_back(std::move(term));
    }
    return 0;
}

int chkInList(const geneDatabase& geneDb, const std::string& geneChk) {
    for (std::size_t g = 0; g < geneDb.size(); ++g)
        if (geneDb[g].name == geneChk) return static_cast<int>(g);
    return -1;
}

int chkInListInt(const std::vector<int>& listing, int valChk) {
    for (std::size_t k = 0; k < listing.size(); ++k)
        if (listing[k] == valChk) return static_cast<int>(k);
    return -1;
}

// ---- Reduction -------------------------------------------------------------

namespace {

// Outcome of fixing one regulator inside the term list of one target.
struct termResolution {
    bool ruledOut = false;     // some term can no longer hold
    bool alwaysHolds = false;  // some term had every literal satisfied
};

// Resolves the fixed gene g (value gOn) in every term of `terms`: a term in
// which any occurrence of g is false can never hold and is dropped; in the
// other terms every occurrence of g is satisfied and removed, and a term left
// without literals always holds. Terms keep their order.
termResolution resolveFixedGene(std::vector<influenceDefBool>& terms, int g, bool gOn) {
    termResolution outcome;
    std::size_t kept = 0;
    for (std::size_t t = 0; t < terms.size(); ++t) {
        influenceDefBool& term = terms[t];
        bool mentioned = false;
        bool falseLiteral = false;
        for (std::size_t k = 0; k < term.geneId.size(); ++k) {
            if (term.geneId[k] != g) continue;
            mentioned = true;
            if ((term.genePolar[k] != 0) != gOn) falseLiteral = true;
        }
        if (falseLiteral) {
            outcome.ruledOut = true;
            continue;
        }
        if (mentioned) {
            std::size_t w = 0;
            for (std::size_t k = 0; k < term.geneId.size(); ++k) {
                if (term.geneId[k] == g) continue;
                term.geneId[w] = term.geneId[k];
                term.genePolar[w] = term.genePolar[k];
                ++w;
            }
            term.geneId.resize(w);
            term.genePolar.resize(w);
            if (w == 0) outcome.alwaysHolds = true;
        }
        if (kept != t) terms[kept] = std::move(term);
        ++kept;
    }
    terms.resize(kept);
    return outcome;
}

// Applies the fixed value of g to the terms of its target c and records in
// defaultStatus[c] what was settled (the values are described at
// refineNetwork). Inhibiting terms are resolved before activating ones.
void propagateFixedGene(gene& target, int& status, int g, bool gOn) {
    const termResolution inhibiting = resolveFixedGene(target.inGenesNeg, g, gOn);
    if (inhibiting.ruledOut && status == -1) status = 1;
    if (inhibiting.alwaysHolds) {
        status = 3;
        target.inGenesNeg.clear();
        target.inGenesPos.clear();
    }
    const termResolution activating = resolveFixedGene(target.inGenesPos, g, gOn);
    if (activating.ruledOut && status != 2 && status != 3) status = 0;
    if (activating.alwaysHolds) {
        if (status != 3) status = 2;
        target.inGenesPos.clear();
    }
}

// A term written without regulators (an expression of "&" only) holds in
// every state: an inhibiting one makes the gene constant OFF, an activating
// one settles the activating side as ON.
void settleEmptyTerms(gene& entry, int& status) {
    auto isEmpty = [](const influenceDefBool& term) { return term.geneId.empty(); };
    if (std::any_of(entry.inGenesNeg.begin(), entry.inGenesNeg.end(), isEmpty)) {
        status = 3;
        entry.inGenesNeg.clear();
        entry.inGenesPos.clear();
    } else if (std::any_of(entry.inGenesPos.begin(), entry.inGenesPos.end(), isEmpty)) {
        status = 2;
        entry.inGenesPos.clear();
    }
}

// Replaces every geneDbOrg index in `ids` by the gene's index in the reduced
// database; a removed gene there is fatal (`failure` is the line written).
void renumberToReduced(std::vector<int>& ids, const std::vector<int>& reducedIndex,
                       const char* failure) {
    for (int& id : ids) {
        const int r = (id >= 0 && static_cast<std::size_t>(id) < reducedIndex.size())
                          ? reducedIndex[static_cast<std::size_t>(id)]
                          : -1;
        if (r < 0) raiseFatal(failure);
        id = r;
    }
}

}  // namespace

// defaultStatus, one entry per geneDbOrg gene, starts at -1.
//   A removed (fixed) gene is ON exactly when its entry is 1 or 2:
//     0  no rules at all, or every activating term was ruled out
//     1  only inhibiting terms, every one ruled out
//     2  an activating term always holds and no inhibiting one does
//     3  an inhibiting term always holds
//   For a gene kept in geneDbReduced the entry tells the next-state
//   construction what its remaining terms no longer show:
//    -1  no term was ruled out or found always true
//     0  an activating term was ruled out (no activating term left: constant 0)
//     1  an inhibiting term was ruled out, activating terms untouched. A gene
//        with entry 1 and no term at all had only inhibiting terms and every
//        one was ruled out while a regulator is still free: nothing can
//        inhibit it, so its next value is the constant 1.
//     2  an activating term always holds (activating terms dropped)
//     3  an inhibiting term always holds (every term dropped): constant 0
int refineNetwork(const std::vector<networkDefBool>& orgNetwork, geneDatabase& geneDbOrg,
                  geneDatabase& geneDbReduced, std::vector<int>& defaultStatus,
                  levelArray& sccTopoLvl, const std::vector<std::string>& geneOrder,
                  const std::vector<geneFix>& fixes, const progressSink& progress) {
    geneDbOrg.clear();
    geneDbReduced.clear();
    sccTopoLvl.clear();
    // constGeneDb keeps the genes already entered and appends the others.
    for (const std::string& name : geneOrder) {
        geneDbOrg.emplace_back();
        geneDbOrg.back().name = name;
    }
    constGeneDb(orgNetwork, geneDbOrg, progress);

    // Propagation works on a copy whose terms are simplified in place.
    geneDatabase work = geneDbOrg;
    // A fixed gene reads no gene any more: no term (constant 0), or one
    // activating term without regulators (constant 1).
    for (const geneFix& fix : fixes) {
        const int g = chkInList(work, fix.name);
        if (g < 0) throw optionError("--fix: the network has no gene named " + printableName(fix.name));
        gene& entry = work[static_cast<std::size_t>(g)];
        entry.inGenesPos.clear();
        entry.inGenesNeg.clear();
        if (fix.value == 1) entry.inGenesPos.emplace_back();
    }
    const std::size_t n = work.size();
    adjacencyList graph(n), graphTp(n);
    makeGraph(work, graph, graphTp);
    defaultStatus.assign(n, -1);
    adjacencyList scc;
    computeSCCs(scc, graph, graphTp, progress);
    std::vector<int> col(scc.size(), 0);

    for (std::size_t g = 0; g < n; ++g) settleEmptyTerms(work[g], defaultStatus[g]);

    // A single-gene component whose regulators are all fixed is fixed in
    // turn. Components come in topological order, so a pass settles whole
    // chains; the loop ends after a pass that fixes nothing.
    bool change = true;
    while (change) {
        change = false;
        for (std::size_t i = 0; i < scc.size(); ++i) {
            if (col[i] != 0 || scc[i].size() != 1) continue;
            const int g = scc[i][0];
            if (!graphTp[static_cast<std::size_t>(g)].empty()) continue;
            col[i] = 1;
            change = true;
            int& status = defaultStatus[static_cast<std::size_t>(g)];
            if (status == -1) status = 0;
            const bool gOn = status == 1 || status == 2;
            for (const int c : graph[static_cast<std::size_t>(g)]) {
                const std::size_t cu = static_cast<std::size_t>(c);
                propagateFixedGene(work[cu], defaultStatus[cu], g, gOn);
                std::vector<int>& regulators = graphTp[cu];
                const auto at = std::find(regulators.begin(), regulators.end(), g);
                if (at != regulators.end()) regulators.erase(at);
            }
        }
    }

    // The reduced database: every gene with a free regulator left, in
    // geneDbOrg order; reducedIndex maps geneDbOrg indices to it (-1 removed).
    std::vector<int> reducedIndex(n, -1);
    for (std::size_t g = 0; g < n; ++g) {
        if (graphTp[g].empty()) continue;
        reducedIndex[g] = static_cast<int>(geneDbReduced.size());
        geneDbReduced.push_back(std::move(work[g]));
    }
    writeProgress(progress, "reduced database size is ", geneDbReduced.size(), "\n");
    for (gene& entry : geneDbReduced) {
        for (influenceDefBool& term : entry.inGenesPos)
            renumberToReduced(term.geneId, reducedIndex, "error here 3");
        for (influenceDefBool& term : entry.inGenesNeg)
            renumberToReduced(term.geneId, reducedIndex, "error here 4");
    }

    // The reduced network keeps the partition and order of the components
    // of the whole network, minus the fixed ones.
    adjacencyList reducedGraph(geneDbReduced.size()), reducedGraphTp(geneDbReduced.size());
    makeGraph(geneDbReduced, reducedGraph, reducedGraphTp);
    adjacencyList sccReduced;
    for (std::size_t i = 0; i < scc.size(); ++i)
        if (col[i] == 0) sccReduced.push_back(std::move(scc[i]));
    writeProgress(progress, "reduced number of sccs are ", sccReduced.size(), "\n");
    for (std::vector<int>& component : sccReduced)
        renumberToReduced(component, reducedIndex, "error here 4");

    makeSccLevels(sccReduced, reducedGraph, sccTopoLvl, progress);
    return 0;
}

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
            if (cyclic[k] && (chosen == n || in[k] * out[k] > in[chosen] * out[chosen]))
                chosen = k;
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
        for (const int j : sccGraph[i]) sccGraphTp[static_cast<std::size_t>(j)].push_back(static_cast<int>(i));

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
                if (scc[static_cast<std::size_t>(p)].size() == 1 && col[static_cast<std::size_t>(p)] == 0) {
                    block.push_back(p);
                    col[static_cast<std::size_t>(p)] = 1;
                }
            collapseNode(block, 0, col, sccGraphTp, scc);
            block.push_back(x);
            collapsedSCC.push_back(std::move(block));
        }
    for (const std::vector<int>& level : sccLvl)
        for (const int x : level)
            if (scc[static_cast<std::size_t>(x)].size() == 1 && col[static_cast<std::size_t>(x)] == 0) {
                col[static_cast<std::size_t>(x)] = 1;
                collapsedSCC.push_back({x});
            }

    // Records, with block numbers as child and parent references.
    const std::size_t nBlocks = collapsedSCC.size();
    std::vector<int> blockOf(nScc, -1);
    for (std::size_t b = 0; b < nBlocks; ++b)
        for (const int x : collapsedSCC[b]) blockOf[static_cast<std::size_t>(x)] = static_cast<int>(b);
    std::vector<sccTopo> sccDS(nBlocks);
    std::vector<int> childListed(nBlocks, -1), parentListed(nBlocks, -1);
    for (std::size_t b = 0; b < nBlocks; ++b) {
        sccTopo& record = sccDS[b];
        const int self = static_cast<int>(b);
        for (const int x : collapsedSCC[b]) {
            addBlockLinks(sccGraph[static_cast<std::size_t>(x)], blockOf, self, childListed, record.chSccIndex);
            addBlockLinks(sccGraphTp[static_cast<std::size_t>(x)], blockOf, self, parentListed, record.paSccIndex);
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

// ---- BDD helpers -------------------------------------------------------------

// For the raw interfaces (and the tests that build sets by hand): the caller
// owns the reference returned.
DdNode* refChecked(DdNode* node) {
    if (node == nullptr)
        throw quorvelError("BDD engine failure: an operation gave no result (memory exhausted)");
    Cudd_Ref(node);  // a raw reference, owned by the caller (no manager at hand)
    return node;
}

DdNode* swapCurrentAndNext(DdManager* mgr, DdNode* set, std::vector<DdNode*>& ip, int nInpVar) {
    return bddResult(mgr, Cudd_bddSwapVariables(mgr, set, ip.data(), ip.data() + nInpVar, nInpVar))
        .release();
}

std::vector<char> makeCubeArray(DdManager* mgr, int nInpVar) {
    const int nVars = std::max(Cudd_ReadSize(mgr), 2 * nInpVar);
    return std::vector<char>(static_cast<size_t>(std::max(nVars, 1)), 2);
}

namespace {

// The conjunction of the literals (gene g, value) over the current-state
// variables ip[g] (variable index g). Conjoined from the bottom of the
// variable order up, each literal lands above the cube built so far, so a
// cube of n literals costs n steps instead of n^2.
bddHandle cubeOf(DdManager* mgr, std::vector<DdNode*>& ip,
                 std::vector<std::pair<int, bool>> literals) {
    std::sort(literals.begin(), literals.end(), [mgr](const auto& a, const auto& b) {
        return Cudd_ReadPerm(mgr, a.first) > Cudd_ReadPerm(mgr, b.first);
    });
    bddHandle node = bddOne(mgr);
    for (const auto& [g, positive] : literals) {
        DdNode* var = ip[static_cast<size_t>(g)];
        node = bddResult(mgr, Cudd_bddAnd(mgr, node.get(), positive ? var : Cudd_Not(var)));
    }
    return node;
}

}  // namespace

DdNode* pickMinterm(DdManager* mgr, DdNode* topNode, std::vector<DdNode*>& ip,
                    const std::vector<int>& geneId, int nInpVar, int flag) {
    std::vector<char> cube = makeCubeArray(mgr, nInpVar);
    const int status = Cudd_bddPickOneCube(mgr, topNode, cube.data());
    if (status != 1) raiseFatal("error in printing cube::: status is " + std::to_string(status));
    std::vector<std::pair<int, bool>> literals;
    for (int g : uniqueGenes(geneId))
        literals.emplace_back(g, cube[static_cast<size_t>(g + flag * nInpVar)] == 1);
    return cubeOf(mgr, ip, literals).release();
}

DdNode* makeBdd(DdManager* mgr, std::vector<DdNode*>& ip, const char* literals, int nInpVar) {
    std::vector<std::pair<int, bool>> chosen;
    for (int k = 0; k < nInpVar; ++k)
        if (literals[k] == 0 || literals[k] == 1) chosen.emplace_back(k, literals[k] == 1);
    return cubeOf(mgr, ip, chosen).release();
}

bool checkInclusion(DdManager* mgr, DdNode* setSuper, DdNode* setSub) {
    return Cudd_bddLeq(mgr, setSub, setSuper) == 1;
}



// ---- Composition helper and result text --------------------------------------

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

int printNonDynamicSteadyStatesJava(const geneDatabase& geneDbOrg,
                                    const geneDatabase& geneDbReduced,
                                    const std::vector<int>& defaultStatus,
                                    std::vector<int>& nodeLvl) {
    for (size_t i = 0; i < geneDbOrg.size(); ++i) {
        if (chkInList(geneDbReduced, geneDbOrg[i].name) != -1) continue;
        const int status = defaultStatus.at(i);
        nodeLvl.at(i) = (status == 1 || status == 2) ? 1 : 0;
    }
    return 0;
}

// States are taken out of a working copy of topNode a cube at a time: a cube
// is picked, every state it covers is written (its free current-state
// variables taking every combination of values), and the cube is removed, so
// every state is written exactly once and the BDD work is per cube, not per
// state. The count of states goes to `progress` after "number of
// states ". The genes fixed by the reduction take the same value in every
// state and are looked up once.
int printCubesJava(DdManager* mgr, const geneDatabase& geneDbOrg,
                   const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus,
                   DdNode* topNode, std::vector<DdNode*>& ip, std::ostringstream& outSS,
                   int nInpVar, std::vector<int>& nodeLvl, const progressSink& progress) {
    if (nodeLvl.size() < geneDbOrg.size()) nodeLvl.resize(geneDbOrg.size(), 0);
    // Where each reduced gene's value goes in the written state, looked up
    // once rather than once per state.
    std::vector<int> orgIndex(static_cast<size_t>(nInpVar), -1);
    for (int r = 0; r < nInpVar; ++r)
        orgIndex[static_cast<size_t>(r)] =
            chkInList(geneDbOrg, geneDbReduced.at(static_cast<size_t>(r)).name);
    printNonDynamicSteadyStatesJava(geneDbOrg, geneDbReduced, defaultStatus, nodeLvl);

    // Each state takes four characters per gene. A text past 2^31 - 1
    // characters fits no Java string and would take hours to write: refuse
    // such an attractor up front instead of exhausting memory.
    const double states = Cudd_CountMinterm(mgr, topNode, nInpVar);
    const double bytes = states * 4.0 * static_cast<double>(geneDbOrg.size());
    chkWrittenWhole(outSS);  // a failed stream's tellp() is -1
    if (bytes + static_cast<double>(outSS.tellp()) > kMaxResultTextBytes) {
        std::ostringstream message;
        message.precision(15);
        message << "an attractor of " << states << " states is too large to write"
                << kLargeAttractorFormats;
        throw quorvelError(message.str());
    }
    std::vector<char> outCube(static_cast<size_t>(Cudd_ReadSize(mgr)) + 1, 2);
    bddHandle left(mgr, topNode);  // the states not yet written
    unsigned long long written = 0;
    do {
        const int status = Cudd_bddPickOneCube(mgr, left.get(), outCube.data());
        if (status != 1)
            raiseFatal("error in printing cube::: status is " + std::to_string(status));
        if (written == 0) outSS << "\n";
        std::vector<int> freeGenes;
        for (int r = 0; r < nInpVar; ++r) {
            const size_t at = static_cast<size_t>(r);
            if (outCube[at] == 2)
                freeGenes.push_back(r);
            else if (orgIndex[at] != -1)
                nodeLvl[static_cast<size_t>(orgIndex[at])] = outCube[at] == 1 ? 1 : 0;
        }
        const unsigned long long states = 1ULL << freeGenes.size();
        for (unsigned long long combination = 0; combination < states; ++combination) {
            for (size_t k = 0; k < freeGenes.size(); ++k) {
                const int at = orgIndex[static_cast<size_t>(freeGenes[k])];
                if (at != -1) nodeLvl[static_cast<size_t>(at)] = int((combination >> k) & 1u);
            }
            for (size_t k = 0; k < geneDbOrg.size(); ++k) outSS << nodeLvl[k] << "   ";
            chkWrittenWhole(outSS);
        }
        written += states;
        const bddHandle cube = bddHandle::adopt(mgr, makeBdd(mgr, ip, outCube.data(), nInpVar));
        left = bddResult(mgr, Cudd_bddAnd(mgr, left.get(), Cudd_Not(cube.get())));
    } while (left.get() != Cudd_ReadLogicZero(mgr));
    writeProgress(progress, "number of states ", written, "\n");
    return 0;
}

void chkWrittenWhole(const std::ostream& out) {
    if (out.fail())
        throw quorvelError("memory exhausted: the result text could not be written whole");
}

std::vector<int> uniqueGenes(const std::vector<int>& geneId) {
    std::vector<int> genes;
    for (int g : geneId)
        if (std::find(genes.begin(), genes.end(), g) == genes.end()) genes.push_back(g);
    return genes;
}
