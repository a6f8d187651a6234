// Constant propagation and network reduction (refineNetwork, first half):
// worked example, edge cases, the repaired faults, and a differential check
// of the reduced network against the rules evaluated by brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "randomNetwork.h"
#include "testNetworks.h"
#include "util.h"

namespace {

struct reduction {
    geneDatabase org, reduced;
    std::vector<int> status;
    levelArray levels;
    std::string output;

    int statusOf(const std::string& name) const {
        return status.at(static_cast<std::size_t>(chkInList(org, name)));
    }
    const gene& reducedGene(const std::string& name) const {
        const int r = chkInList(reduced, name);
        EXPECT_GE(r, 0) << name << " is not in the reduced database";
        return reduced.at(static_cast<std::size_t>(r));
    }
    bool removed(const std::string& name) const { return chkInList(reduced, name) == -1; }
};

reduction reduce(const std::vector<networkDefBool>& network) {
    reduction result;
    testing::internal::CaptureStdout();
    try {
        refineNetwork(network, result.org, result.reduced, result.status, result.levels);
    } catch (...) {
        result.output = testing::internal::GetCapturedStdout();
        throw;
    }
    result.output = testing::internal::GetCapturedStdout();
    return result;
}

// "^D&C" form of a reduced term, with reduced gene names.
std::string termText(const geneDatabase& db, const influenceDefBool& term) {
    std::string text;
    for (std::size_t k = 0; k < term.geneId.size(); ++k)
        text += (k ? "&" : "") + std::string(term.genePolar[k] ? "" : "^") +
                db.at(static_cast<std::size_t>(term.geneId[k])).name;
    return text;
}
std::vector<std::string> termsText(const geneDatabase& db,
                                   const std::vector<influenceDefBool>& terms) {
    std::vector<std::string> texts;
    for (const influenceDefBool& term : terms) texts.push_back(termText(db, term));
    return texts;
}

bool isOn(int status) { return status == 1 || status == 2; }

using strings = std::vector<std::string>;

}  // namespace

TEST(Reduction, WorkedExampleFixesThreeGenesAndKeepsTheCycle) {
    const reduction r = reduce({rule("A", "->", "B"), rule("B", "-|", "C"), rule("C&^E", "->", "D"),
                                rule("D", "->", "E")});
    EXPECT_EQ(r.status, (std::vector<int>{0, 0, 1, -1, -1}));  // B A C D E
    ASSERT_EQ(r.reduced.size(), 2u);
    EXPECT_EQ(r.reduced[0].name, "D");
    EXPECT_EQ(r.reduced[1].name, "E");
    EXPECT_EQ(termsText(r.reduced, r.reduced[0].inGenesPos), strings{"^E"});
    EXPECT_EQ(termsText(r.reduced, r.reduced[1].inGenesPos), strings{"D"});
    ASSERT_EQ(r.levels.size(), 1u);
    ASSERT_EQ(r.levels[0].size(), 1u);
    EXPECT_EQ(r.levels[0][0].geneName, (std::vector<int>{1, 0}));
    EXPECT_EQ(r.output,
              "size of geneDb is  5\n"
              "number of scc found 4\n"
              "reduced database size is 2\n"
              "reduced number of sccs are 1\n"
              "number of levels are 1\n"
              "\n"
              "final number of levels are 1\n"
              "2 out edges 0\n");
}

TEST(Reduction, GeneNamedOnlyAsRegulatorIsOffAndPropagates) {
    // A has no rules: OFF. B's only term needs A: ruled out, B OFF. C is
    // resolved against B within the same pass.
    const reduction r =
        reduce({rule("A", "->", "B"), rule("B&X", "->", "C"), rule("X", "->", "X")});
    EXPECT_EQ(r.statusOf("A"), 0);
    EXPECT_EQ(r.statusOf("B"), 0);
    EXPECT_TRUE(r.removed("A"));
    EXPECT_TRUE(r.removed("B"));
    // C's only activating term was ruled out; it keeps X as a regulator in
    // the graph but is now constant 0 and removed once... X is a self-loop,
    // so C keeps a free regulator and stays, with no terms and entry 0.
    EXPECT_EQ(r.statusOf("C"), 0);
    EXPECT_TRUE(r.reducedGene("C").inGenesPos.empty());
}

