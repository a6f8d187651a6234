// The .bnet and SBML-qual readers: the irredundant cover against truth
// tables, small files against the rule files they stand for, malformed files,
// and every shared model in both formats against its rule file (functions
// gene by gene, attractors for the small ones).
#include <gtest/gtest.h>
#include <dirent.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bruteForce.h"
#include "compRulesIsop.h"
#include "expectedAttractors.h"
#include "readNetworkFile.h"
#include "resultText.h"
#include "testBdd.h"
#include "util.h"

namespace {

const std::string networksDir = std::string(QUORVEL_SHARED_DIR) + "/networks";

// ---- The cover --------------------------------------------------------------

// f over nVars variables from its truth table (bit k: the value at valuation k,
// variable v taking bit v of k).
bddHandle functionOfTable(DdManager* mgr, const std::vector<int>& table, int nVars) {
    std::vector<DdNode*> vars;
    for (int v = 0; v < nVars; ++v) vars.push_back(Cudd_bddIthVar(mgr, v));
    std::vector<unsigned> valuations;
    for (unsigned k = 0; k < table.size(); ++k)
        if (table[k]) valuations.push_back(k);
    return setOfStates(mgr, vars, valuations);
}

bool cubeHolds(const coverCube& cube, unsigned k) {
    for (std::size_t v = 0; v < cube.size(); ++v)
        if (cube[v] != 2 && static_cast<unsigned>(cube[v]) != ((k >> v) & 1u)) return false;
    return true;
}

bool isImplicant(const coverCube& cube, const std::vector<int>& table) {
    for (unsigned k = 0; k < table.size(); ++k)
        if (cubeHolds(cube, k) && !table[k]) return false;
    return true;
}

// Checks that `cubes` is an irredundant cover of `table` made of prime
// implicants; returns what is wrong, or "".
std::string coverFault(const std::vector<coverCube>& cubes, const std::vector<int>& table) {
    for (unsigned k = 0; k < table.size(); ++k) {
        bool covered = false;
        for (const coverCube& cube : cubes) covered = covered || cubeHolds(cube, k);
        if (covered != (table[k] != 0))
            return "differs from the function at valuation " + std::to_string(k);
    }
    for (std::size_t c = 0; c < cubes.size(); ++c) {
        for (std::size_t v = 0; v < cubes[c].size(); ++v) {
            if (cubes[c][v] == 2) continue;
            coverCube wider = cubes[c];
            wider[v] = 2;
            if (isImplicant(wider, table)) return "product " + std::to_string(c) + " is not prime";
        }
        // Some valuation must be covered by this product alone.
        bool needed = false;
        for (unsigned k = 0; k < table.size() && !needed; ++k) {
            if (!cubeHolds(cubes[c], k)) continue;
            bool other = false;
            for (std::size_t d = 0; d < cubes.size(); ++d)
                other = other || (d != c && cubeHolds(cubes[d], k));
            needed = !other;
        }
        if (!needed) return "product " + std::to_string(c) + " is redundant";
    }
    return "";
}

TEST(IrredundantCover, PrimeIrredundantAndExactOnRandomFunctions) {
    DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    for (unsigned seed = 1; seed <= 120; ++seed) {
        std::mt19937 random(seed);
        const int nVars = 1 + static_cast<int>(seed % 7);
        // Sparse, dense and balanced tables alike.
        const unsigned density = 1 + random() % 7;
        std::vector<int> table(1u << nVars);
        for (int& bit : table) bit = random() % 8 < density ? 1 : 0;
        bddHandle f = functionOfTable(mgr, table, nVars);
        const std::vector<coverCube> cubes = compIrredundantCover(mgr, f.get(), nVars);
        f.reset();
        const std::string fault = coverFault(cubes, table);
        std::string shown;
        for (int bit : table) shown += static_cast<char>('0' + bit);
        EXPECT_EQ(fault, "") << "seed " << seed << ", truth table " << shown;
        ASSERT_EQ(Cudd_CheckZeroRef(mgr), 0) << "seed " << seed;
    }
    Cudd_Quit(mgr);
}

TEST(IrredundantCover, ConstantsAndKnownCovers) {
    DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    EXPECT_TRUE(compIrredundantCover(mgr, Cudd_ReadLogicZero(mgr), 3).empty());
    EXPECT_EQ(compIrredundantCover(mgr, Cudd_ReadOne(mgr), 3),
              std::vector<coverCube>{coverCube(3, 2)});
    // Majority of three: three products of two literals each.
    const std::vector<int> majority = {0, 0, 0, 1, 0, 1, 1, 1};
    bddHandle f = functionOfTable(mgr, majority, 3);
    const std::vector<coverCube> cubes = compIrredundantCover(mgr, f.get(), 3);
    EXPECT_EQ(cubes.size(), 3u);
    EXPECT_EQ(coverFault(cubes, majority), "");
    // Exclusive or of four: all eight minterms are needed.
    std::vector<int> parity(16);
    for (unsigned k = 0; k < 16; ++k) parity[k] = __builtin_popcount(k) % 2;
    f = functionOfTable(mgr, parity, 4);
    EXPECT_EQ(compIrredundantCover(mgr, f.get(), 4).size(), 8u);
    f.reset();
    EXPECT_EQ(Cudd_CheckZeroRef(mgr), 0);
    Cudd_Quit(mgr);
}

// ---- Reading files ------------------------------------------------------------

struct readResult {
    std::vector<networkDefBool> rules;
    std::vector<std::string> geneOrder;
    geneDatabase db;  // as the driver builds geneDbOrg
};

readResult readFile(const std::string& path) {
    readResult r;
    testing::internal::CaptureStdout();
    try {
        readNetworkFile(path, r.rules, r.geneOrder);
        geneDatabase reduced;
        levelArray levels;
        std::vector<int> status;
        refineNetwork(r.rules, r.db, reduced, status, levels, r.geneOrder);
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    testing::internal::GetCapturedStdout();
    return r;
}

readResult readText(const std::string& text, const std::string& ending) {
    const std::string path = resultText::writeTempFile(text, ending);
    try {
        readResult r = readFile(path);
        resultText::removeFile(path);
        return r;
    } catch (...) {
        resultText::removeFile(path);
        throw;
    }
}

// The message of the quorvelError that reading `text` throws ("" if none).
std::string readError(const std::string& text, const std::string& ending,
                      std::string* path = nullptr) {
    const std::string file = resultText::writeTempFile(text, ending);
    if (path != nullptr) *path = file;
    std::string message;
    try {
        readFile(file);
    } catch (const quorvelError& error) {
        message = error.what();
    }
    resultText::removeFile(file);
    return message;
}

std::vector<std::string> namesOf(const geneDatabase& db) {
    std::vector<std::string> names;
    for (const gene& g : db) names.push_back(g.name);
    return names;
}

// Compares the update functions of two databases gene by gene, matched by
// name, on every valuation of the gene's regulators in either database (at
// most `samples` random ones when there are more than 2^12). Returns the
// first difference found, or "". Genes of `a` missing from `b` are allowed
// when they are free inputs that regulate nothing.
std::string functionDifference(const geneDatabase& a, const geneDatabase& b,
                               unsigned samples = 4096) {
    std::set<std::string> namesA, namesB;
    for (const gene& g : a) namesA.insert(g.name);
    for (const gene& g : b) namesB.insert(g.name);
    // a may hold more genes than b only as free inputs that regulate nothing
    // (a model file may list species that no function reads).
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (namesB.count(a[i].name) != 0) continue;
        const bool freeInput = a[i].inGenesNeg.empty() && a[i].inGenesPos.size() == 1 &&
                               a[i].inGenesPos[0].geneId == std::vector<int>{static_cast<int>(i)};
        bool regulates = false;
        for (std::size_t j = 0; j < a.size(); ++j)
            for (const influenceDefBool& term : a[j].inGenesPos)
                for (int r : term.geneId)
                    regulates = regulates || (r == static_cast<int>(i) && j != i);
        if (!freeInput || regulates) return "gene " + a[i].name + " is only in the first network";
    }
    for (const std::string& name : namesB)
        if (namesA.count(name) == 0) return "gene " + name + " is missing from the first network";
    std::map<std::string, int> inA, inB;
    for (std::size_t i = 0; i < a.size(); ++i) inA[a[i].name] = static_cast<int>(i);
    for (std::size_t i = 0; i < b.size(); ++i) inB[b[i].name] = static_cast<int>(i);
    std::mt19937 random(7);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (inB.count(a[i].name) == 0) continue;
        const int j = inB[a[i].name];
        // Regulators by name, from both sides.
        std::set<std::string> regulators;
        auto collect = [&](const geneDatabase& db, const gene& g) {
            for (const auto* terms : {&g.inGenesPos, &g.inGenesNeg})
                for (const influenceDefBool& term : *terms)
                    for (int r : term.geneId)
                        regulators.insert(db[static_cast<std::size_t>(r)].name);
        };
        collect(a, a[i]);
        collect(b, b[static_cast<std::size_t>(j)]);
        std::vector<std::size_t> regsA, regsB;
        for (const std::string& name : regulators) {
            regsA.push_back(static_cast<std::size_t>(inA[name]));
            regsB.push_back(static_cast<std::size_t>(inB[name]));
        }
        const bool all = regsA.size() <= 12;
        const unsigned long count = all ? 1ul << regsA.size() : samples;
        bruteForce::state xa(a.size(), 0), xb(b.size(), 0);
        for (unsigned long k = 0; k < count; ++k) {
            for (std::size_t r = 0; r < regsA.size(); ++r) {
                const int value =
                    all ? static_cast<int>((k >> r) & 1u) : static_cast<int>(random() & 1u);
                xa[regsA[r]] = value;
                xb[regsB[r]] = value;
            }
            if (bruteForce::nextValue(a, static_cast<int>(i), xa) !=
                bruteForce::nextValue(b, j, xb))
                return "gene " + a[i].name + " differs";
        }
    }
    return "";
}

