// Seeded random Boolean networks for the differential tests.
#include "randomNetwork.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace {

// Draws from a fixed generator by hand so that a seed gives the same network
// whatever the standard library's distributions do.
struct draw {
    std::mt19937 rng;
    explicit draw(unsigned seed) : rng(seed) {}
    int below(int n) { return n <= 1 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(double p) { return p > 0 && static_cast<double>(rng()) / 4294967296.0 < p; }
};

enum class role { normal, input, noRules };

}  // namespace

std::vector<networkDefBool> randomNetwork(unsigned seed, const randomNetworkOptions& options) {
    draw d(seed);
    const int lo = std::max(1, std::min(options.minGenes, 12));
    const int hi = std::max(lo, std::min(options.maxGenes, 12));
    const int n = d.between(lo, hi);

    std::vector<std::string> name(static_cast<std::size_t>(n));
    for (int g = 0; g < n; ++g)
        name[static_cast<std::size_t>(g)] = options.letterNames
                                                ? std::string(1, static_cast<char>('A' + g))
                                                : "G" + std::to_string(g);

    // Genes are laid out in a random order and cut into groups (1-4 genes);
    // regulators come from the same group or from earlier ones, so the
    // groups form a chain or tree of components with shared ancestors.
    std::vector<int> order(static_cast<std::size_t>(n));
    for (int g = 0; g < n; ++g) order[static_cast<std::size_t>(g)] = g;
    for (int k = n - 1; k > 0; --k)
        std::swap(order[static_cast<std::size_t>(k)],
                  order[static_cast<std::size_t>(d.below(k + 1))]);
    std::vector<std::vector<int>> groups;
    for (int k = 0; k < n;) {
        const int size = std::min(n - k, d.chance(options.singleGeneGroup) ? 1 : d.between(2, 4));
        groups.emplace_back(order.begin() + k, order.begin() + k + size);
        k += size;
    }

    std::vector<role> roles(static_cast<std::size_t>(n), role::normal);
    std::vector<std::vector<int>> ringRegulator(
        static_cast<std::size_t>(n));  // must-have regulators
    std::vector<int> earlier;          // genes of the groups already laid out
    std::vector<std::vector<int>> pool(static_cast<std::size_t>(n));  // candidate regulators
    for (const std::vector<int>& group : groups) {
        const bool cycle = group.size() > 1 && d.chance(options.groupAsCycle);
        for (std::size_t k = 0; k < group.size(); ++k) {
            const int g = group[k];
            if (group.size() == 1) {
                // A first gene has nothing to be regulated by but itself, so
                // it is made a source more often.
                const double boost = earlier.empty() ? 2.5 : 1.0;
                if (d.chance(options.input * boost))
                    roles[static_cast<std::size_t>(g)] = role::input;
                else if (d.chance(options.noRules * boost))
                    roles[static_cast<std::size_t>(g)] = role::noRules;
            }
            if (cycle)
                ringRegulator[static_cast<std::size_t>(g)].push_back(group[(k + 1) % group.size()]);
            else if (k > 0)
                ringRegulator[static_cast<std::size_t>(g)].push_back(group[k - 1]);
            pool[static_cast<std::size_t>(g)] = earlier;
            if (cycle)
                pool[static_cast<std::size_t>(g)].insert(pool[static_cast<std::size_t>(g)].end(),
                                                         group.begin(), group.end());
            else
                pool[static_cast<std::size_t>(g)].insert(pool[static_cast<std::size_t>(g)].end(),
                                                         group.begin(),
                                                         group.begin() + static_cast<long>(k));
        }
        earlier.insert(earlier.end(), group.begin(), group.end());
    }

    std::vector<networkDefBool> network;
    auto literal = [&](networkDefBool& rule, int regulator) {
        rule.inpGeneName.push_back(name[static_cast<std::size_t>(regulator)]);
        rule.inpGenePolar.push_back(d.chance(options.negation) ? 0 : 1);
    };
    std::vector<int> namedAsRegulator(static_cast<std::size_t>(n), 0);
    for (int g = 0; g < n; ++g) {
        const std::size_t gu = static_cast<std::size_t>(g);
        if (roles[gu] == role::input) {
            networkDefBool rule;
            rule.inpGeneName = {name[gu]};
            rule.inpGenePolar = {1};
            rule.outGeneName = name[gu];
            rule.outGenePolar = 1;
            network.push_back(rule);
            namedAsRegulator[gu] = 1;
            continue;
        }
        if (roles[gu] == role::noRules) continue;
        const bool inhibitionOnly = d.chance(options.inhibitionOnly);
        const int rules = d.between(1, std::max(1, options.maxRulesPerGene));
        for (int r = 0; r < rules; ++r) {
            networkDefBool rule;
            rule.outGeneName = name[gu];
            rule.outGenePolar = inhibitionOnly || d.chance(options.inhibitingRule) ? 0 : 1;
            if (r == 0 && !ringRegulator[gu].empty()) literal(rule, ringRegulator[gu][0]);
            if (!(r == 0 && !ringRegulator[gu].empty()) && d.chance(options.emptyTerm)) {
                network.push_back(rule);  // a term without regulators
                continue;
            }
            // Distinct regulators from the pool (early genes favoured, so
            // several groups share them), sometimes the target itself.
            std::vector<int> candidates = pool[gu];
            candidates.erase(std::remove(candidates.begin(), candidates.end(), g),
                             candidates.end());
            if (!ringRegulator[gu].empty() && r == 0)
                candidates.erase(
                    std::remove(candidates.begin(), candidates.end(), ringRegulator[gu][0]),
                    candidates.end());
            if (d.chance(options.selfLoop) || (candidates.empty() && rule.inpGeneName.empty()))
                literal(rule, g);
            const int wanted = d.between(
                rule.inpGeneName.empty() ? 1 : 0,
                std::max(1, options.maxLiterals) - static_cast<int>(rule.inpGeneName.size()));
            for (int l = 0; l < wanted && !candidates.empty(); ++l) {
                const int span = static_cast<int>(candidates.size());
                const int pick =
                    d.chance(options.sharedAncestor) ? d.below(d.between(1, span)) : d.below(span);
                literal(rule, candidates[static_cast<std::size_t>(pick)]);
                candidates.erase(candidates.begin() + pick);
            }
            if (!rule.inpGeneName.empty() && d.chance(options.repeatedRegulator)) {
                const std::size_t k =
                    static_cast<std::size_t>(d.below(static_cast<int>(rule.inpGeneName.size())));
                const int polar = d.chance(0.5) ? rule.inpGenePolar[k] : 1 - rule.inpGenePolar[k];
                const std::size_t at = static_cast<std::size_t>(
                    d.below(static_cast<int>(rule.inpGeneName.size()) + 1));
                rule.inpGeneName.insert(rule.inpGeneName.begin() + static_cast<long>(at),
                                        rule.inpGeneName[k]);
                rule.inpGenePolar.insert(rule.inpGenePolar.begin() + static_cast<long>(at), polar);
            }
            network.push_back(rule);
        }
    }

    // A gene named only as a regulator must be named somewhere: it joins a
    // term of a later gene, or becomes an input when there is none.
    for (const networkDefBool& rule : network)
        for (const std::string& regulator : rule.inpGeneName)
            for (int g = 0; g < n; ++g)
                if (name[static_cast<std::size_t>(g)] == regulator)
                    namedAsRegulator[static_cast<std::size_t>(g)] = 1;
    for (int g = 0; g < n; ++g) {
        const std::size_t gu = static_cast<std::size_t>(g);
        if (roles[gu] != role::noRules || namedAsRegulator[gu]) continue;
        std::vector<std::size_t> candidates;
        for (std::size_t r = 0; r < network.size(); ++r)
            if (network[r].outGeneName != name[gu]) candidates.push_back(r);
        if (candidates.empty()) {
            networkDefBool rule;
            rule.inpGeneName = {name[gu]};
            rule.inpGenePolar = {1};
            rule.outGeneName = name[gu];
            rule.outGenePolar = 1;
            network.push_back(rule);
        } else {
            literal(network[candidates[static_cast<std::size_t>(
                        d.below(static_cast<int>(candidates.size())))]],
                    g);
        }
    }

    if (d.chance(options.shuffleRules))
        for (std::size_t k = network.size(); k > 1; --k)
            std::swap(network[k - 1],
                      network[static_cast<std::size_t>(d.below(static_cast<int>(k)))]);
    return network;
}

