// The genes' own next-state functions, read back from their relations, and
// functions lent to the record for a scope.
#include "readNetworkFunctions.h"

#include <cstdlib>
#include <utility>

#include "utilSets.h"

int indexOfVariable(DdManager* mgr, DdNode* var) {
    int* indices = nullptr;
    const int n = Cudd_SupportIndices(mgr, var, &indices);
    const int index = (n == 1) ? indices[0] : -1;
    std::free(indices);
    if (index < 0) raiseFatal("a state variable has no index");
    return index;
}

networkFunctions readNetworkFunctions(DdManager* mgr, std::vector<DdNode*>& op,
                                      std::vector<DdNode*>& ip, int nInpVar) {
    networkFunctions network;
    network.regulators.resize(static_cast<size_t>(nInpVar));
    std::vector<int> geneOfIndex(static_cast<size_t>(Cudd_ReadSize(mgr)), -1);
    for (int g = 0; g < nInpVar; ++g)
        geneOfIndex[static_cast<size_t>(indexOfVariable(mgr, ip[static_cast<size_t>(g)]))] = g;
    for (int g = 0; g < nInpVar; ++g) {
        // f_g = EXISTS x'_g . op[g] AND x'_g.
        DdNode* next = ip[static_cast<size_t>(nInpVar + g)];
        network.next.push_back(
            bddResult(mgr, Cudd_bddAndAbstract(mgr, op[static_cast<size_t>(g)], next, next)));
        int* support = nullptr;
        const int count = Cudd_SupportIndices(mgr, network.next.back().get(), &support);
        if (count < 0) raiseFatal("support of a next-state function unavailable");
        for (int s = 0; s < count; ++s)
            if (geneOfIndex[static_cast<size_t>(support[s])] >= 0)
                network.regulators[static_cast<size_t>(g)].push_back(
                    geneOfIndex[static_cast<size_t>(support[s])]);
        std::free(support);
    }
    return network;
}

cofactoredFunctions::cofactoredFunctions(networkFunctions& network, const std::vector<int>& genes,
                                         bddArray functions,
                                         std::vector<std::vector<int>> regulators)
    : network_(network),
      genes_(genes),
      next_(std::move(functions)),
      regulators_(std::move(regulators)) {
    swapIn();
}

void cofactoredFunctions::swapIn() noexcept {
    for (size_t k = 0; k < genes_.size(); ++k) {
        const size_t g = static_cast<size_t>(genes_[k]);
        std::swap(network_.next[g], next_[k]);
        std::swap(network_.regulators[g], regulators_[k]);
    }
}

std::optional<trapBlocks> splitTrap(DdManager* mgr, const networkFunctions& network,
                                    const std::vector<int>& moving, const bddHandle& trap,
                                    size_t largest) {
    const size_t n = moving.size();
    // The genes held in the subcube are the variables of the cube (the
    // variable of x_g has index g).
    const bddHandle heldCube = cubeOfIndices(mgr, supportOf(mgr, trap.get()));
    std::vector<long> position(static_cast<size_t>(Cudd_ReadSize(mgr)), -1);
    for (size_t k = 0; k < n; ++k) position[static_cast<size_t>(moving[k])] = static_cast<long>(k);
    trapBlocks split{{}, std::vector<std::vector<int>>(n), adjacencyList(n), adjacencyList(n), {}};
    for (size_t k = 0; k < n; ++k) {
        split.functions.push_back(bddResult(
            mgr, Cudd_bddAndAbstract(mgr, network.next[static_cast<size_t>(moving[k])].get(),
                                     trap.get(), heldCube.get())));
        for (const int r : supportOf(mgr, split.functions.back().get())) {
            const long at = position[static_cast<size_t>(r)];
            if (at < 0) continue;
            split.regulators[k].push_back(r);
            split.graph[static_cast<size_t>(at)].push_back(static_cast<int>(k));
            split.graphTp[k].push_back(static_cast<int>(at));
        }
    }
    split.components = stronglyConnectedComponents(split.graph, split.graphTp);
    if (split.components.size() < 2) return std::nullopt;
    for (const std::vector<int>& component : split.components)
        if (component.size() > largest) return std::nullopt;
    return split;
}
