// Inputs as parameters: the inputs of a network, the composition over every
// setting of them at once, and the grouping of the settings into outcomes.
#include "compInputOutcomes.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>

#include "compParamAttractors.h"
#include "compReachFragAsync.h"
#include "readNetworkFunctions.h"
#include "util.h"
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
// part under them (inside S).
struct settingsPart {
    bddHandle settings;
    bddHandle states;
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
};

// f with the input variable `var` set to `value`.
bddHandle cofactor(DdManager* m, const bddHandle& f, DdNode* var, bool value) {
    return bddResult(m, Cudd_bddAndAbstract(m, f.get(), value ? var : Cudd_Not(var), var));
}

// Settings under which a fragment has the same functions and the same
// domain, hence the same attractors.
struct settingsClass {
    bddHandle settings;   // over the parameters
    bddArray functions;   // parallel to the fragment's genes; no parameter in their support
    bddHandle domain;     // over the fragment's genes
};

// The split of a set of settings into settingsClasses: on the parameters
// (from the top of the order down) that the functions or the domain still
// read, only where they read them, so settings that cannot matter stay
// together; leaves with equal functions and domain join one class. Gives
// up (returns false) after `budget` leaves, when the parameters matter too
// much for a search per class to pay.
struct settingsSplit {
    DdManager* mgr;
    std::vector<DdNode*>& ip;
    std::vector<int> parametersTopDown;
    long budget;
    std::map<std::vector<DdNode*>, size_t> byKey;
    std::vector<settingsClass> classes;

    bool split(size_t from, const bddArray& functions, const bddHandle& domain,
               const bddHandle& settings, const bddHandle& cube) {
        std::vector<int> read = supportOf(mgr, domain.get());
        for (const bddHandle& f : functions)
            for (const int v : supportOf(mgr, f.get())) read.push_back(v);
        std::sort(read.begin(), read.end());
        size_t at = from;
        while (at < parametersTopDown.size() &&
               !std::binary_search(read.begin(), read.end(), parametersTopDown[at]))
            ++at;
        if (at == parametersTopDown.size()) {
            if (--budget < 0) return false;
            std::vector<DdNode*> key = lentNodes(functions);
            key.push_back(domain.get());
            const bddHandle under = bddResult(mgr, Cudd_bddAnd(mgr, settings.get(), cube.get()));
            const auto known = byKey.find(key);
            if (known == byKey.end()) {
                byKey.emplace(std::move(key), classes.size());
                classes.push_back({under, functions, domain});
            } else {
                bddHandle& joined = classes[known->second].settings;
                joined = bddResult(mgr, Cudd_bddOr(mgr, joined.get(), under.get()));
            }
            return true;
        }
        DdNode* const var = ip[static_cast<size_t>(parametersTopDown[at])];
        for (const bool value : {false, true}) {
            const bddHandle part = cofactor(mgr, settings, var, value);
            if (part.get() == Cudd_ReadLogicZero(mgr)) continue;
            bddArray restricted;
            for (const bddHandle& f : functions) restricted.push_back(cofactor(mgr, f, var, value));
            const bddHandle literal(mgr, value ? var : Cudd_Not(var));
            if (!split(at + 1, restricted, cofactor(mgr, domain, var, value), part,
                       bddResult(mgr, Cudd_bddAnd(mgr, cube.get(), literal.get()))))
                return false;
        }
        return true;
    }
};

// At most this many leaves of the settings split; beyond, the fragment is
// searched once for all settings.
constexpr long kClassLeaves = 256;

