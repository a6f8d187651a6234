// The modeller's questions against an exhaustive reference on seeded random
// networks of the rules as written (every gene, none reduced): the "space"
// of every attractor, the attractors reachable from initial states, weak and
// strong basins, minimal and maximal trap spaces (all 3^n subspaces tried),
// phenotypes, and outcomes of the inputs merged by phenotype. Every failure
// prints the seed and the network. On the shared models, soundness checks
// of the same answers at sizes no reference reaches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "bruteForce.h"
#include "compInputOutcomes.h"
#include "randomNetwork.h"
#include "resultText.h"

namespace {

using json = nlohmann::json;
using bruteForce::state;
using stateSet = std::set<state>;

// ---- The reference: explicit states of the network as written.

struct explicitNetwork {
    std::vector<std::string> genes;
    std::vector<std::vector<int>> next;  // next[k][g]: f_g in state number k
    int n = 0;
    unsigned states() const { return 1u << n; }
};

explicitNetwork explicitOf(const std::vector<networkDefBool>& network,
                           const std::map<std::string, int>& fixes = {}) {
    explicitNetwork net;
    net.genes = genesInFileOrder(network);
    net.n = static_cast<int>(net.genes.size());
    for (unsigned k = 0; k < net.states(); ++k) {
        std::map<std::string, int> values;
        for (int g = 0; g < net.n; ++g) values[net.genes[static_cast<size_t>(g)]] = (k >> g) & 1u;
        std::vector<int> f;
        for (const std::string& name : net.genes) {
            const auto fix = fixes.find(name);
            f.push_back(fix != fixes.end() ? fix->second : nextValueByRules(network, name, values));
        }
        net.next.push_back(std::move(f));
    }
    return net;
}

std::vector<unsigned> successors(const explicitNetwork& net, unsigned k) {
    std::vector<unsigned> out;
    for (int g = 0; g < net.n; ++g)
        if (net.next[k][static_cast<size_t>(g)] != static_cast<int>((k >> g) & 1u))
            out.push_back(k ^ (1u << g));
    return out;
}

std::string cubeOfState(unsigned k, int n) {
    std::string cube;
    for (int g = 0; g < n; ++g) cube.push_back(((k >> g) & 1u) ? '1' : '0');
    return cube;
}

bool inCube(unsigned k, const std::string& cube) {
    for (size_t g = 0; g < cube.size(); ++g)
        if (cube[g] != '-' && cube[g] - '0' != static_cast<int>((k >> g) & 1u)) return false;
    return true;
}

// Attractors as sets of state numbers (terminal strongly connected sets).
std::vector<std::set<unsigned>> attractorsOf(const explicitNetwork& net) {
    std::vector<std::set<unsigned>> found;
    for (const stateSet& a : bruteForce::asyncAttractors(net.n, [&](int g, const state&x) {
             return net.next[bruteForce::indexOfState(x)][static_cast<size_t>(g)];
         })) {
        std::set<unsigned> numbers;
        for (const state& x : a) numbers.insert(bruteForce::indexOfState(x));
        found.push_back(numbers);
    }
    return found;
}

// Every state reachable from `start` (forward) or reaching it (backward).
std::vector<bool> reach(const explicitNetwork& net, const std::vector<unsigned>& start,
                        bool forward) {
    std::vector<std::vector<unsigned>> edges(net.states());
    for (unsigned k = 0; k < net.states(); ++k)
        for (const unsigned j : successors(net, k))
            (forward ? edges[k] : edges[j]).push_back(forward ? j : k);
    std::vector<bool> seen(net.states(), false);
    std::vector<unsigned> todo(start);
    for (const unsigned k : start) seen[k] = true;
    while (!todo.empty()) {
        const unsigned k = todo.back();
        todo.pop_back();
        for (const unsigned j : edges[k])
            if (!seen[j]) {
                seen[j] = true;
                todo.push_back(j);
            }
    }
    return seen;
}

std::string spaceOf(const std::set<unsigned>& a, int n) {
    std::string space = cubeOfState(*a.begin(), n);
    for (const unsigned k : a) {
        const std::string c = cubeOfState(k, n);
        for (int g = 0; g < n; ++g)
            if (space[static_cast<size_t>(g)] != c[static_cast<size_t>(g)])
                space[static_cast<size_t>(g)] = '-';
    }
    return space;
}

// Every subspace that no step leaves.
std::vector<std::string> allTrapSpaces(const explicitNetwork& net) {
    std::vector<std::string> traps;
    unsigned count = 1;
    for (int g = 0; g < net.n; ++g) count *= 3;
    for (unsigned code = 0; code < count; ++code) {
        std::string cube;
        for (unsigned c = code, g = 0; g < static_cast<unsigned>(net.n); ++g, c /= 3)
            cube.push_back("01-"[c % 3]);
        bool closed = true;
        for (unsigned k = 0; k < net.states() && closed; ++k)
            if (inCube(k, cube))
                for (const unsigned j : successors(net, k)) closed = closed && inCube(j, cube);
        if (closed) traps.push_back(cube);
    }
    return traps;
}

bool subspaceOf(const std::string& inner, const std::string& outer) {
    for (size_t g = 0; g < inner.size(); ++g)
        if (outer[g] != '-' && outer[g] != inner[g]) return false;
    return true;
}

std::set<std::string> extremeTrapSpaces(const explicitNetwork& net, bool minimal) {
    const std::vector<std::string> traps = allTrapSpaces(net);
    const std::string whole(static_cast<size_t>(net.n), '-');
    std::set<std::string> chosen;
    for (const std::string& s : traps) {
        if (!minimal && s == whole) continue;
        bool extreme = true;
        for (const std::string& t : traps)
            if (t != s && (minimal ? subspaceOf(t, s) : (t != whole && subspaceOf(s, t))))
                extreme = false;
        if (extreme) chosen.insert(s);
    }
    return chosen;
}

// ---- The analysis

std::string analyse(const std::vector<networkDefBool>& network, const analysisOptions& options,
                    std::string& error) {
    const std::string path = resultText::writeTempFile(networkText(network));
    const std::string result = resultText::analyseFile(path, options, error);
    resultText::removeFile(path);
    return result;
}

analysisOptions jsonOptions() {
    analysisOptions options;
    options.format = resultFormat::json;
    options.quiet = true;
    return options;
}

std::set<unsigned> statesOfCubes(const std::vector<std::string>& cubes, int n) {
    std::set<unsigned> states;
    for (unsigned k = 0; k < (1u << n); ++k)
        for (const std::string& cube : cubes)
            if (inCube(k, cube)) states.insert(k);
    return states;
}

randomNetworkOptions smallNetworks(unsigned seed, int maxGenes) {
    randomNetworkOptions options;
    options.minGenes = 1;
    options.maxGenes = 1 + static_cast<int>(seed % static_cast<unsigned>(maxGenes));
    return options;
}

}  // namespace