TEST(BnetReader, FunctionsOrderConstantsAndInputs) {
    const readResult bnet = readText(
        "\xEF\xBB\xBF# a comment line\n"
        "targets, factors\n"
        "\n"
        "c, !a | b & (c | false)   # trailing comment\r\n"
        "a, !(b & c)\n"
        "b, a & !b | !a & b | 0\n"
        "k, 1\n"
        "z, FALSE\n"
        "x, x\n"
        "y.2-p, free & x\n",
        ".bnet");
    const readResult rules = readText(
        "^a -> c  b&c -> c  ^b -> a  ^c -> a  a&^b -> b  ^a&b -> b  & -> k  x -> x  free&x -> y.2-p"
        "  free -> free  z&^z -> z",
        ".net");
    // Genes in the order of their lines, then the input without a line.
    EXPECT_EQ(namesOf(bnet.db),
              (std::vector<std::string>{"c", "a", "b", "k", "z", "x", "y.2-p", "free"}));
    EXPECT_EQ(functionDifference(bnet.db, rules.db), "");
    // Constant 0 gives no rule; x, x gives exactly the rule x -> x.
    EXPECT_TRUE(bnet.db[4].inGenesPos.empty() && bnet.db[4].inGenesNeg.empty());
    ASSERT_EQ(bnet.db[5].inGenesPos.size(), 1u);
    EXPECT_EQ(bnet.db[5].inGenesPos[0].geneId, std::vector<int>{5});
    ASSERT_EQ(bnet.db[3].inGenesPos.size(), 1u);
    EXPECT_TRUE(bnet.db[3].inGenesPos[0].geneId.empty());
}

