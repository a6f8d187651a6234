// The reduction: fixed values propagated, the reduced gene database, the
// blocks in levels.
#include "refineNetwork.h"

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

#include "compSccLevels.h"
#include "constGeneDb.h"
#include "quorvelError.h"
#include "readNetworkText.h"

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
        if (g < 0)
            throw optionError("--fix: the network has no gene named " + printableName(fix.name));
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