// Attractors with their space, basins and phenotypes, and the attractors
// reachable from random initial cubes, against the explicit state graph.
TEST(ModellerQuestions, AttractorAnswersMatchExhaustiveReference) {
    for (unsigned seed = 1; seed <= 120; ++seed) {
        const std::vector<networkDefBool> network = randomNetwork(seed, smallNetworks(seed, 10));
        std::mt19937 draw(seed);
        std::map<std::string, int> fixes;
        analysisOptions options = jsonOptions();
        const std::vector<std::string> names = genesInFileOrder(network);
        const int n = static_cast<int>(names.size());
        if (seed % 4 == 0) {  // a knock-out or over-expression of a random gene
            const std::string gene = names[draw() % names.size()];
            fixes[gene] = static_cast<int>(draw() % 2);
            options.fixes.push_back({gene, fixes[gene]});
        }
        const explicitNetwork net = explicitOf(network, fixes);
        const std::vector<std::set<unsigned>> expected = attractorsOf(net);
        // One or two initial cubes, as cubes or as GENE=v lists.
        std::vector<std::string> initial;
        for (unsigned c = 0; c <= seed % 2; ++c) {
            std::string cube;
            for (int g = 0; g < n; ++g) cube.push_back("01-"[draw() % 3]);
            initial.push_back(cube);
        }
        options.initial = initial;
        if (seed % 3 == 0) {
            std::string assignments;
            for (int g = 0; g < n; ++g)
                if (initial[0][static_cast<size_t>(g)] != '-')
                    assignments += (assignments.empty() ? "" : ",") +
                                   names[static_cast<size_t>(g)] + "=" +
                                   initial[0][static_cast<size_t>(g)];
            if (!assignments.empty()) options.initial[0] = assignments;
        }
        options.basins = true;
        const std::vector<std::string> markers = {names[draw() % names.size()],
                                                  names[draw() % names.size()]};
        options.phenotypes = {markers[0]};
        if (markers[1] != markers[0]) options.phenotypes.push_back(markers[1]);

        std::string error;
        const std::string text = analyse(network, options, error);
        const std::string context = "seed " + std::to_string(seed) + "\n" + networkText(network);
        ASSERT_EQ(error, "") << context;
        const json doc = json::parse(text);
        ASSERT_EQ(doc.at("genes").get<std::vector<std::string>>(), names) << context;

        const std::vector<bool> fromInitial = reach(
            net,
            [&] {
                std::vector<unsigned> start;
                for (const unsigned k : statesOfCubes(initial, n)) start.push_back(k);
                return start;
            }(),
            true);
        std::vector<std::vector<bool>> weak;
        for (const std::set<unsigned>& a : expected)
            weak.push_back(reach(net, {a.begin(), a.end()}, false));
        // Expected per reachable attractor: space, weak and strong basin.
        std::map<std::set<unsigned>, std::vector<std::string>> wanted;
        std::map<std::string, size_t> perPhenotype;
        for (size_t i = 0; i < expected.size(); ++i) {
            if (!fromInitial[*expected[i].begin()]) continue;
            size_t weakCount = 0, strongCount = 0;
            for (unsigned k = 0; k < net.states(); ++k) {
                if (!weak[i][k]) continue;
                ++weakCount;
                bool only = true;
                for (size_t j = 0; j < expected.size(); ++j) only = only && (j == i || !weak[j][k]);
                strongCount += only;
            }
            const std::string space = spaceOf(expected[i], n);
            std::string phenotype;
            for (const std::string& m : options.phenotypes)
                phenotype.push_back(space[static_cast<size_t>(
                    std::find(names.begin(), names.end(), m) - names.begin())]);
            ++perPhenotype[phenotype];
            wanted[expected[i]] = {space, std::to_string(weakCount), std::to_string(strongCount),
                                   phenotype};
        }
        std::map<std::set<unsigned>, std::vector<std::string>> got;
        for (const json& a : doc.at("attractors")) {
            const std::set<unsigned> states =
                statesOfCubes(a.at("cubes").get<std::vector<std::string>>(), n);
            got[states] = {a.at("space").get<std::string>(),
                           std::to_string(a.at("basin").at("weak").get<long>()),
                           std::to_string(a.at("basin").at("strong").get<long>()),
                           a.at("phenotype").get<std::string>()};
        }
        EXPECT_EQ(got, wanted) << context << "initial " << initial[0] << "\n" << text;
        std::map<std::string, size_t> counted;
        for (const json& p : doc.at("phenotypes"))
            counted[p.at("phenotype").get<std::string>()] = p.at("attractors").get<size_t>();
        EXPECT_EQ(counted, perPhenotype) << context << text;
    }
}