TEST(BnetReader, ParenthesesNestedThousandsDeep) {
    std::string expression = "a";
    for (int k = 0; k < 5000; ++k) expression = "(" + expression + (k % 2 ? " | b)" : " & !c)");
    const readResult r = readText("a, " + expression + "\nb, b\nc, a\n", ".bnet");
    EXPECT_EQ(namesOf(r.db), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(BnetReader, MalformedFilesNameFileLineAndWhatWasExpected) {
    const struct {
        std::string text;
        std::string line;
        std::string expected;
    } cases[] = {
        {"a, b\nb a\n", "line 2", "expected 'gene, expression'"},
        {"a, b\nb,\n", "line 2",
         "expected a gene name, a constant, '!' or '(', found the end of the line"},
        {"a, (b & a\nb, a\n", "line 1", "expected ')' to close the '(' of column 4"},
        {"a, b)\nb, a\n", "line 1", "closes nothing"},
        {"a, b &\nb, a\n", "line 1", "expected a gene name"},
        {"a, b a\nb, a\n", "line 1, column 6",
         "expected '&', '|', ')' or the end of the expression, found 'a'"},
        {"a, b\nb, a\na, !b\n", "line 3", "gene 'a' is given a second line (the first is line 1)"},
        {"1, b\nb, b\n", "line 1", "found the constant '1'"},
        {", b\n", "line 1", "expected a gene name before ','"},
        {"a b, c\n", "line 1", "expected a gene name before ','"},
        {"a, b ~ c\n", "line 1", "found '~'"},
        {"a, b && c\n", "line 1", "found '&'"},
    };
    for (const auto& c : cases) {
        std::string path;
        const std::string message = readError(c.text, ".bnet", &path);
        EXPECT_NE(message.find("'" + path + "', " + c.line), std::string::npos) << c.text << "\n"
                                                                                << message;
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.text << "\n" << message;
    }
    EXPECT_NE(readError("", ".bnet").find(""), std::string::npos);
    try {
        readFile("/nonexistent/model.bnet");
        ADD_FAILURE() << "a missing file was read";
    } catch (const quorvelError& error) {
        EXPECT_NE(
            std::string(error.what()).find("cannot open network file '/nonexistent/model.bnet'"),
            std::string::npos);
    }
}

// ---- SBML-qual ----------------------------------------------------------------

std::string sbmlSpecies(const std::string& id, const std::string& extra = "") {
    return "<qual:qualitativeSpecies qual:id=\"" + id +
           "\" qual:compartment=\"cell\" qual:constant=\"false\" " + "qual:maxLevel=\"1\" " +
           extra + "/>";
}

std::string sbmlSpecies(const std::string& id, bool constant, const std::string& extra) {
    return "<qual:qualitativeSpecies qual:id=\"" + id +
           "\" qual:compartment=\"cell\" qual:constant=\"" + (constant ? "true" : "false") + "\" " +
           extra + "/>";
}

// A transition setting `output` to 1 where `math1` holds, to 0 where `math0`
// holds (when given), else to `defaultLevel`.
std::string sbmlTransition(const std::string& output, const std::string& math1,
                           int defaultLevel = 0, const std::string& math0 = "",
                           const std::string& outputExtra = "") {
    const std::string mathml = "<math xmlns=\"http://www.w3.org/1998/Math/MathML\">";
    std::string t =
        "<qual:transition qual:id=\"t_" + output +
        "\"><qual:listOfOutputs><qual:output qual:id=\"o_" + output +
        "\" qual:qualitativeSpecies=\"" + output + "\" qual:transitionEffect=\"" +
        (outputExtra.empty() ? "assignmentLevel" : outputExtra) +
        "\"/></qual:listOfOutputs><qual:listOfFunctionTerms><qual:defaultTerm qual:resultLevel=\"" +
        std::to_string(defaultLevel) + "\"/>";
    if (!math1.empty())
        t += "<qual:functionTerm qual:resultLevel=\"1\">" + mathml + math1 +
             "</math></qual:functionTerm>";
    if (!math0.empty())
        t += "<qual:functionTerm qual:resultLevel=\"0\">" + mathml + math0 +
             "</math></qual:functionTerm>";
    return t + "</qual:listOfFunctionTerms></qual:transition>";
}

std::string sbmlDocument(const std::string& species, const std::string& transitions) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<sbml xmlns=\"http://www.sbml.org/sbml/level3/version1/core\" level=\"3\" version=\"1\" "
           "xmlns:qual=\"http://www.sbml.org/sbml/level3/version1/qual/version1\" qual:required=\"true\">\n"
           "<model id=\"m\"><listOfCompartments><compartment id=\"cell\" constant=\"true\"/></listOfCompartments>\n"
           "<qual:listOfQualitativeSpecies>" +
           species +
           "</qual:listOfQualitativeSpecies>\n"
           "<qual:listOfTransitions>" +
           transitions + "</qual:listOfTransitions>\n</model></sbml>\n";
}

std::string eq(const std::string& id, int level) {
    return "<apply><eq/><ci>" + id + "</ci><cn type=\"integer\">" + std::to_string(level) +
           "</cn></apply>";
}

TEST(SbmlReader, FunctionsInputsAndConstants) {
    const std::string species = sbmlSpecies("a") + sbmlSpecies("b") + sbmlSpecies("c") +
                                sbmlSpecies("d") + sbmlSpecies("in") +
                                sbmlSpecies("k1", true, "qual:initialLevel=\"1\"") +
                                sbmlSpecies("k0", true, "qual:initialLevel=\"0\"") +
                                sbmlSpecies("kfree", true, "") + sbmlSpecies("e");
    const std::string transitions =
        // a := (b AND NOT c) OR (in XOR d)
        sbmlTransition("a", "<apply><or/><apply><and/>" + eq("b", 1) + "<apply><not/>" +
                                eq("c", 1) + "</apply></apply><apply><xor/>" + eq("in", 1) +
                                eq("d", 1) + "</apply></apply>") +
        // b := 1 unless c >= 1 (default 1, a term of level 0)
        sbmlTransition("b", "", 1, "<apply><geq/><ci>c</ci><cn type=\"integer\">1</cn></apply>") +
        // c := 1 > a (level on the left), i.e. NOT a; and k1 plays no part
        sbmlTransition("c", "<apply><gt/><cn type=\"integer\">1</cn><ci>a</ci></apply>") +
        // d := a != 0 AND b < 1 AND true
        sbmlTransition(
            "d",
            "<apply><and/><apply><neq/><ci>a</ci><cn>0</cn></apply><apply><lt/><ci>b</ci>"
            "<cn type=\"integer\">1</cn></apply><true/></apply>") +
        // e: a term that never holds over a default of 0
        sbmlTransition("e", "<apply><geq/><ci>a</ci><cn type=\"integer\">2</cn></apply>");
    const readResult sbml = readText(sbmlDocument(species, transitions), ".sbml");
    const readResult rules = readText(
        "b&^c -> a  in&^d -> a  ^in&d -> a  ^c -> b  ^a -> c  a&^b -> d  in -> in  & -> k1  kfree -> kfree"
        "  k0&^k0 -> k0  e&^e -> e",
        ".net");
    EXPECT_EQ(namesOf(sbml.db),
              (std::vector<std::string>{"a", "b", "c", "d", "in", "k1", "k0", "kfree", "e"}));
    EXPECT_EQ(functionDifference(sbml.db, rules.db), "");
    EXPECT_TRUE(sbml.db[6].inGenesPos.empty() && sbml.db[8].inGenesPos.empty());
    // The same file under .xml is read the same way.
    EXPECT_EQ(functionDifference(readText(sbmlDocument(species, transitions), ".XML").db, rules.db),
              "");
}

TEST(SbmlReader, UnsupportedOrMalformedModelsAreRefused) {
    const std::string ab = sbmlSpecies("a") + sbmlSpecies("b");
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {sbmlDocument(sbmlSpecies("a") + sbmlSpecies("big", false, "qual:maxLevel=\"2\""), ""),
         "species 'big' has maximum level 2; only Boolean species"},
        {sbmlDocument(sbmlSpecies("a") + sbmlSpecies("none", false, "qual:maxLevel=\"0\""), ""),
         "species 'none' has maximum level 0; only Boolean species"},
        {sbmlDocument(ab + sbmlSpecies("t_a"), sbmlTransition("a", eq("b", 1))),
         "id 't_a' is given twice"},
        {sbmlDocument(
             ab,
             sbmlTransition("a", eq("b", 1))
                 .insert(
                     std::string("<qual:transition qual:id=\"t_a\">").length(),
                     "<qual:listOfInputs><qual:input qual:id=\"i\" qual:qualitativeSpecies=\"b\" "
                     "qual:transitionEffect=\"none\"/><qual:input qual:id=\"i\" "
                     "qual:qualitativeSpecies=\"a\" qual:transitionEffect=\"none\"/></qual:listOfInputs>")),
         "id 'i' is given twice"},
        {sbmlDocument(ab, sbmlTransition("a", "<apply><plus/><ci>b</ci><cn>1</cn></apply>")),
         "expected and, or, xor, not, true, false or a comparison"},
        {sbmlDocument(ab, sbmlTransition("a", "<apply><eq/><ci>b</ci><ci>a</ci></apply>")),
         "expected a comparison of a qualitative species with an integer level"},
        {sbmlDocument(
             ab, sbmlTransition("a", eq("b", 1), 0, "<apply><geq/><ci>b</ci><cn>0</cn></apply>")),
         "hold in the same state"},
        {sbmlDocument(ab, sbmlTransition("a", eq("b", 1)) + sbmlTransition("a", eq("b", 0))),
         "species 'a' is the output of two transitions"},
        {sbmlDocument(ab, sbmlTransition("a", eq("b", 1), 0, "", "production")),
         "expected the output effect 'assignmentLevel'"},
        {sbmlDocument(ab, sbmlTransition("a", eq("nobody", 1))),
         "expected a comparison of a qualitative species"},
        {sbmlDocument(ab, sbmlTransition("a", eq("b", 1), 2)), "expected result level 0 or 1"},
        {sbmlDocument(sbmlSpecies("a", true, "qual:initialLevel=\"0\"") + sbmlSpecies("b"),
                      sbmlTransition("a", eq("b", 1))),
         "species 'a' is constant but is the output"},
        {"<?xml version=\"1.0\"?>\n<sbml><model>\n<unclosed>\n</sbml>\n", "not valid SBML"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sbml xmlns=\"http://www.sbml.org/sbml/level3/version1/core\" level=\"3\" "
         "version=\"1\"><model id=\"m\"/></sbml>\n",
         "expected qualitative species"},
    };
    for (const auto& c : cases) {
        std::string path;
        const std::string message = readError(c.text, ".sbml", &path);
        EXPECT_NE(message.find("network file '" + path + "', line "), std::string::npos) << message;
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.expected << "\n" << message;
    }
}

