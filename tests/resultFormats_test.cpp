// The options of an analysis against the explicit-state reference: the cubes
// and JSON formats expanded back to states, synchronous update, and genes
// fixed by --fix, on seeded random networks and on the small published ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "bruteForce.h"
#include "expectedAttractors.h"
#include "randomNetwork.h"
#include "resultText.h"
#include "util.h"

namespace {

using json = nlohmann::json;

bruteForce::updateFunction updateByRules(const std::vector<networkDefBool>& network,
                                         const std::vector<std::string>& names) {
    return [network, names](int g, const bruteForce::state& x) {
        std::map<std::string, int> values;
        for (size_t i = 0; i < names.size(); ++i) values[names[i]] = x[i];
        return nextValueByRules(network, names[static_cast<size_t>(g)], values);
    };
}

analysisOptions optionsOf(resultFormat format, updateMode update = updateMode::async) {
    analysisOptions options;
    options.format = format;
    options.update = update;
    options.quiet = true;
    return options;
}

// Runs the analysis of `path` with `options`; the error text on failure.
std::string analyse(const std::string& path, const analysisOptions& options, std::string& error) {
    return resultText::analyseFile(path, options, error);
}

// Every state of a cube of '0', '1' and '-'.
void expandCube(const std::string& cube, resultText::state& x, size_t at,
                std::set<resultText::state>& states, long& written) {
    if (at == cube.size()) {
        states.insert(x);
        ++written;
        return;
    }
    const char c = cube[at];
    for (int v = 0; v <= 1; ++v) {
        if ((c == '0' && v == 1) || (c == '1' && v == 0)) continue;
        x[at] = v;
        expandCube(cube, x, at + 1, states, written);
    }
}

// What a JSON or cubes result says, checked for form on the way: genes, and
// per attractor its states (from its cubes) and the count it states.
struct expandedResult {
    std::string error;  // empty when well formed
    std::vector<std::string> genes;
    resultText::attractorSet attractors;
    std::string update;
    std::map<std::string, int> fixed;
};

// Adds one attractor given by its cubes and stated count; checks that the
// cubes are disjoint (no state twice) and that the count is theirs.
void addAttractor(expandedResult& r, const std::vector<std::string>& cubes,
                  const std::string& count) {
    std::set<resultText::state> states;
    long written = 0;
    for (const std::string& cube : cubes) {
        if (cube.size() != r.genes.size() || cube.find_first_not_of("01-") != std::string::npos) {
            r.error = "bad cube '" + cube + "'";
            return;
        }
        resultText::state x(cube.size(), 0);
        expandCube(cube, x, 0, states, written);
    }
    if (written != static_cast<long>(states.size())) r.error = "cubes overlap";
    if (count != std::to_string(states.size()))
        r.error = "count " + count + " for " + std::to_string(states.size()) + " states";
    if (!r.attractors.insert(states).second) r.error = "an attractor is listed twice";
}

expandedResult readJson(const std::string& text) {
    expandedResult r;
    json doc;
    try {
        doc = json::parse(text);  // strict: throws on anything that is not JSON
        r.genes = doc.at("genes").get<std::vector<std::string>>();
        r.update = doc.at("update").get<std::string>();
        r.fixed = doc.at("fixed").get<std::map<std::string, int>>();
        for (const json& a : doc.at("attractors")) {
            const json& states = a.at("states");
            const std::string count =
                states.is_string() ? states.get<std::string>() : std::to_string(states.get<long>());
            addAttractor(r, a.at("cubes").get<std::vector<std::string>>(), count);
        }
    } catch (const std::exception& e) {
        r.error = std::string("not the expected JSON: ") + e.what();
    }
    return r;
}

expandedResult readCubes(const std::string& text) {
    expandedResult r;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    std::istringstream header(line);
    for (std::string name; header >> name;) r.genes.push_back(name);
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string count;
        words >> count;
        std::vector<std::string> cubes;
        for (std::string cube; words >> cube;) cubes.push_back(cube);
        if (line.size() < 3 || line.compare(line.size() - 3, 3, "   ") != 0)
            r.error = "a line does not end in three blanks";
        addAttractor(r, cubes, count);
    }
    if (text.empty() || text.back() != '\n') r.error = "no final line end";
    return r;
}

