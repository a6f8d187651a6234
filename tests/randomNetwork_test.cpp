// The random network generator that the differential tests rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "randomNetwork.h"
#include "util.h"

namespace {

bool sameRules(const std::vector<networkDefBool>& a, const std::vector<networkDefBool>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t r = 0; r < a.size(); ++r)
        if (a[r].inpGeneName != b[r].inpGeneName || a[r].inpGenePolar != b[r].inpGenePolar ||
            a[r].outGeneName != b[r].outGeneName || a[r].outGenePolar != b[r].outGenePolar)
            return false;
    return true;
}

}  // namespace

TEST(RandomNetwork, SameSeedSameNetwork) {
    for (unsigned seed = 1; seed <= 50; ++seed)
        EXPECT_TRUE(sameRules(randomNetwork(seed), randomNetwork(seed)));
    EXPECT_FALSE(sameRules(randomNetwork(1), randomNetwork(2)));
}

TEST(RandomNetwork, TextReadsBackAsTheSameRules) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("quorvel_random_" + std::to_string(::getpid()) + ".net"))
                                 .string();
    for (unsigned seed = 1; seed <= 200; ++seed) {
        randomNetworkOptions options;
        options.letterNames = seed % 2 == 0;
        options.emptyTerm = 0.2;
        const std::vector<networkDefBool> network = randomNetwork(seed, options);
        writeNetworkFile(path, network);
        std::vector<networkDefBool> read;
        testing::internal::CaptureStdout();
        readNetwork(path, read);
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(sameRules(network, read)) << "seed " << seed << "\n" << networkText(network);
    }
    std::remove(path.c_str());
}

TEST(RandomNetwork, GeneCountsAndFeaturesAreCovered) {
    int emptyTerms = 0, repeats = 0, inputs = 0, selfLoops = 0, negations = 0, inhibitionOnly = 0,
        regulatorOnly = 0, severalRules = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        randomNetworkOptions options;
        options.minGenes = 1 + static_cast<int>(seed % 12);
        options.maxGenes = options.minGenes;
        const std::vector<networkDefBool> network = randomNetwork(seed, options);
        geneDatabase db;
        testing::internal::CaptureStdout();
        constGeneDb(network, db);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(db.size(), static_cast<std::size_t>(options.minGenes)) << "seed " << seed << "\n"
                                                                         << networkText(network);
        for (std::size_t g = 0; g < db.size(); ++g) {
            const gene& entry = db[g];
            const std::size_t terms = entry.inGenesPos.size() + entry.inGenesNeg.size();
            regulatorOnly += terms == 0;
            severalRules += terms > 1;
            inhibitionOnly += entry.inGenesPos.empty() && !entry.inGenesNeg.empty();
            for (const auto* list : {&entry.inGenesPos, &entry.inGenesNeg})
                for (const influenceDefBool& term : *list) {
                    emptyTerms += term.geneId.empty();
                    const std::set<int> distinct(term.geneId.begin(), term.geneId.end());
                    repeats += distinct.size() != term.geneId.size();
                    selfLoops += distinct.count(static_cast<int>(g)) != 0;
                    inputs += list == &entry.inGenesPos &&
                              term.geneId == std::vector<int>{static_cast<int>(g)} &&
                              term.genePolar == std::vector<int>{1} && terms == 1;
                    for (const int p : term.genePolar) negations += p == 0;
                }
        }
    }
    EXPECT_GT(emptyTerms, 10);
    EXPECT_GT(repeats, 50);
    EXPECT_GT(inputs, 50);
    EXPECT_GT(selfLoops, 50);
    EXPECT_GT(negations, 200);
    EXPECT_GT(inhibitionOnly, 50);
    EXPECT_GT(regulatorOnly, 50);
    EXPECT_GT(severalRules, 200);
}
