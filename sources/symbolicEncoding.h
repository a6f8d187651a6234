// The state encoding that the searches and writers of one manager share.
#pragma once

#include <vector>

#include "bddEngine.h"

// The symbolic context of one manager: the manager, its variables (ip[i] =
// x_i, the current value of gene i; ip[nInpVar + i] = x'_i, its next value),
// the gene count, the cubes of every x_i (inpCubeFwd) and of every x'_i
// (inpCubeBwd), and the identity relation AND_i (x'_i XNOR x_i) (topSame).
// Every node is lent: the record holds no reference, and the owner keeps
// the variables, cubes and identity alive while it is in use. The functions
// that take the record say in their headers which fields they read; a
// caller may leave the others null (the cubes and the identity of a writer
// that reads only the variables, say).
struct symbolicEncoding {
    DdManager* mgr;
    std::vector<DdNode*>& ip;
    int nInpVar;
    DdNode* inpCubeFwd = nullptr;
    DdNode* inpCubeBwd = nullptr;
    DdNode* topSame = nullptr;
};
