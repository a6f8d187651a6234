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

// A fragment of at least this many moving genes with up to this many
// settings is searched once per setting (the search of the plain
// composition, whose walks find the attractors of a large block sooner);
// otherwise once for all settings.
constexpr size_t kLargeFragment = 12;
constexpr double kSettingsSearchedApart = 8;

// The attractors of the fragment `moving`, whose next-state functions are
// `functions` (parallel to moving; they read the fragment and the inputs
// `parameters`, ascending), inside `domain` (over the fragment and the
// parameters), for every setting of the parameters (see compParamAttractors).
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
    bddHandle settings = bddResult(
        m, Cudd_bddExistAbstract(m, domain.get(), cubeOfIndices(m, moving).get()));
    const double count =
        Cudd_CountMinterm(m, settings.get(), static_cast<int>(parameters.size()));
    if (count > kSettingsSearchedApart || moving.size() < kLargeFragment) {
        std::vector<DdNode*> relations(static_cast<size_t>(c.nInpVar), nullptr);
        const rawNodesGuard relationsOwned(m, relations);
        for (size_t k = 0; k < moving.size(); ++k)
            relations[static_cast<size_t>(moving[k])] = relationOf(moving[k], functions[k]).release();
        const fragAsync frag{m, relations, c.ip, moving, c.inpCubeFwd, c.inpCubeBwd, c.topSame,
                             c.nInpVar};
        return compParamAttractors(frag, domain);
    }
    // Setting by setting: the functions with the parameters' values put in
    // make the fragment autonomous, as in the plain composition.
    const bddHandle parameterCube = cubeOfIndices(m, parameters);
    std::vector<paramAttractor> found;
    while (settings.get() != Cudd_ReadLogicZero(m)) {
        const bddHandle point = bddHandle::adopt(
            m, pickMinterm(m, settings.get(), c.ip, parameters, c.nInpVar, 0));
        settings = bddResult(m, Cudd_bddAnd(m, settings.get(), Cudd_Not(point.get())));
        // Exact for a point: f AND p keeps f's value at p, the abstraction
        // drops the parameters' variables.
        const auto atPoint = [&](const bddHandle& f) {
            return bddResult(m, Cudd_bddAndAbstract(m, f.get(), point.get(), parameterCube.get()));
        };
        const bddHandle space = atPoint(domain);
        const bddHandle spaceNext =
            bddHandle::adopt(m, swapCurrentAndNext(m, space.get(), c.ip, c.nInpVar));
        networkFunctions record = c.network;
        std::vector<DdNode*> relations(static_cast<size_t>(c.nInpVar), nullptr);
        const rawNodesGuard relationsOwned(m, relations);
        for (size_t k = 0; k < moving.size(); ++k) {
            const size_t at = static_cast<size_t>(moving[k]);
            record.next[at] = atPoint(functions[k]);
            record.regulators[at] = supportOf(m, record.next[at].get());
            // Confined to the setting's part of the domain on both sides of
            // every step; the search narrows these copies.
            const bddHandle here = bddResult(
                m, Cudd_bddAnd(m, relationOf(moving[k], record.next[at]).get(), space.get()));
            relations[at] = bddResult(m, Cudd_bddAnd(m, here.get(), spaceNext.get())).release();
        }
        std::vector<DdNode*> attractors;
        const rawNodesGuard attractorsOwned(m, attractors);
        if (!chkConstantAsync(relations, moving))
            compSteadyAsync(m, relations, c.ip, c.inpCubeFwd, c.inpCubeBwd, moving, c.topSame,
                            c.nInpVar, attractors, HUGE_VAL, &record);
        for (DdNode* a : attractors)
            found.push_back({point, bddResult(m, Cudd_bddAnd(m, a, point.get()))});
    }
    return found;
}

