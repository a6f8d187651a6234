// Gene database construction and the two lookups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "randomNetwork.h"
#include "testNetworks.h"
#include "util.h"

namespace {

geneDatabase build(const std::vector<networkDefBool>& network, std::string* output = nullptr) {
    geneDatabase db;
    testing::internal::CaptureStdout();
    try {
        constGeneDb(network, db);
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    const std::string text = testing::internal::GetCapturedStdout();
    if (output) *output = text;
    return db;
}

// The database built the plain way: every lookup a scan with chkInList.
geneDatabase referenceDb(const std::vector<networkDefBool>& network) {
    geneDatabase db;
    auto enter = [&](const std::string& name) {
        if (chkInList(db, name) == -1) {
            db.emplace_back();
            db.back().name = name;
        }
    };
    for (const networkDefBool& r : network) {
        enter(r.outGeneName);
        for (const std::string& name : r.inpGeneName) enter(name);
    }
    for (const networkDefBool& r : network) {
        influenceDefBool term;
        for (std::size_t k = 0; k < r.inpGeneName.size(); ++k) {
            term.geneId.push_back(chkInList(db, r.inpGeneName[k]));
            term.genePolar.push_back(r.inpGenePolar[k]);
        }
        gene& target = db[static_cast<std::size_t>(chkInList(db, r.outGeneName))];
        (r.outGenePolar == 0 ? target.inGenesNeg : target.inGenesPos).push_back(term);
    }
    return db;
}

bool sameTerms(const std::vector<influenceDefBool>& a, const std::vector<influenceDefBool>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t t = 0; t < a.size(); ++t)
        if (a[t].geneId != b[t].geneId || a[t].genePolar != b[t].genePolar) return false;
    return true;
}

}  // namespace

TEST(GeneDatabase, ExampleNumbersTargetsBeforeRegulators) {
    // A&^B -> C; C -| A; B -> B
    std::string output;
    const geneDatabase db = build(
        {rule({"A", "B"}, {1, 0}, "C", 1), rule({"C"}, {1}, "A", 0), rule({"B"}, {1}, "B", 1)},
        &output);
    EXPECT_EQ(output, "size of geneDb is  3\n");
    ASSERT_EQ(db.size(), 3u);
    EXPECT_EQ(db[0].name, "C");
    EXPECT_EQ(db[1].name, "A");
    EXPECT_EQ(db[2].name, "B");
    ASSERT_EQ(db[0].inGenesPos.size(), 1u);
    EXPECT_EQ(db[0].inGenesPos[0].geneId, (std::vector<int>{1, 2}));
    EXPECT_EQ(db[0].inGenesPos[0].genePolar, (std::vector<int>{1, 0}));
    EXPECT_TRUE(db[0].inGenesNeg.empty());
    ASSERT_EQ(db[1].inGenesNeg.size(), 1u);
    EXPECT_EQ(db[1].inGenesNeg[0].geneId, (std::vector<int>{0}));
    EXPECT_TRUE(db[1].inGenesPos.empty());
    ASSERT_EQ(db[2].inGenesPos.size(), 1u);
    EXPECT_EQ(db[2].inGenesPos[0].geneId, (std::vector<int>{2}));
}

TEST(GeneDatabase, TermsKeepFileOrderRepeatsAndEmptyRegulatorLists) {
    const geneDatabase db = build({rule({"X"}, {1}, "Y", 1), rule({"X", "X"}, {1, 0}, "Y", 1),
                                   rule({}, {}, "Y", 0), rule({"y"}, {1}, "Y", 1)});
    ASSERT_EQ(db.size(), 3u);  // Y, X, y: names are case-sensitive
    EXPECT_EQ(db[2].name, "y");
    ASSERT_EQ(db[0].inGenesPos.size(), 3u);
    EXPECT_EQ(db[0].inGenesPos[1].geneId, (std::vector<int>{1, 1}));
    EXPECT_EQ(db[0].inGenesPos[1].genePolar, (std::vector<int>{1, 0}));
    EXPECT_EQ(db[0].inGenesPos[2].geneId, (std::vector<int>{2}));
    ASSERT_EQ(db[0].inGenesNeg.size(), 1u);
    EXPECT_TRUE(db[0].inGenesNeg[0].geneId.empty());
}

TEST(GeneDatabase, EmptyRuleList) {
    std::string output;
    EXPECT_TRUE(build({}, &output).empty());
    EXPECT_EQ(output, "size of geneDb is  0\n");
}

TEST(GeneDatabase, MismatchedPolaritiesAreRefusedWithoutEndingTheProcess) {
    EXPECT_THROW(build({rule({"A", "B"}, {1}, "C", 1)}), quorvelError);
}

TEST(GeneDatabase, SameAsTheLinearScanOnRandomNetworks) {
    for (unsigned seed = 1; seed <= 500; ++seed) {
        randomNetworkOptions options;
        options.maxGenes = 12;
        options.letterNames = seed % 2 == 0;
        const std::vector<networkDefBool> network = randomNetwork(seed, options);
        const geneDatabase db = build(network), expected = referenceDb(network);
        ASSERT_EQ(db.size(), expected.size()) << "seed " << seed << "\n" << networkText(network);
        for (std::size_t g = 0; g < db.size(); ++g) {
            ASSERT_EQ(db[g].name, expected[g].name) << "seed " << seed;
            ASSERT_TRUE(sameTerms(db[g].inGenesPos, expected[g].inGenesPos)) << "seed " << seed;
            ASSERT_TRUE(sameTerms(db[g].inGenesNeg, expected[g].inGenesNeg)) << "seed " << seed;
        }
    }
}

TEST(GeneDatabase, ManyRulesForOneGene) {
    // 20000 rules for one target over 2000 regulators.
    std::vector<networkDefBool> network;
    for (int r = 0; r < 20000; ++r)
        network.push_back(
            rule({"R" + std::to_string(r % 2000), "R" + std::to_string((r * 7) % 2000)}, {1, 0},
                 "T", 1));
    const geneDatabase db = build(network);
    ASSERT_EQ(db.size(), 2001u);
    ASSERT_EQ(db[0].inGenesPos.size(), 20000u);
    EXPECT_EQ(chkInList(db, "R1999"), db[0].inGenesPos[1999].geneId[0]);
    EXPECT_EQ(chkInList(db, "R1993"), db[0].inGenesPos[1999].geneId[1]);  // 1999 * 7 mod 2000
}

TEST(Lookups, ChkInListFindsTheFirstExactName) {
    geneDatabase db(3);
    db[0].name = "a";
    db[1].name = "A";
    db[2].name = "A";
    EXPECT_EQ(chkInList(db, "A"), 1);
    EXPECT_EQ(chkInList(db, "a"), 0);
    EXPECT_EQ(chkInList(db, "A "), -1);
    EXPECT_EQ(chkInList({}, ""), -1);
}

TEST(Lookups, ChkInListInt) {
    EXPECT_EQ(chkInListInt({}, 7), -1);
    EXPECT_EQ(chkInListInt({4, 7, 7}, 7), 1);
    EXPECT_EQ(chkInListInt({4, 7, 7}, 4), 0);
    EXPECT_EQ(chkInListInt({4, 7, 7}, 5), -1);
}
