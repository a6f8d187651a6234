// Inputs as parameters: the inputs of a network, the composition over every
// setting of them at once, and the grouping of the settings into outcomes.
#include "compInputOutcomes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "bddHelpers.h"
#include "compBlockSteps.h"
#include "compParamAttractors.h"
#include "compSccLevels.h"
#include "compReachFragAsync.h"
#include "quorvelError.h"
#include "readNetworkFunctions.h"
#include "utilSets.h"

namespace {

// Whether the rules of `target` (all reading no other gene) give the value
// `value` of the gene as its next value.
bool ruleValue(const std::vector<const networkDefBool*>& rules, bool value) {
    bool anyActivating = false;
    bool activated = false;
    bool inhibited = false;
    for (const networkDefBool* rule : rules) {
        bool holds = true;
        for (const int polar : rule->inpGenePolar) holds = holds && ((polar == 1) == value);
        if (rule->outGenePolar == 1) {
            anyActivating = true;
            activated = activated || holds;
        } else {
            inhibited = inhibited || holds;
        }
    }
    return (anyActivating ? activated : true) && !inhibited;
}

// A pair of the composition: settings S and the states A of the processed
// part under them (inside S). A is held in two factors, so that the genes
// that hold one value per setting, the commonest case, stay out of the
// diagrams (as one diagram over every gene and input, A grows with the
// product of what the inputs do to independent parts of the network):
// A = moving AND (x_g XNOR values[g]) over the genes g with a value.
struct settingsPart {
    bddHandle settings;  // over the inputs
    // A's projection onto the inputs and the processed genes without a
    // value; its projection onto the inputs is S. A processed gene outside
    // its support and without a value takes both values under every setting.
    bddHandle moving;
    // Indexed by gene: for a processed gene holding one value per setting
    // throughout A, the settings (over the inputs) under which it is 1, read
    // only inside S; an empty handle otherwise. Shared between pairs.
    std::shared_ptr<const bddArray> values;
};

struct compositionInputs {
    DdManager* mgr;
    std::vector<DdNode*>& op;
    std::vector<DdNode*>& ip;
    DdNode* inpCubeFwd;
    DdNode* inpCubeBwd;
    DdNode* topSame;
    int nInpVar;
    const networkFunctions& network;
    progressSink progress;
};

// f with the input variable `var` set to `value`.
bddHandle cofactor(DdManager* m, const bddHandle& f, DdNode* var, bool value) {
    return bddResult(m, Cudd_bddAndAbstract(m, f.get(), value ? var : Cudd_Not(var), var));
}

// A's projection onto the genes `genes` (ascending, no input) and the
// inputs: the genes with a value enter as x_g XNOR values[g], the others
// through the projection of the moving factor.
template <typename IsInput>
bddHandle statesOver(const settingsPart& a, const std::vector<int>& genes, const IsInput& isInput) {
    DdManager* const m = a.settings.manager();
    std::vector<int> keep;
    for (const int g : supportOf(m, a.moving.get()))
        if (isInput(g) || std::binary_search(genes.begin(), genes.end(), g)) keep.push_back(g);
    bddHandle over = projectOnto(a.moving, keep);
    for (const int g : genes) {
        const bddHandle& value = (*a.values)[static_cast<size_t>(g)];
        if (!value) continue;
        const bddHandle literal = bddResult(m, Cudd_bddXnor(m, Cudd_bddIthVar(m, g), value.get()));
        over = bddResult(m, Cudd_bddAnd(m, over.get(), literal.get()));
    }
    return over;
}

// Settings under which a fragment has the same functions and the same
// domain, hence the same attractors.
struct settingsClass {
    bddHandle settings;  // over the parameters
    bddArray functions;  // parallel to the fragment's genes; no parameter in their support
    bddHandle domain;    // over the fragment's genes
};

// At most this many leaves of the settings split and classes; beyond, the
// fragment is searched once for all settings.
constexpr long kClassLeaves = 65536;
constexpr size_t kClasses = 4096;

// The split of a set of settings into settingsClasses: on the parameters
// (from the top of the order down) that the functions or the domain still
// read, only where they read them, so settings that cannot matter stay
// together; leaves with equal functions and domain join one class. Gives
// up (returns false) after `budget` leaves, when the parameters matter too
// much for a search per class to pay.
//
// At every node the genes whose function has become constant are put into
// the other functions at that value, again until none is left: such a gene
// reaches its value from every state and never leaves it, so every
// attractor lies where it holds it, and there the functions are the same.
// Functions then stop reading the inputs that only acted through such
// genes, which keeps the split small.
struct settingsSplit {
    DdManager* mgr;
    std::vector<DdNode*>& ip;
    int nInpVar;
    const std::vector<int>& genes;  // the fragment's genes, parallel to the functions
    std::vector<int> parametersTopDown;
    long budget;
    std::map<std::vector<DdNode*>, size_t> byKey;
    std::vector<settingsClass> classes;
    // The support of each function met, by node; `held` keeps the nodes alive
    // so that no pointer stands for another function later.
    std::unordered_map<DdNode*, std::vector<int>> supports;
    bddArray held;

    const std::vector<int>& supportOfFunction(const bddHandle& f) {
        auto at = supports.find(f.get());
        if (at == supports.end()) {
            held.push_back(f);
            at = supports.emplace(f.get(), supportOf(mgr, f.get())).first;
        }
        return at->second;
    }

    // Puts the constant functions' values into the others; gives the
    // variables the functions and the domain read, ascending.
    std::vector<int> percolate(bddArray& functions, const bddHandle& domain) {
        for (;;) {
            std::vector<int> read;
            for (const bddHandle& f : functions)
                for (const int v : supportOfFunction(f)) read.push_back(v);
            std::sort(read.begin(), read.end());
            read.erase(std::unique(read.begin(), read.end()), read.end());
            std::vector<int> fixed;
            std::vector<char> literals(static_cast<size_t>(nInpVar), 2);
            for (size_t k = 0; k < genes.size(); ++k)
                if (Cudd_IsConstant(functions[k].get()) &&
                    std::binary_search(read.begin(), read.end(), genes[k])) {
                    fixed.push_back(genes[k]);
                    literals[static_cast<size_t>(genes[k])] =
                        functions[k].get() == Cudd_ReadOne(mgr) ? 1 : 0;
                }
            if (fixed.empty()) {
                for (const int v : supportOf(mgr, domain.get())) read.push_back(v);
                std::sort(read.begin(), read.end());
                return read;
            }
            const bddHandle values =
                bddHandle::adopt(mgr, makeBdd(mgr, ip, literals.data(), nInpVar));
            const bddHandle cube = cubeOfIndices(mgr, fixed);
            for (bddHandle& f : functions)
                if (!Cudd_IsConstant(f.get()))
                    f = bddResult(mgr, Cudd_bddAndAbstract(mgr, f.get(), values.get(), cube.get()));
        }
    }

    // The classes of the settings `settings` (their parameters above
    // `from` no longer read) with their part of the settings, each class
    // once. Sub-splits with the same functions, domain and settings are
    // split once (`byNode`); false when a budget runs out.
    using classSettings = std::vector<std::pair<size_t, bddHandle>>;
    struct splitResult {
        bddArray key;  // keeps the key's nodes from being freed and reused
        classSettings classes;
    };
    std::map<std::vector<DdNode*>, splitResult> byNode;

    bool split(size_t from, bddArray functions, const bddHandle& domain, const bddHandle& settings,
               classSettings& result) {
        const std::vector<int> read = percolate(functions, domain);
        std::vector<DdNode*> nodeKey = lentNodes(functions);
        nodeKey.push_back(domain.get());
        nodeKey.push_back(settings.get());
        const auto seen = byNode.find(nodeKey);
        if (seen != byNode.end()) {
            result = seen->second.classes;
            return true;
        }
        if (--budget < 0) return false;
        size_t at = from;
        while (at < parametersTopDown.size() &&
               !std::binary_search(read.begin(), read.end(), parametersTopDown[at]))
            ++at;
        result.clear();
        if (at == parametersTopDown.size()) {
            std::vector<DdNode*> key = lentNodes(functions);
            key.push_back(domain.get());
            auto known = byKey.find(key);
            if (known == byKey.end()) {
                if (classes.size() >= kClasses) return false;
                known = byKey.emplace(std::move(key), classes.size()).first;
                classes.push_back({bddZero(mgr), functions, domain});
            }
            result.emplace_back(known->second, settings);
        } else {
            DdNode* const var = ip[static_cast<size_t>(parametersTopDown[at])];
            for (const bool value : {false, true}) {
                const bddHandle part = cofactor(mgr, settings, var, value);
                if (part.get() == Cudd_ReadLogicZero(mgr)) continue;
                bddArray restricted;
                for (const bddHandle& f : functions)
                    restricted.push_back(cofactor(mgr, f, var, value));
                classSettings below;
                if (!split(at + 1, std::move(restricted), cofactor(mgr, domain, var, value), part,
                           below))
                    return false;
                const bddHandle literal(mgr, value ? var : Cudd_Not(var));
                for (auto& one : below) {
                    bddHandle under =
                        bddResult(mgr, Cudd_bddAnd(mgr, one.second.get(), literal.get()));
                    const auto same =
                        std::find_if(result.begin(), result.end(),
                                     [&](const auto& r) { return r.first == one.first; });
                    if (same == result.end())
                        result.emplace_back(one.first, std::move(under));
                    else
                        same->second =
                            bddResult(mgr, Cudd_bddOr(mgr, same->second.get(), under.get()));
                }
            }
        }
        bddArray kept = functions;
        kept.push_back(domain);
        kept.push_back(settings);
        byNode.emplace(std::move(nodeKey), splitResult{std::move(kept), result});
        return true;
    }

