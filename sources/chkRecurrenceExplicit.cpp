// The recurrence test over explicit states: the forward set of one state,
// breadth first, and whether every state of it leads back.
#include "chkRecurrenceExplicit.h"

#include <string>
#include <unordered_map>

#include "compWalkExplicit.h"
#include "util.h"

namespace {

// The union of `sets`, joined two by two (each union then joins sets of like
// size, instead of adding one set at a time to a set that keeps growing).
bddHandle uniteInPairs(DdManager* mgr, bddArray sets) {
    while (sets.size() > 1) {
        bddArray joined;
        joined.reserve((sets.size() + 1) / 2);
        for (size_t k = 0; k + 1 < sets.size(); k += 2)
            joined.push_back(bddResult(mgr, Cudd_bddOr(mgr, sets[k].get(), sets[k + 1].get())));
        if (sets.size() % 2 == 1) joined.push_back(std::move(sets.back()));
        sets = std::move(joined);
    }
    return sets.empty() ? bddZero(mgr) : std::move(sets[0]);
}

// Holds automatic reordering back while it lives.
class reorderingHeld {
public:
    explicit reorderingHeld(DdManager* mgr) : mgr_(mgr) {
        held_ = Cudd_ReorderingStatus(mgr_, &method_) == 1;
        if (held_) Cudd_AutodynDisable(mgr_);
    }
    ~reorderingHeld() {
        if (held_) Cudd_AutodynEnable(mgr_, method_);
    }
    reorderingHeld(const reorderingHeld&) = delete;
    reorderingHeld& operator=(const reorderingHeld&) = delete;

private:
    DdManager* mgr_;
    Cudd_ReorderingType method_ = CUDD_REORDER_SIFT;
    bool held_ = false;
};

}  // namespace

int explicitRecurrence(const fragAsync& frag, const networkFunctions& network, DdNode* state,
                       size_t maxStates, bddHandle& attractor) {
    DdManager* mgr = frag.mgr;
    const functionWalk f = makeFunctionWalk(frag, network);
    const size_t n = f.m.genes.size();
    // The forward set, breadth first; index[values] is a state's place and
    // nextValues[place] the value of every f_g there. A successor differs
    // from its state in one gene, so only the functions that read that gene
    // are evaluated again.
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    DdNode* one = Cudd_ReadOne(mgr);
    auto evaluate = [&](size_t k) -> char {
        DdNode* value = Cudd_Eval(mgr, f.m.moves[k].get(), inputs.data());
        if (value == nullptr) raiseFatal("evaluation of a next-state function failed");
        return value == one ? 1 : 0;
    };
    auto load = [&](const std::string& values) {
        for (size_t k = 0; k < n; ++k) inputs[static_cast<size_t>(f.w.current[k])] = values[k];
    };
    std::vector<std::string> states(1);
    {
        const std::vector<char> first = valuesOf(frag, f, state);
        states[0].assign(first.begin(), first.end());
    }
    std::vector<std::string> nextValues(1, std::string(n, '\0'));
    load(states[0]);
    for (size_t k = 0; k < n; ++k) nextValues[0][k] = evaluate(k);
    std::unordered_map<std::string, size_t> index{{states[0], 0}};
    std::vector<std::vector<size_t>> predecessors(1);
    for (size_t at = 0; at < states.size(); ++at) {
        for (size_t k = 0; k < n; ++k) {
            if (nextValues[at][k] == states[at][k]) continue;
            std::string next = states[at];
            next[k] = static_cast<char>(1 - next[k]);
            auto [place, added] = index.emplace(next, states.size());
            if (added) {
                if (states.size() == maxStates) return -1;
                std::string values = nextValues[at];
                load(next);
                for (size_t d : f.w.dependents[k]) values[d] = evaluate(d);
                states.push_back(next);
                nextValues.push_back(values);
                predecessors.emplace_back();
            }
            predecessors[place->second].push_back(at);
        }
    }
    // Recurrent exactly when every state of the forward set leads back.
    std::vector<char> back(states.size(), 0);
    std::vector<size_t> queue{0};
    back[0] = 1;
    for (size_t q = 0; q < queue.size(); ++q)
        for (size_t p : predecessors[queue[q]])
            if (!back[p]) {
                back[p] = 1;
                queue.push_back(p);
            }
    if (queue.size() != states.size()) return 0;
    // The set: the genes that keep one value throughout make one cube; the
    // others make a cube per state, joined two by two. In an attractor of a
    // large fragment most genes keep their value, so the cubes per state stay
    // short. Automatic reordering is held back meanwhile: the cubes make many
    // short-lived nodes, which would start sifting over every variable.
    std::vector<char> varies(n, 0);
    for (const std::string& s : states)
        for (size_t k = 0; k < n; ++k)
            if (s[k] != states[0][k]) varies[k] = 1;
    auto cubeOfGenes = [&](const std::string& s, bool varying) {
        std::vector<char> literals(static_cast<size_t>(frag.nInpVar), 2);
        for (size_t k = 0; k < n; ++k)
            if (varies[k] == (varying ? 1 : 0))
                literals[static_cast<size_t>(f.m.genes[k])] = s[k];
        return bddHandle::adopt(mgr, makeBdd(mgr, frag.ip, literals.data(), frag.nInpVar));
    };
    const reorderingHeld held(mgr);
    bddArray cubes;
    cubes.reserve(states.size());
    for (const std::string& s : states) cubes.push_back(cubeOfGenes(s, true));
    const bddHandle varying = uniteInPairs(mgr, std::move(cubes));
    const bddHandle fixed = cubeOfGenes(states[0], false);
    attractor = bddResult(mgr, Cudd_bddAnd(mgr, varying.get(), fixed.get()));
    return 1;
}
