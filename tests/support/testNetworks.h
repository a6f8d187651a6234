// Small gene databases and rules written by hand in the tests: one place for
// the builders that several test files use.
#pragma once

#include <string>
#include <vector>

#include "parseNetwork.h"
#include "util.h"

// A rule as the reader gives it: the literals `names` with polarities
// `polar` (1 plain, 0 negated) make one term; outPolar 1 activates `target`,
// 0 inhibits it.
networkDefBool rule(std::vector<std::string> names, std::vector<int> polar,
                    const std::string& target, int outPolar);
// The same from rule-file text: `expression` is literals joined by '&'
// ('^' negates; empty literals are skipped), `arrow` "->" or "-|".
networkDefBool rule(const std::string& expression, const std::string& arrow,
                    const std::string& target);

// Genes without terms, named `names` in order.
geneDatabase namedGenes(const std::vector<std::string>& names);
// n genes without terms, named g0, g1, ...
geneDatabase namedGenes(int n);

// n genes named g0, g1, ..., each inhibited by itself: next x_i = NOT x_i.
geneDatabase selfNegating(int n);

// A rule list and what the reduction makes of it.
struct reducedNetwork {
    std::vector<networkDefBool> rules;
    geneDatabase geneDbOrg, geneDbReduced;
    std::vector<int> defaultStatus;
    levelArray sccTopoLvl;
};
// Runs refineNetwork on `rules`, its progress lines dropped.
reducedNetwork reducedNetworkOf(const std::vector<networkDefBool>& rules);