    // Splits every setting of `settings`; the classes' settings are filled.
    bool splitAll(const bddArray& functions, const bddHandle& domain, const bddHandle& settings) {
        classSettings all;
        if (!split(0, functions, domain, settings, all)) return false;
        for (auto& one : all) classes[one.first].settings = std::move(one.second);
        return true;
    }
};

// The attractors of the fragment `genes` with the next-state functions
// `functions` (parallel to genes, reading only the fragment) inside
// `domain` (over the fragment, closed under its steps). First the genes
// whose function is constant are fixed at that value, and the others'
// functions and the domain cofactored by it, until no function is constant:
// such a gene reaches its value from every state and never leaves it, so
// every attractor lies where the fixed genes hold their values, and is an
// attractor of the rest. Distinct settings, and the searches of a block for
// distinct attractors above it, often leave the same rest, which is
// searched once (see systemMemo). `record` (a copy of the network's
// functions) lends the search the rest's functions. The attractors are over
// the fragment.
//
// Each table of the memo maps a fragment's genes and the nodes of its
// functions and domain (and fixed values) to its attractors; `key` keeps
// those nodes from being freed and reused for other functions.
struct systemAttractors {
    bddArray key;
    bddArray attractors;
};
using systemKey = std::pair<std::vector<int>, std::vector<DdNode*>>;
using attractorMemo = std::map<systemKey, systemAttractors>;
// The searches' memo, shared by the searches of one block: `fragments`, a
// fragment's attractors with its fixed values; `rests`, those of the rest
// once the fixed genes are out (they do not depend on the fixed values, so
// settings that fix other genes, or the same at other values, share them);
// `cores`, those of the core once the genes nothing reads are peeled off.
struct systemMemo {
    attractorMemo fragments;
    attractorMemo rests;
    attractorMemo cores;
};

// The attractors of `memo` under the key of `genes`, the nodes of `nodes`
// (functions, then domain and whatever else the attractors depend on), from
// `search` when not yet there. The reference stays valid: std::map does not
// move its entries.
template <typename Search>
const bddArray& memoised(attractorMemo& memo, const std::vector<int>& genes, bddArray nodes,
                         const Search& search) {
    systemKey key{genes, lentNodes(nodes)};
    const auto known = memo.find(key);
    if (known != memo.end()) return known->second.attractors;
    bddArray found = search();
    return memo.emplace(std::move(key), systemAttractors{std::move(nodes), std::move(found)})
        .first->second.attractors;
}

const bddArray& searchAutonomous(const compositionInputs& c, std::vector<int> genes,
                                 bddArray functions, bddHandle domain, networkFunctions& record,
                                 systemMemo& bySystem);
bddArray searchRest(const compositionInputs& c, const std::vector<int>& genes,
                    const bddArray& functions, const bddHandle& domain, networkFunctions& record,
                    systemMemo& bySystem);

// The reads among the genes of a fragment, by position in its gene list:
// graph[j] lists the readers of genes[j], graphTp[k] the regulators of
// genes[k] inside the fragment.
struct readGraph {
    adjacencyList graph;
    adjacencyList graphTp;
};

readGraph makeReadGraph(const std::vector<int>& genes, const std::vector<std::vector<int>>& reads) {
    const size_t n = genes.size();
    std::unordered_map<int, int> position;
    for (size_t k = 0; k < n; ++k) position.emplace(genes[k], static_cast<int>(k));
    readGraph g{adjacencyList(n), adjacencyList(n)};
    for (size_t k = 0; k < n; ++k)
        for (int r : reads[k]) {
            const auto at = position.find(r);
            if (at == position.end()) continue;
            g.graph[static_cast<size_t>(at->second)].push_back(static_cast<int>(k));
            g.graphTp[k].push_back(at->second);
        }
    return g;
}

// The attractors of the fragment inside its trap subcube `trap` (a cube
// over x of the fragment genes that cannot move there, see
// asyncSearchSettings::trapSearch), by the composition of the genes
// `moving` (ascending) with the others held at their values: no step leaves
// the subcube within `domain` (closed under steps), so the attractors there
// are those of the smaller fragment inside the domain's cofactor, each
// conjoined with `trap`. Nothing when the moving genes form one block, or a
// block of more than `largest` genes. The record lends the search of the
// smaller fragment its cofactored functions and gets the originals back.
std::optional<bddArray> searchTrap(const compositionInputs& c, const std::vector<int>& moving,
                                   const bddHandle& trap, size_t largest, const bddHandle& domain,
                                   networkFunctions& record, systemMemo& bySystem) {
    DdManager* const m = c.mgr;
    std::optional<trapBlocks> split = splitTrap(m, record, moving, trap, largest);
    if (!split) return std::nullopt;
    const bddHandle heldCube = cubeOfIndices(m, supportOf(m, trap.get()));
    const bddHandle inside =
        bddResult(m, Cudd_bddAndAbstract(m, domain.get(), trap.get(), heldCube.get()));
    compositionInputs quiet = c;
    quiet.progress = progressSink{};
    const bddArray functions = split->functions;
    const cofactoredFunctions inTrap(record, moving, std::move(split->functions),
                                     std::move(split->regulators));
    bddArray found;
    for (const bddHandle& a : searchAutonomous(quiet, moving, functions, inside, record, bySystem))
        found.push_back(bddResult(m, Cudd_bddAnd(m, a.get(), trap.get())));
    return found;
}

// The attractors of the fragment `genes` (with `functions` and `reads`,
// parallel to it, reading only the fragment) inside `domain`, by one plain
// search of the whole fragment, which may hand a trap subcube to the
// composition (searchTrap).
bddArray searchPlain(const compositionInputs& c, const std::vector<int>& genes,
                     const bddArray& functions, const std::vector<std::vector<int>>& reads,
                     const bddHandle& domain, networkFunctions& record, systemMemo& bySystem) {
    DdManager* const m = c.mgr;
    const bddHandle spaceNext =
        bddHandle::adopt(m, swapCurrentAndNext(m, domain.get(), c.ip, c.nInpVar));
    std::vector<DdNode*> relations(static_cast<size_t>(c.nInpVar), nullptr);
    const rawNodesGuard relationsOwned(m, relations);
    for (size_t k = 0; k < genes.size(); ++k) {
        const size_t at = static_cast<size_t>(genes[k]);
        record.next[at] = functions[k];
        record.regulators[at] = reads[k];
        // Confined to the domain on both sides of every step; the search
        // narrows these copies.
        bddHandle relation = bddResult(
            m, Cudd_bddXnor(m, c.ip[static_cast<size_t>(c.nInpVar) + at], functions[k].get()));
        relation = bddResult(m, Cudd_bddAnd(m, relation.get(), domain.get()));
        relations[at] = bddResult(m, Cudd_bddAnd(m, relation.get(), spaceNext.get())).release();
    }
    std::vector<DdNode*> attractors;
    const rawNodesGuard attractorsOwned(m, attractors);
    if (!chkConstantAsync(relations, genes)) {
        const symbolicEncoding encoding{m, c.ip, c.nInpVar, c.inpCubeFwd, c.inpCubeBwd, c.topSame};
        asyncSearchSettings settings{HUGE_VAL, &record, c.progress};
        settings.trapSearch = [&](const bddHandle& trap, const std::vector<int>& moving,
                                  size_t largest) {
            return searchTrap(c, moving, trap, largest, domain, record, bySystem);
        };
        compSteadyAsyncOn(encoding, relations, genes, attractors, settings);
    }
    return adoptAll(m, attractors);
}

// Positions of a block of the fragment that reads no gene outside itself: a
// strongly connected component with no regulator in another one. Every
// position when the fragment is one component.
std::vector<size_t> sourceBlock(const readGraph& g) {
    const size_t n = g.graph.size();
    std::vector<int> component(n, -1);
    const adjacencyList blocks = stronglyConnectedComponents(g.graph, g.graphTp);
    for (size_t b = 0; b < blocks.size(); ++b)
        for (int k : blocks[b]) component[static_cast<size_t>(k)] = static_cast<int>(b);
    for (size_t b = 0; b < blocks.size(); ++b) {
        const bool source = std::all_of(blocks[b].begin(), blocks[b].end(), [&](int k) {
            const std::vector<int>& regulators = g.graphTp[static_cast<size_t>(k)];
            return std::all_of(regulators.begin(), regulators.end(), [&](int j) {
                return component[static_cast<size_t>(j)] == static_cast<int>(b);
            });
        });
        if (source) return std::vector<size_t>(blocks[b].begin(), blocks[b].end());
    }
    std::vector<size_t> all(n);
    std::iota(all.begin(), all.end(), size_t{0});
    return all;
}

// The parts of the fragment that no read joins (positions, ascending).
std::vector<std::vector<size_t>> independentParts(const readGraph& g) {
    const size_t n = g.graph.size();
    std::vector<int> part(n, -1);
    std::vector<std::vector<size_t>> parts;
    for (size_t s = 0; s < n; ++s) {
        if (part[s] >= 0) continue;
        std::vector<size_t> members{s};
        part[s] = static_cast<int>(parts.size());
        for (size_t next = 0; next < members.size(); ++next)
            for (const adjacencyList* edges : {&g.graph, &g.graphTp})
                for (int j : (*edges)[members[next]])
                    if (part[static_cast<size_t>(j)] < 0) {
                        part[static_cast<size_t>(j)] = part[s];
                        members.push_back(static_cast<size_t>(j));
                    }
        std::sort(members.begin(), members.end());
        parts.push_back(std::move(members));
    }
    return parts;
}

// The genes and functions of the fragment at `positions`.
void selectGenes(const std::vector<int>& genes, const bddArray& functions,
                 const std::vector<size_t>& positions, std::vector<int>& selected,
                 bddArray& selectedFunctions) {
    for (size_t k : positions) {
        selected.push_back(genes[k]);
        selectedFunctions.push_back(functions[k]);
    }
}

// The attractors of a fragment none of whose functions is constant (see
// searchAutonomous), composed over its blocks: a block T
// that reads nothing outside itself moves on its own, so every attractor of
// the fragment lies over an attractor A of T (searched inside the domain's
// projection onto T, which T's steps never leave), inside the domain where
// T's genes lie in A, a set that no step leaves. The genes constant in A
// then hold their values there, and the rest is searched again as a
// fragment of its own, where it often falls into blocks small enough to
// search at once. Over the attractors of T with no constant gene, the whole
// fragment is searched inside the union of those sets.
bddArray searchCore(const compositionInputs& c, const std::vector<int>& genes,
                    const bddArray& functions, const std::vector<std::vector<int>>& reads,
                    const bddHandle& domain, networkFunctions& record, systemMemo& bySystem) {
    DdManager* const m = c.mgr;
    const readGraph g = makeReadGraph(genes, reads);
    // Parts that no read joins, inside a domain that is the product of its
    // projections onto them, move each on its own: the attractors are the
    // products of theirs.
    const std::vector<std::vector<size_t>> parts = independentParts(g);
    if (parts.size() > 1) {
        bddArray partDomains;
        bddHandle product = bddOne(m);
        for (size_t p = 0; p < parts.size(); ++p) {
            std::vector<int> others;
            for (size_t q = 0; q < parts.size(); ++q)
                for (size_t k : parts[q])
                    if (q != p) others.push_back(genes[k]);
            partDomains.push_back(bddResult(
                m, Cudd_bddExistAbstract(m, domain.get(), cubeOfIndices(m, others).get())));
            product = bddResult(m, Cudd_bddAnd(m, product.get(), partDomains.back().get()));
        }
        if (product.get() == domain.get()) {
            bddArray found{bddOne(m)};
            for (size_t p = 0; p < parts.size(); ++p) {
                std::vector<int> own;
                bddArray ownFunctions;
                selectGenes(genes, functions, parts[p], own, ownFunctions);
                // A copy: the memo's entries stay where they are, but the
                // searches of the other parts add to it.
                const bddArray partAttractors = searchAutonomous(c, own, std::move(ownFunctions),
                                                                 partDomains[p], record, bySystem);
                bddArray products;
                for (const bddHandle& f : found)
                    for (const bddHandle& a : partAttractors)
                        products.push_back(bddResult(m, Cudd_bddAnd(m, f.get(), a.get())));
                found = std::move(products);
            }
            return found;
        }
    }
    const std::vector<size_t> block = sourceBlock(g);
    if (block.size() == genes.size())
        return searchPlain(c, genes, functions, reads, domain, record, bySystem);
    std::vector<char> inBlock(genes.size(), 0);
    for (size_t k : block) inBlock[k] = 1;
    std::vector<int> blockGenes, outside;
    bddArray blockFunctions;
    selectGenes(genes, functions, block, blockGenes, blockFunctions);
    for (size_t k = 0; k < genes.size(); ++k)
        if (!inBlock[k]) outside.push_back(genes[k]);
    const bddHandle blockDomain =
        bddResult(m, Cudd_bddExistAbstract(m, domain.get(), cubeOfIndices(m, outside).get()));
    // A copy: the memo's entries stay where they are, but the searches
    // below add to it.
    const bddArray blockAttractors =
        searchAutonomous(c, blockGenes, blockFunctions, blockDomain, record, bySystem);
    bddArray found;
    // The attractors of T with no constant gene, searched together: a union
    // of sets that no step leaves is one too.
    bddHandle unsplit = bddZero(m);
    for (const bddHandle& a : blockAttractors) {
        const bddHandle held = bddResult(m, Cudd_FindEssential(m, a.get()));
        if (held.get() == Cudd_ReadOne(m)) {
            unsplit = bddResult(m, Cudd_bddOr(m, unsplit.get(), a.get()));
            continue;
        }
        const bddHandle within = bddResult(m, Cudd_bddAnd(m, domain.get(), a.get()));
        const std::vector<int> heldGenes = supportOf(m, held.get());
        const bddHandle heldCube = cubeOfIndices(m, heldGenes);
        std::vector<int> rest;
        bddArray restFunctions;
        for (size_t k = 0; k < genes.size(); ++k) {
            if (std::binary_search(heldGenes.begin(), heldGenes.end(), genes[k])) continue;
            rest.push_back(genes[k]);
            restFunctions.push_back(bddResult(
                m, Cudd_bddAndAbstract(m, functions[k].get(), held.get(), heldCube.get())));
        }
        const bddHandle restDomain =
            bddResult(m, Cudd_bddAndAbstract(m, within.get(), held.get(), heldCube.get()));
        for (const bddHandle& r :
             searchAutonomous(c, rest, std::move(restFunctions), restDomain, record, bySystem))
            found.push_back(bddResult(m, Cudd_bddAnd(m, r.get(), held.get())));
    }
    if (unsplit.get() != Cudd_ReadLogicZero(m)) {
        const bddHandle within = bddResult(m, Cudd_bddAnd(m, domain.get(), unsplit.get()));
        for (bddHandle& f : searchPlain(c, genes, functions, reads, within, record, bySystem))
            found.push_back(std::move(f));
    }
    return found;
}

const bddArray& searchAutonomous(const compositionInputs& c, std::vector<int> genes,
                                 bddArray functions, bddHandle domain, networkFunctions& record,
                                 systemMemo& bySystem) {
    DdManager* const m = c.mgr;
    bddHandle fixedValues = bddOne(m);
    for (;;) {
        std::vector<int> fixedNow;
        std::vector<char> literals(static_cast<size_t>(c.nInpVar), 2);
        std::vector<int> rest;
        bddArray restFunctions;
        for (size_t k = 0; k < genes.size(); ++k) {
            if (Cudd_IsConstant(functions[k].get())) {
                fixedNow.push_back(genes[k]);
                literals[static_cast<size_t>(genes[k])] =
                    functions[k].get() == Cudd_ReadOne(m) ? 1 : 0;
                continue;
            }
            rest.push_back(genes[k]);
            restFunctions.push_back(std::move(functions[k]));
        }
        genes = std::move(rest);
        functions = std::move(restFunctions);
        if (fixedNow.empty()) break;
        const bddHandle values = bddHandle::adopt(m, makeBdd(m, c.ip, literals.data(), c.nInpVar));
        const bddHandle cube = cubeOfIndices(m, fixedNow);
        for (bddHandle& f : functions)
            f = bddResult(m, Cudd_bddAndAbstract(m, f.get(), values.get(), cube.get()));
        domain = bddResult(m, Cudd_bddAndAbstract(m, domain.get(), values.get(), cube.get()));
        if (domain.get() == Cudd_ReadLogicZero(m))
            throw quorvelError("internal error: a fragment's domain holds no attractor");
        fixedValues = bddResult(m, Cudd_bddAnd(m, fixedValues.get(), values.get()));
    }
    bddArray restNodes = functions;
    restNodes.push_back(domain);
    bddArray fragmentNodes = restNodes;
    fragmentNodes.push_back(fixedValues);
    return memoised(bySystem.fragments, genes, std::move(fragmentNodes), [&] {
        bddArray found = memoised(bySystem.rests, genes, std::move(restNodes), [&] {
            return searchRest(c, genes, functions, domain, record, bySystem);
        });
        for (bddHandle& a : found) a = bddResult(m, Cudd_bddAnd(m, a.get(), fixedValues.get()));
        return found;
    });
}

// The attractors of the rest left by searchAutonomous (no constant
// function): peeled, then searched by its core.
bddArray searchRest(const compositionInputs& c, const std::vector<int>& genes,
                    const bddArray& functions, const bddHandle& domain, networkFunctions& record,
                    systemMemo& bySystem) {
    DdManager* const m = c.mgr;
    // Genes that no other gene of the fragment (nor the domain) reads are
    // peeled off, again until none is left: the rest is a fragment of its
    // own, and each peeled gene extends its attractors as a block of one
    // gene below them (see extendByOneGene).
    std::vector<std::vector<int>> reads;
    for (const bddHandle& f : functions) reads.push_back(supportOf(m, f.get()));
    const std::vector<int> domainReads = supportOf(m, domain.get());
    std::vector<bool> peeled(genes.size(), false);
    std::vector<size_t> peelOrder;
    for (bool more = true; more;) {
        more = false;
        for (size_t k = 0; k < genes.size(); ++k) {
            if (peeled[k] || std::binary_search(domainReads.begin(), domainReads.end(), genes[k]))
                continue;
            bool read = false;
            for (size_t j = 0; j < genes.size() && !read; ++j)
                read = j != k && !peeled[j] &&
                       std::binary_search(reads[j].begin(), reads[j].end(), genes[k]);
            if (read) continue;
            peeled[k] = true;
            peelOrder.push_back(k);
            more = true;
        }
    }
    std::vector<int> core;
    bddArray coreFunctions;
    std::vector<std::vector<int>> coreReads;
    for (size_t k = 0; k < genes.size(); ++k) {
        if (peeled[k]) continue;
        core.push_back(genes[k]);
        coreFunctions.push_back(functions[k]);
        coreReads.push_back(reads[k]);
    }
    bddArray found{bddOne(m)};
    if (!core.empty()) {
        bddArray coreNodes = coreFunctions;
        coreNodes.push_back(domain);
        found = memoised(bySystem.cores, core, std::move(coreNodes), [&] {
            return searchCore(c, core, coreFunctions, coreReads, domain, record, bySystem);
        });
    }
    for (auto k = peelOrder.rbegin(); k != peelOrder.rend(); ++k) {
        DdNode* const var = c.ip[static_cast<size_t>(genes[*k])];
        const bddHandle& f = functions[*k];
        const bddHandle whenOn = bddResult(m, Cudd_bddAndAbstract(m, f.get(), var, var));
        const bddHandle whenOff = bddResult(m, Cudd_bddAndAbstract(m, f.get(), Cudd_Not(var), var));
        bddArray extended;
        for (const bddHandle& a : found) {
            const bool canFall = Cudd_bddLeq(m, a.get(), whenOn.get()) != 1;
            const bool canRise = Cudd_bddLeq(m, a.get(), Cudd_Not(whenOff.get())) != 1;
            if (canFall && canRise) {
                extended.push_back(a);
                continue;
            }
            if (!canRise) extended.push_back(bddResult(m, Cudd_bddAnd(m, a.get(), Cudd_Not(var))));
            if (!canFall) extended.push_back(bddResult(m, Cudd_bddAnd(m, a.get(), var)));
        }
        found = std::move(extended);
    }
    return found;
}


// The attractors of the fragment `moving`, whose next-state functions are
// `functions` (parallel to moving; they read the fragment and the inputs
// `parameters`, ascending), inside `domain` (over the fragment and the
// parameters), for every setting of the parameters. The settings are first
// split into classes of equal cofactored functions and domain, each searched
// by the plain search of an autonomous fragment (its walks find the
// attractors of a large block sooner; `bySystem` is shared by the block's
// searches); when there are too many classes, all settings are searched at
// once (see compParamAttractors).
std::vector<paramAttractor> searchParam(const compositionInputs& c, const std::vector<int>& moving,
                                        const bddArray& functions,
                                        const std::vector<int>& parameters, const bddHandle& domain,
                                        systemMemo& bySystem) {
    DdManager* const m = c.mgr;
    const auto relationOf = [&](int g, const bddHandle& f) {
        return bddResult(m, Cudd_bddXnor(m, c.ip[static_cast<size_t>(c.nInpVar + g)], f.get()));
    };
    const bddHandle settings =
        bddResult(m, Cudd_bddExistAbstract(m, domain.get(), cubeOfIndices(m, moving).get()));
    settingsSplit classes{m,  c.ip, c.nInpVar, moving, sortTopDown(m, parameters), kClassLeaves, {},
                          {}, {},   {},        {}};
    const bool splitOk = classes.splitAll(functions, domain, settings);
    if (!splitOk) {
        std::vector<DdNode*> relations(static_cast<size_t>(c.nInpVar), nullptr);
        const rawNodesGuard relationsOwned(m, relations);
        for (size_t k = 0; k < moving.size(); ++k)
            relations[static_cast<size_t>(moving[k])] =
                relationOf(moving[k], functions[k]).release();
        const fragAsync frag{m,         relations, c.ip,      moving, c.inpCubeFwd, c.inpCubeBwd,
                             c.topSame, c.nInpVar, c.progress};
        return compParamAttractors(frag, domain);
    }
    // The classes' settings are disjoint, so the k-th attractors of every
    // class make one paramAttractor: as many as the most attractors of one
    // class, not their sum over the classes.
    std::vector<paramAttractor> found;
    networkFunctions record = c.network;
    for (const settingsClass& one : classes.classes) {
        const bddArray& attractors =
            searchAutonomous(c, moving, one.functions, one.domain, record, bySystem);
        for (size_t k = 0; k < attractors.size(); ++k) {
            bddHandle states =
                bddResult(m, Cudd_bddAnd(m, attractors[k].get(), one.settings.get()));
            if (k == found.size()) {
                found.push_back({one.settings, std::move(states)});
                continue;
            }
            found[k].settings =
                bddResult(m, Cudd_bddOr(m, found[k].settings.get(), one.settings.get()));
            found[k].states = bddResult(m, Cudd_bddOr(m, found[k].states.get(), states.get()));
        }
    }
    return found;
}

// The settings under which gene g is 1 in `set` (over the inputs and the
// genes of `genesCube`, which holds g), when g holds one value per setting
// throughout it; an empty handle when g takes both under some setting.
bddHandle valuePerSetting(const bddHandle& set, DdNode* var, const bddHandle& genesCube) {
    DdManager* const m = set.manager();
    const bddHandle low =
        bddResult(m, Cudd_bddAndAbstract(m, set.get(), Cudd_Not(var), genesCube.get()));
    bddHandle high = bddResult(m, Cudd_bddAndAbstract(m, set.get(), var, genesCube.get()));
    if (bddResult(m, Cudd_bddAnd(m, low.get(), high.get())).get() != Cudd_ReadLogicZero(m))
        return bddHandle();
    return high;
}

// How a block meets one pair (S, A): the ancestors searched with it, the
// genes it reads that hold one value per setting throughout A, and the
// domain of the search.
struct pairView {
    std::vector<int> genes;     // the block's genes, then the ancestors in `changing`
    std::vector<int> changing;  // ancestors that change in A under some setting and
                                // reach the block through such genes, ascending
    std::vector<int> held;      // the fragment's other non-input regulators, ascending
    bddHandle values;           // A's projection onto held + inputs: one held
                                // valuation per setting of S
    bddHandle domain;           // A's projection onto changing + inputs; its
                                // projection onto the inputs is S
};

// The view of the block `moving` (its genes, ascending) from the pair `a`.
// An ancestor that holds one value per setting throughout A acts on the
// block, under each setting, as a constant: its value can depend on the
// setting, so the inputs it depends on become parameters of the search. An
// ancestor that changes but reaches the block only through such genes
// cannot act on it at all. Only the ancestors that change and reach the
// block along changing genes are searched with it.
template <typename IsInput>
pairView viewOf(const compositionInputs& c, const std::vector<int>& moving, const settingsPart& a,
                const IsInput& isInput) {
    DdManager* const m = c.mgr;
    std::vector<int> genesOfA = supportOf(m, a.moving.get());
    genesOfA.erase(std::remove_if(genesOfA.begin(), genesOfA.end(), isInput), genesOfA.end());
    const bddHandle genesCube = cubeOfIndices(m, genesOfA);
    // Whether gene g takes both values in A under some setting: never for a
    // gene with a value; always for one outside the moving factor's support.
    auto changes = [&](int g) {
        if ((*a.values)[static_cast<size_t>(g)]) return false;
        if (!std::binary_search(genesOfA.begin(), genesOfA.end(), g)) return true;
        return !valuePerSetting(a.moving, c.ip[static_cast<size_t>(g)], genesCube);
    };
    pairView view;
    // Backwards from the block along changing ancestors.
    changingRegulators walk = walkChangingRegulators(
        c.network, moving, [&](int r) { return !isInput(r); }, changes);
    view.changing = std::move(walk.changing);
    view.held = std::move(walk.held);
    view.genes = moving;
    view.genes.insert(view.genes.end(), view.changing.begin(), view.changing.end());
    view.values = statesOver(a, view.held, isInput);
    view.domain = statesOver(a, view.changing, isInput);
    return view;
}

// The attractors of the view's fragment inside the pair `a`, for every
// setting of S: its functions with the held genes replaced by their values
// (per setting), searched inside A's projection onto the changing ancestors
// and the inputs that matter (see searchParam).
template <typename IsInput>
std::vector<paramAttractor> searchView(const compositionInputs& c, const pairView& view,
                                       const IsInput& isInput, systemMemo& bySystem) {
    DdManager* const m = c.mgr;
    const bddHandle heldCube = cubeOfIndices(m, view.held);
    bddArray functions;
    std::vector<int> parameters;
    for (const int g : view.genes) {
        const bddHandle& f = c.network.next[static_cast<size_t>(g)];
        // Exact since each setting has one held valuation: f AND values
        // keeps f's value there, the abstraction drops the held variables.
        functions.push_back(
            view.held.empty()
                ? f
                : bddResult(m, Cudd_bddAndAbstract(m, f.get(), view.values.get(), heldCube.get())));
        for (const int x : supportOf(m, functions.back().get()))
            if (isInput(x)) parameters.push_back(x);
    }
    for (const int x : supportOf(m, view.domain.get()))
        if (isInput(x)) parameters.push_back(x);
    std::sort(parameters.begin(), parameters.end());
    parameters.erase(std::unique(parameters.begin(), parameters.end()), parameters.end());
    return searchParam(c, view.genes, functions, parameters, view.domain, bySystem);
}

// The pairs that a block of one non-input gene g makes of the pair `a`, with
// no search, appended to `extended` (see oneGeneOutcomes): whether g can
// fall and whether it can rise are sets of settings.
template <typename IsInput>
void extendByOneGene(const compositionInputs& c, const settingsPart& a, int g,
                     const IsInput& isInput, std::vector<settingsPart>& extended) {
    DdManager* const m = c.mgr;
    DdNode* const var = c.ip.at(static_cast<size_t>(g));
    const bddHandle& f = c.network.next.at(static_cast<size_t>(g));
    const bddHandle whenOn = bddResult(m, Cudd_bddAndAbstract(m, f.get(), var, var));
    const bddHandle whenOff = bddResult(m, Cudd_bddAndAbstract(m, f.get(), Cudd_Not(var), var));
    // A's projection onto g's regulators (g is not processed yet).
    std::vector<int> read;
    for (const int r : c.network.regulators.at(static_cast<size_t>(g)))
        if (r != g && !isInput(r)) read.push_back(r);
    const bddHandle over = statesOver(a, read, isInput);
    const bddHandle readCube = cubeOfIndices(m, read);
    // The settings under which some state of A makes `condition` true.
    auto settingsWhere = [&](DdNode* condition) {
        return bddResult(m, Cudd_bddAndAbstract(m, over.get(), condition, readCube.get()));
    };
    const bddHandle canFall = settingsWhere(Cudd_Not(whenOn.get()));
    const bddHandle canRise = settingsWhere(whenOff.get());
    // g takes `value` (one, zero, or an empty handle for both) under `settings`.
    auto add = [&](DdNode* settings, const bddHandle& value) {
        bddHandle under = bddResult(m, Cudd_bddAnd(m, a.settings.get(), settings));
        if (under.get() == Cudd_ReadLogicZero(m)) return;
        bddHandle moving = bddResult(m, Cudd_bddAnd(m, a.moving.get(), under.get()));
        std::shared_ptr<const bddArray> values = a.values;
        if (value) {
            auto withG = std::make_shared<bddArray>(*a.values);
            (*withG)[static_cast<size_t>(g)] = value;
            values = std::move(withG);
        }
        extended.push_back({std::move(under), std::move(moving), std::move(values)});
    };
    for (const oneGeneOutcome& outcome : oneGeneOutcomes(canFall, canRise))
        add(outcome.where.get(), outcome.value < 0    ? bddHandle()
                                 : outcome.value == 1 ? bddOne(m)
                                                      : bddZero(m));
}

// The pair made of `a` and the attractor `d` of a search of the block `own`
// (its genes; d is over the fragment's genes and the parameters, inside its
// settings): its block genes that hold one value per setting throughout the
// result get a value, the rest of d joins the moving factor.
template <typename IsInput>
settingsPart extendBySearch(const settingsPart& a, const paramAttractor& d,
                            const std::vector<int>& own, const IsInput& isInput) {
    DdManager* const m = a.settings.manager();
    DdNode* const zero = Cudd_ReadLogicZero(m);
    settingsPart next;
    next.settings = bddResult(m, Cudd_bddAnd(m, a.settings.get(), d.settings.get()));
    if (next.settings.get() == zero) return next;
    next.moving = bddResult(m, Cudd_bddAnd(m, a.moving.get(), d.states.get()));
    next.moving = bddResult(m, Cudd_bddAnd(m, next.moving.get(), next.settings.get()));
    std::vector<int> genes = supportOf(m, next.moving.get());
    genes.erase(std::remove_if(genes.begin(), genes.end(), isInput), genes.end());
    const bddHandle genesCube = cubeOfIndices(m, genes);
    std::shared_ptr<bddArray> values;
    std::vector<int> settled;
    for (const int g : own) {
        if (!std::binary_search(genes.begin(), genes.end(), g)) continue;
        bddHandle value = valuePerSetting(next.moving, Cudd_bddIthVar(m, g), genesCube);
        if (!value) continue;
        if (!values) values = std::make_shared<bddArray>(*a.values);
        (*values)[static_cast<size_t>(g)] = std::move(value);
        settled.push_back(g);
    }
    if (!settled.empty())
        next.moving = bddResult(
            m, Cudd_bddExistAbstract(m, next.moving.get(), cubeOfIndices(m, settled).get()));
    next.values = values ? std::shared_ptr<const bddArray>(std::move(values)) : a.values;
    return next;
}

// The pairs of `pairs` joined where their settings are disjoint: a pair
// (S1 OR S2, A1 OR A2) of pairs with disjoint settings stands for exactly
// what the two stood for, since A1 and A2 lie inside their own settings.
// First fit, in order: as many pairs are left as the most attractors that
// the pairs give one setting, or a few more, rather than their product
// over the independent parts of the network.
std::vector<settingsPart> joinDisjoint(DdManager* m, std::vector<settingsPart> pairs) {
    std::vector<settingsPart> joined;
    for (settingsPart& p : pairs) {
        const auto into = std::find_if(joined.begin(), joined.end(), [&](const settingsPart& q) {
            return Cudd_bddLeq(m, p.settings.get(), Cudd_Not(q.settings.get())) == 1;
        });
        if (into == joined.end()) {
            joined.push_back(std::move(p));
            continue;
        }
        // A gene with a value in both keeps one, chosen by the settings; a
        // gene with a value in one only moves into that one's moving factor.
        auto values = std::make_shared<bddArray>(*into->values);
        bddHandle movingInto = into->moving;
        bddHandle movingP = p.moving;
        for (size_t g = 0; g < values->size(); ++g) {
            const bddHandle& mine = (*into->values)[g];
            const bddHandle& theirs = (*p.values)[g];
            if (!mine && !theirs) continue;
            if (mine && theirs) {
                if (mine.get() != theirs.get())
                    (*values)[g] = bddResult(
                        m, Cudd_bddIte(m, into->settings.get(), mine.get(), theirs.get()));
                continue;
            }
            DdNode* const var = Cudd_bddIthVar(m, static_cast<int>(g));
            bddHandle& folded = mine ? movingInto : movingP;
            const bddHandle literal =
                bddResult(m, Cudd_bddXnor(m, var, (mine ? mine : theirs).get()));
            folded = bddResult(m, Cudd_bddAnd(m, folded.get(), literal.get()));
            (*values)[g] = bddHandle();
        }
        into->settings = bddResult(m, Cudd_bddOr(m, into->settings.get(), p.settings.get()));
        into->moving = bddResult(m, Cudd_bddOr(m, movingInto.get(), movingP.get()));
        into->values = std::move(values);
    }
    return joined;
}

// The grouping, in one of two ways; both give the same outcomes in the same
// order (by their least settings: inputs from the top of the order down, 0
// before 1).
//
// By splitting: the input space is split on an input variable only where
// some pair (restricted to the current cube) still depends on it; at a leaf
// every pair left holds for the whole cube, and the set of their states (no
// input in their support) is the outcome of every setting of the cube. The
// split variable is the topmost input any pair depends on, so a set over the
// inputs alone depends on it exactly when it is its root, and only those
// are cofactored; a moving factor is cofactored only at the inputs of its
// support, and where its two halves are one node it does not depend on the
// input after all. A pair's attractor is numbered once, where the split has
// left it no input to read, and the leaves below take the number over; an
// outcome becomes a diagram only when a second leaf joins it (its first
// cube is kept as text). This costs per leaf, and is the cheaper way while
// the leaves are about as many as the outcomes.
//
// By a relation: where an outcome's settings need many cubes, the leaves
// far outnumber the outcomes (1.4 million leaves for 1,900 outcomes), so
// once the split has made more than kLeavesPerOutcome leaves per outcome
// (and kLeafAllowance more) it is dropped for this way, whose cost follows
// the outcomes. Two settings share an outcome when every pair holds for both
// or for neither, and each pair that holds gives both the same attractor:
// an equivalence relation over two copies of the inputs, x_X and x'_X (the
// next-state variable of each input, which nothing else uses here). It is
// refined pair by pair inside the relation so far, which keeps each step
// within the classes found so far. Its classes are taken out one at a time,
// each from the least setting left; per class, each pair that holds is read
// at that setting. The relation is finer than the outcomes where distinct
// pairs give two settings the same attractors the other way round (pair 1
// gives A and pair 2 gives B under one setting, the other way under the
// other), so classes with the same attractors join into one outcome.
//
// Either way each distinct attractor is numbered once, through a hash table
// of canonical factors, and an outcome is found by the sorted numbers of its
// attractors in another hash table.
class outcomeGrouping {
public:
    outcomeGrouping(DdManager* mgr, std::vector<DdNode*>& ip, int nInpVar,
                    const std::vector<int>& inputs)
        : mgr_(mgr),
          ip_(ip),
          nInpVar_(nInpVar),
          inputs_(inputs),
          inputAt_(static_cast<size_t>(nInpVar), -1),
          path_(inputs.size(), '-'),
          point_(static_cast<size_t>(Cudd_ReadSize(mgr)), 0),
          literals_(makeCubeArray(mgr, nInpVar)),
          distinct_(0, attractorKeys{this}, attractorKeys{this}),
          byAttractors_(0, outcomeKeys{this}, outcomeKeys{this}) {
        for (size_t k = 0; k < inputs.size(); ++k) {
            const int v = inputs[k];
            inputAt_[static_cast<size_t>(v)] = static_cast<int>(k);
            inputsBottomUp_.push_back(k);
            current_.push_back(ip[static_cast<size_t>(v)]);
            primed_.push_back(ip[static_cast<size_t>(nInpVar + v)]);
        }
        std::sort(inputsBottomUp_.begin(), inputsBottomUp_.end(), [&](size_t a, size_t b) {
            return Cudd_ReadPerm(mgr, inputs[a]) > Cudd_ReadPerm(mgr, inputs[b]);
        });
    }
    outcomeGrouping(const outcomeGrouping&) = delete;
    outcomeGrouping& operator=(const outcomeGrouping&) = delete;

