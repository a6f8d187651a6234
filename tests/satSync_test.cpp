// The synchronous search by satisfiability against independent references:
// the exhaustive synchronous attractors of random networks and of the
// published models of at most 20 genes, and, on the larger published
// models, the check that every reported attractor is one cycle of the map
// (read from the rules, not from the library), the attractors are disjoint,
// and the steady states are those of an independent enumeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "bruteForce.h"
#include "compSatSync.h"
#include "randomNetwork.h"
#include "resultText.h"
#include "symbolicNetwork.h"
#include "testNetworks.h"
#include "util.h"

namespace {

using stringAttractors = std::set<std::set<std::string>>;

// ---- The rules of a file, compiled (independent of the library's encoding)

struct ruleTerm {
    std::vector<int> plain, negated;  // gene indices
};
struct geneRules {
    std::vector<ruleTerm> act, inh;
};
struct compiledNetwork {
    std::vector<std::string> names;  // in order of first appearance
    std::vector<geneRules> genes;
};

compiledNetwork compile(const std::vector<networkDefBool>& network) {
    compiledNetwork c;
    c.names = genesInFileOrder(network);
    std::map<std::string, int> index;
    for (size_t k = 0; k < c.names.size(); ++k) index[c.names[k]] = static_cast<int>(k);
    c.genes.resize(c.names.size());
    for (const networkDefBool& rule : network) {
        ruleTerm t;
        for (size_t k = 0; k < rule.inpGeneName.size(); ++k)
            (rule.inpGenePolar[k] == 1 ? t.plain : t.negated)
                .push_back(index.at(rule.inpGeneName[k]));
        geneRules& g = c.genes[static_cast<size_t>(index.at(rule.outGeneName))];
        (rule.outGenePolar == 1 ? g.act : g.inh).push_back(t);
    }
    return c;
}

bool holds(const ruleTerm& t, const std::string& x) {
    return std::all_of(t.plain.begin(), t.plain.end(),
                       [&x](int g) { return x[static_cast<size_t>(g)] == '1'; }) &&
           std::all_of(t.negated.begin(), t.negated.end(),
                       [&x](int g) { return x[static_cast<size_t>(g)] == '0'; });
}

// As nextValueByRules: a AND NOT h with activating rules, NOT h with
// inhibiting rules only, 0 without rules.
char nextValue(const geneRules& g, const std::string& x) {
    auto any = [&x](const std::vector<ruleTerm>& terms) {
        return std::any_of(terms.begin(), terms.end(),
                           [&x](const ruleTerm& t) { return holds(t, x); });
    };
    const bool h = any(g.inh);
    if (!g.act.empty()) return any(g.act) && !h ? '1' : '0';
    return !g.inh.empty() && !h ? '1' : '0';
}

std::string successor(const compiledNetwork& c, const std::string& x) {
    std::string next(x.size(), '0');
    for (size_t g = 0; g < c.genes.size(); ++g) next[g] = nextValue(c.genes[g], x);
    return next;
}

// Every synchronous attractor by visiting every state (n <= 22): the cycles
// of the successor map, states as strings over c.names.
stringAttractors exhaustiveCycles(const compiledNetwork& c) {
    const int n = static_cast<int>(c.names.size());
    const uint32_t count = uint32_t(1) << n;
    auto text = [n](uint32_t s) {
        std::string x(static_cast<size_t>(n), '0');
        for (int g = 0; g < n; ++g)
            if ((s >> g) & 1u) x[static_cast<size_t>(g)] = '1';
        return x;
    };
    // Masks of every term, for speed: a term holds when all of `plain` and
    // none of `negated` are set.
    struct maskTerm {
        uint32_t plain = 0, negated = 0;
    };
    std::vector<std::vector<maskTerm>> act(static_cast<size_t>(n)), inh(static_cast<size_t>(n));
    for (int g = 0; g < n; ++g)
        for (auto [from, to] :
             {std::pair{&c.genes[static_cast<size_t>(g)].act, &act[static_cast<size_t>(g)]},
              std::pair{&c.genes[static_cast<size_t>(g)].inh, &inh[static_cast<size_t>(g)]}})
            for (const ruleTerm& t : *from) {
                maskTerm m;
                for (int v : t.plain) m.plain |= uint32_t(1) << v;
                for (int v : t.negated) m.negated |= uint32_t(1) << v;
                to->push_back(m);
            }
    std::vector<uint32_t> next(count);
    for (uint32_t s = 0; s < count; ++s) {
        uint32_t y = 0;
        for (int g = 0; g < n; ++g) {
            auto any = [s](const std::vector<maskTerm>& terms) {
                for (const maskTerm& m : terms)
                    if ((s & m.plain) == m.plain && (s & m.negated) == 0) return true;
                return false;
            };
            const bool h = any(inh[static_cast<size_t>(g)]);
            const bool value = !act[static_cast<size_t>(g)].empty()
                                   ? any(act[static_cast<size_t>(g)]) && !h
                                   : !inh[static_cast<size_t>(g)].empty() && !h;
            if (value) y |= uint32_t(1) << g;
        }
        next[s] = y;
    }
    // Walks from every state not yet seen; a walk that meets its own mark
    // closed a new cycle.
    std::vector<uint32_t> mark(count, 0);
    stringAttractors cycles;
    for (uint32_t start = 0; start < count; ++start) {
        uint32_t s = start;
        while (mark[s] == 0) {
            mark[s] = start + 1;
            s = next[s];
        }
        if (mark[s] != start + 1) continue;
        std::set<std::string> cycle;
        uint32_t t = s;
        do {
            cycle.insert(text(t));
            t = next[t];
        } while (t != s);
        cycles.insert(cycle);
    }
    return cycles;
}

// Every steady state by a search over gene values that sets a gene at once
// when its regulators are set and checks each gene's rule as soon as it can
// be read. At most `limit` are listed, within a bound on the steps of the
// search (beyond either, the result is cut short and `complete` cleared).
struct fixedPointSearch {
    const compiledNetwork& c;
    std::vector<std::vector<int>> readers;  // genes whose rule or value reads gene v
    std::vector<int> unset;                 // per gene: genes of its check not yet set
    std::string x;
    std::vector<std::string> found;
    size_t limit;
    bool complete = true;