// ---- The shared models ------------------------------------------------------------

std::vector<std::string> sharedIds(const std::string& form) {
    std::vector<std::string> ids;
    DIR* dir = opendir((networksDir + "/" + form).c_str());
    if (dir == nullptr) return ids;
    while (const dirent* entry = readdir(dir)) {
        const std::string file = entry->d_name;
        if (file.rfind("bbm-", 0) == 0) ids.push_back(file.substr(0, file.find('.')));
    }
    closedir(dir);
    std::sort(ids.begin(), ids.end());
    return ids;
}

// One case per shared model, so that the run spreads over the test workers.
class SharedModel : public testing::TestWithParam<std::string> {};

TEST_P(SharedModel, EveryGeneFunctionEqualsTheRuleFile) {
    const std::string id = GetParam();
    if (id == "none") GTEST_SKIP() << "the shared networks are not present under " << networksDir;
    const readResult reference = readFile(networksDir + "/models/" + id + ".net");
    const readResult bnet = readFile(networksDir + "/bnet/" + id + ".bnet");
    EXPECT_EQ(functionDifference(bnet.db, reference.db, 512), "") << id << ".bnet";
    const std::string sbmlPath = networksDir + "/sbml/" + id + ".sbml";
    if (FILE* probe = std::fopen(sbmlPath.c_str(), "r")) {
        std::fclose(probe);
        const readResult sbml = readFile(sbmlPath);
        EXPECT_EQ(functionDifference(sbml.db, reference.db, 512), "") << id << ".sbml";
    }
}