// The attractors of `network` by the reference, under `update`.
bruteForce::attractorSet reference(const std::vector<networkDefBool>& network, updateMode update) {
    const std::vector<std::string> names = genesInFileOrder(network);
    const int n = static_cast<int>(names.size());
    return update == updateMode::sync
               ? bruteForce::syncAttractors(n, updateByRules(network, names))
               : bruteForce::asyncAttractors(n, updateByRules(network, names));
}

// One random network in one format and update mode against the reference.
bool matches(unsigned seed, const std::vector<networkDefBool>& network, resultFormat format,
             updateMode update) {
    const std::string text = networkText(network);
    const std::string path = resultText::writeTempFile(text);
    std::string error;
    const std::string result = analyse(path, optionsOf(format, update), error);
    resultText::removeFile(path);
    const expandedResult r = format == resultFormat::json ? readJson(result) : readCubes(result);
    const bruteForce::attractorSet expected = reference(network, update);
    const bool same = error.empty() && r.error.empty() && r.genes == genesInFileOrder(network) &&
                      r.attractors == expected &&
                      (format != resultFormat::json ||
                       r.update == (update == updateMode::sync ? "sync" : "async"));
    if (!same)
        ADD_FAILURE() << "seed " << seed << (format == resultFormat::json ? " json" : " cubes")
                      << (update == updateMode::sync ? " sync" : " async") << ": " << error
                      << r.error << "\nnetwork:\n"
                      << text << "expected: " << bruteForce::toString(expected) << "\nresult:\n"
                      << result;
    return same;
}

TEST(CubesAndJson, RandomNetworksEqualTheReferenceAndTheStateText) {
    randomNetworkOptions options;
    options.maxGenes = 10;
    int failures = 0;
    for (unsigned seed = 1; seed <= 150 && failures < 3; ++seed) {
        const std::vector<networkDefBool> network = randomNetwork(seed, options);
        failures += !matches(seed, network, seed % 2 ? resultFormat::json : resultFormat::cubes,
                             updateMode::async);
        // The state text of the same network holds the same attractors.
        if (seed % 10 == 0) {
            const std::string path = resultText::writeTempFile(networkText(network));
            const resultText::parsedResult states =
                resultText::parse(resultText::runAnalysis(path));
            std::string error;
            const expandedResult cubes =
                readCubes(analyse(path, optionsOf(resultFormat::cubes), error));
            resultText::removeFile(path);
            EXPECT_EQ(resultText::asSet(states), cubes.attractors) << "seed " << seed;
        }
    }
}

TEST(SyncUpdate, ThreeHundredRandomNetworksEqualTheExhaustiveSynchronousReference) {
    randomNetworkOptions options;
    options.maxGenes = 10;
    int failures = 0;
    for (unsigned seed = 1001; seed <= 1300 && failures < 3; ++seed)
        failures += !matches(seed, randomNetwork(seed, options),
                             seed % 2 ? resultFormat::json : resultFormat::cubes, updateMode::sync);
}

// A subspace is one cube; a count past 2^53 is a decimal string.
TEST(CubesAndJson, HugeAttractorIsOneCubeWithAnExactCount) {
    std::string text;
    for (int g = 0; g < 60; ++g)
        text += "^G" + std::to_string(g) + " -> G" + std::to_string(g) + "\n";
    text += "& -> ON\nON&^ON -> OFF\n";
    const std::string path = resultText::writeTempFile(text);
    std::string error;
    const std::string result = analyse(path, optionsOf(resultFormat::json), error);
    resultText::removeFile(path);
    ASSERT_EQ(error, "");
    const json doc = json::parse(result);
    ASSERT_EQ(doc["attractors"].size(), 1u) << result;
    EXPECT_EQ(doc["attractors"][0]["states"], "1152921504606846976");  // 2^60
    EXPECT_EQ(doc["attractors"][0]["cubes"], json::array({std::string(60, '-') + "10"}));
    EXPECT_EQ(doc["fixed"], json::parse(R"({"ON":1,"OFF":0})"));
}