    fixedPointSearch(const compiledNetwork& net, size_t most) : c(net), limit(most) {
        const size_t n = c.names.size();
        readers.resize(n);
        unset.assign(n, 0);
        x.assign(n, '-');
        for (size_t g = 0; g < n; ++g) {
            std::set<int> vars{static_cast<int>(g)};
            for (const auto* terms : {&c.genes[g].act, &c.genes[g].inh})
                for (const ruleTerm& t : *terms) {
                    vars.insert(t.plain.begin(), t.plain.end());
                    vars.insert(t.negated.begin(), t.negated.end());
                }
            for (int v : vars) readers[static_cast<size_t>(v)].push_back(static_cast<int>(g));
            unset[g] = static_cast<int>(vars.size());
        }
    }
    // The gene whose check has the fewest unset genes left, among those not set.
    int pick() const {
        int best = -1, bestLeft = 0;
        for (size_t g = 0; g < x.size(); ++g)
            if (x[g] == '-' && (best < 0 || unset[g] < bestLeft))
                best = static_cast<int>(g), bestLeft = unset[g];
        return best;
    }
    long nodes = 0;  // calls of run; past kSearchNodes the search gives up
    static constexpr long kSearchNodes = 3000000;
    void run() {
        if (found.size() > limit || ++nodes > kSearchNodes) {
            complete = false;
            return;
        }
        const int v = pick();
        if (v < 0) {
            found.push_back(x);
            return;
        }
        for (char value : {'0', '1'}) {
            x[static_cast<size_t>(v)] = value;
            bool consistent = true;
            for (int g : readers[static_cast<size_t>(v)])
                if (--unset[static_cast<size_t>(g)] == 0 &&
                    nextValue(c.genes[static_cast<size_t>(g)], x) != x[static_cast<size_t>(g)])
                    consistent = false;
            if (consistent) run();
            for (int g : readers[static_cast<size_t>(v)]) ++unset[static_cast<size_t>(g)];
            x[static_cast<size_t>(v)] = '-';
        }
    }
};

// ---- Runs of the library ----------------------------------------------------

// The synchronous analysis of a file through the pipeline, as state strings
// over `names` (the result's header gives its own order).
stringAttractors analyseSync(const std::string& path, const std::vector<std::string>& names,
                             std::string& error) {
    analysisOptions options;
    options.update = updateMode::sync;
    options.quiet = true;
    const std::string text = resultText::analyseFile(path, options, error);
    stringAttractors result;
    if (!error.empty()) return result;
    const resultText::parsedResult parsed = resultText::parse(text);
    if (!parsed.ok) {
        error = "malformed result: " + parsed.error;
        return result;
    }
    std::vector<size_t> where;
    for (const std::string& name : names) {
        const auto at = std::find(parsed.genes.begin(), parsed.genes.end(), name);
        if (at == parsed.genes.end()) {
            error = "gene " + name + " missing from the header";
            return result;
        }
        where.push_back(static_cast<size_t>(at - parsed.genes.begin()));
    }
    for (const auto& attractor : parsed.attractors) {
        std::set<std::string> states;
        for (const resultText::state& s : attractor) {
            std::string x;
            for (size_t k : where) x += s[k] == 1 ? '1' : '0';
            if (!states.insert(x).second) error = "a state listed twice in one attractor";
        }
        if (!result.insert(states).second) error = "an attractor listed twice";
    }
    return result;
}

std::string show(const stringAttractors& a) {
    std::ostringstream out;
    for (const auto& states : a) {
        out << "{";
        for (const std::string& x : states) out << " " << x;
        out << " }\n";
    }
    return out.str();
}

// The search on an encoded database, as strings over the database's genes,
// each cycle checked against the reference map and the order of its states.
stringAttractors searchEncoded(const geneDatabase& db, const satSyncLimits& limits,
                               bool& complete) {
    symbolicNetwork net;
    encodeNetwork(net, db);
    satSyncNetwork network;
    EXPECT_TRUE(makeSatSyncNetwork(net.mgr, net.op, net.ip, net.nInpVar, 1000000, network));
    EXPECT_EQ(releaseAndCheck(net), 0) << "references left by the covers";
    const int n = static_cast<int>(db.size());
    // The covers give the reference's successor in every state.
    for (unsigned k = 0; k < (1u << n); ++k) {
        const bruteForce::state x = bruteForce::stateOfIndex(n, k);
        std::string text, want;
        for (int v : x) text += v == 1 ? '1' : '0';
        for (int v : bruteForce::updateVector(db, x)) want += v == 1 ? '1' : '0';
        EXPECT_EQ(nextStateSatSync(network, text), want) << "state " << text;
        if (testing::Test::HasFailure()) break;
    }
    const satSyncOutcome outcome = compAttractorsSatSync(network, limits);
    complete = outcome.complete;
    stringAttractors got;
    for (const std::vector<satSyncState>& cycle : outcome.attractors) {
        for (size_t k = 0; k < cycle.size(); ++k)
            EXPECT_EQ(nextStateSatSync(network, cycle[k]), cycle[(k + 1) % cycle.size()])
                << "not a cycle of the map, in order";
        got.insert(std::set<std::string>(cycle.begin(), cycle.end()));
    }
    return got;
}

stringAttractors asStrings(const bruteForce::attractorSet& a) {
    stringAttractors s;
    for (const auto& states : a) {
        std::set<std::string> texts;
        for (const bruteForce::state& x : states) {
            std::string t;
            for (int v : x) t += v == 1 ? '1' : '0';
            texts.insert(t);
        }
        s.insert(texts);
    }
    return s;
}

// ---- Random networks ---------------------------------------------------------

TEST(SatSyncSearch, RandomNetworksEqualTheExhaustiveCycles) {
    for (unsigned seed = 1; seed <= 250; ++seed) {
        const int n = 1 + static_cast<int>(seed % 12);
        const geneDatabase db = asyncFixture::randomDatabase(seed, n, seed % 3 == 0);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", network:\n" + bruteForce::toString(db));
        bool complete = false;
        const stringAttractors got = searchEncoded(db, {}, complete);
        EXPECT_TRUE(complete);
        const stringAttractors want =
            asStrings(bruteForce::syncAttractors(n, bruteForce::updateOf(db)));
        EXPECT_EQ(got, want) << "got\n" << show(got) << "expected\n" << show(want);
        if (HasFailure()) break;
    }
}