// Minimal and maximal proper trap spaces against every one of the 3^n
// subspaces, with --fix and --inputs off among the cases.
TEST(ModellerQuestions, TrapSpacesMatchEverySubspace) {
    for (unsigned seed = 1; seed <= 150; ++seed) {
        const std::vector<networkDefBool> network = randomNetwork(seed, smallNetworks(seed, 8));
        const std::vector<std::string> names = genesInFileOrder(network);
        analysisOptions options = jsonOptions();
        std::map<std::string, int> fixes;
        if (seed % 5 == 0) {
            fixes[names[seed % names.size()]] = static_cast<int>(seed / 5 % 2);
            options.fixes.push_back({names[seed % names.size()], fixes.begin()->second});
        }
        if (seed % 7 == 0) {
            options.inputs = inputMode::off;
            for (const std::string& input : listInputNames(network))
                if (!fixes.count(input)) fixes[input] = 0;
        }
        const explicitNetwork net = explicitOf(network, fixes);
        const std::string context = "seed " + std::to_string(seed) + "\n" + networkText(network);
        for (const bool minimal : {true, false}) {
            options.trapSpaces = minimal ? trapSpaceKind::minimal : trapSpaceKind::maximal;
            std::string error;
            const std::string text = analyse(network, options, error);
            ASSERT_EQ(error, "") << context;
            const json doc = json::parse(text);
            const std::vector<std::string> cubes = doc.at("cubes").get<std::vector<std::string>>();
            EXPECT_EQ(doc.at("count").get<size_t>(), cubes.size()) << context;
            EXPECT_EQ(std::set<std::string>(cubes.begin(), cubes.end()),
                      extremeTrapSpaces(net, minimal))
                << context << (minimal ? "min" : "max");
        }
    }
}

