// Published networks: the whole analysis must return exactly the attractors
// that an exhaustive exploration found (expected/<variant>/<id>.json).
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "expectedAttractors.h"
#include "resultText.h"

namespace {

const std::string networksDir = std::string(QUORVEL_SHARED_DIR) + "/networks";

struct networkCase {
    std::string variant;  // "inputs-off" or "models"; empty when none were found
    std::string id;
    std::string name() const {
        std::string n = variant.empty() ? "none" : variant + "_" + id;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    }
};

void PrintTo(const networkCase& c, std::ostream* out) {
    *out << (c.variant.empty() ? std::string("none") : c.variant + "/" + c.id);
}

std::vector<networkCase> listCases() {
    std::vector<networkCase> cases;
    for (const std::string variant : {"inputs-off", "models"}) {
        for (const std::string& id : listExpectedIds(networksDir, variant))
            cases.push_back({variant, id});
    }
    if (cases.empty()) cases.push_back({"", ""});
    return cases;
}

class RealNetwork : public testing::TestWithParam<networkCase> {};

TEST_P(RealNetwork, AttractorsEqualTheExhaustiveOnes) {
    const networkCase& c = GetParam();
    if (c.variant.empty())
        GTEST_SKIP() << "no expected attractors under " << networksDir
                     << "/expected: the shared networks are not present";
    const std::string key = c.variant + "/" + c.id;

    const expectedAttractors expected =
        readExpectedAttractors(networksDir + "/expected/" + key + ".json");
    const std::string text = resultText::runAnalysis(networksDir + "/" + key + ".net");
    const resultText::parsedResult result = resultText::parse(text);
    ASSERT_TRUE(result.ok) << key << ": " << result.error;
    ASSERT_EQ(result.genes, expected.genes) << key;
    EXPECT_FALSE(resultText::hasRepeatedStates(result)) << key;
    EXPECT_EQ(static_cast<int>(result.attractors.size()), expected.nAttractors)
        << key << ": one line per attractor";
    if (expected.listed) {
        const resultText::attractorSet found = resultText::asSet(result);
        EXPECT_EQ(found, expected.attractors)
            << key << "\nfound:    " << resultText::toString(found)
            << "\nexpected: " << resultText::toString(expected.attractors);
    } else {
        std::vector<long> sizes;
        for (const auto& line : result.attractors) sizes.push_back(static_cast<long>(line.size()));
        std::vector<long> expectedSizes = expected.attractorSizes;
        std::sort(sizes.begin(), sizes.end());
        std::sort(expectedSizes.begin(), expectedSizes.end());
        EXPECT_EQ(sizes, expectedSizes) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Shared, RealNetwork, testing::ValuesIn(listCases()),
                         [](const testing::TestParamInfo<networkCase>& info) {
                             return info.param.name();
                         });

}  // namespace
