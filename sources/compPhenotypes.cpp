// Phenotypes of attractors and the merge of outcomes by phenotype.
#include "compPhenotypes.h"

#include <algorithm>
#include <map>

#include "analysisOptions.h"

std::vector<std::size_t> markerPositions(const std::vector<std::string>& markers,
                                         const std::vector<std::string>& genes) {
    std::vector<std::size_t> positions;
    for (const std::string& marker : markers) {
        const auto at = std::find(genes.begin(), genes.end(), marker);
        if (at == genes.end())
            throw optionError("--phenotypes: the network has no gene named " + marker);
        positions.push_back(static_cast<std::size_t>(at - genes.begin()));
    }
    return positions;
}

std::string phenotypeOf(const std::string& space, const std::vector<std::size_t>& positions) {
    std::string phenotype;
    for (const std::size_t at : positions) phenotype.push_back(space.at(at));
    return phenotype;
}

std::vector<phenotypeCount> countPhenotypes(const std::vector<std::string>& phenotypes) {
    std::vector<phenotypeCount> counts;
    for (const std::string& phenotype : phenotypes) {
        auto known = std::find_if(counts.begin(), counts.end(), [&](const phenotypeCount& c) {
            return c.phenotype == phenotype;
        });
        if (known == counts.end())
            known = counts.insert(counts.end(), phenotypeCount{phenotype, 0, 0});
        ++known->fewest;
        ++known->most;
    }
    return counts;
}

std::vector<phenotypeOutcome> mergeByPhenotypes(
    const std::vector<std::vector<std::string>>& settings,
    const std::vector<std::vector<std::string>>& phenotypes) {
    std::vector<phenotypeOutcome> merged;
    std::map<std::vector<std::string>, std::size_t> bySet;
    for (std::size_t o = 0; o < settings.size(); ++o) {
        std::vector<phenotypeCount> counts = countPhenotypes(phenotypes.at(o));
        std::sort(counts.begin(), counts.end(),
                  [](const phenotypeCount& a, const phenotypeCount& b) {
                      return a.phenotype < b.phenotype;
                  });
        std::vector<std::string> set;
        for (const phenotypeCount& c : counts) set.push_back(c.phenotype);
        const auto known = bySet.find(set);
        if (known == bySet.end()) {
            bySet.emplace(set, merged.size());
            merged.push_back({settings[o], counts});
            continue;
        }
        phenotypeOutcome& into = merged[known->second];
        into.settings.insert(into.settings.end(), settings[o].begin(), settings[o].end());
        for (std::size_t k = 0; k < counts.size(); ++k) {
            into.phenotypes[k].fewest = std::min(into.phenotypes[k].fewest, counts[k].fewest);
            into.phenotypes[k].most = std::max(into.phenotypes[k].most, counts[k].most);
        }
    }
    return merged;
}