// --fix G=v gives what an edit of the file gives: G's rules replaced by a
// rule that always holds, activating for 1 and inhibiting for 0.
TEST(FixedGenes, EqualAnEditOfTheFile) {
    randomNetworkOptions options;
    options.maxGenes = 9;
    for (unsigned seed = 2001; seed <= 2120; ++seed) {
        const std::vector<networkDefBool> network = randomNetwork(seed, options);
        const std::vector<std::string> names = genesInFileOrder(network);
        const geneFix fix{names[seed % names.size()], static_cast<int>(seed / 3 % 2)};
        std::vector<networkDefBool> edited;
        for (const networkDefBool& rule : network)
            if (rule.outGeneName != fix.name) edited.push_back(rule);
        networkDefBool constant;
        constant.outGeneName = fix.name;
        constant.outGenePolar = fix.value;
        edited.push_back(constant);

        const updateMode update = seed % 4 == 0 ? updateMode::sync : updateMode::async;
        analysisOptions withFix = optionsOf(resultFormat::json, update);
        withFix.fixes.push_back(fix);
        const std::string path = resultText::writeTempFile(networkText(network));
        std::string error;
        const expandedResult r = readJson(analyse(path, withFix, error));
        resultText::removeFile(path);
        ASSERT_EQ(error + r.error, "") << "seed " << seed;
        EXPECT_EQ(r.genes, names) << "the header lists every gene of the file";
        EXPECT_EQ(r.fixed.count(fix.name), 1u);

        // The edited file may name the genes in another order: compare
        // states as name -> value maps.
        // A gene named only in G's rules is gone from the edited file; with
        // no rule of its own it is 0 in every state of the fixed network.
        const std::vector<std::string> editedNames = genesInFileOrder(edited);
        auto byName = [&editedNames](const std::vector<std::string>& genes,
                                     const resultText::attractorSet& attractors) {
            std::set<std::set<std::map<std::string, int>>> named;
            for (const auto& attractor : attractors) {
                std::set<std::map<std::string, int>> states;
                for (const auto& x : attractor) {
                    std::map<std::string, int> s;
                    for (size_t k = 0; k < genes.size(); ++k)
                        if (std::count(editedNames.begin(), editedNames.end(), genes[k]) != 0)
                            s[genes[k]] = x[k];
                        else
                            EXPECT_EQ(x[k], 0) << genes[k];
                    states.insert(s);
                }
                named.insert(states);
            }
            return named;
        };
        EXPECT_EQ(byName(r.genes, r.attractors), byName(editedNames, reference(edited, update)))
            << "seed " << seed << ", --fix " << fix.name << "=" << fix.value << "\nnetwork:\n"
            << networkText(network);
    }
}

// The published networks with their exhaustive attractors: cubes and JSON
// give them, and the smallest ones also their synchronous attractors.
TEST(RealNetworks, CubesJsonAndSyncEqualTheExhaustiveOnes) {
    const std::string dir = std::string(QUORVEL_SHARED_DIR) + "/networks/";
    const std::vector<std::string> ids = listExpectedIds(dir, "inputs-off");
    if (ids.empty()) GTEST_SKIP() << "the shared networks are not present";
    int compared = 0, syncCompared = 0;
    for (const std::string& id : ids) {
        const expectedAttractors expected =
            readExpectedAttractors(dir + "expected/inputs-off/" + id + ".json");
        const std::string path = dir + "inputs-off/" + id + ".net";
        for (resultFormat format : {resultFormat::cubes, resultFormat::json}) {
            std::string error;
            const std::string text = analyse(path, optionsOf(format), error);
            const expandedResult r =
                format == resultFormat::json ? readJson(text) : readCubes(text);
            ASSERT_EQ(error + r.error, "") << id;
            EXPECT_EQ(r.genes, expected.genes) << id;
            EXPECT_EQ(static_cast<int>(r.attractors.size()), expected.nAttractors) << id;
            if (expected.listed) {
                EXPECT_EQ(r.attractors, expected.attractors) << id;
            }
        }
        ++compared;
        if (expected.genes.size() > 14) continue;
        std::vector<networkDefBool> network;
        testing::internal::CaptureStdout();
        readNetwork(path, network);
        testing::internal::GetCapturedStdout();
        std::string error;
        const expandedResult r =
            readJson(analyse(path, optionsOf(resultFormat::json, updateMode::sync), error));
        ASSERT_EQ(error + r.error, "") << id;
        EXPECT_EQ(r.attractors, reference(network, updateMode::sync)) << id << " (sync)";
        ++syncCompared;
    }
    EXPECT_GT(compared, 0);
    EXPECT_GT(syncCompared, 0);
}

