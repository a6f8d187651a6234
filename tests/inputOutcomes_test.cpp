// Inputs as parameters: --inputs off against --fix of every input and the
// exhaustive reference; --inputs grouped expanded setting by setting against
// --inputs free and the exhaustive reference, with the outcomes' own
// promises (disjoint settings covering every setting, one outcome per
// distinct list of attractors). Every analysis also checks that no BDD
// reference is left outstanding (it throws otherwise).
#include <gtest/gtest.h>


#include <algorithm>
#include <map>
#include <random>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "bruteForce.h"
#include "compInputOutcomes.h"
#include "expectedAttractors.h"
#include "randomNetwork.h"
#include "resultText.h"
#include "util.h"

namespace {

using json = nlohmann::json;
using stateSet = std::set<resultText::state>;

analysisOptions optionsOf(inputMode inputs, resultFormat format = resultFormat::json) {
    analysisOptions options;
    options.format = format;
    options.inputs = inputs;
    options.quiet = true;
    return options;
}

// The analysis of the network text `text` (rule format); the error on failure.
std::string analyseText(const std::string& text, const analysisOptions& options,
                        std::string& error) {
    const std::string path = resultText::writeTempFile(text);
    const std::string result = resultText::analyseFile(path, options, error);
    resultText::removeFile(path);
    return result;
}

// Every state of a cube of '0', '1' and '-'.
stateSet statesOfCube(const std::string& cube) {
    stateSet states{resultText::state(cube.size(), 0)};
    for (size_t i = 0; i < cube.size(); ++i) {
        stateSet next;
        for (const resultText::state& x : states)
            for (int v = 0; v <= 1; ++v) {
                if ((cube[i] == '0' && v == 1) || (cube[i] == '1' && v == 0)) continue;
                resultText::state y = x;
                y[i] = v;
                next.insert(y);
            }
        states = std::move(next);
    }
    return states;
}

// The attractors of a plain JSON result, as sets of states.
resultText::attractorSet attractorsOfJson(const json& doc) {
    resultText::attractorSet attractors;
    for (const json& a : doc.at("attractors")) {
        stateSet states;
        for (const std::string& cube : a.at("cubes").get<std::vector<std::string>>())
            for (const resultText::state& x : statesOfCube(cube)) states.insert(x);
        attractors.insert(states);
    }
    return attractors;
}

// A grouped answer expanded setting by setting, with its form checked.
struct expandedOutcomes {
    std::string error;                    // empty when the answer keeps every promise
    resultText::attractorSet attractors;  // over every setting
    std::map<std::string, resultText::attractorSet> bySetting;  // setting -> attractors
    size_t outcomes = 0;
};

expandedOutcomes expandGrouped(const std::string& text) {
    expandedOutcomes r;
    try {
        const json doc = json::parse(text);
        const auto genes = doc.at("genes").get<std::vector<std::string>>();
        const auto inputs = doc.at("inputs").get<std::vector<std::string>>();
        std::vector<size_t> at;
        for (const std::string& name : inputs)
            at.push_back(
                static_cast<size_t>(std::find(genes.begin(), genes.end(), name) - genes.begin()));
        std::set<std::set<std::string>> outcomeLists;
        for (const json& outcome : doc.at("outcomes")) {
            ++r.outcomes;
            std::set<std::string> list;  // the attractors' cubes, inputs '-'
            for (const json& a : outcome.at("attractors")) {
                std::string cubes;
                for (const std::string& cube : a.at("cubes").get<std::vector<std::string>>()) {
                    for (const size_t x : at)
                        if (cube.at(x) != '-') r.error = "an input is not '-' in " + cube;
                    cubes += cube + " ";
                }
                list.insert(cubes);
            }
            if (!outcomeLists.insert(list).second) r.error = "two outcomes have one list";
            for (const std::string& settingCube :
                 outcome.at("settings").get<std::vector<std::string>>()) {
                if (settingCube.size() != inputs.size()) r.error = "bad setting " + settingCube;
                for (const resultText::state& p : statesOfCube(settingCube)) {
                    std::string setting;
                    for (const int v : p) setting += static_cast<char>('0' + v);
                    if (r.bySetting.count(setting) != 0) r.error = "setting twice: " + setting;
                    resultText::attractorSet& here = r.bySetting[setting];
                    for (const json& a : outcome.at("attractors")) {
                        stateSet states;
                        for (std::string cube : a.at("cubes").get<std::vector<std::string>>()) {
                            for (size_t k = 0; k < at.size(); ++k) cube[at[k]] = setting[k];
                            for (const resultText::state& x : statesOfCube(cube)) states.insert(x);
                        }
                        if (a.at("states").get<size_t>() != states.size())
                            r.error = "a count is not the attractor's";
                        here.insert(states);
                        r.attractors.insert(states);
                    }
                }
            }
        }
        if (r.bySetting.size() != (size_t(1) << inputs.size()))
            r.error = "the settings do not cover every setting";
    } catch (const std::exception& e) {
        r.error = std::string("not the expected JSON: ") + e.what();
    }
    return r;
}

// The attractors of `network` with every input of `inputs` held at 0.
resultText::attractorSet referenceInputsOff(const std::vector<networkDefBool>& network,
                                            const std::vector<std::string>& inputs) {
    const std::vector<std::string> names = genesInFileOrder(network);
    const auto update = [&](int g, const bruteForce::state& x) {
        const std::string& name = names[static_cast<size_t>(g)];
        if (std::find(inputs.begin(), inputs.end(), name) != inputs.end()) return 0;
        std::map<std::string, int> values;
        for (size_t i = 0; i < names.size(); ++i) values[names[i]] = x[i];
        return nextValueByRules(network, name, values);
    };
    return bruteForce::asyncAttractors(static_cast<int>(names.size()), update);
}

randomNetworkOptions withManyInputs() {
    randomNetworkOptions options;
    options.maxGenes = 10;
    options.input = 0.35;
    return options;
}

}  // namespace