// The block's moving genes alone, with the other non-input genes they read
// (cube `heldCube`) held at one valuation per setting: `held` (over them and
// the inputs) holds exactly one of their valuations for each setting. Their
// functions with the held genes replaced by those values read the block and
// the inputs `parameters`, searched over `settings`.
std::vector<paramAttractor> searchBlockHeld(const compositionInputs& c,
                                            const std::vector<int>& moving,
                                            const std::vector<int>& parameters,
                                            const bddHandle& heldCube, const bddHandle& held,
                                            const bddHandle& settings) {
    DdManager* const m = c.mgr;
    bddArray functions;
    // Exact since each setting has one held valuation: f AND held keeps f's
    // value there, the abstraction drops the held variables.
    for (const int g : moving)
        functions.push_back(bddResult(m, Cudd_bddAndAbstract(m, c.network.next[static_cast<size_t>(g)].get(),
                                                            held.get(), heldCube.get())));
    return searchParam(c, moving, functions, parameters, settings);
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

// f with the input variable `var` set to `value`.
bddHandle cofactor(DdManager* m, const bddHandle& f, DdNode* var, bool value) {
    return bddResult(m, Cudd_bddAndAbstract(m, f.get(), value ? var : Cudd_Not(var), var));
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
            // What the moving genes read outside themselves: other genes,
            // held or moving (`held`), and inputs (`parameters`).
            std::vector<int> held, parameters;
            for (const int g : moving)
                for (const int r : network.regulators.at(static_cast<size_t>(g))) {
                    if (isInput(r))
                        parameters.push_back(r);
                    else if (!std::binary_search(moving.begin(), moving.end(), r))
                        held.push_back(r);
                }
            for (std::vector<int>* list : {&held, &parameters}) {
                std::sort(list->begin(), list->end());
                list->erase(std::unique(list->begin(), list->end()), list->end());
            }
            const bddHandle heldCube = cubeOfIndices(mgr, held);
            const std::vector<int> heldTopDown = sortTopDown(mgr, held);
            std::vector<int> heldAndInputs(held);
            heldAndInputs.insert(heldAndInputs.end(), inputs.begin(), inputs.end());
            std::sort(heldAndInputs.begin(), heldAndInputs.end());
            std::vector<int> fragmentMoving, fragmentInputs, outsideBlock;
            nodeMemo<std::vector<paramAttractor>> byHeld, byAncestors;
            std::vector<settingsPart> extended;
            if (moving.size() == 1) {
                for (const settingsPart& a : part)
                    extendByOneGene(c, a, moving[0], isInput, extended);
                part = std::move(extended);
                std::cout << part.size() << " attractors over settings so far" << std::endl;
                continue;
            }
            for (const settingsPart& a : part) {
                // The held genes' values with the settings they occur under.
                const bddHandle v = projectOnto(a.states, heldAndInputs);
                const std::vector<paramAttractor>* found = nullptr;
                if (compLeastPerSetting(v, ip, heldTopDown, heldCube) == v) {
                    // One held valuation per setting: the block runs alone.
                    // Its parameters are the inputs it reads and those the
                    // held values depend on.
                    std::vector<int> blockParameters(parameters);
                    for (const int x : supportOf(mgr, v.get()))
                        if (isInput(x)) blockParameters.push_back(x);
                    std::sort(blockParameters.begin(), blockParameters.end());
                    blockParameters.erase(
                        std::unique(blockParameters.begin(), blockParameters.end()),
                        blockParameters.end());
                    const bddHandle settings = projectOnto(a.settings, blockParameters);
                    const bddHandle key =
                        bddResult(mgr, Cudd_bddAnd(mgr, v.get(), settings.get()));
                    found = &byHeld.find(key, [&] {
                        return searchBlockHeld(c, moving, blockParameters, heldCube, v,
                                               settings);
                    });
                } else {
                    if (fragmentMoving.empty()) {
                        std::vector<int> fragment;
                        makeVectorGene(sccTopoLvl, static_cast<int>(i), static_cast<int>(j),
                                       fragment);
                        for (const int g : uniqueGenes(fragment)) {
                            (isInput(g) ? fragmentInputs : fragmentMoving).push_back(g);
                            if (!std::binary_search(moving.begin(), moving.end(), g))
                                outsideBlock.push_back(g);
                        }
                        std::sort(outsideBlock.begin(), outsideBlock.end());
                    }
                    // The ancestors' part of A (with the inputs they read):
                    // closed under their steps, so the fragment's search stays
                    // inside it.
                    const bddHandle inAncestors = projectOnto(a.states, outsideBlock);
                    found = &byAncestors.find(inAncestors, [&] {
                        bddArray functions;
                        for (const int g : fragmentMoving)
                            functions.push_back(c.network.next[static_cast<size_t>(g)]);
                        return searchParam(c, fragmentMoving, functions, fragmentInputs,
                                           inAncestors);
                    });
                }
                for (const paramAttractor& d : *found) {
                    bddHandle settings =
                        bddResult(mgr, Cudd_bddAnd(mgr, a.settings.get(), d.settings.get()));
                    if (settings.get() == Cudd_ReadLogicZero(mgr)) continue;
                    extended.push_back(
                        {std::move(settings),
                         bddResult(mgr, Cudd_bddAnd(mgr, a.states.get(), d.states.get()))});
                }
            }
            part = std::move(extended);
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