    // The outcomes of the pairs of the composition.
    inputOutcomes group(const std::vector<settingsPart>& pairs) {
        if (!groupBySplit(pairs)) {
            distinct_.clear();
            byAttractors_.clear();
            result_ = inputOutcomes();
            groupByRelation(pairs);
        }
        // Settings that make one cube are kept as one; each outcome's
        // attractors in the order of their factors (values hold 0, 1 and 2
        // only, so memcmp orders them as chars).
        const auto before = [&](size_t a, size_t b) {
            const outcomeAttractor& x = result_.attractors[a];
            const outcomeAttractor& y = result_.attractors[b];
            if (x.moving.get() != y.moving.get())
                return std::less<DdNode*>()(x.moving.get(), y.moving.get());
            return std::memcmp(x.values.data(), y.values.data(), x.values.size()) < 0;
        };
        for (inputOutcome& outcome : result_.outcomes) {
            std::sort(outcome.attractors.begin(), outcome.attractors.end(), before);
            if (!outcome.settings || Cudd_CheckCube(mgr_, outcome.settings.get()) != 1) continue;
            outcome.cube = cubeText(outcome.settings);
            outcome.settings = bddHandle();
        }
        return std::move(result_);
    }

private:
    using openValues = std::vector<std::pair<int, bddHandle>>;