// --inputs grouped with --phenotypes: every setting of the inputs, searched
// apart by the reference, lies in the merged outcome of its set of
// phenotypes, with the fewest and most attractors per phenotype.
TEST(ModellerQuestions, GroupedPhenotypesMatchSettingBySetting) {
    int checked = 0;
    for (unsigned seed = 1; seed <= 200 && checked < 60; ++seed) {
        randomNetworkOptions shape = smallNetworks(seed, 9);
        shape.input = 0.3;
        const std::vector<networkDefBool> network = randomNetwork(seed, shape);
        const std::vector<std::string> names = genesInFileOrder(network);
        const std::vector<std::string> inputNames = listInputNames(network);
        std::vector<std::string> markers;
        for (const std::string& name : names)
            if (std::find(inputNames.begin(), inputNames.end(), name) == inputNames.end() &&
                markers.size() < 2)
                markers.push_back(name);
        if (inputNames.empty() || markers.empty()) continue;
        ++checked;
        analysisOptions options = jsonOptions();
        options.inputs = inputMode::grouped;
        options.phenotypes = markers;
        std::string error;
        const std::string text = analyse(network, options, error);
        const std::string context = "seed " + std::to_string(seed) + "\n" + networkText(network);
        ASSERT_EQ(error, "") << context;
        const json doc = json::parse(text);
        // The settings are written over the inputs in header order.
        const std::vector<std::string> inputs = doc.at("inputs").get<std::vector<std::string>>();
        ASSERT_EQ(std::set<std::string>(inputs.begin(), inputs.end()),
                  std::set<std::string>(inputNames.begin(), inputNames.end()))
            << context;
        // Reference: per setting its phenotypes with their numbers.
        const explicitNetwork net = explicitOf(network);
        const std::vector<std::set<unsigned>> all = attractorsOf(net);
        std::map<std::string, std::map<std::string, size_t>> bySetting;
        for (unsigned s = 0; s < (1u << inputs.size()); ++s) {
            std::string setting;
            for (size_t x = 0; x < inputs.size(); ++x)
                setting.push_back(((s >> x) & 1u) ? '1' : '0');
            std::map<std::string, size_t>& counts = bySetting[setting];
            for (const std::set<unsigned>& a : all) {
                const std::string space = spaceOf(a, net.n);
                bool matches = true;
                for (size_t x = 0; x < inputs.size(); ++x) {
                    const size_t at = static_cast<size_t>(
                        std::find(names.begin(), names.end(), inputs[x]) - names.begin());
                    matches = matches && space[at] == setting[x];
                }
                if (!matches) continue;
                std::string phenotype;
                for (const std::string& m : markers)
                    phenotype.push_back(space[static_cast<size_t>(
                        std::find(names.begin(), names.end(), m) - names.begin())]);
                ++counts[phenotype];
            }
        }
        std::set<std::string> covered;
        std::set<std::set<std::string>> phenotypeSets;
        for (const json& outcome : doc.at("outcomes")) {
            std::set<std::string> phenotypes;
            std::map<std::string, std::pair<size_t, size_t>> range;
            for (const json& p : outcome.at("phenotypes")) {
                phenotypes.insert(p.at("phenotype").get<std::string>());
                range[p.at("phenotype").get<std::string>()] = {p.at("fewest").get<size_t>(),
                                                               p.at("most").get<size_t>()};
            }
            EXPECT_TRUE(phenotypeSets.insert(phenotypes).second)
                << context << "two outcomes share phenotypes\n"
                << text;
            std::map<std::string, std::pair<size_t, size_t>> seen;
            for (const std::string& cube : outcome.at("settings").get<std::vector<std::string>>())
                for (const auto& [setting, counts] : bySetting) {
                    if (!subspaceOf(setting, cube)) continue;
                    EXPECT_TRUE(covered.insert(setting).second)
                        << context << "setting " << setting << " twice";
                    std::set<std::string> own;
                    for (const auto& [p, c] : counts) {
                        own.insert(p);
                        auto& r = seen.emplace(p, std::make_pair(c, c)).first->second;
                        r = {std::min(r.first, c), std::max(r.second, c)};
                    }
                    EXPECT_EQ(own, phenotypes) << context << "setting " << setting << "\n" << text;
                }
            EXPECT_EQ(seen, range) << context << text;
        }
        EXPECT_EQ(covered.size(), bySetting.size()) << context << text;
    }
    EXPECT_GE(checked, 20);
}

