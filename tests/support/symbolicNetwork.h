// A gene database encoded in one BDD manager, the way the symbolic driver
// encodes it: the fixture's bddSpace (x_i index i, x'_i index n + i,
// interleaved and grouped, the two cubes and the identity relation) made by
// the library's createVarsFragSync, and every gene's relation from
// constBddFrag. For tests of the searches that work on one manager.
#pragma once

#include <vector>

#include "asyncFixture.h"
#include "bddEngine.h"
#include "bddHandle.h"
#include "parseNetwork.h"

struct symbolicNetwork : asyncFixture::bddSpace {
    std::vector<DdNode*> op;  // one relation per gene, referenced

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

// Releases the variables, relations, cubes and identity relation, then
// returns Cudd_CheckZeroRef of the manager and quits it.
int releaseAndCheck(symbolicNetwork& net);

// The state of the listed genes as a conjunction of literals over x
// (values[k] for genes[k]).
bddHandle stateBdd(symbolicNetwork& net, const std::vector<int>& genes,
                   const std::vector<int>& values);