    // A pair restricted to the current cube: its settings and moving factor;
    // the values that still depend on an input (`open`, shared down the
    // split until one changes) and those that no longer do (`decided`, an
    // entry of `steps_`); the inputs its moving factor read at the start,
    // top-down, of which those from `next` on are not yet passed. Once no
    // input is left for it to read, its attractor no longer changes down the
    // split and is numbered there (`attractor`, kUnknown before).
    struct restrictedPair {
        bddHandle settings;
        bddHandle moving;
        std::shared_ptr<const openValues> open;
        std::uint32_t decided;
        std::shared_ptr<const std::vector<int>> reads;
        size_t next;
        size_t attractor;
        bool mayRead(int v) const { return next < reads->size() && (*reads)[next] == v; }
        bool settled() const { return open->empty() && next == reads->size(); }
    };
    static constexpr size_t kUnknown = SIZE_MAX;

    // Values that no longer depend on an input (per gene 0 or 1, 2 for none),
    // as entries: a root names a vector of bases_, every other entry sets one
    // gene on top of its parent's values. An entry is made where the split
    // decides a value, so all the leaves below name their values by one
    // number; two entries may hold the same values (decided in distinct
    // parts of the split), which the attractors' own table tells apart.
    struct valueStep {
        std::uint32_t parent;  // kRoot for a root
        int gene;              // for a root, its vector in bases_
        char value;
    };
    static constexpr std::uint32_t kRoot = UINT32_MAX;

