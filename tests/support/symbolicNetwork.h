// A gene database encoded in one BDD manager, the way the symbolic driver
// encodes it: 2 x n variables (x_i index i, x'_i index n + i), interleaved
// and grouped, the two cubes and every gene's relation from constBddFrag.
// For tests of the searches that work on one manager.
#pragma once

#include <string>
#include <vector>

#include "bddEngine.h"
#include "parseNetwork.h"

struct symbolicNetwork {
    DdManager* mgr = nullptr;
    int n = 0;
    std::vector<DdNode*> ip, op;
    std::vector<std::string> inpName, outName;
    DdNode* inpCubeFwd = nullptr;
    DdNode* inpCubeBwd = nullptr;

    symbolicNetwork() = default;
    symbolicNetwork(const symbolicNetwork&) = delete;
    symbolicNetwork& operator=(const symbolicNetwork&) = delete;
    // Quits the manager if releaseAndCheck did not (a failed test).
    ~symbolicNetwork();
};

// Encodes `db` (whose term indices point into db itself) with
// defaultStatus[i] for gene i (all -1 when empty). Sifting is enabled.
void encodeNetwork(symbolicNetwork& net, const geneDatabase& db,
                   const std::vector<int>& defaultStatus = {});

// Encodes the reduced database of a network as the symbolic driver does
// (defaultStatus indexed by geneDbOrg, as the reduction leaves it).
void encodeNetwork(symbolicNetwork& net, const geneDatabase& geneDbOrg,
                   const geneDatabase& geneDbReduced, const std::vector<int>& defaultStatus);

// Releases the variables, relations and cubes, then returns
// Cudd_CheckZeroRef of the manager and quits it.
int releaseAndCheck(symbolicNetwork& net);

// A referenced copy of node, owned by the caller.
DdNode* refCopy(DdNode* node);

// Releases every handle of `nodes` on mgr and empties the array.
void releaseNodes(DdManager* mgr, std::vector<DdNode*>& nodes);

// The state of the listed genes as a conjunction of literals over x
// (values[k] for genes[k]); referenced.
DdNode* stateBdd(symbolicNetwork& net, const std::vector<int>& genes,
                 const std::vector<int>& values);