TEST(Reduction, InhibitionByAnOffGeneGivesOn) {
    const reduction r = reduce({rule("A", "-|", "B")});
    EXPECT_EQ(r.statusOf("A"), 0);
    EXPECT_EQ(r.statusOf("B"), 1);
    EXPECT_TRUE(r.reduced.empty());
    EXPECT_TRUE(r.levels.empty());
}

TEST(Reduction, SatisfiedActivationAndInhibitionGiveOffInEitherOrder) {
    // P and Q are forced ON (their only rule is an inhibition by an OFF gene).
    for (const bool activatorFirst : {true, false}) {
        std::vector<networkDefBool> network = {rule("Z", "-|", "P"), rule("Z", "-|", "Q")};
        if (activatorFirst) network.insert(network.begin(), rule("P", "->", "T"));
        network.push_back(rule("Q", "-|", "T"));
        if (!activatorFirst) network.push_back(rule("P", "->", "T"));
        const reduction r = reduce(network);
        EXPECT_EQ(r.statusOf("P"), 1);
        EXPECT_EQ(r.statusOf("Q"), 1);
        EXPECT_EQ(r.statusOf("T"), 3) << "activator first: " << activatorFirst;
        EXPECT_TRUE(r.removed("T"));
    }
}

TEST(Reduction, SatisfiedLiteralIsDroppedAndTheTermKept) {
    // A is ON; in A&Y -> T the literal A holds and Y stays.
    const reduction r =
        reduce({rule("Z", "-|", "A"), rule("A&Y", "->", "T"), rule("Y", "->", "Y")});
    EXPECT_EQ(r.statusOf("T"), -1);
    EXPECT_EQ(termsText(r.reduced, r.reducedGene("T").inGenesPos), strings{"Y"});
}

TEST(Reduction, SelfRegulatedGeneIsNeverFixed) {
    const reduction r = reduce({rule("A&T", "->", "T")});
    EXPECT_EQ(r.statusOf("A"), 0);
    EXPECT_FALSE(r.removed("T"));
    // The activating term was ruled out, so T is constant 0 but stays.
    EXPECT_EQ(r.statusOf("T"), 0);
    EXPECT_TRUE(r.reducedGene("T").inGenesPos.empty());
}

TEST(Reduction, EverythingFixedGivesEmptyReducedNetwork) {
    const reduction r = reduce({rule("A", "->", "B"), rule("B", "-|", "C")});
    EXPECT_TRUE(r.reduced.empty());
    EXPECT_TRUE(r.levels.empty());
    EXPECT_NE(r.output.find("reduced database size is 0\n"), std::string::npos);
    EXPECT_NE(r.output.find("reduced number of sccs are 0\n"), std::string::npos);
    EXPECT_NE(r.output.find("number of levels are 0\n\nfinal number of levels are 0\n"),
              std::string::npos);
}

TEST(Reduction, EmptyNetwork) {
    const reduction r = reduce({});
    EXPECT_TRUE(r.org.empty());
    EXPECT_TRUE(r.status.empty());
    EXPECT_EQ(
        r.output,
        "size of geneDb is  0\nnumber of scc found 0\nreduced database size is 0\n"
        "reduced number of sccs are 0\nnumber of levels are 0\n\nfinal number of levels are 0\n");
}

TEST(Reduction, OutputsAreReplacedNotAppended) {
    reduction r = reduce({rule("A", "->", "A")});
    testing::internal::CaptureStdout();
    refineNetwork({rule("B", "->", "B"), rule("C", "->", "C")}, r.org, r.reduced, r.status,
                  r.levels);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(r.org.size(), 2u);
    EXPECT_EQ(r.reduced.size(), 2u);
    EXPECT_EQ(r.status.size(), 2u);
    EXPECT_EQ(r.levels.size(), 1u);
}

