// A set of states as disjoint cubes, read from its diagram.
#pragma once

#include <string>
#include <vector>

#include "bddEngine.h"

// A cover of a set of states by disjoint cubes. Each cube holds one character
// per reduced gene r (index r, variable ip[r]): '0', '1' or '-' (both values).
// `states` is the exact number of states, in decimal.
struct cubeCover {
    std::vector<std::string> cubes;
    std::string states;
};

// Covers `set` (over the current-state variables ip[0 .. nInpVar-1] of mgr)
// with disjoint cubes, splitting on the variable at the top of the order
// first: when one value's part holds the other's, the smaller part becomes
// cubes with '-' there and only the rest of the larger is split; otherwise
// each part is covered apart (as the paths of the diagram). A subspace gives
// one cube. The states are counted from the cubes, never enumerated. Throws quorvelError on
// an engine failure.
cubeCover compDisjointCubes(DdManager* mgr, DdNode* set, std::vector<DdNode*>& ip, int nInpVar);
