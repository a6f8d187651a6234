// What the two compositions share: how a block meets the attractors of the
// part processed before it.
#include "compBlockSteps.h"

#include <algorithm>
#include <cstddef>

changingRegulators walkChangingRegulators(const networkFunctions& network,
                                          const std::vector<int>& block,
                                          const std::function<bool(int)>& consider,
                                          const std::function<bool(int)>& changes) {
    changingRegulators walk;
    std::vector<bool> seen(network.regulators.size(), false);
    std::vector<int> frontier(block);
    while (!frontier.empty()) {
        const int g = frontier.back();
        frontier.pop_back();
        for (const int r : network.regulators.at(static_cast<size_t>(g))) {
            const size_t at = static_cast<size_t>(r);
            if (seen.at(at) || std::binary_search(block.begin(), block.end(), r) || !consider(r))
                continue;
            seen[at] = true;
            if (changes(r)) {
                walk.changing.push_back(r);
                frontier.push_back(r);
            } else {
                walk.held.push_back(r);
            }
        }
    }
    std::sort(walk.changing.begin(), walk.changing.end());
    std::sort(walk.held.begin(), walk.held.end());
    return walk;
}

std::vector<oneGeneOutcome> oneGeneOutcomes(const bddHandle& canFall, const bddHandle& canRise) {
    DdManager* const m = canFall.manager();
    DdNode* const fall = canFall.get();
    DdNode* const rise = canRise.get();
    const bddHandle neither = bddResult(m, Cudd_bddAnd(m, Cudd_Not(fall), Cudd_Not(rise)));
    return {{bddResult(m, Cudd_bddAnd(m, fall, rise)), -1},
            {bddResult(m, Cudd_bddAnd(m, fall, Cudd_Not(rise))), 0},
            {bddResult(m, Cudd_bddAnd(m, Cudd_Not(fall), rise)), 1},
            {neither, 0},
            {neither, 1}};
}
