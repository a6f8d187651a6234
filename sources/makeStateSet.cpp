// The set of explicit states as one BDD: the states, sorted in the order of
// the variables, are the leaves of a trie, and the trie is folded bottom up
// while the sorted list is read, into a table of distinct nodes (the reduced
// diagram): a state shares with the one before it every node above their
// first difference, so only the nodes below it are made, each looked up in
// the table first. Then the diagram is made in the engine, one node per
// distinct node, children before parents (each node as (x AND high) OR
// (NOT x AND low), x above both children: two conjunctions and a
// disjunction that each make one node).
//
// A union of one cube per state instead makes every cube (as many nodes as
// genes each) and then merges ever larger sets: the cost of an attractor of
// a few thousand states over a few thousand genes went into the union.
#include "makeStateSet.h"

#include <algorithm>
#include <numeric>

#include "bddHandle.h"

namespace {

// A node of the folded trie: the depth of its variable (0 at the top) and
// its children, as node numbers: 0 the empty set, 1 the set of the empty
// suffix, from 2 on entries of `made`.
struct trieNode {
    size_t depth;
    size_t low, high;
    bool operator==(const trieNode& other) const {
        return depth == other.depth && low == other.low && high == other.high;
    }
};

struct trieNodeHash {
    size_t operator()(const trieNode& n) const {
        uint64_t h = n.depth * 0x9e3779b97f4a7c15ULL;
        h ^= n.low + 0x7f4a7c159e3779b9ULL + (h << 6) + (h >> 2);
        h ^= n.high + 0x94d049bb133111ebULL + (h << 6) + (h >> 2);
        return static_cast<size_t>(h ^ (h >> 31));
    }
};

// The distinct nodes, numbered in the order made (children first), found
// through an open-addressing table of node numbers. A fold looks up a node
// per bit of every state, most of them already made, so the look-up must not
// allocate: a node-based map spent most of the time of large rings in
// allocation and hashing.
struct trieTable {
    std::vector<trieNode> made;
    std::vector<size_t> slots = std::vector<size_t>(1024, 0);  // node number, 0 when empty

    // The node with these children: reduced (equal children give the child)
    // and shared (one number per distinct node).
    size_t node(size_t depth, size_t low, size_t high) {
        if (low == high) return low;
        const trieNode key{depth, low, high};
        const size_t mask = slots.size() - 1;
        for (size_t at = slotOf(key);; at = (at + 1) & mask) {
            const size_t number = slots[at];
            if (number == 0) break;
            if (made[number - 2] == key) return number;
        }
        made.push_back(key);
        const size_t number = made.size() + 1;
        if (2 * made.size() > slots.size()) {
            grow();
        } else {
            place(number);
        }
        return number;
    }

private:
    // The first slot to probe for `key`.
    size_t slotOf(const trieNode& key) const { return trieNodeHash{}(key) & (slots.size() - 1); }
    void place(size_t number) {
        const size_t mask = slots.size() - 1;
        size_t at = slotOf(made[number - 2]);
        while (slots[at] != 0) at = (at + 1) & mask;
        slots[at] = number;
    }
    // Doubles the table and places every node again (the table stays at most
    // half full, so probes stay short).
    void grow() {
        slots.assign(2 * slots.size(), 0);
        for (size_t number = 2; number < made.size() + 2; ++number) place(number);
    }
};

// The states' bits in the order of the variables: row p holds bit d (depth
// d) at bit d % 64 of word d / 64.
struct levelRows {
    size_t words;
    std::vector<uint64_t> bits;
    const uint64_t* row(size_t p) const { return bits.data() + p * words; }
    bool bit(size_t p, size_t d) const { return (row(p)[d / 64] >> (d % 64)) & 1U; }
};

// The depth of the first difference of rows a and b, and whether a's bit
// there is 0 (a sorts first); depth `depths` when they are equal.
size_t firstDifference(const levelRows& r, size_t a, size_t b, size_t depths, bool& aFirst) {
    const uint64_t* x = r.row(a);
    const uint64_t* y = r.row(b);
    for (size_t w = 0; w < r.words; ++w) {
        const uint64_t differ = x[w] ^ y[w];
        if (differ == 0) continue;
        const size_t at = static_cast<size_t>(__builtin_ctzll(differ));
        aFirst = ((x[w] >> at) & 1U) == 0;
        return w * 64 + at;
    }
    aFirst = false;
    return depths;
}

}  // namespace