// ---- The regulator written twice in one term ---------------------------------

TEST(ReductionFaults, RegulatorTwiceSatisfiedIsRemovedEverywhere) {
    // A is ON; A&A&Y -> T keeps only Y (no literal may keep naming A).
    const reduction r = reduce({rule("Z", "-|", "A"), rule("A&A&Y", "->", "T"),
                                rule("A&Y&A", "-|", "T"), rule("Y", "->", "Y")});
    EXPECT_EQ(termsText(r.reduced, r.reducedGene("T").inGenesPos), strings{"Y"});
    EXPECT_EQ(termsText(r.reduced, r.reducedGene("T").inGenesNeg), strings{"Y"});
    EXPECT_EQ(r.statusOf("T"), -1);
}

TEST(ReductionFaults, RegulatorTwiceOnlyLiteralsMakesTheTermHold) {
    // A is ON and A&A -> T always holds: T is ON.
    const reduction r = reduce({rule("Z", "-|", "A"), rule("A&A", "->", "T")});
    EXPECT_EQ(r.statusOf("T"), 2);
    EXPECT_TRUE(r.removed("T"));
}

TEST(ReductionFaults, RegulatorTwiceWithOppositePolaritiesRulesTheTermOut) {
    // A&^A can never hold, whatever A is; for A ON the second literal is the
    // false one.
    for (const char* fixA : {"-|", "->"}) {  // Z -| A: A ON; Z -> A: A OFF
        const reduction r = reduce({rule("Z", fixA, "A"), rule("A&^A&Y", "->", "T"),
                                    rule("Y", "->", "T"), rule("Y", "->", "Y")});
        EXPECT_EQ(termsText(r.reduced, r.reducedGene("T").inGenesPos), strings{"Y"}) << fixA;
        EXPECT_EQ(r.statusOf("T"), 0) << fixA;
    }
}

TEST(ReductionFaults, RegulatorTwiceInInhibitingTermOfAFixedGene) {
    // A ON: A&A -| T always holds, T OFF; A OFF: it is ruled out, T ON.
    EXPECT_EQ(reduce({rule("Z", "-|", "A"), rule("A&A", "-|", "T")}).statusOf("T"), 3);
    EXPECT_EQ(reduce({rule("Z", "->", "A"), rule("A&A", "-|", "T")}).statusOf("T"), 1);
}

// ---- A term without regulators --------------------------------------------

TEST(ReductionFaults, ActivatingTermWithoutRegulatorsFixesTheTargetOn) {
    const reduction r = reduce({rule("&", "->", "T"), rule("T", "-|", "U"), rule("T", "->", "V")});
    EXPECT_EQ(r.statusOf("T"), 2);
    EXPECT_EQ(r.statusOf("U"), 3);  // its inhibitor T is ON
    EXPECT_EQ(r.statusOf("V"), 2);
    EXPECT_TRUE(r.reduced.empty());
}

TEST(ReductionFaults, InhibitingTermWithoutRegulatorsFixesTheTargetOff) {
    // T is OFF once A is fixed, even though A's activation holds.
    const reduction r = reduce(
        {rule("&&", "-|", "T"), rule("Z", "-|", "A"), rule("A", "->", "T"), rule("T", "-|", "U")});
    EXPECT_EQ(r.statusOf("T"), 3);
    EXPECT_EQ(r.statusOf("U"), 1);
}

TEST(ReductionFaults, TermWithoutRegulatorsOnAGeneThatStays) {
    // T keeps its free regulator Y; the empty activating term holds always,
    // so T follows NOT (Y) from its inhibiting term.
    const reduction r = reduce({rule("&", "->", "T"), rule("Y", "-|", "T"), rule("Y", "->", "Y")});
    EXPECT_EQ(r.statusOf("T"), 2);
    EXPECT_TRUE(r.reducedGene("T").inGenesPos.empty());
    EXPECT_EQ(termsText(r.reduced, r.reducedGene("T").inGenesNeg), strings{"Y"});
}

// ---- Inhibition-only gene whose terms were all ruled out -----------------------

