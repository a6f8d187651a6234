// The network as written, with no gene removed, in a manager of its own.
#include "constFullNetwork.h"

#include <algorithm>
#include <string>

#include "compSccLevels.h"
#include "newManager.h"
#include "quorvelError.h"

questionManager::questionManager(std::size_t maxMemory)
    : mgr(newManager(maxMemory, CUDD_CACHE_SLOTS, 0)) {}

questionManager::~questionManager() {
    if (mgr != nullptr) Cudd_Quit(mgr);
}

void chkNoReferenceLeft(DdManager* mgr) {
    const int left = Cudd_CheckZeroRef(mgr);
    if (left != 0)
        throw quorvelError("internal error: " + std::to_string(left) +
                           " BDD references left outstanding");
}

namespace {

// Conjunction of the literals of `term` (indices into geneDbOrg).
bddHandle termValue(const fullNetwork& net, const influenceDefBool& term) {
    DdManager* const m = net.mgr;
    bddHandle value = bddOne(m);
    for (size_t k = 0; k < term.geneId.size(); ++k) {
        DdNode* const var = net.vars.at(static_cast<size_t>(term.geneId[k])).get();
        value =
            bddResult(m, Cudd_bddAnd(m, value.get(), term.genePolar[k] == 0 ? Cudd_Not(var) : var));
    }
    return value;
}

bddHandle anyTermHolds(const fullNetwork& net, const std::vector<influenceDefBool>& terms) {
    bddHandle any = bddZero(net.mgr);
    for (const influenceDefBool& term : terms)
        any = bddResult(net.mgr, Cudd_bddOr(net.mgr, any.get(), termValue(net, term).get()));
    return any;
}

}  // namespace

fullNetwork constFullNetwork(DdManager* mgr, const geneDatabase& geneDbOrg,
                             const std::vector<geneFix>& fixes, int stride) {
    fullNetwork net;
    net.mgr = mgr;
    net.nGenes = static_cast<int>(geneDbOrg.size());
    net.stride = stride;
    for (int k = 0; k < net.nGenes * stride; ++k)
        static_cast<void>(bddResult(mgr, Cudd_bddNewVar(mgr)));
    // The genes go in the order of the dependency graph's components,
    // regulators above the genes they regulate: reachability then settles
    // the upstream genes high in the diagrams, and a gene's constraints
    // meet its regulators' close by.
    adjacencyList graph, graphTp;
    makeGraph(geneDbOrg, graph, graphTp);
    for (const std::vector<int>& component : stronglyConnectedComponents(graph, graphTp))
        net.order.insert(net.order.end(), component.begin(), component.end());
    net.position.assign(geneDbOrg.size(), 0);
    for (size_t k = 0; k < net.order.size(); ++k)
        net.position[static_cast<size_t>(net.order[k])] = static_cast<int>(k);
    for (size_t g = 0; g < geneDbOrg.size(); ++g)
        net.vars.emplace_back(mgr, Cudd_bddIthVar(mgr, stride * net.position[g]));
    for (size_t g = 0; g < geneDbOrg.size(); ++g) {
        const gene& entry = geneDbOrg[g];
        const auto fix = std::find_if(fixes.begin(), fixes.end(),
                                      [&](const geneFix& f) { return f.name == entry.name; });
        std::vector<int> read;
        if (fix != fixes.end()) {
            net.next.push_back(fix->value == 1 ? bddOne(mgr) : bddZero(mgr));
        } else if (entry.inGenesPos.empty() && entry.inGenesNeg.empty()) {
            net.next.push_back(bddZero(mgr));
        } else {
            const bddHandle act =
                entry.inGenesPos.empty() ? bddOne(mgr) : anyTermHolds(net, entry.inGenesPos);
            const bddHandle inh = anyTermHolds(net, entry.inGenesNeg);
            net.next.push_back(bddResult(mgr, Cudd_bddAnd(mgr, act.get(), Cudd_Not(inh.get()))));
            for (const auto* terms : {&entry.inGenesPos, &entry.inGenesNeg})
                for (const influenceDefBool& term : *terms)
                    read.insert(read.end(), term.geneId.begin(), term.geneId.end());
        }
        std::sort(read.begin(), read.end());
        read.erase(std::unique(read.begin(), read.end()), read.end());
        net.regulators.push_back(std::move(read));
        DdNode* const x = net.vars[g].get();
        DdNode* const f = net.next[g].get();
        net.rise.push_back(bddResult(mgr, Cudd_bddAnd(mgr, Cudd_Not(x), f)));
        net.fall.push_back(bddResult(mgr, Cudd_bddAnd(mgr, x, Cudd_Not(f))));
    }
    return net;
}
