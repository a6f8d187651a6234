// Explicit-state reference: update rule, synchronous and asynchronous
// attractors by enumeration of every state.
#include "bruteForce.h"

#include <algorithm>
#include <sstream>
#include <utility>
#include <stdexcept>

namespace bruteForce {

bool termHolds(const influenceDefBool& term, const state& x) {
    for (size_t k = 0; k < term.geneId.size(); ++k) {
        const int value = x.at(static_cast<size_t>(term.geneId[k]));
        const int wanted = term.genePolar.at(k) == 1 ? 1 : 0;
        if (value != wanted) return false;
    }
    return true;
}

int nextValue(const geneDatabase& db, int i, const state& x) {
    const gene& g = db.at(static_cast<size_t>(i));
    bool activated = false;
    for (const influenceDefBool& term : g.inGenesPos) activated = activated || termHolds(term, x);
    bool inhibited = false;
    for (const influenceDefBool& term : g.inGenesNeg) inhibited = inhibited || termHolds(term, x);
    if (!g.inGenesPos.empty()) return activated && !inhibited ? 1 : 0;
    if (!g.inGenesNeg.empty()) return inhibited ? 0 : 1;
    return 0;
}

state updateVector(const geneDatabase& db, const state& x) {
    state next(db.size());
    for (size_t i = 0; i < db.size(); ++i) next[i] = nextValue(db, static_cast<int>(i), x);
    return next;
}

updateFunction updateOf(const geneDatabase& db) {
    return [db](int i, const state& x) { return nextValue(db, i, x); };
}

int nextValueWithStatus(const geneDatabase& db, int i, const state& x, int d) {
    const gene& g = db.at(static_cast<size_t>(i));
    bool activated = false;
    for (const influenceDefBool& term : g.inGenesPos) activated = activated || termHolds(term, x);
    bool inhibited = false;
    for (const influenceDefBool& term : g.inGenesNeg) inhibited = inhibited || termHolds(term, x);
    const bool hasActivating = !g.inGenesPos.empty();
    const bool hasInhibiting = !g.inGenesNeg.empty();
    if (d == 3) return 0;
    if (d == 2) return hasInhibiting ? !inhibited : 1;
    if (hasActivating) return activated && !(hasInhibiting && inhibited) ? 1 : 0;
    if (d == 0) return 0;
    return hasInhibiting && !inhibited ? 1 : 0;
}

updateFunction updateOfReduced(const geneDatabase& geneDbOrg, const geneDatabase& geneDbReduced,
                               const std::vector<int>& defaultStatus) {
    std::vector<int> markers;
    for (const gene& g : geneDbReduced) {
        int marker = -1;
        for (size_t k = 0; k < geneDbOrg.size(); ++k)
            if (geneDbOrg[k].name == g.name) {
                marker = defaultStatus.at(k);
                break;
            }
        markers.push_back(marker);
    }
    return [geneDbReduced, markers](int i, const state& x) {
        return nextValueWithStatus(geneDbReduced, i, x, markers[static_cast<size_t>(i)]);
    };
}

std::vector<int> allGenes(int n) {
    std::vector<int> genes;
    for (int i = 0; i < n; ++i) genes.push_back(i);
    return genes;
}

state stateOfIndex(int n, unsigned k) {
    state x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = (k >> i) & 1u;
    return x;
}

unsigned indexOfState(const state& x) {
    unsigned k = 0;
    for (size_t i = 0; i < x.size(); ++i)
        if (x[i] != 0) k |= 1u << i;
    return k;
}

static void checkSize(int n) {
    if (n < 0 || n > 16) throw std::invalid_argument("bruteForce: too many genes");
}

// Tarjan's strongly connected components, iteratively (a ring of 2^16 states
// would overflow a recursive walk); a component is terminal when no edge
// leaves it. Linear in the states and edges: a reachability matrix per
// state took a gigabyte at 15 genes.
attractorSet terminalSets(int n, const std::vector<std::vector<unsigned>>& successors) {
    checkSize(n);
    const unsigned count = 1u << n;
    constexpr unsigned kUnseen = ~0u;
    std::vector<unsigned> index(count, kUnseen), low(count, 0), component(count, kUnseen);
    std::vector<char> onStack(count, 0);
    std::vector<unsigned> stack;
    // The depth-first path: a state and the position of its next successor.
    std::vector<std::pair<unsigned, size_t>> path;
    unsigned nextIndex = 0, components = 0;
    std::vector<std::vector<unsigned>> members;
    for (unsigned root = 0; root < count; ++root) {
        if (index[root] != kUnseen) continue;
        path.push_back({root, 0});
        index[root] = low[root] = nextIndex++;
        stack.push_back(root);
        onStack[root] = 1;
        while (!path.empty()) {
            auto& [s, next] = path.back();
            if (next < successors[s].size()) {
                const unsigned t = successors[s][next++];
                if (index[t] == kUnseen) {
                    index[t] = low[t] = nextIndex++;
                    stack.push_back(t);
                    onStack[t] = 1;
                    path.push_back({t, 0});
                } else if (onStack[t]) {
                    low[s] = std::min(low[s], index[t]);
                }
                continue;
            }
            const unsigned done = s;
            path.pop_back();
            if (!path.empty()) low[path.back().first] = std::min(low[path.back().first], low[done]);
            if (low[done] != index[done]) continue;
            members.emplace_back();
            for (unsigned t = kUnseen; t != done;) {
                t = stack.back();
                stack.pop_back();
                onStack[t] = 0;
                component[t] = components;
                members.back().push_back(t);
            }
            ++components;
        }
    }
    attractorSet attractors;
    for (unsigned c = 0; c < components; ++c) {
        bool terminal = true;
        for (unsigned s : members[c])
            for (unsigned t : successors[s]) terminal = terminal && component[t] == c;
        if (!terminal) continue;
        stateSet set;
        for (unsigned s : members[c]) set.insert(stateOfIndex(n, s));
        attractors.insert(set);
    }
    return attractors;
}

attractorSet syncAttractors(int n, const updateFunction& f, const std::vector<int>& moving) {
    checkSize(n);
    const unsigned count = 1u << n;
    std::vector<std::vector<unsigned>> successors(count);
    for (unsigned k = 0; k < count; ++k) {
        const state x = stateOfIndex(n, k);
        state next = x;
        for (int g : moving) next[static_cast<size_t>(g)] = f(g, x);
        successors[k].push_back(indexOfState(next));
    }
    return terminalSets(n, successors);
}

attractorSet syncAttractors(int n, const updateFunction& f) {
    return syncAttractors(n, f, allGenes(n));
}

attractorSet asyncAttractors(int n, const updateFunction& f, const std::vector<int>& moving) {
    checkSize(n);
    const unsigned count = 1u << n;
    std::vector<std::vector<unsigned>> successors(count);
    for (unsigned k = 0; k < count; ++k) {
        const state x = stateOfIndex(n, k);
        for (int g : moving) {
            const int value = f(g, x);
            if (value == x[static_cast<size_t>(g)]) continue;
            state next = x;
            next[static_cast<size_t>(g)] = value;
            successors[k].push_back(indexOfState(next));
        }
    }
    return terminalSets(n, successors);
}

attractorSet asyncAttractors(int n, const updateFunction& f) {
    return asyncAttractors(n, f, allGenes(n));
}

attractorSet restrictToZeroOutside(const attractorSet& attractors, const std::vector<int>& genes) {
    attractorSet kept;
    for (const stateSet& attractor : attractors) {
        bool allZero = true;
        for (const state& x : attractor)
            for (size_t i = 0; i < x.size(); ++i) {
                bool inside = false;
                for (int g : genes) inside = inside || static_cast<size_t>(g) == i;
                if (!inside && x[i] != 0) allZero = false;
            }
        if (allZero) kept.insert(attractor);
    }
    return kept;
}

std::string toString(const state& x) {
    std::string text;
    for (int value : x) text += value != 0 ? '1' : '0';
    return text;
}

std::string toString(const stateSet& s) {
    std::string text = "{";
    for (const state& x : s) text += (text.size() > 1 ? " " : "") + toString(x);
    return text + "}";
}

std::string toString(const attractorSet& a) {
    std::string text;
    for (const stateSet& s : a) text += toString(s) + "\n";
    return text.empty() ? "(none)\n" : text;
}

static std::string termText(const influenceDefBool& term) {
    std::string text = "(";
    for (size_t k = 0; k < term.geneId.size(); ++k)
        text += (k ? " " : "") + std::string(term.genePolar[k] == 1 ? "" : "^") + "g" +
                std::to_string(term.geneId[k]);
    return text + ")";
}

std::string toString(const geneDatabase& db) {
    std::ostringstream text;
    for (size_t i = 0; i < db.size(); ++i) {
        text << "g" << i << " <-";
        for (const influenceDefBool& term : db[i].inGenesPos) text << " +" << termText(term);
        for (const influenceDefBool& term : db[i].inGenesNeg) text << " -" << termText(term);
        text << "\n";
    }
    return text.str();
}

}  // namespace bruteForce
