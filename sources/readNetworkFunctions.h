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

// Reads the functions from the relations op (x'_g XNOR f_g(x) over the whole
// space: relations not yet narrowed to a part of it).
networkFunctions readNetworkFunctions(DdManager* mgr, std::vector<DdNode*>& op,
                                      std::vector<DdNode*>& ip, int nInpVar);