// Long cycles and long transients: a counter of k bits (one cycle through
// every state) and a shift register fed by the AND of its ends (transients
// of up to n steps before the fixed points), where the path must grow well
// beyond its first length.
TEST(SatSyncSearch, LongCyclesAndDeepTransientsAreFoundWhole) {
    auto counter = [](int k) {
        // Bit i becomes x_i XOR (x_0 AND ... AND x_{i-1}): it stays 1 while
        // some lower bit is 0 (terms x_i AND NOT x_j), and turns 1 when every
        // lower bit is 1 (NOT x_i AND x_0 ... x_{i-1}); bit 0 always flips.
        geneDatabase db = namedGenes(k);
        for (int i = 0; i < k; ++i) {
            std::vector<influenceDefBool>& terms = db[static_cast<size_t>(i)].inGenesPos;
            for (int j = 0; j < i; ++j) {
                influenceDefBool stay;
                stay.geneId = std::vector<int>{i, j};
                stay.genePolar = std::vector<int>{1, 0};
                terms.push_back(stay);
            }
            influenceDefBool rise;
            rise.geneId = std::vector<int>{i};
            rise.genePolar = std::vector<int>{0};
            for (int j = 0; j < i; ++j) {
                rise.geneId.push_back(j);
                rise.genePolar.push_back(1);
            }
            terms.push_back(rise);
        }
        return db;
    };
    auto shiftRegister = [](int n) {
        geneDatabase db = namedGenes(n);
        for (int i = 1; i < n; ++i) {
            influenceDefBool t;
            t.geneId = std::vector<int>{i - 1};
            t.genePolar = std::vector<int>{1};
            db[static_cast<size_t>(i)].inGenesPos.push_back(t);
        }
        influenceDefBool t;
        t.geneId = std::vector<int>{0, n - 1};
        t.genePolar = std::vector<int>{1, 0};
        db[0].inGenesPos.push_back(t);
        return db;
    };
    for (const geneDatabase& db : {counter(10), shiftRegister(11), counter(4), shiftRegister(3)}) {
        SCOPED_TRACE("network:\n" + bruteForce::toString(db));
        const int n = static_cast<int>(db.size());
        bool complete = false;
        const stringAttractors got = searchEncoded(db, {}, complete);
        EXPECT_TRUE(complete);
        EXPECT_EQ(got, asStrings(bruteForce::syncAttractors(n, bruteForce::updateOf(db))));
    }
    // The counter is one cycle through all 1024 states.
    bool complete = false;
    const stringAttractors whole = searchEncoded(counter(10), {}, complete);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole.begin()->size(), 1024u);
}

