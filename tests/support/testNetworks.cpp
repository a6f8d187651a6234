// Small gene databases and rules written by hand in the tests.
#include "testNetworks.h"

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

networkDefBool rule(std::vector<std::string> names, std::vector<int> polar,
                    const std::string& target, int outPolar) {
    networkDefBool r;
    r.inpGeneName = std::move(names);
    r.inpGenePolar = std::move(polar);
    r.outGeneName = target;
    r.outGenePolar = outPolar;
    return r;
}

networkDefBool rule(const std::string& expression, const std::string& arrow,
                    const std::string& target) {
    std::vector<std::string> names;
    std::vector<int> polar;
    std::stringstream literals(expression);
    std::string literal;
    while (std::getline(literals, literal, '&')) {
        if (literal.empty()) continue;
        const bool negated = literal[0] == '^';
        names.push_back(negated ? literal.substr(1) : literal);
        polar.push_back(negated ? 0 : 1);
    }
    return rule(std::move(names), std::move(polar), target, arrow == "-|" ? 0 : 1);
}

geneDatabase namedGenes(const std::vector<std::string>& names) {
    geneDatabase db;
    for (const std::string& name : names) {
        gene g;
        g.name = name;
        db.push_back(g);
    }
    return db;
}

geneDatabase namedGenes(int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back("g" + std::to_string(i));
    return namedGenes(names);
}

geneDatabase selfNegating(int n) {
    geneDatabase db = namedGenes(n);
    for (int i = 0; i < n; ++i) {
        influenceDefBool self;
        self.geneId.push_back(i);
        self.genePolar.push_back(1);
        db[static_cast<size_t>(i)].inGenesNeg.push_back(self);
    }
    return db;
}

reducedNetwork reducedNetworkOf(const std::vector<networkDefBool>& rules) {
    reducedNetwork r;
    r.rules = rules;
    testing::internal::CaptureStdout();
    try {
        refineNetwork(r.rules, r.geneDbOrg, r.geneDbReduced, r.defaultStatus, r.sccTopoLvl);
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    testing::internal::GetCapturedStdout();
    return r;
}