std::string networkText(const std::vector<networkDefBool>& network) {
    std::ostringstream text;
    for (const networkDefBool& rule : network) {
        if (rule.inpGeneName.empty()) text << "&";
        for (std::size_t k = 0; k < rule.inpGeneName.size(); ++k)
            text << (k ? "&" : "") << (rule.inpGenePolar[k] == 0 ? "^" : "") << rule.inpGeneName[k];
        text << (rule.outGenePolar == 0 ? " -| " : " -> ") << rule.outGeneName << "\n";
    }
    return text.str();
}

void writeNetworkFile(const std::string& path, const std::vector<networkDefBool>& network) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << networkText(network);
    out.close();
    if (!out) throw std::runtime_error("cannot write network file " + path);
}

int nextValueByRules(const std::vector<networkDefBool>& network, const std::string& target,
                     const std::map<std::string, int>& values) {
    bool hasActivating = false, hasInhibiting = false, a = false, h = false;
    for (const networkDefBool& rule : network) {
        if (rule.outGeneName != target) continue;
        bool holds = true;
        for (std::size_t k = 0; k < rule.inpGeneName.size(); ++k) {
            const auto found = values.find(rule.inpGeneName[k]);
            const int value = found == values.end() ? 0 : found->second;
            if ((value != 0) != (rule.inpGenePolar[k] != 0)) holds = false;
        }
        if (rule.outGenePolar == 0) {
            hasInhibiting = true;
            h = h || holds;
        } else {
            hasActivating = true;
            a = a || holds;
        }
    }
    if (hasActivating) return a && !h;
    if (hasInhibiting) return !h;
    return 0;
}

std::vector<std::string> genesInFileOrder(const std::vector<networkDefBool>& network) {
    std::vector<std::string> names;
    auto note = [&names](const std::string& name) {
        for (const std::string& known : names)
            if (known == name) return;
        names.push_back(name);
    };
    for (const networkDefBool& rule : network) {
        note(rule.outGeneName);
        for (const std::string& regulator : rule.inpGeneName) note(regulator);
    }
    return names;
}

bruteForce::attractorSet attractorsByRules(const std::vector<networkDefBool>& network) {
    const std::vector<std::string> names = genesInFileOrder(network);
    const bruteForce::updateFunction update = [&network, &names](int g,
                                                                 const bruteForce::state& x) {
        std::map<std::string, int> values;
        for (size_t i = 0; i < names.size(); ++i) values[names[i]] = x[i];
        return nextValueByRules(network, names[static_cast<size_t>(g)], values);
    };
    return bruteForce::asyncAttractors(static_cast<int>(names.size()), update);
}