TEST(ReductionFaults, InhibitionOnlyGeneWithAllTermsRuledOutIsMarkedForConstantOne) {
    // A is OFF, so A&B -| C can never hold; B stays free. C keeps B as a
    // regulator: it stays with no term and entry 1, which the next-state
    // construction turns into the constant 1.
    const reduction r = reduce({rule("A&B", "-|", "C"), rule("B", "->", "B")});
    EXPECT_EQ(r.statusOf("A"), 0);
    ASSERT_FALSE(r.removed("C"));
    EXPECT_EQ(r.statusOf("C"), 1);
    EXPECT_TRUE(r.reducedGene("C").inGenesPos.empty());
    EXPECT_TRUE(r.reducedGene("C").inGenesNeg.empty());
}

TEST(ReductionFaults, RemovedRegulatorNeverReachesTheRenumbering) {
    // The case that used to stop the analysis with "error here 3": a regulator
    // written twice and satisfied, the target staying in the reduced network.
    EXPECT_NO_THROW(reduce({rule("Z", "-|", "A"), rule("A&A&T", "->", "T")}));
    EXPECT_NO_THROW(reduce({rule("Z", "-|", "A"), rule("A&T&A", "-|", "T")}));
}

// ---- Differential check against the rules ------------------------------------

namespace {

// Next value of a reduced gene from its remaining terms and its entry in
// defaultStatus, as the next-state construction reads them (an entry of 1
// on a gene without terms gives the constant 1).
int reducedNextValue(const gene& g, int d, const std::vector<int>& x) {
    auto holds = [&](const influenceDefBool& term) {
        for (std::size_t k = 0; k < term.geneId.size(); ++k)
            if ((x.at(static_cast<std::size_t>(term.geneId[k])) != 0) != (term.genePolar[k] != 0))
                return false;
        return true;
    };
    bool a = false, h = false;
    for (const influenceDefBool& term : g.inGenesPos) a = a || holds(term);
    for (const influenceDefBool& term : g.inGenesNeg) h = h || holds(term);
    const bool act = !g.inGenesPos.empty(), inh = !g.inGenesNeg.empty();
    if (d == 3) return 0;
    if (d == 2) return inh ? !h : 1;
    if (act) return a && !h;
    if (d == 0) return 0;
    if (inh) return !h;
    return d == 1 ? 1 : 0;
}

// Checks one network; returns a failure description or "".
std::string checkAgainstRules(const std::vector<networkDefBool>& network) {
    const reduction r = reduce(network);
    std::ostringstream failure;
    std::map<std::string, int> fixed;
    for (std::size_t g = 0; g < r.org.size(); ++g)
        if (chkInList(r.reduced, r.org[g].name) == -1) {
            if (r.status[g] < 0 || r.status[g] > 3)
                failure << r.org[g].name << " removed with entry " << r.status[g] << "\n";
            fixed[r.org[g].name] = isOn(r.status[g]);
        }
    // A removed gene has only removed regulators: its rules, evaluated with
    // their fixed values, must give its own fixed value.
    for (const auto& [name, value] : fixed)
        if (nextValueByRules(network, name, fixed) != value)
            failure << "removed gene " << name << " fixed at " << value << " but its rules give "
                    << nextValueByRules(network, name, fixed) << "\n";
    // Every state of the reduced genes: the reduced rules agree with the
    // original ones evaluated with the removed genes at their fixed values.
    const std::size_t m = r.reduced.size();
    if (m > 12) return "too many reduced genes";
    for (unsigned s = 0; s < (1u << m); ++s) {
        std::vector<int> x(m);
        std::map<std::string, int> values = fixed;
        for (std::size_t i = 0; i < m; ++i) {
            x[i] = (s >> i) & 1u;
            values[r.reduced[i].name] = x[i];
        }
        for (std::size_t i = 0; i < m; ++i) {
            const int d = r.statusOf(r.reduced[i].name);
            const int expected = nextValueByRules(network, r.reduced[i].name, values);
            const int got = reducedNextValue(r.reduced[i], d, x);
            if (got != expected) {
                failure << "reduced gene " << r.reduced[i].name << " (entry " << d << ") in state "
                        << s << ": reduced rules give " << got << ", original rules " << expected
                        << "\n";
                return failure.str();
            }
        }
    }
    return failure.str();
}

}  // namespace