bddHandle makeStateSet(DdManager* mgr, const std::vector<DdNode*>& ip,
                       const std::vector<int>& columnGene, const packedStateRows& rows) {
    if (rows.count == 0) return bddZero(mgr);
    // The columns taken, from the top of the variable order down.
    std::vector<size_t> columns;
    for (size_t c = 0; c < columnGene.size(); ++c)
        if (columnGene[c] >= 0) columns.push_back(c);
    auto levelOf = [&](size_t c) {
        return Cudd_ReadPerm(mgr, Cudd_NodeReadIndex(ip[static_cast<size_t>(columnGene[c])]));
    };
    std::stable_sort(columns.begin(), columns.end(),
                     [&](size_t a, size_t b) { return levelOf(a) < levelOf(b); });
    const size_t depths = columns.size();
    levelRows level{std::max<size_t>(1, (depths + 63) / 64), {}};
    level.bits.assign(rows.count * level.words, 0);
    for (size_t p = 0; p < rows.count; ++p) {
        const uint64_t* source = rows.bits + p * rows.words;
        uint64_t* target = level.bits.data() + p * level.words;
        for (size_t d = 0; d < depths; ++d)
            if ((source[columns[d] / 64] >> (columns[d] % 64)) & 1U)
                target[d / 64] |= uint64_t{1} << (d % 64);
    }
    std::vector<size_t> order(rows.count);
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        bool aFirst = false;
        firstDifference(level, a, b, depths, aFirst);
        return aFirst;
    });

    // The open path of the trie: at depth d, the branch the current state
    // takes (bit), and the finished child on the other side (low, when the
    // current state takes the high branch), 0 when none.
    trieTable table;
    std::vector<char> branch(depths, 0);
    std::vector<size_t> finishedLow(depths, 0);
    auto openFrom = [&](size_t p, size_t from) {
        for (size_t d = from; d < depths; ++d) {
            branch[d] = level.bit(p, d) ? 1 : 0;
            finishedLow[d] = 0;
        }
    };
    // Folds the open path from the bottom up to depth `top` (inclusive) and
    // gives the node at depth `top`.
    auto foldDownTo = [&](size_t top) {
        size_t child = 1;
        for (size_t d = depths; d-- > top;)
            child = branch[d] ? table.node(d, finishedLow[d], child) : table.node(d, child, 0);
        return child;
    };
    openFrom(order[0], 0);
    for (size_t i = 1; i < rows.count; ++i) {
        bool previousFirst = false;
        const size_t split = firstDifference(level, order[i - 1], order[i], depths, previousFirst);
        if (split == depths) continue;  // the same state again
        // Below `split` the previous state's path is finished; at `split`
        // it was the low branch (the list is sorted) and the new state
        // takes the high one.
        finishedLow[split] = foldDownTo(split + 1);
        branch[split] = 1;
        openFrom(order[i], split + 1);
    }
    const size_t root = foldDownTo(0);

    // The diagram in the engine, children before parents.
    bddArray made;
    made.reserve(table.made.size() + 2);
    made.push_back(bddZero(mgr));
    made.push_back(bddOne(mgr));
    for (const trieNode& n : table.made) {
        DdNode* var = ip[static_cast<size_t>(columnGene[columns[n.depth]])];
        const bddHandle high = bddResult(mgr, Cudd_bddAnd(mgr, var, made[n.high].get()));
        const bddHandle low = bddResult(mgr, Cudd_bddAnd(mgr, Cudd_Not(var), made[n.low].get()));
        made.push_back(bddResult(mgr, Cudd_bddOr(mgr, high.get(), low.get())));
    }
    return made[root];
}