// Bad questions are refused as option errors, before any search.
TEST(ModellerQuestions, BadQuestionsAreRefused) {
    const auto refused = [](std::vector<std::string> args) {
        try {
            readOptions(args);
        } catch (const optionError&) {
            return true;
        }
        return false;
    };
    EXPECT_TRUE(refused({"--basins"}));  // states format
    EXPECT_TRUE(refused({"--format", "json", "--trap-spaces", "all"}));
    EXPECT_TRUE(refused({"--format", "json", "--trap-spaces", "min", "--basins"}));
    EXPECT_TRUE(refused({"--format", "json", "--initial", "01", "--update", "sync"}));
    EXPECT_TRUE(refused({"--format", "json", "--basins", "--inputs", "grouped"}));
    EXPECT_TRUE(refused({"--format", "json", "--phenotypes", "A,,B"}));
    EXPECT_TRUE(refused({"--format", "json", "--phenotypes", "A,A"}));
    EXPECT_FALSE(refused({"--format=cubes", "--phenotypes=A,B", "--inputs", "grouped"}));

    const std::vector<networkDefBool> toggle = randomNetwork(3);  // any network
    const std::vector<std::string> names = genesInFileOrder(toggle);
    for (const std::vector<std::string>& initial :
         std::vector<std::vector<std::string>>{{"0"},
                                               {std::string(names.size(), 'x')},
                                               {"NOSUCHGENE=1"},
                                               {names[0] + "=2"},
                                               {names[0] + "=1," + names[0] + "=0"}}) {
        analysisOptions options = jsonOptions();
        options.initial = initial;
        bool optionFault = false;
        const std::string path = resultText::writeTempFile(networkText(toggle));
        testing::internal::CaptureStdout();
        try {
            topFuncQuorvel(path.c_str(), options);
        } catch (const optionError&) {
            optionFault = true;
        } catch (const std::exception&) {
        }
        testing::internal::GetCapturedStdout();
        resultText::removeFile(path);
        EXPECT_TRUE(optionFault || names.size() == 1) << initial[0];
    }
    analysisOptions options = jsonOptions();
    options.phenotypes = {"NOSUCHGENE"};
    std::string error;
    EXPECT_EQ(analyse(toggle, options, error), "");
    EXPECT_NE(error.find("NOSUCHGENE"), std::string::npos);
}

