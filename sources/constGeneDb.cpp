// Gene databases built from the rules, and lookups in gene lists.
#include "constGeneDb.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <locale>
#include <memory>
#include <unordered_map>

#include "quorvelError.h"

int constGeneDb(const std::vector<networkDefBool>& network, geneDatabase& geneDb,
                const progressSink& progress) {
    // A name index keeps construction linear in the size of the rule list;
    // the identifiers are the same ones a scan with chkInList would give
    // (first appearance, target before its regulators).
    std::unordered_map<std::string, int> index;
    index.reserve(geneDb.size() + network.size());
    for (std::size_t g = 0; g < geneDb.size(); ++g)
        index.emplace(geneDb[g].name, static_cast<int>(g));
    auto enter = [&](const std::string& name) {
        if (index.emplace(name, static_cast<int>(geneDb.size())).second) {
            gene entry;
            entry.name = name;
            geneDb.push_back(std::move(entry));
        }
    };
    for (const networkDefBool& rule : network) {
        enter(rule.outGeneName);
        for (const std::string& name : rule.inpGeneName) enter(name);
    }
    writeProgress(progress, "size of geneDb is  ", geneDb.size(), "\n");

    auto lookup = [&](const std::string& name) {
        const auto found = index.find(name);
        if (found == index.end()) raiseFatal("error in constructing geneDb");
        return found->second;
    };
    for (const networkDefBool& rule : network) {
        const int target = lookup(rule.outGeneName);
        if (rule.inpGeneName.size() != rule.inpGenePolar.size())
            raiseFatal("error in constructing geneDb");
        influenceDefBool term;
        term.geneId.reserve(rule.inpGeneName.size());
        term.genePolar.reserve(rule.inpGeneName.size());
        for (std::size_t k = 0; k < rule.inpGeneName.size(); ++k) {
            term.geneId.push_back(lookup(rule.inpGeneName[k]));
            term.genePolar.push_back(rule.inpGenePolar[k]);
        }
        gene& targetGene = geneDb[static_cast<std::size_t>(target)];
        if (rule.outGenePolar == 0)
            targetGene.inGenesNeg.push_back(std::move(term));
        else
            targetGene.inGenesPos.push_back(std::move(term));
    }
    return 0;
}

int chkInList(const geneDatabase& geneDb, const std::string& geneChk) {
    for (std::size_t g = 0; g < geneDb.size(); ++g)
        if (geneDb[g].name == geneChk) return static_cast<int>(g);
    return -1;
}

int chkInListInt(const std::vector<int>& listing, int valChk) {
    for (std::size_t k = 0; k < listing.size(); ++k)
        if (listing[k] == valChk) return static_cast<int>(k);
    return -1;
}

std::vector<int> uniqueGenes(const std::vector<int>& geneId) {
    std::vector<int> genes;
    for (int g : geneId)
        if (std::find(genes.begin(), genes.end(), g) == genes.end()) genes.push_back(g);
    return genes;
}