TEST(InputOptions, ReadInBothFormsAndCheckedAgainstFormatAndUpdate) {
    EXPECT_EQ(readOptions({"f"}).inputs, inputMode::free);
    EXPECT_EQ(readOptions({"--inputs", "off", "f"}).inputs, inputMode::off);
    EXPECT_EQ(readOptions({"--inputs=free", "f"}).inputs, inputMode::free);
    EXPECT_EQ(readOptions({"--format=json", "--inputs=grouped", "f"}).inputs, inputMode::grouped);
    EXPECT_EQ(readOptions({"--inputs", "grouped", "--format", "cubes"}).inputs, inputMode::grouped);
    // --help is answered whatever the rest says.
    EXPECT_TRUE(readOptions({"--inputs", "grouped", "--help"}).help);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--inputs"},
          {"--inputs", "on"},
          {"--inputs="},
          {"--inputs", "grouped", "f"},
          {"--inputs=grouped", "--format", "states"},
          {"--inputs=grouped", "--format", "json", "--update", "sync"}})
        EXPECT_THROW(readOptions(bad), optionError) << bad.back();
}

TEST(InputOptions, InputsAreTheGenesThatKeepTheirOwnValue) {
    std::vector<networkDefBool> network;
    auto rule = [&](std::vector<std::string> from, std::vector<int> polar, std::string to,
                    int arrow) {
        networkDefBool r;
        r.inpGeneName = std::move(from);
        r.inpGenePolar = std::move(polar);
        r.outGeneName = std::move(to);
        r.outGenePolar = arrow;
        network.push_back(r);
    };
    rule({"X"}, {1}, "X", 1);  // X -> X
    rule({"Y"}, {1}, "Y", 1);  // Y := Y AND NOT (NOT Y) = Y
    rule({"Y"}, {0}, "Y", 0);
    rule({"Z"}, {0}, "Z", 0);          // Z := NOT (NOT Z)... only inhibiting: Z
    rule({"N"}, {0}, "N", 1);          // N := NOT N
    rule({"W", "X"}, {1, 1}, "W", 1);  // reads X too
    rule({}, {}, "C", 1);              // constant ON
    rule({"X", "X"}, {1, 1}, "V", 1);  // V := X
    rule({"U", "U"}, {1, 1}, "U", 1);  // U := U, written twice
    EXPECT_EQ(listInputNames(network), (std::vector<std::string>{"X", "Y", "Z", "U"}));
}

