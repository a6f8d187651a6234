// The genes' own next-state functions and influences, read from their
// relations, and the variable index of a state variable.
#pragma once

#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"

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

// Reads the functions from the relations op (x'_g XNOR f_g(x) over the whole
// space: relations not yet narrowed to a part of it).
networkFunctions readNetworkFunctions(DdManager* mgr, std::vector<DdNode*>& op,
                                      std::vector<DdNode*>& ip, int nInpVar);