    std::uint32_t rootValues(std::vector<char> values) {
        bases_.push_back(std::move(values));
        steps_.push_back({kRoot, static_cast<int>(bases_.size() - 1), 0});
        return static_cast<std::uint32_t>(steps_.size() - 1);
    }

    std::uint32_t withValue(std::uint32_t parent, int gene, char value) {
        steps_.push_back({parent, gene, value});
        return static_cast<std::uint32_t>(steps_.size() - 1);
    }

    // The values of entry `id`, into `values`. A gene is set once along a
    // chain, so the order of the steps does not matter.
    void valuesOf(std::uint32_t id, std::vector<char>& values) const {
        std::uint32_t root = id;
        while (steps_[root].parent != kRoot) root = steps_[root].parent;
        values = bases_[static_cast<size_t>(steps_[root].gene)];
        for (; steps_[id].parent != kRoot; id = steps_[id].parent)
            values[static_cast<size_t>(steps_[id].gene)] = steps_[id].value;
    }

    // The variable of f's root, or -1 for a constant.
    static int rootOf(const bddHandle& f) {
        return Cudd_IsConstant(f.get()) ? -1 : static_cast<int>(Cudd_NodeReadIndex(f.get()));
    }

    // The higher in the order of two variables (-1 for none).
    int higher(int a, int b) const {
        if (a < 0) return b;
        if (b < 0) return a;
        return Cudd_ReadPerm(mgr_, a) < Cudd_ReadPerm(mgr_, b) ? a : b;
    }

