// Records that carry a network from the rule file to the symbolic analysis:
// a rule, a conjunctive term, a gene database entry and a block of levels.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One rule of the network file: a conjunction of regulators that activates
// (outGenePolar 1) or inhibits (outGenePolar 0) one target gene.
struct networkDefBool {
    std::vector<std::string> inpGeneName;  // regulator names, in written order
    std::vector<int> inpGenePolar;         // 1 plain, 0 negated; parallel to inpGeneName
    std::string outGeneName;
    int outGenePolar = 0;
};

// One conjunctive term attached to a target gene. geneId holds indices into
// the gene database the term belongs to (geneDbOrg or geneDbReduced).
struct influenceDefBool {
    std::vector<int> geneId;
    std::vector<int> genePolar;  // 1 plain, 0 negated; parallel to geneId
};

// One entry of a gene database; a gene's identifier is its index in the array.
struct gene {
    std::string name;
    int nodeId = 0;                            // never used
    std::vector<int> inGeneId;                 // never used
    std::vector<influenceDefBool> inGenesPos;  // activating terms, file order
    std::vector<influenceDefBool> inGenesNeg;  // inhibiting terms, file order
    std::vector<int> posAffect;                // never used
    std::vector<int> negAffect;                // never used
};

// One block of the reduced network placed in a level of sccTopoLvl.
// Children and parents are referenced by (level, position) pairs held in the
// parallel lists chSccLvl/chSccIndex and paSccLvl/paSccIndex.
struct sccTopo {
    std::vector<int> geneName;  // geneDbReduced indices of the block's genes
    std::vector<int> chGene;    // left empty
    std::vector<int> paGene;    // left empty
    std::vector<int> chSccLvl;
    std::vector<int> chSccIndex;
    std::vector<int> paSccLvl;
    std::vector<int> paSccIndex;
    int trueScc = 0;
    int level = 0;  // never used
};

using geneDatabase = std::vector<gene>;
using levelArray = std::vector<std::vector<sccTopo>>;

// The number of blocks on all levels (what progress counts them against).
inline std::size_t countBlocks(const levelArray& sccTopoLvl) {
    std::size_t blocks = 0;
    for (const std::vector<sccTopo>& level : sccTopoLvl) blocks += level.size();
    return blocks;
}
