// The genes' own next-state functions and influences, read from their
// relations, and the variable index of a state variable.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"
#include "compSccLevels.h"

// The variable index of a projection function (ip[i]); throws quorvelError
// for any other node.
int indexOfVariable(DdManager* mgr, DdNode* var);

// The next-state functions of the genes 0 .. nInpVar-1 and the genes each
// one reads. The record owns one reference on each function.
struct networkFunctions {
    std::vector<std::vector<int>> regulators;  // the genes in f_g's support, ascending
    bddArray next;                             // f_g over x
};

// Puts other functions for some genes (a block's functions cofactored by
// its inputs' values, or by the genes a trap subcube holds, with their
// regulators) into the record for the lifetime of the object, and the
// originals back afterwards, exceptions included, so a search over those
// genes alone reads a closed fragment. The originals stay alive meanwhile:
// a search further up may hold their nodes.
class cofactoredFunctions {
public:
    cofactoredFunctions(networkFunctions& network, const std::vector<int>& genes,
                        bddArray functions, std::vector<std::vector<int>> regulators);
    cofactoredFunctions(const cofactoredFunctions&) = delete;
    cofactoredFunctions& operator=(const cofactoredFunctions&) = delete;
    ~cofactoredFunctions() { swapIn(); }

private:
    void swapIn() noexcept;
    networkFunctions& network_;
    std::vector<int> genes_;
    bddArray next_;
    std::vector<std::vector<int>> regulators_;
};

// The genes `moving` (ascending) of a fragment inside its trap subcube
// `trap` (a cube over x of the fragment genes that cannot move there): each
// one's function in `network` with the held genes at their values, the
// moving genes it still reads (ascending), the graph of those reads by
// position in `moving` (graph[j]: the readers of moving[j]; graphTp[k]: the
// regulators of moving[k]) and its strongly connected components.
struct trapBlocks {
    bddArray functions;
    std::vector<std::vector<int>> regulators;
    adjacencyList graph, graphTp, components;
};

// The blocks of `moving` inside `trap` (see trapBlocks); nothing when they
// form one block, or a block of more than `largest` genes, where splitting
// the trap would not make the search smaller.
std::optional<trapBlocks> splitTrap(DdManager* mgr, const networkFunctions& network,
                                    const std::vector<int>& moving, const bddHandle& trap,
                                    size_t largest);

// Reads the functions from the relations op (x'_g XNOR f_g(x) over the whole
// space: relations not yet narrowed to a part of it).
networkFunctions readNetworkFunctions(DdManager* mgr, std::vector<DdNode*>& op,
                                      std::vector<DdNode*>& ip, int nInpVar);