// --inputs off is --fix of every input to 0, and the exhaustive search of the
// network with its inputs held OFF; the header still names every gene.
TEST(InputsOff, EqualsFixingEveryInputAndTheReference) {
    int failures = 0, withInputs = 0;
    for (unsigned seed = 1; seed <= 120 && failures < 3; ++seed) {
        const std::vector<networkDefBool> network = randomNetwork(seed, withManyInputs());
        const std::vector<std::string> inputs = listInputNames(network);
        withInputs += !inputs.empty();
        analysisOptions fixed = optionsOf(inputMode::free);
        for (const std::string& name : inputs) fixed.fixes.push_back({name, 0});
        std::string error;
        const std::string off = analyseText(networkText(network), optionsOf(inputMode::off), error);
        const std::string byFix = analyseText(networkText(network), fixed, error);
        const resultText::attractorSet expected = referenceInputsOff(network, inputs);
        const bool same = error.empty() && off == byFix &&
                          attractorsOfJson(json::parse(off)) == expected &&
                          json::parse(off).at("genes") == json(genesInFileOrder(network));
        failures += !same;
        EXPECT_TRUE(same) << "seed " << seed << ": " << error << "\nnetwork:\n"
                          << networkText(network) << "off: " << off << "fix: " << byFix;
    }
    EXPECT_GT(withInputs, 60);
}