    // Splitting more than this many leaves per outcome found, past the
    // allowance, gives way to the relation.
    static constexpr size_t kLeavesPerOutcome = 8;
    static constexpr size_t kLeafAllowance = 256;

    // The outcomes by splitting; false (with result_ partly filled) when
    // the leaves pass the budget.
    bool groupBySplit(const std::vector<settingsPart>& pairs) {
        std::vector<restrictedPair> restricted;
        for (const settingsPart& p : pairs) {
            std::vector<char> decided(static_cast<size_t>(nInpVar_), 2);
            auto open = std::make_shared<openValues>();
            for (size_t g = 0; g < p.values->size(); ++g) {
                const bddHandle& value = (*p.values)[g];
                if (!value) continue;
                if (Cudd_IsConstant(value.get()))
                    decided[g] = value.get() == Cudd_ReadOne(mgr_) ? 1 : 0;
                else
                    open->emplace_back(static_cast<int>(g), value);
            }
            auto reads = std::make_shared<std::vector<int>>();
            for (const int v : supportOf(mgr_, p.moving.get()))
                if (inputAt_[static_cast<size_t>(v)] >= 0) reads->push_back(v);
            std::sort(reads->begin(), reads->end(), [&](int a, int b) {
                return Cudd_ReadPerm(mgr_, a) < Cudd_ReadPerm(mgr_, b);
            });
            restricted.push_back({p.settings, p.moving, std::move(open),
                                  rootValues(std::move(decided)), std::move(reads), 0, kUnknown});
        }
        return split(std::move(restricted));
    }

    bool split(std::vector<restrictedPair> pairs) {
        for (;;) {
            int index = -1;
            for (restrictedPair& p : pairs) {
                if (p.attractor == kUnknown && p.settled()) p.attractor = attractorOf(p);
                index = higher(index, rootOf(p.settings));
                if (p.next < p.reads->size()) index = higher(index, (*p.reads)[p.next]);
                for (const auto& one : *p.open) index = higher(index, rootOf(one.second));
            }
            if (index < 0) return addLeaf(pairs);
            DdNode* const var = ip_[static_cast<size_t>(index)];
            // The moving factors that may read the variable, in halves.
            std::vector<std::array<bddHandle, 2>> halves(pairs.size());
            bool depends = false;
            for (size_t k = 0; k < pairs.size(); ++k) {
                const restrictedPair& p = pairs[k];
                depends = depends || rootOf(p.settings) == index ||
                          std::any_of(p.open->begin(), p.open->end(),
                                      [&](const auto& one) { return rootOf(one.second) == index; });
                if (!p.mayRead(index)) continue;
                halves[k] = {cofactor(mgr_, p.moving, var, false),
                             cofactor(mgr_, p.moving, var, true)};
                depends = depends || halves[k][0].get() != halves[k][1].get();
            }
            if (!depends) {
                for (restrictedPair& p : pairs)
                    if (p.mayRead(index)) ++p.next;
                continue;
            }
            char& at = path_[static_cast<size_t>(inputAt_[static_cast<size_t>(index)])];
            for (const bool value : {false, true}) {
                std::vector<restrictedPair> restricted;
                restricted.reserve(pairs.size());
                for (size_t k = 0; k < pairs.size(); ++k)
                    restrict(pairs[k], halves[k], index, value, restricted);
                at = value ? '1' : '0';
                if (!split(std::move(restricted))) return false;
            }
            at = '-';
            return true;
        }
    }

