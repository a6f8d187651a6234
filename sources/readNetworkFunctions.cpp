// The genes' own next-state functions, read back from their relations.
#include "readNetworkFunctions.h"

#include <cstdlib>

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