std::vector<std::string> sharedIdsOrNone() {
    std::vector<std::string> ids = sharedIds("bnet");
    if (ids.empty()) ids.push_back("none");
    return ids;
}

INSTANTIATE_TEST_SUITE_P(Shared, SharedModel, testing::ValuesIn(sharedIdsOrNone()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Attractors of one analysis as sets of states written gene name -> value.
std::set<std::set<std::map<std::string, int>>> byName(const std::vector<std::string>& genes,
                                                      const resultText::attractorSet& attractors) {
    std::set<std::set<std::map<std::string, int>>> named;
    for (const auto& attractor : attractors) {
        std::set<std::map<std::string, int>> states;
        for (const auto& s : attractor) {
            std::map<std::string, int> state;
            for (std::size_t g = 0; g < genes.size(); ++g) state[genes[g]] = s[g];
            states.insert(state);
        }
        named.insert(states);
    }
    return named;
}

TEST(SharedModels, AttractorsOfSmallModelsEqualTheExhaustiveOnes) {
    // Every model of at most 13 genes whose attractors are listed: a budget
    // of well under a second for the lot.
    int compared = 0;
    for (const std::string& id : sharedIds("bnet")) {
        const std::string expectedPath = networksDir + "/expected/models/" + id + ".json";
        if (FILE* probe = std::fopen(expectedPath.c_str(), "r"))
            std::fclose(probe);
        else
            continue;
        const expectedAttractors expected = readExpectedAttractors(expectedPath);
        if (expected.genes.size() > 13 || !expected.listed) continue;
        const auto want = byName(expected.genes, expected.attractors);
        for (const std::string& path :
             {networksDir + "/bnet/" + id + ".bnet", networksDir + "/sbml/" + id + ".sbml"}) {
            if (FILE* probe = std::fopen(path.c_str(), "r"))
                std::fclose(probe);
            else
                continue;
            const resultText::parsedResult result =
                resultText::parse(resultText::runAnalysis(path));
            ASSERT_TRUE(result.ok) << path << ": " << result.error;
            EXPECT_EQ(byName(result.genes, resultText::asSet(result)), want) << path;
            ++compared;
        }
    }
    if (compared == 0) GTEST_SKIP() << "the shared networks are not present under " << networksDir;
}

}  // namespace