// On the published models: every minimal trap space holds an attractor and
// none holds another; basins are at least their attractor, the strong ones
// disjoint within the state space and the weak ones covering it; the
// attractors reachable from one state are among all the attractors.
TEST(ModellerQuestions, SoundOnPublishedModels) {
    const std::filesystem::path dir =
        std::filesystem::path(QUORVEL_SHARED_DIR) / "networks" / "inputs-off";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no shared networks";
    for (const char* id : {"bbm-003", "bbm-005", "bbm-011", "bbm-015", "bbm-021"}) {
        const std::string path = (dir / (std::string(id) + ".net")).string();
        std::string error;
        analysisOptions options = jsonOptions();
        options.basins = true;
        testing::internal::CaptureStdout();
        const json all = json::parse(topFuncQuorvel(path.c_str(), options));
        options.basins = false;
        options.trapSpaces = trapSpaceKind::minimal;
        const json traps = json::parse(topFuncQuorvel(path.c_str(), options));
        options.trapSpaces = trapSpaceKind::none;
        options.initial = {std::string(all.at("genes").size(), '0')};
        const json reached = json::parse(topFuncQuorvel(path.c_str(), options));
        testing::internal::GetCapturedStdout();
        const size_t n = all.at("genes").size();
        const double total = std::ldexp(1.0, static_cast<int>(n));
        double strongSum = 0, weakSum = 0;
        std::set<std::string> spaces;
        for (const json& a : all.at("attractors")) {
            const double weak = a.at("basin").at("weak").get<double>(),
                         strong = a.at("basin").at("strong").get<double>();
            EXPECT_LE(a.at("states").get<double>(), strong) << id;
            EXPECT_LE(strong, weak) << id;
            strongSum += strong;
            weakSum += weak;
            spaces.insert(a.at("space").get<std::string>());
        }
        EXPECT_LE(strongSum, total) << id;
        EXPECT_GE(weakSum, total) << id;
        const std::vector<std::string> minimal = traps.at("cubes").get<std::vector<std::string>>();
        for (const std::string& t : minimal) {
            bool holdsAttractor = false;
            for (const json& a : all.at("attractors"))
                holdsAttractor = holdsAttractor || subspaceOf(a.at("space").get<std::string>(), t);
            EXPECT_TRUE(holdsAttractor) << id << " " << t;
            for (const std::string& u : minimal)
                EXPECT_TRUE(u == t || !subspaceOf(u, t)) << id << " " << t << " " << u;
        }
        EXPECT_GE(reached.at("attractors").size(), 1u) << id;
        for (const json& a : reached.at("attractors"))
            EXPECT_TRUE(spaces.count(a.at("space").get<std::string>())) << id;
    }
}

// A gene the reduction fixes (A, without rules: OFF) may start ON, and while
// it is ON another gene may move: from A = 1, B = 0, B can turn on (B = A OR
// B) before A falls, so both steady states are reachable, not only B = 0.
TEST(ModellerQuestions, FixedGenesStartingElsewhereLetOthersMoveFirst) {
    networkDefBool aToB, bToB;
    aToB.inpGeneName = {"A"};
    aToB.inpGenePolar = {1};
    aToB.outGeneName = "B";
    aToB.outGenePolar = 1;
    bToB = aToB;
    bToB.inpGeneName = {"B"};
    const std::vector<networkDefBool> network = {aToB, bToB};  // header: B A
    analysisOptions options = jsonOptions();
    std::string error;
    options.initial = {"A=1,B=0"};
    EXPECT_EQ(json::parse(analyse(network, options, error)).at("attractors").size(), 2u) << error;
    options.initial = {"00"};
    options.basins = true;
    const json doc = json::parse(analyse(network, options, error));
    ASSERT_EQ(doc.at("attractors").size(), 1u) << error;
    EXPECT_EQ(doc.at("attractors")[0].at("basin"), json::parse(R"({"weak":2,"strong":1})"));
}