// An input the user fixes keeps the user's value under --inputs off.
TEST(InputsOff, AnInputFixedOnStaysOn) {
    analysisOptions options = optionsOf(inputMode::off);
    options.fixes.push_back({"S", 1});
    std::string error;
    const json result = json::parse(analyseText("S -> S\nT -> T\nS&T -> A\n", options, error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(result.at("fixed"), json::parse(R"({"S":1,"T":0,"A":0})"));
}

// The grouped answer, expanded setting by setting, holds exactly the
// attractors of --inputs free and of the exhaustive search, each setting in
// one outcome, and distinct outcomes have distinct attractors.
TEST(InputsGrouped, ExpandedEqualsFreeAndTheReference) {
    int failures = 0, withInputs = 0;
    for (unsigned seed = 1; seed <= 200 && failures < 3; ++seed) {
        const std::vector<networkDefBool> network = randomNetwork(seed, withManyInputs());
        withInputs += !listInputNames(network).empty();
        std::string error;
        const std::string grouped =
            analyseText(networkText(network), optionsOf(inputMode::grouped), error);
        const std::string free =
            analyseText(networkText(network), optionsOf(inputMode::free), error);
        const expandedOutcomes r = expandGrouped(grouped);
        const resultText::attractorSet expected = attractorsByRules(network);
        const bool same = error.empty() && r.error.empty() && r.attractors == expected &&
                          attractorsOfJson(json::parse(free)) == expected;
        failures += !same;
        EXPECT_TRUE(same) << "seed " << seed << ": " << error << r.error << "\nnetwork:\n"
                          << networkText(network) << "expected: " << bruteForce::toString(expected)
                          << "\ngrouped: " << grouped;
    }
    EXPECT_GT(withInputs, 100);
}

// A block of four genes A-D whose every rule reads its own input besides a
// block gene: thirteen inputs, each read until all are set, so the settings
// do not fall into few classes and the block is searched once for all of
// them. Seeded: which gene each rule reads and with which sign.
std::vector<networkDefBool> manyInputsIntoOneBlock(unsigned seed) {
    std::mt19937 rng(seed);
    const std::vector<std::string> block{"A", "B", "C", "D"};
    std::vector<networkDefBool> network;
    for (int i = 0; i < 13; ++i) {
        const std::string name = "I" + std::to_string(i);
        network.push_back({{name}, {1}, name, 1});
    }
    int input = 0;
    for (size_t g = 0; g < block.size(); ++g) {
        // The first rule reads the gene before it in the ring, so the four
        // genes make one block.
        const int rules = g == 0 ? 4 : 3;
        for (int r = 0; r < rules; ++r) {
            const std::string reads = r == 0
                                          ? block[(g + 3) % 4]
                                          : block[std::uniform_int_distribution<size_t>(0, 3)(rng)];
            const int sign = r == 0 ? 1 : std::uniform_int_distribution<int>(0, 3)(rng) != 0;
            network.push_back({{"I" + std::to_string(input++), reads}, {1, sign}, block[g], 1});
        }
    }
    return network;
}

// The attractors of a network with inputs, setting by setting: the other
// genes' attractors under each setting by exhaustive search, each state
// written over every gene (file order) with the setting's values.
resultText::attractorSet referenceBySetting(const std::vector<networkDefBool>& network) {
    const std::vector<std::string> names = genesInFileOrder(network);
    const std::vector<std::string> inputs = listInputNames(network);
    std::vector<size_t> inputAt, otherAt;
    for (size_t i = 0; i < names.size(); ++i)
        (std::find(inputs.begin(), inputs.end(), names[i]) != inputs.end() ? inputAt : otherAt)
            .push_back(i);
    resultText::attractorSet all;
    for (size_t setting = 0; setting < (size_t(1) << inputAt.size()); ++setting) {
        std::map<std::string, int> values;
        for (size_t k = 0; k < inputAt.size(); ++k) values[names[inputAt[k]]] = (setting >> k) & 1;
        const auto update = [&](int g, const bruteForce::state& x) {
            for (size_t k = 0; k < otherAt.size(); ++k) values[names[otherAt[k]]] = x[k];
            return nextValueByRules(network, names[otherAt[static_cast<size_t>(g)]], values);
        };
        for (const auto& attractor :
             bruteForce::asyncAttractors(static_cast<int>(otherAt.size()), update)) {
            std::set<resultText::state> states;
            for (const bruteForce::state& x : attractor) {
                resultText::state whole(names.size());
                for (size_t k = 0; k < inputAt.size(); ++k) whole[inputAt[k]] = (setting >> k) & 1;
                for (size_t k = 0; k < otherAt.size(); ++k) whole[otherAt[k]] = x[k];
                states.insert(whole);
            }
            all.insert(states);
        }
    }
    return all;
}

// The grouped outcomes of `network`, expanded, equal its attractors setting
// by setting; the seed and the network are printed when they do not.
void expectGroupedEqualsReference(const std::vector<networkDefBool>& network, unsigned seed) {
    std::string error;
    const std::string grouped =
        analyseText(networkText(network), optionsOf(inputMode::grouped), error);
    const expandedOutcomes r = expandGrouped(grouped);
    const resultText::attractorSet expected = referenceBySetting(network);
    EXPECT_TRUE(error.empty() && r.error.empty() && r.attractors == expected)
        << "seed " << seed << ": " << error << r.error << "\nnetwork:\n"
        << networkText(network) << "expected: " << bruteForce::toString(expected);
}

TEST(InputsGrouped, ManySettingsSearchedAtOnceEqualTheReference) {
    for (unsigned seed = 1; seed <= 4; ++seed)
        expectGroupedEqualsReference(manyInputsIntoOneBlock(seed), seed);
}

// Three parts of three genes (each a ring of reads with random signs and
// one more random read inside the part), coupled through X = I0 AND (P00 OR
// P10), which parts 0 and 1 read: with I0 off, X is constant and the block
// falls into independent parts (part 2 reads part 0, so part 0 is a block
// above it); with I0 on, one block. I1 gates part 2's first gene. Seeded:
// the signs and the extra reads.
std::vector<networkDefBool> gatedParts(unsigned seed) {
    std::mt19937 rng(seed);
    const auto coin = [&]() { return std::uniform_int_distribution<int>(0, 1)(rng); };
    const auto gene = [](int part, int k) {
        return "P" + std::to_string(part) + std::to_string(k);
    };
    std::vector<networkDefBool> network{{{"I0"}, {1}, "I0", 1},
                                        {{"I1"}, {1}, "I1", 1},
                                        {{"I0", gene(0, 0)}, {1, 1}, "X", 1},
                                        {{"I0", gene(1, 0)}, {1, 1}, "X", 1}};
    for (int part = 0; part < 3; ++part)
        for (int k = 0; k < 3; ++k) {
            const std::string target = gene(part, k);
            network.push_back({{gene(part, (k + 2) % 3)}, {coin()}, target, coin()});
            std::vector<std::string> reads{
                gene(part, std::uniform_int_distribution<int>(0, 2)(rng))};
            if (k == 0 && part < 2) reads.push_back("X");
            if (k == 0 && part == 2) {
                reads.push_back("I1");
                reads.push_back(gene(0, 1));
            }
            std::vector<int> signs;
            for (size_t r = 0; r < reads.size(); ++r) signs.push_back(coin());
            network.push_back({reads, signs, target, coin()});
        }
    return network;
}

TEST(InputsGrouped, BlocksThatFallApartUnderASettingEqualTheReference) {
    for (unsigned seed = 1; seed <= 40; ++seed)
        expectGroupedEqualsReference(gatedParts(seed), seed);
}

// A gene K that keeps its value (K -> K), raised too when the first gene of
// every loop is on, and four negative loops of three genes whose first gene
// rises only while K is on; input I0 gates the first loop, and I1 (when the
// seed says so) the second. With K and the inputs on, the loops make one
// cyclic attractor of 6^4 states, too many to test state by state: the
// block's search tests it over sets, and the trap subcube around it (K held
// on) falls apart into the four loops, which the composition searches one by
// one. Seeded: which reads of each loop inhibit (an odd number of them).
std::vector<networkDefBool> gatedLoops(unsigned seed) {
    std::mt19937 rng(seed);
    const auto coin = [&]() { return std::uniform_int_distribution<int>(0, 1)(rng); };
    const auto gene = [](int loop, int k) {
        return "L" + std::to_string(loop) + std::to_string(k);
    };
    const bool twoInputs = coin() == 1;
    std::vector<networkDefBool> network{{{"I0"}, {1}, "I0", 1}, {{"K"}, {1}, "K", 1}};
    if (twoInputs) network.push_back({{"I1"}, {1}, "I1", 1});
    network.push_back({{gene(0, 0), gene(1, 0), gene(2, 0), gene(3, 0)}, {1, 1, 1, 1}, "K", 1});
    for (int loop = 0; loop < 4; ++loop) {
        std::vector<int> signs(3, 1);
        const int inhibitions = coin() == 1 ? 3 : 1;
        if (inhibitions == 3)
            signs.assign(3, 0);
        else
            signs[static_cast<size_t>(std::uniform_int_distribution<int>(0, 2)(rng))] = 0;
        std::vector<std::string> first{"K", gene(loop, 2)};
        std::vector<int> firstSigns{1, signs[0]};
        if (loop == 0 || (loop == 1 && twoInputs)) {
            first.push_back(loop == 0 ? "I0" : "I1");
            firstSigns.push_back(1);
        }
        network.push_back({first, firstSigns, gene(loop, 0), 1});
        for (int k = 1; k < 3; ++k)
            network.push_back(
                {{gene(loop, k - 1)}, {signs[static_cast<size_t>(k)]}, gene(loop, k), 1});
    }
    return network;
}

TEST(InputsGrouped, LoopsInATrapSubcubeEqualTheReference) {
    for (unsigned seed = 1; seed <= 6; ++seed) expectGroupedEqualsReference(gatedLoops(seed), seed);
}

// A block of four genes: A = I0 OR (B AND NOT I1), and a ring B, C, D with
// random signs and one more random read each, where B also rises on A AND
// I2. With I0 on and I2 off, A is fixed on; with I0 off and I1 on, A is
// fixed off; both leave the ring the same functions, so the second search
// of the ring takes the first one's attractors and puts its own value of A
// in. Seeded: the signs and the extra reads.
std::vector<networkDefBool> sameRestOtherFixedValues(unsigned seed) {
    std::mt19937 rng(seed);
    const auto coin = [&]() { return std::uniform_int_distribution<int>(0, 1)(rng); };
    const std::vector<std::string> ring{"B", "C", "D"};
    std::vector<networkDefBool> network{
        {{"I0"}, {1}, "I0", 1}, {{"I1"}, {1}, "I1", 1},        {{"I2"}, {1}, "I2", 1},
        {{"I0"}, {1}, "A", 1},  {{"B", "I1"}, {1, 0}, "A", 1}, {{"A", "I2"}, {1, 1}, "B", 1}};
    for (size_t g = 0; g < ring.size(); ++g) {
        network.push_back({{ring[(g + 2) % 3]}, {coin()}, ring[g], 1});
        network.push_back(
            {{ring[static_cast<size_t>(std::uniform_int_distribution<int>(0, 2)(rng))]},
             {coin()},
             ring[g],
             1});
    }
    return network;
}

TEST(InputsGrouped, SameRestUnderOtherFixedValuesEqualsTheReference) {
    for (unsigned seed = 1; seed <= 12; ++seed)
        expectGroupedEqualsReference(sameRestOtherFixedValues(seed), seed);
}

// A = OR of seven terms I(k) AND I(k+7), with random signs, read by a ring
// B, C, D with random signs that also reads I0: the settings of A's value
// need hundreds of cubes in the order of the inputs while the outcomes are
// few, so the outcomes are told apart by the relation between settings
// rather than by splitting the settings into cubes. Seeded: the signs.
std::vector<networkDefBool> farApartTerms(unsigned seed) {
    std::mt19937 rng(seed);
    const auto coin = [&]() { return std::uniform_int_distribution<int>(0, 1)(rng); };
    std::vector<networkDefBool> network;
    for (int i = 0; i < 14; ++i) {
        const std::string name = "I" + std::to_string(i);
        network.push_back({{name}, {1}, name, 1});
    }
    for (int k = 0; k < 7; ++k)
        network.push_back(
            {{"I" + std::to_string(k), "I" + std::to_string(k + 7)}, {coin(), coin()}, "A", 1});
    const std::vector<std::string> ring{"B", "C", "D"};
    for (size_t g = 0; g < ring.size(); ++g) {
        network.push_back({{ring[(g + 2) % 3]}, {coin()}, ring[g], coin()});
        network.push_back({{g == 0 ? "A" : "I0", ring[(g + 1) % 3]}, {coin(), coin()}, ring[g], 1});
    }
    return network;
}

TEST(InputsGrouped, SettingsOfManyCubesEqualTheReference) {
    for (unsigned seed = 1; seed <= 6; ++seed)
        expectGroupedEqualsReference(farApartTerms(seed), seed);
}

// Two settings share an outcome exactly when their attractors over the other
// genes are equal: here S only matters when T is ON.
TEST(InputsGrouped, SettingsWithEqualAttractorsShareAnOutcome) {
    std::string error;
    const std::string text = "S -> S\nT -> T\nS&T -> A\n^A -> B\n^B -> A\n";
    const json result = json::parse(analyseText(text, optionsOf(inputMode::grouped), error));
    ASSERT_EQ(error, "");
    EXPECT_EQ(result.at("inputs"), json::parse(R"(["S","T"])"));
    // Settings S=1,T=1: A forced ON; every other setting: the toggle switch.
    std::map<std::set<std::string>, std::set<std::string>> settingsByList;
    for (const json& outcome : result.at("outcomes")) {
        std::set<std::string> list;
        for (const json& a : outcome.at("attractors")) list.insert(a.at("cubes")[0]);
        for (const json& s : outcome.at("settings"))
            settingsByList[list].insert(s.get<std::string>());
    }
    ASSERT_EQ(settingsByList.size(), 2u);
    EXPECT_EQ(settingsByList.at({"--10"}), (std::set<std::string>{"11"}));
    size_t covered = 0;
    for (const std::string& cube : settingsByList.at({"--10", "--01"}))
        covered += statesOfCube(cube).size();
    EXPECT_EQ(covered, 3u);
    // The cubes layout says the same.
    const std::string cubes =
        analyseText(text, optionsOf(inputMode::grouped, resultFormat::cubes), error);
    EXPECT_EQ(cubes.substr(0, cubes.find("\noutcome")), "S   T   A   B   \ninputs   S   T   ");
    EXPECT_EQ(std::count(cubes.begin(), cubes.end(), '\n'), 2 + 2 + 3);
}

// The cubes text of the outcomes says what the json text says, outcome by
// outcome in the same order: settings, then each attractor's count and
// cubes. Each text is written in one pass, and an attractor met again is
// copied from where it was first written, so a wrong copy shows here.
TEST(InputsGrouped, CubesTextSaysWhatJsonSays) {
    int compared = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        const std::vector<networkDefBool> network = randomNetwork(seed, withManyInputs());
        if (listInputNames(network).empty()) continue;
        const std::string text = networkText(network);
        std::string error;
        const json doc = json::parse(analyseText(text, optionsOf(inputMode::grouped), error));
        const std::string cubes =
            analyseText(text, optionsOf(inputMode::grouped, resultFormat::cubes), error);
        std::string expected;
        for (const json& name : doc.at("genes")) expected += name.get<std::string>() + "   ";
        expected += "\ninputs   ";
        for (const json& name : doc.at("inputs")) expected += name.get<std::string>() + "   ";
        for (const json& outcome : doc.at("outcomes")) {
            expected += "\noutcome   ";
            for (const json& setting : outcome.at("settings"))
                expected += setting.get<std::string>() + "   ";
            for (const json& a : outcome.at("attractors")) {
                const json& states = a.at("states");
                expected += "\n" + (states.is_string() ? states.get<std::string>() : states.dump());
                expected += "   ";
                for (const json& cube : a.at("cubes")) expected += cube.get<std::string>() + "   ";
            }
        }
        expected += "\n";
        EXPECT_EQ(error + cubes, expected) << "seed " << seed << "\nnetwork:\n" << text;
        ++compared;
    }
    EXPECT_GT(compared, 30);
}

// A network without inputs has one outcome: its attractors, for the one
// (empty) setting.
TEST(InputsGrouped, NoInputsIsOneOutcome) {
    std::string error;
    const json result =
        json::parse(analyseText("^B -> A\n^A -> B\n", optionsOf(inputMode::grouped), error));
    ASSERT_EQ(error, "");
    EXPECT_EQ(result.at("inputs"), json::array());
    ASSERT_EQ(result.at("outcomes").size(), 1u);
    EXPECT_EQ(result.at("outcomes")[0].at("settings"), json::parse(R"([""])"));
    EXPECT_EQ(result.at("outcomes")[0].at("attractors").size(), 2u);
}

// The small published models: grouped expanded equals their exhaustive
// attractors (inputs free).
TEST(InputsGrouped, SmallRealModelsEqualTheirExhaustiveAttractors) {
    const std::string dir = std::string(QUORVEL_SHARED_DIR) + "/networks/";
    const std::vector<std::string> ids = listExpectedIds(dir, "models");
    if (ids.empty()) GTEST_SKIP() << "the shared networks are not present";
    int compared = 0;
    for (const std::string& id : ids) {
        const expectedAttractors expected =
            readExpectedAttractors(dir + "expected/models/" + id + ".json");
        if (!expected.listed) continue;
        const std::string path = dir + "models/" + id + ".net";
        testing::internal::CaptureStdout();
        std::string error;
        std::string text;
        try {
            text = topFuncQuorvel(path.c_str(), optionsOf(inputMode::grouped));
        } catch (const std::exception& e) {
            error = e.what();
        }
        testing::internal::GetCapturedStdout();
        const expandedOutcomes r = expandGrouped(text);
        EXPECT_EQ(error + r.error, "") << id;
        EXPECT_EQ(r.attractors, expected.attractors) << id;
        ++compared;
    }
    EXPECT_GT(compared, 10);
}