// A bound reached ends the search without its proof; what it lists is still
// made of attractors.
TEST(SatSyncSearch, BoundsEndTheSearchWithoutAProof) {
    geneDatabase db = namedGenes(8);  // a shift register: 0 <- 0 AND NOT 7, i <- i-1
    for (int i = 1; i < 8; ++i) {
        influenceDefBool t;
        t.geneId = std::vector<int>{i - 1};
        t.genePolar = std::vector<int>{1};
        db[static_cast<size_t>(i)].inGenesPos.push_back(t);
    }
    influenceDefBool t;
    t.geneId = std::vector<int>{0, 7};
    t.genePolar = std::vector<int>{1, 0};
    db[0].inGenesPos.push_back(t);
    const stringAttractors all = asStrings(bruteForce::syncAttractors(8, bruteForce::updateOf(db)));
    satSyncLimits noGrowth;
    noGrowth.maxSteps = 0;
    satSyncLimits shortWalks;
    shortWalks.walkSteps = 1;
    satSyncLimits fewStates;
    fewStates.maxAttractorStates = 0;
    for (const satSyncLimits& limits : {noGrowth, shortWalks, fewStates}) {
        bool complete = true;
        const stringAttractors got = searchEncoded(db, limits, complete);
        EXPECT_FALSE(complete);
        for (const auto& attractor : got) EXPECT_EQ(all.count(attractor), 1u);
    }
}

// ---- Published models --------------------------------------------------------