TEST(ReductionDifferential, ReducedNetworkBehavesLikeTheRules) {
    int removedTotal = 0;
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        randomNetworkOptions options;
        options.maxGenes = 10;
        if (seed % 2 == 0) {  // more sources and one-gene groups: long forced chains
            options.noRules = 0.4;
            options.singleGeneGroup = 0.7;
        }
        const std::vector<networkDefBool> network = randomNetwork(seed, options);
        const std::string failure = checkAgainstRules(network);
        ASSERT_EQ(failure, "") << "seed " << seed << "\n" << networkText(network);
        const reduction r = reduce(network);
        removedTotal += static_cast<int>(r.org.size() - r.reduced.size());
    }
    EXPECT_GT(removedTotal, 1200);  // the seeds do exercise the propagation
}

TEST(ReductionDifferential, FaultHeavyNetworks) {
    // The three repaired faults, many times over: empty terms, repeated
    // regulators and inhibition-only genes made frequent.
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        randomNetworkOptions options;
        options.maxGenes = 9;
        options.emptyTerm = 0.25;
        options.repeatedRegulator = 0.5;
        options.inhibitionOnly = 0.4;
        options.noRules = 0.3;
        options.input = 0.3;
        const std::vector<networkDefBool> network = randomNetwork(seed, options);
        const std::string failure = checkAgainstRules(network);
        ASSERT_EQ(failure, "") << "seed " << seed << "\n" << networkText(network);
    }
}

// ---- Real networks -----------------------------------------------------------

TEST(ReductionRealNetworks, ReducedRulesAgreeWithTheFileOnSampledStates) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(QUORVEL_SHARED_DIR) / "networks";
    if (!fs::is_directory(root / "models")) GTEST_SKIP() << "no shared networks at " << root;
    std::mt19937 rng(20261207);
    int files = 0;
    for (const char* variant : {"models", "inputs-off"}) {
        std::vector<fs::path> paths;
        for (const auto& entry : fs::directory_iterator(root / variant))
            if (entry.path().extension() == ".net") paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        for (const fs::path& path : paths) {
            std::vector<networkDefBool> network;
            testing::internal::CaptureStdout();
            readNetwork(path.string(), network);
            testing::internal::GetCapturedStdout();
            const reduction r = reduce(network);
            std::map<std::string, std::vector<networkDefBool>> rulesOf;
            for (const networkDefBool& one : network) rulesOf[one.outGeneName].push_back(one);
            auto byRules = [&](const std::string& name, const std::map<std::string, int>& values) {
                const auto found = rulesOf.find(name);
                return found == rulesOf.end() ? 0 : nextValueByRules(found->second, name, values);
            };
            std::map<std::string, int> fixed;
            for (std::size_t g = 0; g < r.org.size(); ++g)
                if (chkInList(r.reduced, r.org[g].name) == -1)
                    fixed[r.org[g].name] = isOn(r.status[g]);
            for (const auto& [name, value] : fixed)
                ASSERT_EQ(byRules(name, fixed), value) << path << ": removed gene " << name;
            for (int sample = 0; sample < 8; ++sample) {
                std::map<std::string, int> values = fixed;
                std::vector<int> x(r.reduced.size());
                for (std::size_t i = 0; i < x.size(); ++i)
                    values[r.reduced[i].name] = x[i] = static_cast<int>(rng() & 1u);
                for (std::size_t i = 0; i < x.size(); ++i)
                    ASSERT_EQ(reducedNextValue(r.reduced[i], r.statusOf(r.reduced[i].name), x),
                              byRules(r.reduced[i].name, values))
                        << path << ": reduced gene " << r.reduced[i].name;
            }
            ++files;
        }
    }
    EXPECT_GT(files, 0);
}
