// The recurrence test over explicit states: the forward set of one state,
// breadth first, and whether every state of it leads back.
#include "chkRecurrenceExplicit.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <unordered_set>

#include "bddHelpers.h"
#include "compWalkExplicit.h"
#include "makeStateSet.h"
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
    void dropLast() { bits.resize(bits.size() - words); }
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
    std::unordered_set<size_t, stateIndex::hash, stateIndex::equal> places(64, index.byHash,
                                                                           index.byWords);
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
    // The set: the genes that keep one value throughout make one cube, the
    // others the set of the states' values (makeStateSet). Automatic
    // reordering is held back meanwhile: the set is built level by level.
    std::vector<char> varies(n, 0);
    for (size_t p = 0; p < states.size(); ++p)
        for (size_t w = 0; w < states.words; ++w) {
            const uint64_t differ = states.at(p)[w] ^ states.at(0)[w];
            for (size_t b = 0; b < 64 && w * 64 + b < n; ++b)
                if ((differ >> b) & 1U) varies[w * 64 + b] = 1;
        }
    std::vector<int> varyingGenes(n, -1);
    std::vector<char> fixedLiterals(static_cast<size_t>(frag.nInpVar), 2);
    for (size_t k = 0; k < n; ++k) {
        if (varies[k])
            varyingGenes[k] = f.m.genes[k];
        else
            fixedLiterals[static_cast<size_t>(f.m.genes[k])] = getBit(states.at(0), k) ? 1 : 0;
    }
    const reorderingHeld held(mgr);
    const bddHandle varying =
        makeStateSet(mgr, frag.ip, varyingGenes,
                     packedStateRows{states.size(), states.words, states.bits.data()});
    const bddHandle fixed =
        bddHandle::adopt(mgr, makeBdd(mgr, frag.ip, fixedLiterals.data(), frag.nInpVar));
    attractor = bddResult(mgr, Cudd_bddAnd(mgr, varying.get(), fixed.get()));
    return 1;
}