// The attractors of the fragment `moving`, whose next-state functions are
// `functions` (parallel to moving; they read the fragment and the inputs
// `parameters`, ascending), inside `domain` (over the fragment and the
// parameters), for every setting of the parameters. The settings are first
// split into classes of equal cofactored functions and domain, each searched
// by the plain search of an autonomous fragment (its walks find the
// attractors of a large block sooner); when there are too many classes,
// all settings are searched at once (see compParamAttractors).
std::vector<paramAttractor> searchParam(const compositionInputs& c,
                                        const std::vector<int>& moving,
                                        const bddArray& functions,
                                        const std::vector<int>& parameters,
                                        const bddHandle& domain) {
    DdManager* const m = c.mgr;
    const auto relationOf = [&](int g, const bddHandle& f) {
        return bddResult(
            m, Cudd_bddXnor(m, c.ip[static_cast<size_t>(c.nInpVar + g)], f.get()));
    };
    const bddHandle settings = bddResult(
        m, Cudd_bddExistAbstract(m, domain.get(), cubeOfIndices(m, moving).get()));
    settingsSplit classes{m, c.ip, sortTopDown(m, parameters), kClassLeaves, {}, {}};
    if (!classes.split(0, functions, domain, settings, bddOne(m))) {
        std::vector<DdNode*> relations(static_cast<size_t>(c.nInpVar), nullptr);
        const rawNodesGuard relationsOwned(m, relations);
        for (size_t k = 0; k < moving.size(); ++k)
            relations[static_cast<size_t>(moving[k])] = relationOf(moving[k], functions[k]).release();
        const fragAsync frag{m, relations, c.ip, moving, c.inpCubeFwd, c.inpCubeBwd, c.topSame,
                             c.nInpVar};
        return compParamAttractors(frag, domain);
    }
    // The classes' settings are disjoint, so the k-th attractors of every
    // class make one paramAttractor: as many as the most attractors of one
    // class, not their sum over the classes.
    std::vector<paramAttractor> found;
    for (const settingsClass& one : classes.classes) {
        const bddHandle spaceNext =
            bddHandle::adopt(m, swapCurrentAndNext(m, one.domain.get(), c.ip, c.nInpVar));
        networkFunctions record = c.network;
        std::vector<DdNode*> relations(static_cast<size_t>(c.nInpVar), nullptr);
        const rawNodesGuard relationsOwned(m, relations);
        for (size_t k = 0; k < moving.size(); ++k) {
            const size_t at = static_cast<size_t>(moving[k]);
            record.next[at] = one.functions[k];
            record.regulators[at] = supportOf(m, record.next[at].get());
            // Confined to the class's domain on both sides of every step;
            // the search narrows these copies.
            const bddHandle here = bddResult(
                m, Cudd_bddAnd(m, relationOf(moving[k], one.functions[k]).get(), one.domain.get()));
            relations[at] = bddResult(m, Cudd_bddAnd(m, here.get(), spaceNext.get())).release();
        }
        std::vector<DdNode*> attractors;
        const rawNodesGuard attractorsOwned(m, attractors);
        if (!chkConstantAsync(relations, moving))
            compSteadyAsync(m, relations, c.ip, c.inpCubeFwd, c.inpCubeBwd, moving, c.topSame,
                            c.nInpVar, attractors, HUGE_VAL, &record);
        for (size_t k = 0; k < attractors.size(); ++k) {
            bddHandle states = bddResult(m, Cudd_bddAnd(m, attractors[k], one.settings.get()));
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

// How a block meets one pair (S, A): the ancestors searched with it, the
// genes it reads that hold one value per setting throughout A, and the
// domain of the search.
struct pairView {
    std::vector<int> genes;  // the block's genes, then the ancestors in `changing`
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
pairView viewOf(const compositionInputs& c, const std::vector<int>& moving,
                const settingsPart& a, const IsInput& isInput) {
    DdManager* const m = c.mgr;
    DdNode* const zero = Cudd_ReadLogicZero(m);
    std::vector<int> genesOfA = supportOf(m, a.states.get());
    genesOfA.erase(std::remove_if(genesOfA.begin(), genesOfA.end(), isInput), genesOfA.end());
    const bddHandle genesCube = cubeOfIndices(m, genesOfA);
    // Whether gene g takes both values in A under some setting. A gene
    // outside A's support takes both under every setting.
    auto changes = [&](int g) {
        if (!std::binary_search(genesOfA.begin(), genesOfA.end(), g)) return true;
        DdNode* const var = c.ip[static_cast<size_t>(g)];
        const bddHandle low =
            bddResult(m, Cudd_bddAndAbstract(m, a.states.get(), Cudd_Not(var), genesCube.get()));
        const bddHandle high =
            bddResult(m, Cudd_bddAndAbstract(m, a.states.get(), var, genesCube.get()));
        return bddResult(m, Cudd_bddAnd(m, low.get(), high.get())).get() != zero;
    };
    pairView view;
    // Backwards from the block along changing ancestors; -1 unseen, 0 held,
    // 1 changing.
    std::map<int, int> seen;
    std::vector<int> frontier(moving);
    while (!frontier.empty()) {
        const int g = frontier.back();
        frontier.pop_back();
        for (const int r : c.network.regulators.at(static_cast<size_t>(g))) {
            if (isInput(r) || std::binary_search(moving.begin(), moving.end(), r) ||
                seen.count(r) != 0)
                continue;
            const bool changing = changes(r);
            seen[r] = changing ? 1 : 0;
            (changing ? view.changing : view.held).push_back(r);
            if (changing) frontier.push_back(r);
        }
    }
    for (std::vector<int>* list : {&view.changing, &view.held})
        std::sort(list->begin(), list->end());
    view.genes = moving;
    view.genes.insert(view.genes.end(), view.changing.begin(), view.changing.end());
    std::vector<int> inputsOfA = supportOf(m, a.states.get());
    inputsOfA.erase(std::remove_if(inputsOfA.begin(), inputsOfA.end(),
                                   [&](int g) { return !isInput(g); }),
                    inputsOfA.end());
    const auto withInputs = [&](std::vector<int> genes) {
        genes.insert(genes.end(), inputsOfA.begin(), inputsOfA.end());
        std::sort(genes.begin(), genes.end());
        return genes;
    };
    view.values = projectOnto(a.states, withInputs(view.held));
    view.domain = projectOnto(a.states, withInputs(view.changing));
    return view;
}

// The attractors of the view's fragment inside the pair `a`, for every
// setting of S: its functions with the held genes replaced by their values
// (per setting), searched inside A's projection onto the changing ancestors
// and the inputs that matter (see searchParam).
template <typename IsInput>
std::vector<paramAttractor> searchView(const compositionInputs& c, const pairView& view,
                                       const IsInput& isInput) {
    DdManager* const m = c.mgr;
    const bddHandle heldCube = cubeOfIndices(m, view.held);
    bddArray functions;
    std::vector<int> parameters;
    for (const int g : view.genes) {
        const bddHandle& f = c.network.next[static_cast<size_t>(g)];
        // Exact since each setting has one held valuation: f AND values
        // keeps f's value there, the abstraction drops the held variables.
        functions.push_back(view.held.empty()
                                ? f
                                : bddResult(m, Cudd_bddAndAbstract(m, f.get(), view.values.get(),
                                                                   heldCube.get())));
        for (const int x : supportOf(m, functions.back().get()))
            if (isInput(x)) parameters.push_back(x);
    }
    for (const int x : supportOf(m, view.domain.get()))
        if (isInput(x)) parameters.push_back(x);
    std::sort(parameters.begin(), parameters.end());
    parameters.erase(std::unique(parameters.begin(), parameters.end()), parameters.end());
    return searchParam(c, view.genes, functions, parameters, view.domain);
}

// The pairs that a block of one non-input gene g makes of the pair `a`, with
// no search, appended to `extended`. Under each setting the processed part
// moves inside A whatever g does, so what matters is whether g can fall
// (f_g = 0 somewhere in A with g = 1) and whether it can rise (f_g = 1
// somewhere with g = 0), each a set of settings: where it can do both,
// A x {0, 1} is one attractor; where it can only fall (rise), A x {0}
// (A x {1}) is the only one; where it can do neither, both are.
template <typename IsInput>
void extendByOneGene(const compositionInputs& c, const settingsPart& a, int g,
                     const IsInput& isInput, std::vector<settingsPart>& extended) {
    DdManager* const m = c.mgr;
    DdNode* const var = c.ip.at(static_cast<size_t>(g));
    const bddHandle& f = c.network.next.at(static_cast<size_t>(g));
    const bddHandle whenOn = bddResult(m, Cudd_bddAndAbstract(m, f.get(), var, var));
    const bddHandle whenOff = bddResult(m, Cudd_bddAndAbstract(m, f.get(), Cudd_Not(var), var));
    // The settings under which some state of A makes `condition` true.
    auto settingsWhere = [&](DdNode* condition) {
        std::vector<int> genes = supportOf(m, a.states.get());
        for (const int r : supportOf(m, condition)) genes.push_back(r);
        genes.erase(std::remove_if(genes.begin(), genes.end(), isInput), genes.end());
        std::sort(genes.begin(), genes.end());
        genes.erase(std::unique(genes.begin(), genes.end()), genes.end());
        const bddHandle cube = cubeOfIndices(m, genes);
        return bddResult(m, Cudd_bddAndAbstract(m, a.states.get(), condition, cube.get()));
    };
    const bddHandle canFall = settingsWhere(Cudd_Not(whenOn.get()));
    const bddHandle canRise = settingsWhere(whenOff.get());
    auto add = [&](DdNode* settings, DdNode* gene) {
        bddHandle under = bddResult(m, Cudd_bddAnd(m, a.settings.get(), settings));
        if (under.get() == Cudd_ReadLogicZero(m)) return;
        bddHandle states = bddResult(m, Cudd_bddAnd(m, a.states.get(), under.get()));
        states = bddResult(m, Cudd_bddAnd(m, states.get(), gene));
        extended.push_back({std::move(under), std::move(states)});
    };
    const bddHandle both = bddResult(m, Cudd_bddAnd(m, canFall.get(), canRise.get()));
    const bddHandle fallOnly =
        bddResult(m, Cudd_bddAnd(m, canFall.get(), Cudd_Not(canRise.get())));
    const bddHandle riseOnly =
        bddResult(m, Cudd_bddAnd(m, Cudd_Not(canFall.get()), canRise.get()));
    const bddHandle neither =
        bddResult(m, Cudd_bddAnd(m, Cudd_Not(canFall.get()), Cudd_Not(canRise.get())));
    add(both.get(), Cudd_ReadOne(m));
    add(fallOnly.get(), Cudd_Not(var));
    add(riseOnly.get(), var);
    add(neither.get(), Cudd_Not(var));
    add(neither.get(), var);
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
        into->settings = bddResult(m, Cudd_bddOr(m, into->settings.get(), p.settings.get()));
        into->states = bddResult(m, Cudd_bddOr(m, into->states.get(), p.states.get()));
    }
    return joined;
}

// The grouping: splits the input space on an input variable only where some
// pair (restricted to the current cube) still depends on it; at a leaf every
// pair left holds for the whole cube, and the set of their states (no input
// in their support) is the outcome of every setting of the cube.
struct outcomeGrouping {
    DdManager* mgr;
    std::vector<DdNode*>& ip;
    std::vector<int> inputsTopDown;
    std::map<std::vector<DdNode*>, size_t> byAttractors;
    std::vector<inputOutcome> outcomes;

    void split(const std::vector<settingsPart>& pairs, const bddHandle& cube) {
        std::vector<int> used;
        for (const settingsPart& p : pairs) {
            for (const int v : supportOf(mgr, p.settings.get())) used.push_back(v);
            for (const int v : supportOf(mgr, p.states.get())) used.push_back(v);
        }
        std::sort(used.begin(), used.end());
        const auto splitter = std::find_if(
            inputsTopDown.begin(), inputsTopDown.end(),
            [&](int x) { return std::binary_search(used.begin(), used.end(), x); });
        if (splitter == inputsTopDown.end()) {
            addLeaf(pairs, cube);
            return;
        }
        DdNode* const var = ip[static_cast<size_t>(*splitter)];
        for (const bool value : {false, true}) {
            std::vector<settingsPart> restricted;
            for (const settingsPart& p : pairs) {
                bddHandle settings = cofactor(mgr, p.settings, var, value);
                if (settings.get() == Cudd_ReadLogicZero(mgr)) continue;
                restricted.push_back({std::move(settings), cofactor(mgr, p.states, var, value)});
            }
            const bddHandle literal(mgr, value ? var : Cudd_Not(var));
            split(restricted, bddResult(mgr, Cudd_bddAnd(mgr, cube.get(), literal.get())));
        }
    }

    void addLeaf(const std::vector<settingsPart>& pairs, const bddHandle& cube) {
        bddArray attractors;
        for (const settingsPart& p : pairs) attractors.push_back(p.states);
        std::sort(attractors.begin(), attractors.end(),
                  [](const bddHandle& a, const bddHandle& b) { return a.get() < b.get(); });
        attractors.erase(std::unique(attractors.begin(), attractors.end()), attractors.end());
        const std::vector<DdNode*> key = lentNodes(attractors);
        const auto known = byAttractors.find(key);
        if (known != byAttractors.end()) {
            bddHandle& settings = outcomes[known->second].settings;
            settings = bddResult(mgr, Cudd_bddOr(mgr, settings.get(), cube.get()));
            return;
        }
        byAttractors.emplace(key, outcomes.size());
        outcomes.push_back({cube, std::move(attractors)});
    }
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

std::vector<inputOutcome> compInputOutcomes(DdManager* mgr, std::vector<DdNode*>& op,
                                            std::vector<DdNode*>& ip, DdNode* inpCubeFwd,
                                            DdNode* inpCubeBwd, DdNode* topSame, int nInpVar,
                                            const levelArray& sccTopoLvl,
                                            const std::vector<int>& inputs) {
    const networkFunctions network = readNetworkFunctions(mgr, op, ip, nInpVar);

    const compositionInputs c{mgr, op, ip, inpCubeFwd, inpCubeBwd, topSame, nInpVar, network};
    const auto isInput = [&](int g) { return std::binary_search(inputs.begin(), inputs.end(), g); };
    std::vector<settingsPart> part;
    part.push_back({bddOne(mgr), bddOne(mgr)});
    int cnt = 0;
    for (size_t i = 0; i < sccTopoLvl.size(); ++i) {
        for (size_t j = 0; j < sccTopoLvl[i].size(); ++j) {
            const sccTopo& block = sccTopoLvl[i][j];
            ++cnt;
            std::vector<int> moving;
            for (const int g : block.geneName)
                if (!isInput(g)) moving.push_back(g);
            if (moving.empty()) continue;  // inputs only: their settings are the parameters
            std::cout << "now computing scc number " << cnt << std::endl;
            std::sort(moving.begin(), moving.end());
            std::vector<settingsPart> extended;
            if (moving.size() == 1) {
                for (const settingsPart& a : part)
                    extendByOneGene(c, a, moving[0], isInput, extended);
                part = joinDisjoint(mgr, std::move(extended));
                std::cout << part.size() << " attractors over settings so far" << std::endl;
                continue;
            }
            // Searches by the fragment's genes, then by the held values and
            // the domain (which together fix the search).
            std::map<std::vector<int>, nodeMemo<std::vector<paramAttractor>>> byView;
            for (const settingsPart& a : part) {
                const pairView view = viewOf(c, moving, a, isInput);
                const bddHandle key =
                    bddResult(mgr, Cudd_bddAnd(mgr, view.values.get(), view.domain.get()));
                const std::vector<paramAttractor>& found =
                    byView[view.genes].find(key, [&] { return searchView(c, view, isInput); });
                for (const paramAttractor& d : found) {
                    bddHandle settings =
                        bddResult(mgr, Cudd_bddAnd(mgr, a.settings.get(), d.settings.get()));
                    if (settings.get() == Cudd_ReadLogicZero(mgr)) continue;
                    extended.push_back(
                        {std::move(settings),
                         bddResult(mgr, Cudd_bddAnd(mgr, a.states.get(), d.states.get()))});
                }
            }
            part = joinDisjoint(mgr, std::move(extended));
            std::cout << part.size() << " attractors over settings so far" << std::endl;
        }
    }

    outcomeGrouping grouping{mgr, ip, inputs, {}, {}};
    std::sort(grouping.inputsTopDown.begin(), grouping.inputsTopDown.end(),
              [mgr](int a, int b) { return Cudd_ReadPerm(mgr, a) < Cudd_ReadPerm(mgr, b); });
    grouping.split(part, bddOne(mgr));
    std::cout << grouping.outcomes.size() << " outcomes" << std::endl;
    return std::move(grouping.outcomes);
}