// The ids and gene counts of index.tsv; `inputs` (when given) gets the
// number of inputs of each id.
std::vector<std::pair<std::string, int>> publishedModels(
    const std::string& dir, std::map<std::string, int>* inputs = nullptr) {
    std::vector<std::pair<std::string, int>> ids;
    std::ifstream index(dir + "index.tsv");
    std::string line;
    std::getline(index, line);
    while (std::getline(index, line)) {
        std::istringstream cols(line);
        std::string id, name, genes, rules, indegree, inputCount;
        std::getline(cols, id, '\t');
        std::getline(cols, name, '\t');
        std::getline(cols, genes, '\t');
        std::getline(cols, rules, '\t');
        std::getline(cols, indegree, '\t');
        std::getline(cols, inputCount, '\t');
        ids.emplace_back(id, std::stoi(genes));
        if (inputs != nullptr) (*inputs)[id] = std::stoi(inputCount);
    }
    return ids;
}

std::vector<networkDefBool> readQuietly(const std::string& path) {
    std::vector<networkDefBool> network;
    testing::internal::CaptureStdout();
    readNetwork(path, network);
    testing::internal::GetCapturedStdout();
    return network;
}

TEST(SatSyncPublished, ModelsOfAtMost20GenesEqualTheExhaustiveCycles) {
    const std::string dir = std::string(QUORVEL_SHARED_DIR) + "/networks/";
    const auto ids = publishedModels(dir);
    if (ids.empty()) GTEST_SKIP() << "the shared networks are not present";
    int compared = 0;
    for (const auto& [id, genes] : ids) {
        if (genes > 20) continue;
        for (const std::string variant : {"inputs-off", "models"}) {
            const std::string path = dir + variant + "/" + id + ".net";
            const compiledNetwork c = compile(readQuietly(path));
            std::string error;
            const stringAttractors got = analyseSync(path, c.names, error);
            ASSERT_EQ(error, "") << id << " " << variant;
            const stringAttractors want = exhaustiveCycles(c);
            EXPECT_EQ(got, want) << id << " " << variant << ": " << got.size() << " against "
                                 << want.size() << " attractors";
            ++compared;
        }
    }
    EXPECT_GT(compared, 50);
}

// Above 20 genes: each attractor is one cycle of the map read from the
// rules, no state is in two attractors, and the attractors of one state are
// exactly the steady states found by an independent search.
TEST(SatSyncPublished, LargerModelsGiveCyclesOfTheMapAndEverySteadyState) {
    const std::string dir = std::string(QUORVEL_SHARED_DIR) + "/networks/";
    std::map<std::string, int> inputs;
    const auto ids = publishedModels(dir, &inputs);
    if (ids.empty()) GTEST_SKIP() << "the shared networks are not present";
    int checked = 0;
    for (const auto& [id, genes] : ids) {
        if (genes <= 20 || genes > 100) continue;
        for (const std::string variant : {"inputs-off", "models"}) {
            const std::string path = dir + variant + "/" + id + ".net";
            const compiledNetwork c = compile(readQuietly(path));
            // Networks with many free inputs have tens of thousands of
            // attractors; they are left to the benchmark.
            if (variant == "models" && inputs.at(id) > 10) continue;
            fixedPointSearch steady(c, 20000);
            steady.run();
            if (!steady.complete) continue;
            std::string error;
            const stringAttractors got = analyseSync(path, c.names, error);
            ASSERT_EQ(error, "") << id << " " << variant;
            std::set<std::string> seen, fixedPoints;
            for (const auto& attractor : got) {
                const std::string& first = *attractor.begin();
                std::string x = first;
                for (size_t k = 0; k < attractor.size(); ++k) {
                    EXPECT_TRUE(seen.insert(x).second) << id << ": state " << x << " twice";
                    x = successor(c, x);
                    EXPECT_EQ(attractor.count(x), 1u) << id << ": the map leaves an attractor";
                    if (attractor.count(x) == 0) break;
                }
                EXPECT_EQ(x, first) << id << ": the attractor is not one cycle";
                if (attractor.size() == 1) fixedPoints.insert(first);
            }
            EXPECT_EQ(fixedPoints, std::set<std::string>(steady.found.begin(), steady.found.end()))
                << id << " " << variant;
            ++checked;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(checked, 30);
}

}  // namespace