// ---- Options

TEST(Options, ReadsEveryOptionInBothForms) {
    const analysisOptions o = readOptions(
        {"--format", "cubes", "--update=sync", "--fix", "A=1", "--fix=B=0", "--quiet", "net.txt"});
    EXPECT_EQ(o.format, resultFormat::cubes);
    EXPECT_EQ(o.update, updateMode::sync);
    ASSERT_EQ(o.fixes.size(), 2u);
    EXPECT_EQ(o.fixes[0].name, "A");
    EXPECT_EQ(o.fixes[0].value, 1);
    EXPECT_EQ(o.fixes[1].name, "B");
    EXPECT_EQ(o.fixes[1].value, 0);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.files, std::vector<std::string>{"net.txt"});
    // "--" ends the options; "-" is a file name; a gene name may hold '='.
    const analysisOptions rest = readOptions({"--fix", "a=b=1", "--", "--format", "-"});
    EXPECT_EQ(rest.fixes[0].name, "a=b");
    EXPECT_EQ(rest.files, (std::vector<std::string>{"--format", "-"}));
    EXPECT_TRUE(readOptions({"-h"}).help);
    EXPECT_TRUE(readOptions({"--version"}).version);
    EXPECT_EQ(readOptions({}).format, resultFormat::states);
    EXPECT_EQ(readOptions({}).maxMemory, 0u);
    EXPECT_EQ(readOptions({"--max-memory", "64M"}).maxMemory, std::size_t(64) << 20);
    EXPECT_EQ(readOptions({"--max-memory=33554432"}).maxMemory, std::size_t(32) << 20);
}

TEST(Options, EveryBadCommandLineIsAnOptionError) {
    const std::vector<std::vector<std::string>> bad = {{"--bogus"},
                                                       {"-x"},
                                                       {"--format"},
                                                       {"--format", "xml"},
                                                       {"--format="},
                                                       {"--update", "both"},
                                                       {"--fix", "A"},
                                                       {"--fix", "A=2"},
                                                       {"--fix", "=1"},
                                                       {"--fix", "A=01"},
                                                       {"--fix", "A=1", "--fix", "A=0"},
                                                       {"--quiet=yes"},
                                                       {"--help=1"},
                                                       {"--max-memory"},
                                                       {"--max-memory", "0"},
                                                       {"--max-memory", "lots"},
                                                       {"--max-memory", "-5M"},
                                                       {"--max-memory", "99999999999999999999999G"},
                                                       {"--max-memory", "4096"}};
    for (const auto& args : bad) {
        std::string line;
        for (const std::string& a : args) line += a + " ";
        EXPECT_THROW(readOptions(args), optionError) << line;
    }
    EXPECT_NO_THROW(readOptions({"--fix", "A=1", "--fix", "A=1"}));
}

TEST(Options, UnknownFixedGeneIsNamed) {
    const std::string path = resultText::writeTempFile("^B -> A\n^A -> B\n");
    analysisOptions options = optionsOf(resultFormat::json);
    options.fixes.push_back({"Nope", 1});
    testing::internal::CaptureStdout();
    try {
        topFuncQuorvel(path.c_str(), options);
        ADD_FAILURE() << "an unknown gene was accepted";
    } catch (const optionError& error) {
        EXPECT_NE(std::string(error.what()).find("Nope"), std::string::npos) << error.what();
    }
    testing::internal::GetCapturedStdout();
    resultText::removeFile(path);
}

}  // namespace
