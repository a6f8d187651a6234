// The recurrence test over explicit states: the forward set of one state,
// breadth first, and whether every state of it leads back.
#include "chkRecurrenceExplicit.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <unordered_set>

#include "bddHelpers.h"
#include "compWalkExplicit.h"
#include "quorvelError.h"

namespace {

// States of n genes, each packed into `words` 64-bit words (at least one),
// one after the other in one array: no allocation per state.
struct packedStates {
    explicit packedStates(size_t n) : words(std::max<size_t>(1, (n + 63) / 64)) {}
    size_t words;
    std::vector<uint64_t> bits;
    size_t size() const { return bits.size() / words; }
    const uint64_t* at(size_t place) const { return bits.data() + place * words; }
    uint64_t* append() {
        bits.resize(bits.size() + words, 0);
        return bits.data() + bits.size() - words;
    }
    void dropLast() {
        bits.resize(bits.size() - words);
    }
    // Writes the state at `place` into `inputs`, gene k at index current[k].
    void load(size_t place, const std::vector<int>& current, std::vector<int>& inputs) const {
        for (size_t k = 0; k < current.size(); ++k)
            inputs[static_cast<size_t>(current[k])] = getBitOf(at(place), k) ? 1 : 0;
    }
    static bool getBitOf(const uint64_t* s, size_t k) { return (s[k / 64] >> (k % 64)) & 1U; }
};

bool getBit(const uint64_t* s, size_t k) { return packedStates::getBitOf(s, k); }

void setBit(uint64_t* s, size_t k, bool value) {
    const uint64_t mask = uint64_t{1} << (k % 64);
    s[k / 64] = value ? (s[k / 64] | mask) : (s[k / 64] & ~mask);
}

// Hashing and equality of places in a packedStates by the words stored
// there (the set of places never copies a state).
struct stateIndex {
    using hash = std::function<size_t(size_t)>;
    using equal = std::function<bool(size_t, size_t)>;
    hash byHash;
    equal byWords;
};

stateIndex makeStateIndex(const packedStates& states) {
    stateIndex index;
    index.byHash = [&states](size_t place) {
        uint64_t h = 0x9e3779b97f4a7c15ULL;
        for (size_t w = 0; w < states.words; ++w) {
            h ^= states.at(place)[w] + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
            h *= 0xff51afd7ed558ccdULL;
        }
        return static_cast<size_t>(h ^ (h >> 33));
    };
    index.byWords = [&states](size_t a, size_t b) {
        return std::equal(states.at(a), states.at(a) + states.words, states.at(b));
    };
    return index;
}

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
    // The forward set, breadth first: states.at(p) is the state at place p
    // and nextValues.at(p) the value of every f_g there, both packed. A
    // successor differs from its state in one gene, so only the functions
    // that read that gene are evaluated again.
    std::vector<int> inputs(static_cast<size_t>(Cudd_ReadSize(mgr)), 0);
    DdNode* one = Cudd_ReadOne(mgr);
    auto evaluate = [&](size_t k) -> bool {
        DdNode* value = Cudd_Eval(mgr, f.m.moves[k].get(), inputs.data());
        if (value == nullptr) raiseFatal("evaluation of a next-state function failed");
        return value == one;
    };
    packedStates states(n);
    packedStates nextValues(n);
    {
        const std::vector<char> first = valuesOf(frag, f, state);
        uint64_t* s = states.append();
        for (size_t k = 0; k < n; ++k) setBit(s, k, first[k] != 0);
        states.load(0, f.w.current, inputs);
        uint64_t* v = nextValues.append();
        for (size_t k = 0; k < n; ++k) setBit(v, k, evaluate(k));
    }
    // index: the places of the states, hashed and compared by their words;
    // a candidate is appended to `states` first and dropped again when it is
    // there already.
    const stateIndex index = makeStateIndex(states);
    std::unordered_set<size_t, stateIndex::hash, stateIndex::equal> places(
        64, index.byHash, index.byWords);
    places.insert(0);
    std::vector<std::vector<size_t>> predecessors(1);
    for (size_t at = 0; at < states.size(); ++at) {
        for (size_t k = 0; k < n; ++k) {
            if (getBit(nextValues.at(at), k) == getBit(states.at(at), k)) continue;
            const size_t candidate = states.size();
            uint64_t* next = states.append();
            std::copy(states.at(at), states.at(at) + states.words, next);
            setBit(next, k, !getBit(next, k));
            auto [place, added] = places.insert(candidate);
            if (!added) {
                states.dropLast();
            } else {
                if (candidate == maxStates) return -1;
                uint64_t* values = nextValues.append();
                std::copy(nextValues.at(at), nextValues.at(at) + nextValues.words, values);
                states.load(candidate, f.w.current, inputs);
                for (size_t d : f.w.dependents[k]) setBit(values, d, evaluate(d));
                predecessors.emplace_back();
            }
            predecessors[*place].push_back(at);
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
    for (size_t p = 0; p < states.size(); ++p)
        for (size_t k = 0; k < n; ++k)
            if (getBit(states.at(p), k) != getBit(states.at(0), k)) varies[k] = 1;
    auto cubeOfGenes = [&](const uint64_t* s, bool varying) {
        std::vector<char> literals(static_cast<size_t>(frag.nInpVar), 2);
        for (size_t k = 0; k < n; ++k)
            if (varies[k] == (varying ? 1 : 0))
                literals[static_cast<size_t>(f.m.genes[k])] = getBit(s, k) ? 1 : 0;
        return bddHandle::adopt(mgr, makeBdd(mgr, frag.ip, literals.data(), frag.nInpVar));
    };
    const reorderingHeld held(mgr);
    bddArray cubes;
    cubes.reserve(states.size());
    for (size_t p = 0; p < states.size(); ++p) cubes.push_back(cubeOfGenes(states.at(p), true));
    const bddHandle varying = uniteInPairs(mgr, std::move(cubes));
    const bddHandle fixed = cubeOfGenes(states.at(0), false);
    attractor = bddResult(mgr, Cudd_bddAnd(mgr, varying.get(), fixed.get()));
    return 1;
}