    // The pair p with the input `index` set to `value`, appended to
    // `restricted` unless its settings exclude the value; `halves` are its
    // moving factor's cofactors when it may read the input.
    void restrict(const restrictedPair& p, const std::array<bddHandle, 2>& halves, int index,
                  bool value, std::vector<restrictedPair>& restricted) {
        DdNode* const var = ip_[static_cast<size_t>(index)];
        bddHandle settings =
            rootOf(p.settings) == index ? cofactor(mgr_, p.settings, var, value) : p.settings;
        if (settings.get() == Cudd_ReadLogicZero(mgr_)) return;
        const bool read = p.mayRead(index);
        restrictedPair r{std::move(settings),
                         read ? halves[value ? 1 : 0] : p.moving,
                         p.open,
                         p.decided,
                         p.reads,
                         p.next + (read ? 1 : 0),
                         p.attractor};
        if (std::any_of(p.open->begin(), p.open->end(),
                        [&](const auto& one) { return rootOf(one.second) == index; })) {
            auto open = std::make_shared<openValues>();
            for (const auto& one : *p.open) {
                if (rootOf(one.second) != index) {
                    open->push_back(one);
                    continue;
                }
                bddHandle now = cofactor(mgr_, one.second, var, value);
                if (!Cudd_IsConstant(now.get())) {
                    open->emplace_back(one.first, std::move(now));
                    continue;
                }
                r.decided = withValue(r.decided, one.first,
                                      now.get() == Cudd_ReadOne(mgr_) ? char{1} : char{0});
            }
            r.open = std::move(open);
        }
        restricted.push_back(std::move(r));
    }

    // The number of the attractor of a settled pair.
    size_t attractorOf(const restrictedPair& p) {
        valuesOf(p.decided, scratch_.values);
        return numberAttractor(p.moving);
    }

    // The number of the attractor `moving` AND the cube of scratch_.values
    // (the values, per gene 0, 1 or 2 for none), in canonical factors (the
    // genes constant in the moving factor join the values), each distinct
    // attractor once. The candidate is put together in scratch_ and only
    // kept when it is new.
    size_t numberAttractor(const bddHandle& moving) {
        // The constant genes are the moving factor's essential literals,
        // found in one pass over its diagram.
        const bddHandle essential = bddResult(mgr_, Cudd_FindEssential(mgr_, moving.get()));
        if (essential.get() == Cudd_ReadOne(mgr_)) {
            scratch_.moving = moving;
        } else {
            if (!Cudd_bddPickOneCube(mgr_, essential.get(), literals_.data()))
                throw quorvelError("BDD engine failure: a cube could not be read");
            std::vector<int> constant;
            for (int g = 0; g < nInpVar_; ++g) {
                const char value = literals_[static_cast<size_t>(g)];
                if (value != 0 && value != 1) continue;
                scratch_.values[static_cast<size_t>(g)] = value;
                constant.push_back(g);
            }
            scratch_.moving = bddResult(
                mgr_, Cudd_bddExistAbstract(mgr_, moving.get(),
                                            cubeOfIndices(mgr_, std::move(constant)).get()));
        }
        const auto known = distinct_.find(kScratch);
        if (known != distinct_.end()) return *known;
        result_.attractors.push_back(scratch_);
        return *distinct_.insert(result_.attractors.size() - 1).first;
    }

    // A leaf: the cube path_ joins the outcome of its pairs' attractors.
    // False when the leaves pass the budget.
    bool addLeaf(const std::vector<restrictedPair>& pairs) {
        scratchAttractors_.clear();
        for (const restrictedPair& p : pairs) scratchAttractors_.push_back(p.attractor);
        joinOutcome(path_, bddHandle());
        return ++leaves_ <= kLeavesPerOutcome * result_.outcomes.size() + kLeafAllowance;
    }

    // The settings `cube` (as text) or `settings` (a diagram; the other one
    // empty) join the outcome of the attractors scratchAttractors_, which
    // is new unless another part of the settings has it already.
    void joinOutcome(const std::string& cube, bddHandle settings) {
        std::vector<size_t>& attractors = scratchAttractors_;
        std::sort(attractors.begin(), attractors.end());
        attractors.erase(std::unique(attractors.begin(), attractors.end()), attractors.end());
        const auto known = byAttractors_.find(kScratch);
        if (known == byAttractors_.end()) {
            result_.outcomes.push_back({cube, std::move(settings), attractors});
            byAttractors_.insert(result_.outcomes.size() - 1);
            return;
        }
        inputOutcome& outcome = result_.outcomes[*known];
        if (!outcome.settings) {
            outcome.settings = cubeOf(outcome.cube);
            std::string().swap(outcome.cube);
        }
        if (!settings) settings = cubeOf(cube);
        outcome.settings =
            bddResult(mgr_, Cudd_bddOr(mgr_, outcome.settings.get(), settings.get()));
    }

    // The outcomes by the relation.
    void groupByRelation(const std::vector<settingsPart>& pairs) {
        std::vector<int> genes;
        for (int g = 0; g < nInpVar_; ++g)
            if (inputAt_[static_cast<size_t>(g)] < 0) genes.push_back(g);
        const bddHandle genesCube = cubeOfIndices(mgr_, std::move(genes));
        const bddHandle inputsCube = cubeOfIndices(mgr_, inputs_);
        bddHandle alike = bddOne(mgr_);
        for (const settingsPart& p : pairs) alike = refine(alike, p, genesCube);
        const bddHandle zero = bddZero(mgr_);
        for (bddHandle left = bddOne(mgr_); left.get() != zero.get();) {
            const bddHandle least = leastSetting(left);
            const bddHandle settings = swapInputs(bddResult(
                mgr_, Cudd_bddAndAbstract(mgr_, alike.get(), least.get(), inputsCube.get())));
            left = bddResult(mgr_, Cudd_bddAnd(mgr_, left.get(), Cudd_Not(settings.get())));
            scratchAttractors_.clear();
            for (const settingsPart& p : pairs) {
                if (!holds(p.settings)) continue;
                std::vector<char>& values = scratch_.values;
                values.assign(static_cast<size_t>(nInpVar_), 2);
                for (size_t g = 0; g < p.values->size(); ++g)
                    if ((*p.values)[g]) values[g] = holds((*p.values)[g]) ? 1 : 0;
                scratchAttractors_.push_back(numberAttractor(bddResult(
                    mgr_,
                    Cudd_bddAndAbstract(mgr_, p.moving.get(), least.get(), inputsCube.get()))));
            }
            joinOutcome(std::string(), settings);
        }
    }

    // `alike` (a relation over x_X and x'_X) AND the relation under which
    // two settings are alike for pair p: both outside its settings, or both
    // inside with equal values and equal moving factors (no gene state in
    // the one's and not in the other's; `genesCube` holds the genes' x_g).
    bddHandle refine(const bddHandle& alike, const settingsPart& p, const bddHandle& genesCube) {
        const bddHandle there = swapInputs(p.settings);
        const bddHandle neither =
            bddResult(mgr_, Cudd_bddAnd(mgr_, Cudd_Not(p.settings.get()), Cudd_Not(there.get())));
        const bddHandle both = bddResult(mgr_, Cudd_bddAnd(mgr_, p.settings.get(), there.get()));
        const bddHandle outside = bddResult(mgr_, Cudd_bddAnd(mgr_, alike.get(), neither.get()));
        bddHandle inside = bddResult(mgr_, Cudd_bddAnd(mgr_, alike.get(), both.get()));
        for (const bddHandle& value : *p.values) {
            if (!value || Cudd_IsConstant(value.get())) continue;
            // inside AND (value XNOR value'), each part taken inside `inside`,
            // which keeps the work within the classes found so far.
            const bddHandle valueThere = swapInputs(value);
            const bddHandle on = bddResult(mgr_, Cudd_bddAnd(mgr_, inside.get(), valueThere.get()));
            const bddHandle off =
                bddResult(mgr_, Cudd_bddAnd(mgr_, inside.get(), Cudd_Not(valueThere.get())));
            inside = bddResult(mgr_, Cudd_bddIte(mgr_, value.get(), on.get(), off.get()));
        }
        const bddHandle movingThere = swapInputs(p.moving);
        const bddHandle onlyHere =
            bddResult(mgr_, Cudd_bddAndAbstract(mgr_, p.moving.get(), Cudd_Not(movingThere.get()),
                                                genesCube.get()));
        const bddHandle onlyThere =
            bddResult(mgr_, Cudd_bddAndAbstract(mgr_, Cudd_Not(p.moving.get()), movingThere.get(),
                                                genesCube.get()));
        const bddHandle differ = bddResult(mgr_, Cudd_bddOr(mgr_, onlyHere.get(), onlyThere.get()));
        inside = bddResult(mgr_, Cudd_bddAnd(mgr_, inside.get(), Cudd_Not(differ.get())));
        return bddResult(mgr_, Cudd_bddOr(mgr_, inside.get(), outside.get()));
    }

    // f with each input's x_X and x'_X exchanged.
    bddHandle swapInputs(const bddHandle& f) {
        return bddResult(mgr_, Cudd_bddSwapVariables(mgr_, f.get(), current_.data(), primed_.data(),
                                                     static_cast<int>(current_.size())));
    }

    // The least setting of `left` (not empty), read from the top of the
    // order down, 0 where it may: into point_ (for holds()), and returned as
    // a cube of every input.
    bddHandle leastSetting(bddHandle left) {
        const bddHandle zero = bddZero(mgr_);
        std::string least(inputs_.size(), '0');
        for (auto k = inputsBottomUp_.rbegin(); k != inputsBottomUp_.rend(); ++k) {
            const int v = inputs_[*k];
            int value = 0;
            if (rootOf(left) == v) {
                DdNode* const var = ip_[static_cast<size_t>(v)];
                bddHandle low = cofactor(mgr_, left, var, false);
                if (low.get() == zero.get()) {
                    low = cofactor(mgr_, left, var, true);
                    value = 1;
                }
                left = std::move(low);
            }
            point_[static_cast<size_t>(v)] = value;
            least[*k] = value != 0 ? '1' : '0';
        }
        return cubeOf(least);
    }

    // True when f (over the inputs) holds at the setting point_.
    bool holds(const bddHandle& f) {
        if (Cudd_IsConstant(f.get())) return f.get() == Cudd_ReadOne(mgr_);
        DdNode* const value = Cudd_Eval(mgr_, f.get(), point_.data());
        if (value == nullptr) throw quorvelError("BDD engine failure: a set could not be read");
        return value == Cudd_ReadOne(mgr_);
    }

    // A cube over the inputs as text: per input '0', '1' or '-'.
    std::string cubeText(const bddHandle& cube) {
        if (!Cudd_bddPickOneCube(mgr_, cube.get(), literals_.data()))
            throw quorvelError("BDD engine failure: a cube could not be read");
        std::string text(inputs_.size(), '-');
        for (size_t k = 0; k < inputs_.size(); ++k) {
            const char value = literals_[static_cast<size_t>(inputs_[k])];
            if (value == 0 || value == 1) text[k] = value != 0 ? '1' : '0';
        }
        return text;
    }

    // The cube of settings `cube` (per input '0', '1' or '-'), built from
    // the bottom of the order up.
    bddHandle cubeOf(const std::string& cube) const {
        bddHandle node = bddOne(mgr_);
        for (const size_t k : inputsBottomUp_) {
            if (cube[k] == '-') continue;
            DdNode* const var = ip_[static_cast<size_t>(inputs_[k])];
            node = bddResult(mgr_,
                             Cudd_bddAnd(mgr_, node.get(), cube[k] == '1' ? var : Cudd_Not(var)));
        }
        return node;
    }

    // Hash tables over the result's own entries (by index), so that a key is
    // held once: an attractor by its factors, an outcome by its attractors.
    // The index kScratch stands for the candidate being looked up.
    static constexpr size_t kScratch = SIZE_MAX;
    static std::uint64_t mix(std::uint64_t seed, std::uint64_t value) {
        return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
    }
    struct attractorKeys {
        const outcomeGrouping* grouping;
        const outcomeAttractor& at(size_t a) const {
            return a == kScratch ? grouping->scratch_ : grouping->result_.attractors[a];
        }
        size_t operator()(size_t a) const {
            const outcomeAttractor& x = at(a);
            std::uint64_t h = reinterpret_cast<std::uintptr_t>(x.moving.get());
            // The values eight at a time.
            const size_t n = x.values.size();
            for (size_t k = 0; k < n; k += 8) {
                std::uint64_t word = 0;
                std::memcpy(&word, x.values.data() + k, std::min<size_t>(8, n - k));
                h = mix(h, word);
            }
            return static_cast<size_t>(h ^ (h >> 32));
        }
        bool operator()(size_t a, size_t b) const {
            const outcomeAttractor& x = at(a);
            const outcomeAttractor& y = at(b);
            return x.moving.get() == y.moving.get() && x.values == y.values;
        }
    };
    struct outcomeKeys {
        const outcomeGrouping* grouping;
        const std::vector<size_t>& at(size_t o) const {
            return o == kScratch ? grouping->scratchAttractors_
                                 : grouping->result_.outcomes[o].attractors;
        }
        size_t operator()(size_t o) const {
            std::uint64_t h = 0;
            for (const size_t a : at(o)) h = mix(h, a);
            return static_cast<size_t>(h ^ (h >> 32));
        }
        bool operator()(size_t a, size_t b) const { return at(a) == at(b); }
    };

    DdManager* mgr_;
    std::vector<DdNode*>& ip_;
    int nInpVar_;
    const std::vector<int>& inputs_;      // ascending
    std::vector<int> inputAt_;            // per variable: its place among the inputs, or -1
    std::vector<size_t> inputsBottomUp_;  // places of the inputs, bottom of the order first
    std::vector<DdNode*> current_;        // per input: x_X
    std::vector<DdNode*> primed_;         // per input: x'_X
    std::string path_;                    // the current cube: per input '0', '1' or '-'
    size_t leaves_ = 0;                   // of the split so far
    std::vector<int> point_;              // per variable: the setting holds() reads
    std::vector<std::vector<char>> bases_;
    std::vector<valueStep> steps_;
    inputOutcomes result_;
    outcomeAttractor scratch_;
    std::vector<char> literals_;  // one cube read by the engine, per variable
    std::vector<size_t> scratchAttractors_;
    std::unordered_set<size_t, attractorKeys, attractorKeys> distinct_;
    std::unordered_set<size_t, outcomeKeys, outcomeKeys> byAttractors_;
};

}  // namespace

std::vector<std::string> listInputNames(const std::vector<networkDefBool>& network) {
    std::vector<std::string> targets;
    std::map<std::string, std::vector<const networkDefBool*>> rulesOf;
    for (const networkDefBool& rule : network) {
        if (rulesOf.find(rule.outGeneName) == rulesOf.end()) targets.push_back(rule.outGeneName);
        rulesOf[rule.outGeneName].push_back(&rule);
    }
    std::vector<std::string> inputs;
    for (const std::string& name : targets) {
        const std::vector<const networkDefBool*>& rules = rulesOf[name];
        const bool readsOnlyItself = std::all_of(rules.begin(), rules.end(), [&](auto rule) {
            return std::all_of(rule->inpGeneName.begin(), rule->inpGeneName.end(),
                               [&](const std::string& r) { return r == name; });
        });
        if (readsOnlyItself && !ruleValue(rules, false) && ruleValue(rules, true))
            inputs.push_back(name);
    }
    return inputs;
}

inputOutcomes compInputOutcomes(const symbolicEncoding& encoding, std::vector<DdNode*>& op,
                                const levelArray& sccTopoLvl, const analysisRequest& request) {
    DdManager* const mgr = encoding.mgr;
    std::vector<DdNode*>& ip = encoding.ip;
    const int nInpVar = encoding.nInpVar;
    const std::vector<int>& inputs = request.groupedInputs;
    const progressSink& progress = request.progress;
    const networkFunctions network = readNetworkFunctions(mgr, op, ip, nInpVar);

    const compositionInputs c{
        mgr,     op,      ip,      encoding.inpCubeFwd, encoding.inpCubeBwd, encoding.topSame,
        nInpVar, network, progress};
    const auto isInput = [&](int g) { return std::binary_search(inputs.begin(), inputs.end(), g); };
    std::vector<settingsPart> part;
    part.push_back(
        {bddOne(mgr), bddOne(mgr), std::make_shared<const bddArray>(static_cast<size_t>(nInpVar))});
    const size_t blocks = countBlocks(sccTopoLvl);
    size_t cnt = 0;
    for (size_t i = 0; i < sccTopoLvl.size(); ++i) {
        for (size_t j = 0; j < sccTopoLvl[i].size(); ++j) {
            const sccTopo& block = sccTopoLvl[i][j];
            ++cnt;
            std::vector<int> moving;
            for (const int g : block.geneName)
                if (!isInput(g)) moving.push_back(g);
            if (moving.empty()) continue;  // inputs only: their settings are the parameters
            reportProgress(progress, partEvent(progressStage::block, cnt, blocks, part.size()));
            std::sort(moving.begin(), moving.end());
            std::vector<settingsPart> extended;
            if (moving.size() == 1) {
                for (const settingsPart& a : part)
                    extendByOneGene(c, a, moving[0], isInput, extended);
                part = joinDisjoint(mgr, std::move(extended));
                writeProgress(progress, part.size(), " attractors over settings so far\n");
                continue;
            }
            // Searches by the fragment's genes, then by the held values and
            // the domain (which together fix the search).
            std::map<std::vector<int>, nodeMemo<std::vector<paramAttractor>>> byView;
            systemMemo bySystem;
            for (const settingsPart& a : part) {
                const pairView view = viewOf(c, moving, a, isInput);
                const bddHandle key =
                    bddResult(mgr, Cudd_bddAnd(mgr, view.values.get(), view.domain.get()));
                const std::vector<paramAttractor>& found = byView[view.genes].find(
                    key, [&] { return searchView(c, view, isInput, bySystem); });
                for (const paramAttractor& d : found) {
                    settingsPart next = extendBySearch(a, d, moving, isInput);
                    if (next.settings.get() != Cudd_ReadLogicZero(mgr))
                        extended.push_back(std::move(next));
                }
            }
            part = joinDisjoint(mgr, std::move(extended));
            writeProgress(progress, part.size(), " attractors over settings so far\n");
        }
    }

    outcomeGrouping grouping(mgr, ip, nInpVar, inputs);
    inputOutcomes outcomes = grouping.group(part);
    writeProgress(progress, outcomes.outcomes.size(), " outcomes\n");
    return outcomes;
}
