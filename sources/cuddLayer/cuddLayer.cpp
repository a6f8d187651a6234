// CUDD's C API over one BuDDy kernel per process.
//
// Handles. A DdNode* is a tagged word that is never dereferenced:
//   bit 0            complement (Cudd_Not flips it)
//   bit 1            variable form: the payload is a variable index, not a
//                    BuDDy node; the projection functions always take this
//                    form, bound to a BuDDy variable or not yet
//   tag bits         owning manager: its slot and (on 64-bit hosts) the
//                    generation of that slot, so that handles of a quit
//                    manager are rejected (on 32-bit hosts, only until its
//                    slot is reused: slots are taken round-robin)
//   payload          BuDDy node number or variable index
// The constants are node 1: ONE uncomplemented, ZERO complemented; BuDDy's
// node 0 is never stored. BuDDy has no complement edges, so a complemented
// handle of node N stands for the negation of N without building it.
//
// References. BuDDy's reference counters saturate, so the layer keeps its
// own: per manager, the number of references on each node (for
// Cudd_CheckZeroRef and to detect releases without a reference), and per
// kernel, the number of managers that hold a node; BuDDy's counter is
// raised when that number goes from 0 to 1 and lowered when it returns to 0.
//
// Strictness. The layer refuses what CUDD cannot survive, as a fault of the
// manager (see noteFault) that Cudd_CheckZeroRef reports from then on, since
// CUDD's own accounting is left wrong by the same calls:
// - releasing a handle that holds no reference through that manager (CUDD:
//   a count below zero, a dead node that never dies);
// - an operand of a node-building operation that holds no reference (CUDD
//   may collect it while the operation runs);
// - Cudd_Ref on a node that holds no reference unless it is the manager's
//   fresh result: the result of its last node-building operation, with no
//   release on the manager since. CUDD collects unreferenced nodes during
//   any operation, and a release may kill the result when it lies in the
//   released graph (CUDD then finds its dead count wrong), so a result is
//   referenced before anything else is done on its manager.
//
// Variables. Index k names the same BuDDy variable in every manager. The
// BuDDy number of an index is bound lazily: Cudd_ShuffleHeap binds the
// unbound indices so that number == level, which keeps the current- and
// next-state variable of a gene on consecutive numbers, as BuDDy's
// reordering blocks (ranges of numbers) need. An operation that needs an
// unbound variable binds every unbound index in index order.
//
// Reordering. BuDDy only moves variables that belong to a block, so every
// bound variable outside the blocks made by Cudd_MakeTreeNode gets a block
// of its own before anything can reorder.
#include "cudd.h"

#include <bdd.h>
// bdd.h adds a C++ class and redirects some names to it when compiled as
// C++; the layer uses the plain C interface only.
#undef bdd_init
#undef bdd_ithvar
#undef bdd_nithvar
#undef bdd_makeset
#undef bdd_ibuildcube
#undef bdd_anodecount
#undef bddtrue
#undef bddfalse

#include <chrono>

#include <algorithm>
#include <iterator>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "memoryRoom.h"

// BuDDy's error condition (exported by libbdd, not declared in bdd.h): while
// it is set, a node request that finds no free node fails at once instead
// of collecting garbage again. bdd_clear_error resets it.
extern "C" int bdderrorcond;
// BuDDy's reference stack (exported by libbdd, not declared in bdd.h): the
// nodes an operation has built but not yet placed in the table's graph,
// which a garbage collection marks as live. Its recursive operations reserve
// an entry before they compute the node that fills it (PUSHREF(f(...)) bumps
// the stack top first, as compiled), and a collection during that
// computation marks whatever the entry still holds. bdd_setvarnum replaces
// the stack by a block fresh from malloc, so after the variable count grows
// (the layer binds variables as operations first use them) an entry can hold
// stale heap bytes that are no node number, and bdd_mark follows them out of
// the table: the crash of a reader building a function of thousands of
// variables, one new variable per operation. See sanitizeRefStack.
extern "C" int* bddrefstack;
extern "C" int* bddrefstacktop;

#pragma GCC visibility push(hidden)

namespace {

constexpr int kMaxManagers = 16;
constexpr int kSlotBits = 4;
#if UINTPTR_MAX > 0xFFFFFFFFu
constexpr int kGenerationBits = 16;
#else
constexpr int kGenerationBits = 0;
#endif
constexpr int kTagShift = 2;
constexpr int kPayloadShift = kTagShift + kSlotBits + kGenerationBits;
constexpr uintptr_t kComplementBit = 1;
constexpr uintptr_t kVarBit = 2;
constexpr uintptr_t kTagMask = ((uintptr_t(1) << (kSlotBits + kGenerationBits)) - 1) << kTagShift;
constexpr uintptr_t kMaxPayload =
    std::min<uintptr_t>(uintptr_t(INT_MAX), (UINTPTR_MAX >> kPayloadShift));

// The last results stay referenced in BuDDy until this many newer results
// exist, so that a result is valid until (at least) the next operation even
// when a collection or reordering runs before the caller references it.
constexpr int kRecentResults = 4;
// Bytes one BuDDy node costs with its share of the operation caches: 20 for
// the node and, in each of BuDDy's six caches of 24-byte entries, one entry
// per kNodesPerCacheEntry nodes (measured: 92 bytes per node).
constexpr size_t kBytesPerNode = 92;
constexpr int kNodesPerCacheEntry = 2;
// At the table's limit, a collection that leaves less than this share of it
// free fails the operation (see watchCollection).
constexpr double kMinFreeAtLimit = 0.05;
// Share of the memory the process may still take (compMemoryRoom) that the
// node table and caches may grow to; the rest stays for the analysis's own
// data and the result text.
constexpr double kEngineShare = 0.5;
// Largest growth of the node table at once (BuDDy's default, 50000 nodes,
// makes a large analysis resize hundreds of times).
constexpr int kMaxIncrease = 1 << 22;

uintptr_t bits(const DdNode* h) { return reinterpret_cast<uintptr_t>(h); }
DdNode* handleOf(uintptr_t w) { return reinterpret_cast<DdNode*>(w); }

int misuseCount = 0;

// A count per BuDDy node, in a vector indexed by node number: taking and
// releasing references is the hottest path of the layer (every handle of
// the analysis), and node numbers are dense, below the table's size.
// `held` is the number of nodes whose count is above zero.
struct nodeCounts {
    std::vector<unsigned> count;
    size_t held = 0;

    unsigned of(int node) const { return size_t(node) < count.size() ? count[size_t(node)] : 0; }
    // The new count.
    unsigned raise(int node) {
        if (size_t(node) >= count.size())
            count.resize(std::max(size_t(node) + 1, 2 * count.size()), 0);
        unsigned& c = count[size_t(node)];
        if (c++ == 0) ++held;
        return c;
    }
    // The new count; the node must have a count above zero.
    unsigned lower(int node) {
        unsigned& c = count[size_t(node)];
        if (--c == 0) --held;
        return c;
    }
};

}  // namespace

struct DdManager {
    int slot = 0;
    uintptr_t tag = 0;  // tag bits of this manager's handles, in place
    int size = 0;       // number of variables (indices 0..size-1)
    // References held through this manager.
    nodeCounts nodeRefs;            // BuDDy node (>= 2) -> count
    std::vector<unsigned> varRefs;  // variable index -> count
    unsigned constRefs = 0;
    // Faults of the calling code on this manager (see noteFault).
    mutable unsigned faults = 0;
    // The BuDDy node of the last result that may still be referenced
    // (0: none); held in BuDDy until replaced.
    mutable int fresh = 0;
    std::mt19937 rng{20240611u};
    // Time limit (Cudd_SetTimeLimit), in milliseconds of processor time.
    double startMs = 0;
    unsigned long timeLimitMs = 0;
    bool timeLimited = false;
    mutable Cudd_ErrorType errorCode = CUDD_NO_ERROR;
    // Cudd_RegisterTerminationCallback: asked at the end of every
    // node-building operation.
    DD_THFP terminationCallback = nullptr;
    void* terminationArg = nullptr;
};

namespace {

struct Block {
    int first;  // BuDDy variable numbers, first <= last
    int last;
    bool fixed;
};

struct LeqEntry {
    int f = -1;
    int g = -1;
    unsigned stamp = 0;
    bool result = false;
};

struct Kernel {
    bool running = false;
    DdManager* managers[kMaxManagers] = {};
    unsigned generation = 0;

    int indexCount = 0;           // indices created by any manager
    std::vector<int> varOfIndex;  // index -> BuDDy variable, -1 unbound
    std::vector<int> indexOfVar;  // BuDDy variable -> index

    std::vector<Block> blocks;  // groups made by Cudd_MakeTreeNode
    bool blocksDirty = false;

    std::map<std::vector<int>, bddPair*> swapPairs;  // x indices then y indices
    nodeCounts holders;                              // node -> managers holding it

    int recent[kRecentResults] = {};
    int recentPos = 0;

    int lastError = 0;
    int nodeLimit = 0;         // most nodes the table may grow to
    unsigned reorderings = 0;  // completed reorderings

    // Automatic sifting and what it has cost (see balanceReordering).
    bool autoSift = false;       // asked for by Cudd_AutodynEnable
    bool siftSuspended = false;  // held back because it cost too much
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point reorderBegan;
    double reorderSeconds = 0;

    std::vector<LeqEntry> leqCache;
    unsigned leqStamp = 0;

    // Support walks (collectSupport): a node or a variable is met in the
    // current walk when its mark equals supportStamp, so no walk clears or
    // allocates a visited set of its own. Two bytes per node of the table;
    // the marks are cleared once every 65,535 walks.
    std::vector<std::uint16_t> nodeMarks;
    std::vector<std::uint16_t> varMarks;
    std::uint16_t supportStamp = 0;
    std::vector<int> supportStack;
};

Kernel K;

void noteMisuse() { ++misuseCount; }

// A misuse that CUDD would not survive, on manager m: counted, and reported
// by Cudd_CheckZeroRef(m) as an outstanding reference from then on (with
// CUDD the counts of such a manager are wrong for good). The call itself is
// harmless here.
void noteFault(const DdManager* m) {
    noteMisuse();
    ++m->faults;
}

// Makes `node` manager m's fresh result (0: none).
void setFresh(const DdManager* m, int node) {
    if (node >= 2) bdd_addref(node);
    if (m->fresh >= 2) bdd_delref(m->fresh);
    m->fresh = node;
}

void recordError(int code) {
    if (K.lastError == 0) K.lastError = code;
}
// Before a collection marks the reference stack: an entry that holds no node
// number of the table (a reserved entry not yet written, see bddrefstack)
// is set to node 0, which marking ignores. A stale number of the table is
// harmless: a free node is skipped and a live one stays live a little longer.
// The reserved entry is written when its computation returns.
void sanitizeRefStack() {
    const int nodes = bdd_getallocnum();
    for (int* entry = bddrefstack; entry != nullptr && entry < bddrefstacktop; ++entry)
        if (*entry < 0 || *entry >= nodes) *entry = 0;
}

// After a collection: once the table has grown to its limit, a collection
// that leaves almost nothing free means that every few new nodes would cost
// another collection of the whole table, and the analysis would crawl for
// hours before the table is quite full. The operation fails instead, as at
// a full table. Before a collection, the reference stack is made safe.
void watchCollection(int before, bddGbcStat* stat) {
    if (before) {
        sanitizeRefStack();
        return;
    }
    if (stat == nullptr || K.nodeLimit == 0) return;
    // bdd_noderesize stops at a prime just below the limit.
    if (double(stat->nodes) < 0.99 * double(K.nodeLimit)) return;
    if (double(stat->freenodes) >= kMinFreeAtLimit * double(stat->nodes)) return;
    recordError(BDD_NODENUM);
    bdderrorcond = -BDD_NODENUM;
}
void silentResize(int, int) {}
double secondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

void countReorder(int before) {
    if (before) {
        K.reorderBegan = std::chrono::steady_clock::now();
        return;
    }
    ++K.reorderings;
    K.reorderSeconds += secondsSince(K.reorderBegan);
}

// Automatic sifting pays for itself while the functions stay small, but on
// large fragments one sifting pass over hundreds of variables can take
// seconds, and BuDDy starts the next one as soon as the live nodes have
// doubled. Sifting is therefore held back whenever it has taken more time
// than the rest of the work since the kernel started, and allowed again
// once the other work has caught up: at most half the time goes to
// reordering, and the order still adapts as the functions change.
void balanceReordering() {
    if (!K.autoSift) return;
    const double total = secondsSince(K.started);
    const bool over = K.reorderSeconds > total - K.reorderSeconds;
    if (over != K.siftSuspended) {
        bdd_autoreorder(over ? BDD_REORDER_NONE : BDD_REORDER_SIFT);
        K.siftSuspended = over;
    }
}

// True (and clears the condition) when BuDDy reported an error since the
// last check.
bool takeError() {
    if (K.lastError == 0) return false;
    K.lastError = 0;
    bdd_clear_error();
    return true;
}

bool liveManager(const DdManager* m) {
    if (m == nullptr) return false;
    for (DdManager* x : K.managers)
        if (x == m) return true;
    return false;
}

DdManager* managerOf(const DdNode* h) {
    uintptr_t w = bits(h);
    if (w == 0) return nullptr;
    int slot = int((w >> kTagShift) & ((uintptr_t(1) << kSlotBits) - 1));
    DdManager* m = K.managers[slot];
    if (m == nullptr || (w & kTagMask) != m->tag) return nullptr;
    return m;
}

DdNode* makeHandle(const DdManager* m, uintptr_t payload, bool varForm, bool complement) {
    return handleOf((payload << kPayloadShift) | m->tag | (varForm ? kVarBit : 0) |
                    (complement ? kComplementBit : 0));
}

DdNode* oneOf(const DdManager* m) { return makeHandle(m, 1, false, false); }
DdNode* zeroOf(const DdManager* m) { return makeHandle(m, 1, false, true); }

// ---- Variable binding ------------------------------------------------------

bool bindIndices(const std::vector<int>& indices) {
    if (indices.empty()) return true;
    int first = bdd_varnum();
    if (bdd_setvarnum(first + int(indices.size())) < 0 || takeError()) return false;
    for (size_t j = 0; j < indices.size(); ++j) {
        K.varOfIndex[indices[j]] = first + int(j);
        K.indexOfVar.push_back(indices[j]);
    }
    K.blocksDirty = true;
    return true;
}

bool bindAllInIndexOrder() {
    std::vector<int> unbound;
    for (int k = 0; k < K.indexCount; ++k)
        if (K.varOfIndex[k] < 0) unbound.push_back(k);
    return bindIndices(unbound);
}

int varOf(int index) {
    if (K.varOfIndex[index] < 0 && !bindAllInIndexOrder()) return -1;
    return K.varOfIndex[index];
}

void addIndices(DdManager* m, int newSize) {
    if (newSize <= m->size) return;
    m->size = newSize;
    m->varRefs.resize(size_t(newSize), 0);
    if (newSize > K.indexCount) {
        K.indexCount = newSize;
        K.varOfIndex.resize(size_t(newSize), -1);
    }
}

// Level of an index in the kernel order; unbound indices come after every
// bound variable, in index order.
int kernelLevel(int index) {
    if (K.varOfIndex[index] >= 0) return bdd_var2level(K.varOfIndex[index]);
    int level = bdd_varnum();
    for (int k = 0; k < index; ++k)
        if (K.varOfIndex[k] < 0) ++level;
    return level;
}

// The indices of manager m from the top level down.
std::vector<int> managerOrder(const DdManager* m) {
    std::vector<std::pair<int, int>> byLevel;
    for (int k = 0; k < m->size; ++k) byLevel.emplace_back(kernelLevel(k), k);
    std::sort(byLevel.begin(), byLevel.end());
    std::vector<int> order;
    for (auto& p : byLevel) order.push_back(p.second);
    return order;
}

// ---- Blocks ----------------------------------------------------------------

// True while the variables of b still sit on consecutive levels (in their
// numbering order for a fixed group).
bool levelContiguous(const Block& b) {
    int lo = INT_MAX, hi = -1;
    for (int v = b.first; v <= b.last; ++v) {
        int level = bdd_var2level(v);
        if (b.fixed && level != bdd_var2level(b.first) + (v - b.first)) return false;
        lo = std::min(lo, level);
        hi = std::max(hi, level);
    }
    return hi - lo == b.last - b.first;
}

// Gives BuDDy the recorded groups (outer before inner) and a block of its
// own to every other bound variable, so that sifting may move all of them.
void refreshBlocks() {
    if (!K.blocksDirty) return;
    K.blocksDirty = false;
    bdd_clrvarblocks();
    std::vector<Block> kept;
    for (const Block& b : K.blocks)
        if (levelContiguous(b)) kept.push_back(b);
    K.blocks = kept;
    std::vector<Block> ordered = kept;
    std::stable_sort(ordered.begin(), ordered.end(), [](const Block& a, const Block& b) {
        return a.last - a.first > b.last - b.first;
    });
    int nvars = bdd_varnum();
    std::vector<char> covered(size_t(nvars), 0);
    for (const Block& b : ordered) {
        bdd_intaddvarblock(b.first, b.last, b.fixed ? BDD_REORDER_FIXED : BDD_REORDER_FREE);
        for (int v = b.first; v <= b.last; ++v) covered[size_t(v)] = 1;
    }
    for (int v = 0; v < nvars; ++v)
        if (!covered[size_t(v)]) bdd_intaddvarblock(v, v, BDD_REORDER_FREE);
    takeError();
}

// ---- Operands and results ----------------------------------------------------

struct Operand {
    int node = 1;  // BuDDy node
    bool complement = false;
};

// Decodes a handle of manager m into a BuDDy node. With `building` set, an
// operand that is neither referenced through m nor the result of one of the
// last operations is counted as misuse (the engine may collect it).
bool resolve(const DdManager* m, const DdNode* h, Operand& out, bool building) {
    uintptr_t w = bits(h);
    if (w == 0 || (w & kTagMask) != m->tag) {
        noteFault(m);
        return false;
    }
    uintptr_t payload = w >> kPayloadShift;
    out.complement = (w & kComplementBit) != 0;
    if (w & kVarBit) {
        if (payload >= uintptr_t(m->size)) {
            noteFault(m);
            return false;
        }
        int v = varOf(int(payload));
        if (v < 0) return false;
        out.node = bdd_ithvar(v);
        return true;
    }
    if (payload == 0 || payload >= uintptr_t(bdd_getallocnum())) {
        noteFault(m);
        return false;
    }
    out.node = int(payload);
    if (building && out.node >= 2 && m->nodeRefs.of(out.node) == 0) noteFault(m);
    return true;
}

void remember(int node) {
    int& slot = K.recent[K.recentPos];
    K.recentPos = (K.recentPos + 1) % kRecentResults;
    if (slot >= 2) bdd_delref(slot);
    slot = node;
    if (node >= 2) bdd_addref(node);
}

// The handle of manager m for BuDDy node `node` (complemented when asked).
// Projection functions come back in variable form.
DdNode* encode(const DdManager* m, int node, bool complement) {
    if (node == 0) {
        node = 1;
        complement = !complement;
    }
    if (node == 1) return makeHandle(m, 1, false, complement);
    int v = bdd_var(node);
    if (v >= 0 && v < int(K.indexOfVar.size())) {
        if (node == bdd_ithvar(v))
            return makeHandle(m, uintptr_t(K.indexOfVar[v]), true, complement);
        if (node == bdd_nithvar(v))
            return makeHandle(m, uintptr_t(K.indexOfVar[v]), true, !complement);
    }
    if (uintptr_t(node) > kMaxPayload) return nullptr;
    remember(node);
    return makeHandle(m, uintptr_t(node), false, complement);
}

// Test hook (Cudd_LayerFailAfter): node-building operations left before one
// fails; negative when disarmed.
long failCountdown = -1;

// Finishes an engine call: NULL when BuDDy reported an error or an injected
// failure is due (the node just built is unreferenced and collected later).
DdNode* finish(const DdManager* m, int node, bool complement) {
    if (takeError()) return nullptr;
    if (failCountdown >= 0 && failCountdown-- == 0) return nullptr;
    if (m->terminationCallback != nullptr && m->terminationCallback(m->terminationArg) != 0) {
        m->errorCode = CUDD_TERMINATION;
        return nullptr;
    }
    DdNode* h = encode(m, node, complement);
    if (takeError()) return nullptr;
    setFresh(m, (bits(h) & kVarBit) ? 0 : node);
    return h;
}

// Prepares an operation on manager m.
bool begin(const DdManager* m) {
    if (!liveManager(m)) {
        noteMisuse();
        return false;
    }
    takeError();
    // Blocks matter only to reordering; BuDDy enters each in a list, so that
    // giving blocks to n variables costs O(n^2), which a reader's manager of
    // 10,000 variables, never reordered, must not pay.
    if (K.autoSift) refreshBlocks();
    balanceReordering();
    return true;
}

// Keeps a BuDDy node alive while further engine calls of one operation run.
struct Hold {
    int node;
    explicit Hold(int n) : node(n) { bdd_addref(node); }
    ~Hold() { bdd_delref(node); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};

// BuDDy operator for f' AND g' where f' = f or NOT f (cf) and likewise g'.
int andOp(bool cf, bool cg) {
    if (!cf) return cg ? bddop_diff : bddop_and;
    return cg ? bddop_nor : bddop_less;
}
int orOp(bool cf, bool cg) {
    if (!cf) return cg ? bddop_invimp : bddop_or;
    return cg ? bddop_nand : bddop_imp;
}
int xnorOp(bool cf, bool cg) { return cf == cg ? bddop_biimp : bddop_xor; }

// True when `cube` is ONE or a conjunction of positive variables.
bool positiveCube(const Operand& c) {
    if (c.complement) return false;
    int n = c.node;
    while (n >= 2) {
        if (bdd_low(n) != 0) return false;
        n = bdd_high(n);
    }
    return n == 1;
}

// ---- Kernel lifetime -----------------------------------------------------------

// The most nodes the table may grow to: kEngineShare of the memory the
// process may still take (physical memory, RLIMIT_AS, RLIMIT_DATA, the
// memory cgroups), and no more than maxMemory bytes when it is not 0. BuDDy
// does not survive a failed allocation of its table or caches (it records
// the new size before it allocates), so the table must stop growing, and
// report exhaustion, before an allocation can fail.
int memoryNodeLimit(size_t maxMemory) {
    double bytes = double(compMemoryRoom().bytes) * kEngineShare;
    if (maxMemory > 0) bytes = std::min(bytes, double(maxMemory));
    double nodes = bytes / double(kBytesPerNode);
#if UINTPTR_MAX <= 0xFFFFFFFFu
    // A 32-bit process has at most 4 GB of address space, whatever the
    // machine's memory, and BuDDy cannot survive a failed allocation (its
    // tables are left broken and the next operation crashes). Its tables
    // cost about 80 bytes per node here (a 20-byte node and six operation
    // caches of one 20-byte entry per two nodes); 1.6 GB of them leave room
    // for the program, its libraries and the analysis's own data.
    nodes = std::min(nodes, 1.6e9 / 80);
#endif
    nodes = std::min(nodes, double(kMaxPayload));
    nodes = std::min(nodes, double(INT_MAX / 2));
    return int(nodes);
}

bool startKernel(unsigned cacheSize, size_t maxMemory) {
    int limit = std::max(memoryNodeLimit(maxMemory), 1000);
    // CUDD sizes its unique table per variable, and the variables come later;
    // BuDDy's node table starts at a quarter of the requested cache (65536
    // nodes for CUDD_CACHE_SLOTS) and grows on demand, the caches following
    // at one entry per kNodesPerCacheEntry nodes. Measured on real networks
    // (bench_async) and on bench_layer, larger starting tables are slower:
    // every collection clears the caches, so their cost grows with the
    // table (a 1M-node start made bbm-011 ten times slower), and a small
    // network's analysis starts in about a millisecond instead of ten.
    int nodes = int(std::min<size_t>(std::max<size_t>(cacheSize / 4, 4096), size_t(limit)));
    bdd_error_hook(recordError);
    K.lastError = 0;
    // bdd_setcacheratio below sizes the caches afresh (one entry per
    // kNodesPerCacheEntry nodes), so bdd_init starts them at their least:
    // filling them twice was a third of a small network's analysis.
    if (bdd_init(nodes, 256) < 0) {
        K.lastError = 0;
        return false;
    }
    bdd_error_hook(recordError);
    bdd_gbc_hook(watchCollection);
    bdd_resize_hook(silentResize);
    bdd_reorder_hook(countReorder);
    bdd_reorder_verbose(0);
    bdd_setcacheratio(kNodesPerCacheEntry);
    bdd_setmaxincrease(kMaxIncrease);
    // bdd_init rounds the table size up, and the limit must exceed it.
    K.nodeLimit = std::max(limit, bdd_getallocnum() + 1);
    bdd_setmaxnodenum(K.nodeLimit);
    takeError();
    K.running = true;
    K.started = std::chrono::steady_clock::now();
    return true;
}

void stopKernel() {
    for (auto& entry : K.swapPairs) bdd_freepair(entry.second);
    // bdd_done frees the variable tables without forgetting them; a kernel
    // that never declared a variable would free the previous kernel's tables
    // a second time. Declaring one variable gives it tables of its own.
    if (bdd_varnum() == 0) bdd_setvarnum(1);
    bdd_done();
    unsigned generation = K.generation;
    K = Kernel();
    K.generation = generation;
}

// Quit managers are freed only after kRetiredManagers later ones, so that a
// stale pointer to a recently quit manager is not mistaken for a new
// manager at the same address.
constexpr size_t kRetiredManagers = 64;
std::deque<std::unique_ptr<DdManager>> retiredManagers;

void retire(DdManager* m) {
    m->nodeRefs = {};
    m->varRefs = {};
    retiredManagers.emplace_back(m);
    if (retiredManagers.size() > kRetiredManagers) retiredManagers.pop_front();
}

void releaseAll(DdManager* m) {
    setFresh(m, 0);
    for (size_t node = 0; node < m->nodeRefs.count.size(); ++node)
        if (m->nodeRefs.count[node] > 0 && K.holders.of(int(node)) > 0 &&
            K.holders.lower(int(node)) == 0)
            bdd_delref(int(node));
    m->nodeRefs = {};
}

// ---- Counting and walking ---------------------------------------------------------

struct PathCount {
    double toZero;
    double toOne;
};

PathCount countPaths(int node, std::unordered_map<int, PathCount>& memo) {
    if (node == 0) return {1.0, 0.0};
    if (node == 1) return {0.0, 1.0};
    auto it = memo.find(node);
    if (it != memo.end()) return it->second;
    PathCount lo = countPaths(bdd_low(node), memo);
    PathCount hi = countPaths(bdd_high(node), memo);
    PathCount r{lo.toZero + hi.toZero, lo.toOne + hi.toOne};
    memo.emplace(node, r);
    return r;
}

// Appends the BuDDy variables of the nodes in the graph of `node`, each
// once, in no particular order. The cost follows the graph, not the number
// of variables of the manager or the size of the node table.
void collectSupport(int node, std::vector<int>& vars) {
    if (node < 2) return;
    const size_t nodes = size_t(std::max(bdd_getallocnum(), 0));
    if (K.nodeMarks.size() < nodes) K.nodeMarks.resize(nodes, 0);
    const size_t variables = size_t(std::max(bdd_varnum(), 0));
    if (K.varMarks.size() < variables) K.varMarks.resize(variables, 0);
    if (++K.supportStamp == 0) {
        std::fill(K.nodeMarks.begin(), K.nodeMarks.end(), std::uint16_t{0});
        std::fill(K.varMarks.begin(), K.varMarks.end(), std::uint16_t{0});
        K.supportStamp = 1;
    }
    const std::uint16_t stamp = K.supportStamp;
    std::vector<int>& stack = K.supportStack;
    stack.assign(1, node);
    K.nodeMarks[size_t(node)] = stamp;
    while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        const int v = bdd_var(n);
        if (K.varMarks[size_t(v)] != stamp) {
            K.varMarks[size_t(v)] = stamp;
            vars.push_back(v);
        }
        for (const int child : {bdd_low(n), bdd_high(n)}) {
            if (child < 2 || K.nodeMarks[size_t(child)] == stamp) continue;
            K.nodeMarks[size_t(child)] = stamp;
            stack.push_back(child);
        }
    }
}

int levelOfNode(int node) { return bdd_var2level(bdd_var(node)); }

// f' <= g', where f' is f complemented when cf, g' likewise. Builds no
// node, so it cannot run out of memory.
// f with every variable v replaced by substitute[v] (when >= 0), all at
// once: ITE(substitute of the top variable, high, low) from the leaves up.
// BuDDy's own bdd_veccompose overruns its reference stack on deep
// functions, so the recursion is ours and each step is a top-level ITE.
// Results are memoised with a BuDDy reference each (released by the
// caller); returns -1 when the engine fails.
double processorMs() { return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC; }

// The composition's deadline, in processor milliseconds (a negative value:
// none), and the recursion steps until the clock is next read.
struct ComposeClock {
    double deadlineMs = -1;
    unsigned untilCheck = 0;
    bool expired = false;
};

int composeRec(int f, const std::vector<int>& substitute, int lastLevel,
               std::unordered_map<int, int>& memo, ComposeClock& clock) {
    if (f < 2 || bdd_var2level(bdd_var(f)) > lastLevel) return f;
    auto found = memo.find(f);
    if (found != memo.end()) return found->second;
    if (clock.deadlineMs >= 0 && clock.untilCheck-- == 0) {
        clock.untilCheck = 1024;
        if (processorMs() > clock.deadlineMs) {
            clock.expired = true;
            return -1;
        }
    }
    const int low = composeRec(bdd_low(f), substitute, lastLevel, memo, clock);
    if (low < 0) return -1;
    const int high = composeRec(bdd_high(f), substitute, lastLevel, memo, clock);
    if (high < 0) return -1;
    const int v = bdd_var(f);
    const int top = substitute[size_t(v)] >= 0 ? substitute[size_t(v)] : bdd_ithvar(v);
    const int r = bdd_ite(top, high, low);
    if (takeError()) return -1;
    bdd_addref(r);
    memo.emplace(f, r);
    return r;
}

bool leqRec(int f, int g, bool cf, bool cg) {
    if (f < 2) {
        bool fTrue = (f == 1) != cf;
        if (!fTrue) return true;
        return g < 2 && ((g == 1) != cg);
    }
    if (g < 2) return (g == 1) != cg;
    if (f == g) return cf == cg;
    size_t slot = (size_t(unsigned(f)) * 12582917u + size_t(unsigned(g)) * 4256249u) &
                  (K.leqCache.size() - 1);
    LeqEntry& e = K.leqCache[slot];
    if (e.stamp == K.leqStamp && e.f == f && e.g == g) return e.result;
    int lf = levelOfNode(f), lg = levelOfNode(g);
    int top = std::min(lf, lg);
    int f0 = lf == top ? bdd_low(f) : f, f1 = lf == top ? bdd_high(f) : f;
    int g0 = lg == top ? bdd_low(g) : g, g1 = lg == top ? bdd_high(g) : g;
    bool r = leqRec(f1, g1, cf, cg) && leqRec(f0, g0, cf, cg);
    LeqEntry& e2 = K.leqCache[slot];
    e2.f = f;
    e2.g = g;
    e2.stamp = K.leqStamp;
    e2.result = r;
    return r;
}

// The essential literals of node f (complemented when c): those that every
// assignment making the function true sets, as 2 * variable + 1 for a
// positive literal and 2 * variable for a negative one, ascending. A
// constant has none. Memoised by node and complement.
using EssentialMemo = std::unordered_map<uint64_t, std::vector<int>>;

const std::vector<int>& essentialRec(int f, bool c, EssentialMemo& memo) {
    static const std::vector<int> none;
    if (f < 2) return none;
    const uint64_t key = (uint64_t(unsigned(f)) << 1) | (c ? 1u : 0u);
    const auto found = memo.find(key);
    if (found != memo.end()) return found->second;
    auto isFalse = [c](int t) { return t < 2 && ((t == 1) == c); };
    auto isTrue = [c](int t) { return t < 2 && ((t == 1) != c); };
    const int high = bdd_high(f), low = bdd_low(f);
    std::vector<int> r;
    auto with = [&r](int literal) {
        r.insert(std::lower_bound(r.begin(), r.end(), literal), literal);
    };
    if (isTrue(high)) {
        // The variable at 1 makes the function true: no literal is
        // essential unless the other value makes it false.
        if (isFalse(low)) r = {2 * bdd_var(f) + 1};
    } else if (isFalse(high)) {
        if (!isTrue(low)) r = essentialRec(low, c, memo);
        with(2 * bdd_var(f));
    } else if (isFalse(low)) {
        r = essentialRec(high, c, memo);
        with(2 * bdd_var(f) + 1);
    } else if (!isTrue(low)) {
        const std::vector<int>& fromHigh = essentialRec(high, c, memo);
        const std::vector<int>& fromLow = essentialRec(low, c, memo);
        std::set_intersection(fromHigh.begin(), fromHigh.end(), fromLow.begin(), fromLow.end(),
                              std::back_inserter(r));
    }
    return memo.emplace(key, std::move(r)).first->second;
}

}  // namespace

extern "C" {

// ---- Managers ------------------------------------------------------------------------

DdManager* Cudd_Init(unsigned int numVars, unsigned int numVarsZ, unsigned int numSlots,
                     unsigned int cacheSize, size_t maxMemory) {
    (void)numVarsZ;
    (void)numSlots;
    // Free slots are taken round-robin, so that a quit manager's slot is
    // reused as late as possible: on 32-bit hosts, whose handles have no
    // generation bits, this is what refuses a handle of a recently quit
    // manager.
    int slot = -1;
    for (int k = 0; k < kMaxManagers && slot < 0; ++k) {
        const int s = int((K.generation + unsigned(k)) % unsigned(kMaxManagers));
        if (K.managers[s] == nullptr) slot = s;
    }
    if (slot < 0) return nullptr;
    if (!K.running && !startKernel(cacheSize, maxMemory)) return nullptr;
    DdManager* m = new DdManager();
    m->startMs = processorMs();
    m->slot = slot;
    ++K.generation;
    uintptr_t generation =
        kGenerationBits > 0 ? uintptr_t(K.generation) & ((uintptr_t(1) << kGenerationBits) - 1) : 0;
    m->tag = ((generation << kSlotBits) | uintptr_t(slot)) << kTagShift;
    K.managers[slot] = m;
    addIndices(m, int(numVars));
    return m;
}

void Cudd_Quit(DdManager* dd) {
    if (dd == nullptr) return;
    if (!liveManager(dd)) {
        noteMisuse();
        return;
    }
    releaseAll(dd);
    K.managers[dd->slot] = nullptr;
    retire(dd);
    for (DdManager* m : K.managers)
        if (m != nullptr) return;
    stopKernel();
}

int Cudd_CheckZeroRef(DdManager* manager) {
    if (!liveManager(manager)) {
        noteMisuse();
        return 0;
    }
    int count =
        int(manager->nodeRefs.held) + (manager->constRefs > 0 ? 1 : 0) + int(manager->faults);
    for (unsigned c : manager->varRefs)
        if (c > 0) ++count;
    return count;
}

// ---- Variables and order ---------------------------------------------------------------

DdNode* Cudd_bddNewVar(DdManager* dd) {
    if (!liveManager(dd)) {
        noteMisuse();
        return nullptr;
    }
    if (uintptr_t(dd->size) >= kMaxPayload) return nullptr;
    setFresh(dd, 0);  // a new variable is a new node, which may collect in CUDD
    int index = dd->size;
    addIndices(dd, index + 1);
    return makeHandle(dd, uintptr_t(index), true, false);
}

DdNode* Cudd_bddIthVar(DdManager* dd, int i) {
    if (!liveManager(dd)) {
        noteMisuse();
        return nullptr;
    }
    if (i < 0 || uintptr_t(i) >= kMaxPayload) return nullptr;
    addIndices(dd, i + 1);
    return makeHandle(dd, uintptr_t(i), true, false);
}

int Cudd_ReadSize(DdManager* dd) {
    if (!liveManager(dd)) {
        noteMisuse();
        return 0;
    }
    return dd->size;
}

int Cudd_ReadPerm(DdManager* dd, int i) {
    if (!liveManager(dd)) {
        noteMisuse();
        return -1;
    }
    if (i < 0 || i >= dd->size) return -1;
    if (dd->size == K.indexCount) return kernelLevel(i);
    std::vector<int> order = managerOrder(dd);
    return int(std::find(order.begin(), order.end(), i) - order.begin());
}

int Cudd_ReadInvPerm(DdManager* dd, int i) {
    if (!liveManager(dd)) {
        noteMisuse();
        return -1;
    }
    if (i < 0 || i >= dd->size) return -1;
    // Every index bound and all of them this manager's: the kernel's level
    // is the manager's, read in constant time.
    if (dd->size == K.indexCount && bdd_varnum() == K.indexCount)
        return K.indexOfVar[size_t(bdd_level2var(i))];
    return managerOrder(dd)[size_t(i)];
}

int Cudd_ShuffleHeap(DdManager* table, int* permutation) {
    if (!liveManager(table)) {
        noteMisuse();
        return 0;
    }
    int n = table->size;
    if (permutation == nullptr) return n == 0 ? 1 : 0;
    std::vector<char> seen(size_t(n), 0);
    for (int j = 0; j < n; ++j) {
        int k = permutation[j];
        if (k < 0 || k >= n || seen[size_t(k)]) return 0;
        seen[size_t(k)] = 1;
    }
    setFresh(table, 0);  // CUDD collects before it reorders
    takeError();
    // Unbound indices get the next BuDDy numbers in the order asked for, so
    // on a fresh kernel number == level and no variable has to move.
    std::vector<int> unbound;
    for (int j = 0; j < n; ++j)
        if (K.varOfIndex[permutation[j]] < 0) unbound.push_back(permutation[j]);
    if (!bindIndices(unbound)) return 0;
    // The levels held by this manager's variables take them in the order
    // asked for; variables that only other managers have keep their levels.
    int nvars = bdd_varnum();
    std::vector<int> order(static_cast<size_t>(nvars));
    for (int level = 0; level < nvars; ++level) order[size_t(level)] = bdd_level2var(level);
    std::vector<int> ownLevels;
    for (int k = 0; k < n; ++k) ownLevels.push_back(bdd_var2level(K.varOfIndex[k]));
    std::sort(ownLevels.begin(), ownLevels.end());
    std::vector<int> wanted = order;
    for (int j = 0; j < n; ++j) wanted[size_t(ownLevels[size_t(j)])] = K.varOfIndex[permutation[j]];
    if (wanted != order) {
        // BuDDy refuses a new order while blocks exist; they are given back
        // (those still contiguous) before the next operation.
        bdd_clrvarblocks();
        bdd_setvarorder(wanted.data());
        K.blocksDirty = true;
        if (takeError()) return 0;
    }
    return 1;
}

MtrNode* Cudd_MakeTreeNode(DdManager* dd, unsigned int low, unsigned int size, unsigned int type) {
    static char dummyGroup;
    if (!liveManager(dd)) {
        noteMisuse();
        return nullptr;
    }
    if (size == 0 || low >= unsigned(dd->size) || size > unsigned(dd->size)) return nullptr;
    takeError();
    if (varOf(int(low)) < 0) return nullptr;
    int top = bdd_var2level(K.varOfIndex[low]);
    if (top + int(size) > bdd_varnum()) return nullptr;
    Block b{bdd_level2var(top), bdd_level2var(top + int(size) - 1), (type & MTR_FIXED) != 0};
    for (unsigned j = 0; j < size; ++j)
        if (bdd_level2var(top + int(j)) != b.first + int(j)) return nullptr;
    for (const Block& other : K.blocks) {
        if (other.first == b.first && other.last == b.last)
            return reinterpret_cast<MtrNode*>(&dummyGroup);
        bool disjoint = b.last < other.first || other.last < b.first;
        bool nested = (b.first <= other.first && other.last <= b.last) ||
                      (other.first <= b.first && b.last <= other.last);
        if (!disjoint && !nested) return nullptr;
    }
    K.blocks.push_back(b);
    K.blocksDirty = true;
    return reinterpret_cast<MtrNode*>(&dummyGroup);
}

int Cudd_AutodynEnable(DdManager* unique, Cudd_ReorderingType method) {
    if (!liveManager(unique)) {
        noteMisuse();
        return 0;
    }
    K.autoSift = method != CUDD_REORDER_NONE;
    K.siftSuspended = false;
    bdd_autoreorder(K.autoSift ? BDD_REORDER_SIFT : BDD_REORDER_NONE);
    takeError();
    return 1;
}

int Cudd_AutodynDisable(DdManager* unique) {
    if (!liveManager(unique)) {
        noteMisuse();
        return 0;
    }
    K.autoSift = false;
    bdd_autoreorder(BDD_REORDER_NONE);
    takeError();
    return 1;
}

int Cudd_ReorderingStatus(DdManager* unique, Cudd_ReorderingType* method) {
    if (!liveManager(unique)) {
        noteMisuse();
        return 0;
    }
    if (method != nullptr) *method = K.autoSift ? CUDD_REORDER_SIFT : CUDD_REORDER_NONE;
    return K.autoSift ? 1 : 0;
}

int Cudd_ReduceHeap(DdManager* table, Cudd_ReorderingType heuristic, int minsize) {
    (void)minsize;
    if (!begin(table)) return 0;
    setFresh(table, 0);  // CUDD collects before it reorders
    // BuDDy's reordering crashes on a kernel without variables.
    if (heuristic == CUDD_REORDER_NONE || bdd_varnum() == 0) return 1;
    refreshBlocks();
    bdd_reorder(BDD_REORDER_SIFT);
    return takeError() ? 0 : 1;
}

// ---- Constants and references ------------------------------------------------------------

DdNode* Cudd_ReadOne(DdManager* dd) {
    if (!liveManager(dd)) {
        noteMisuse();
        return nullptr;
    }
    return oneOf(dd);
}

DdNode* Cudd_ReadLogicZero(DdManager* dd) {
    if (!liveManager(dd)) {
        noteMisuse();
        return nullptr;
    }
    return zeroOf(dd);
}

int Cudd_IsConstant(DdNode* node) {
    uintptr_t w = bits(node);
    return (w & kVarBit) == 0 && (w >> kPayloadShift) == 1;
}

unsigned int Cudd_NodeReadIndex(DdNode* node) {
    // CUDD's constants carry the largest index its half-word holds: 32 bits
    // on 64-bit hosts with 32-bit int, 16 bits otherwise.
    constexpr unsigned kConstIndex = sizeof(void*) == 8 && sizeof(int) == 4 ? 0xFFFFFFFFu : 0xFFFFu;
    if (managerOf(node) == nullptr) {
        noteMisuse();
        return kConstIndex;
    }
    const uintptr_t w = bits(node);
    const uintptr_t payload = w >> kPayloadShift;
    if (w & kVarBit) return unsigned(payload);
    if (payload == 1) return kConstIndex;
    if (payload == 0 || payload >= uintptr_t(bdd_getallocnum())) {
        noteMisuse();
        return kConstIndex;
    }
    return unsigned(K.indexOfVar[size_t(bdd_var(int(payload)))]);
}

void Cudd_Ref(DdNode* n) {
    DdManager* m = managerOf(n);
    if (m == nullptr) {
        noteMisuse();
        return;
    }
    uintptr_t w = bits(n);
    uintptr_t payload = w >> kPayloadShift;
    if (w & kVarBit) {
        if (payload >= m->varRefs.size()) {
            noteMisuse();
            return;
        }
        ++m->varRefs[payload];
        return;
    }
    if (payload == 1) {
        ++m->constRefs;
        return;
    }
    if (payload == 0 || payload >= uintptr_t(bdd_getallocnum())) {
        noteMisuse();
        return;
    }
    int node = int(payload);
    if (m->nodeRefs.of(node) == 0 && node != m->fresh) noteFault(m);
    if (m->nodeRefs.raise(node) == 1 && K.holders.raise(node) == 1) bdd_addref(node);
}

void Cudd_RecursiveDeref(DdManager* table, DdNode* n) {
    if (!liveManager(table)) {
        noteMisuse();
        return;
    }
    if (managerOf(n) != table) {
        noteFault(table);
        return;
    }
    setFresh(table, 0);
    uintptr_t w = bits(n);
    uintptr_t payload = w >> kPayloadShift;
    if (w & kVarBit) {
        if (payload >= table->varRefs.size() || table->varRefs[payload] == 0) {
            noteFault(table);
            return;
        }
        --table->varRefs[payload];
        return;
    }
    if (payload == 1) {
        if (table->constRefs == 0) {
            noteFault(table);
            return;
        }
        --table->constRefs;
        return;
    }
    const int node = int(payload);
    if (table->nodeRefs.of(node) == 0) {
        noteFault(table);
        return;
    }
    if (table->nodeRefs.lower(node) > 0) return;
    if (K.holders.of(node) > 0 && K.holders.lower(node) == 0) bdd_delref(node);
}

// ---- Operations -------------------------------------------------------------------------------

DdNode* Cudd_bddAnd(DdManager* dd, DdNode* f, DdNode* g) {
    if (!begin(dd)) return nullptr;
    Operand a, b;
    if (!resolve(dd, f, a, true) || !resolve(dd, g, b, true)) return nullptr;
    DdNode* zero = zeroOf(dd);
    if (f == zero || g == zero || f == Cudd_Not(g)) return zero;
    if (f == oneOf(dd) || f == g) return g;
    if (g == oneOf(dd)) return f;
    int r = bdd_apply(a.node, b.node, andOp(a.complement, b.complement));
    return finish(dd, r, false);
}

DdNode* Cudd_bddOr(DdManager* dd, DdNode* f, DdNode* g) {
    if (!begin(dd)) return nullptr;
    Operand a, b;
    if (!resolve(dd, f, a, true) || !resolve(dd, g, b, true)) return nullptr;
    DdNode* one = oneOf(dd);
    if (f == one || g == one || f == Cudd_Not(g)) return one;
    if (f == zeroOf(dd) || f == g) return g;
    if (g == zeroOf(dd)) return f;
    int r = bdd_apply(a.node, b.node, orOp(a.complement, b.complement));
    return finish(dd, r, false);
}

DdNode* Cudd_bddXnor(DdManager* dd, DdNode* f, DdNode* g) {
    if (!begin(dd)) return nullptr;
    Operand a, b;
    if (!resolve(dd, f, a, true) || !resolve(dd, g, b, true)) return nullptr;
    DdNode* one = oneOf(dd);
    if (f == g) return one;
    if (f == Cudd_Not(g)) return zeroOf(dd);
    if (f == one) return g;
    if (g == one) return f;
    if (f == zeroOf(dd)) return Cudd_Not(g);
    if (g == zeroOf(dd)) return Cudd_Not(f);
    int r = bdd_apply(a.node, b.node, xnorOp(a.complement, b.complement));
    return finish(dd, r, false);
}

DdNode* Cudd_bddIte(DdManager* dd, DdNode* f, DdNode* g, DdNode* h) {
    if (!begin(dd)) return nullptr;
    Operand a, b, c;
    if (!resolve(dd, f, a, true) || !resolve(dd, g, b, true) || !resolve(dd, h, c, true))
        return nullptr;
    DdNode* one = oneOf(dd);
    DdNode* zero = zeroOf(dd);
    if (f == one || g == h) return g;
    if (f == zero) return h;
    if (g == one && h == zero) return f;
    if (g == zero && h == one) return Cudd_Not(f);
    if (a.complement) {
        std::swap(b, c);
        a.complement = false;
    }
    if (b.complement == c.complement) {
        int r = bdd_ite(a.node, b.node, c.node);
        return finish(dd, r, b.complement);
    }
    // (f AND g) OR (NOT f AND h), one apply per side.
    int t = bdd_apply(a.node, b.node, andOp(false, b.complement));
    if (takeError()) return nullptr;
    Hold holdT(t);
    int e = bdd_apply(a.node, c.node, andOp(true, c.complement));
    if (takeError()) return nullptr;
    Hold holdE(e);
    int r = bdd_apply(t, e, bddop_or);
    return finish(dd, r, false);
}

DdNode* Cudd_bddExistAbstract(DdManager* manager, DdNode* f, DdNode* cube) {
    if (!begin(manager)) return nullptr;
    Operand a, c;
    if (!resolve(manager, f, a, true) || !resolve(manager, cube, c, true)) return nullptr;
    if (!positiveCube(c)) return nullptr;
    if (Cudd_IsConstant(f) || Cudd_IsConstant(cube)) return f;
    // EXISTS v. NOT F is formed as EXISTS v. (F NAND F): no negated copy of F
    // is built and the result is a plain node.
    int r =
        a.complement ? bdd_appex(a.node, a.node, bddop_nand, c.node) : bdd_exist(a.node, c.node);
    return finish(manager, r, false);
}

DdNode* Cudd_bddAndAbstract(DdManager* manager, DdNode* f, DdNode* g, DdNode* cube) {
    if (!begin(manager)) return nullptr;
    Operand a, b, c;
    if (!resolve(manager, f, a, true) || !resolve(manager, g, b, true) ||
        !resolve(manager, cube, c, true))
        return nullptr;
    if (!positiveCube(c)) return nullptr;
    DdNode* zero = zeroOf(manager);
    if (f == zero || g == zero || f == Cudd_Not(g)) return zero;
    int r = bdd_appex(a.node, b.node, andOp(a.complement, b.complement), c.node);
    return finish(manager, r, false);
}

DdNode* Cudd_bddSwapVariables(DdManager* dd, DdNode* f, DdNode** x, DdNode** y, int n) {
    if (!begin(dd)) return nullptr;
    Operand a;
    if (!resolve(dd, f, a, true)) return nullptr;
    if (n < 0 || (n > 0 && (x == nullptr || y == nullptr))) return nullptr;
    std::vector<int> key;
    key.reserve(size_t(2 * n));
    for (int side = 0; side < 2; ++side)
        for (int i = 0; i < n; ++i) {
            uintptr_t w = bits(side == 0 ? x[i] : y[i]);
            if ((w & kTagMask) != dd->tag || !(w & kVarBit) || (w & kComplementBit) ||
                (w >> kPayloadShift) >= uintptr_t(dd->size)) {
                noteMisuse();
                return nullptr;
            }
            key.push_back(int(w >> kPayloadShift));
        }
    if (Cudd_IsConstant(f)) return f;
    auto found = K.swapPairs.find(key);
    bddPair* pair = nullptr;
    if (found != K.swapPairs.end()) {
        pair = found->second;
    } else {
        std::vector<char> used(size_t(dd->size), 0);
        std::vector<std::pair<int, int>> swaps;
        for (int i = 0; i < n; ++i) {
            int xi = key[size_t(i)], yi = key[size_t(n + i)];
            if (xi == yi) continue;
            if (used[size_t(xi)] || used[size_t(yi)]) return nullptr;
            used[size_t(xi)] = used[size_t(yi)] = 1;
            swaps.emplace_back(xi, yi);
        }
        pair = bdd_newpair();
        if (pair == nullptr || takeError()) return nullptr;
        for (auto& s : swaps) {
            int vx = varOf(s.first), vy = varOf(s.second);
            if (vx < 0 || vy < 0) {
                bdd_freepair(pair);
                return nullptr;
            }
            bdd_setpair(pair, vx, vy);
            bdd_setpair(pair, vy, vx);
        }
        if (takeError()) {
            bdd_freepair(pair);
            return nullptr;
        }
        K.swapPairs.emplace(key, pair);
        // Binding may have happened above; re-read the operand.
        if (!resolve(dd, f, a, false)) return nullptr;
    }
    int r = bdd_replace(a.node, pair);
    return finish(dd, r, a.complement);
}

DdNode* Cudd_bddVectorCompose(DdManager* dd, DdNode* f, DdNode** vector) {
    if (!begin(dd)) return nullptr;
    if (vector == nullptr) return nullptr;
    // The substitute of every BuDDy variable (-1: the variable itself), each
    // held until the composition ends.
    std::vector<int> substitute;
    std::vector<std::unique_ptr<Hold>> holds;
    int lastLevel = -1;
    for (int i = 0; i < dd->size; ++i) {
        // An entry that is the variable itself changes nothing.
        if (bits(vector[i]) == bits(makeHandle(dd, uintptr_t(i), true, false))) continue;
        Operand g;
        if (!resolve(dd, vector[i], g, true)) return nullptr;
        int v = varOf(i);
        if (v < 0) return nullptr;
        int node = g.complement ? bdd_not(g.node) : g.node;
        if (takeError()) return nullptr;
        holds.push_back(std::make_unique<Hold>(node));
        if (substitute.size() < size_t(bdd_varnum())) substitute.resize(size_t(bdd_varnum()), -1);
        substitute[size_t(v)] = node;
        lastLevel = std::max(lastLevel, bdd_var2level(v));
    }
    substitute.resize(size_t(bdd_varnum()), -1);
    // Binding may have happened above; read the operand now.
    Operand a;
    if (!resolve(dd, f, a, true)) return nullptr;
    if (Cudd_IsConstant(f) || lastLevel < 0) return f;
    // No reordering while node numbers are memoised: the levels read from
    // f's nodes must stay the ones the recursion started with.
    bdd_disable_reorder();
    std::unordered_map<int, int> memo;
    ComposeClock clock;
    if (dd->timeLimited) clock.deadlineMs = dd->startMs + double(dd->timeLimitMs);
    const int r = composeRec(a.node, substitute, lastLevel, memo, clock);
    bdd_enable_reorder();
    int result = r < 0 ? -1 : r;
    if (result >= 0) bdd_addref(result);
    for (const auto& entry : memo) bdd_delref(entry.second);
    if (result < 0) {
        takeError();
        dd->errorCode = clock.expired ? CUDD_TIMEOUT_EXPIRED : CUDD_MEMORY_OUT;
        return nullptr;
    }
    // Composition commutes with negation.
    DdNode* h = finish(dd, result, a.complement);
    bdd_delref(result);
    return h;
}

void Cudd_ResetStartTime(DdManager* unique) {
    if (!liveManager(unique)) return noteMisuse();
    unique->startMs = processorMs();
}

void Cudd_SetTimeLimit(DdManager* unique, unsigned long tl) {
    if (!liveManager(unique)) return noteMisuse();
    unique->timeLimitMs = tl;
    unique->timeLimited = true;
}

void Cudd_UnsetTimeLimit(DdManager* unique) {
    if (!liveManager(unique)) return noteMisuse();
    unique->timeLimited = false;
}

Cudd_ErrorType Cudd_ReadErrorCode(DdManager* dd) {
    if (!liveManager(dd)) {
        noteMisuse();
        return CUDD_INVALID_ARG;
    }
    return dd->errorCode;
}

void Cudd_ClearErrorCode(DdManager* dd) {
    if (!liveManager(dd)) return noteMisuse();
    dd->errorCode = CUDD_NO_ERROR;
}

void Cudd_RegisterTerminationCallback(DdManager* unique, DD_THFP callback, void* callback_arg) {
    if (!liveManager(unique)) return noteMisuse();
    unique->terminationCallback = callback;
    unique->terminationArg = callback_arg;
}

void Cudd_UnregisterTerminationCallback(DdManager* unique) {
    if (!liveManager(unique)) return noteMisuse();
    unique->terminationCallback = nullptr;
    unique->terminationArg = nullptr;
}

int Cudd_bddLeq(DdManager* dd, DdNode* f, DdNode* g) {
    if (!begin(dd)) return 0;
    Operand a, b;
    if (!resolve(dd, f, a, false) || !resolve(dd, g, b, false)) return 0;
    // The memo follows the node table (at most 2^18 slots): a full-size one
    // on a small table cost more to fill than the checks it served. Slots
    // added later carry stamp 0, which no call uses.
    size_t slots = 4096;
    while (slots < (size_t(1) << 18) && slots < size_t(bdd_getallocnum())) slots *= 2;
    if (K.leqCache.size() < slots) K.leqCache.resize(slots);
    if (++K.leqStamp == 0) {
        for (LeqEntry& e : K.leqCache) e.stamp = 0;
        K.leqStamp = 1;
    }
    return leqRec(a.node, b.node, a.complement, b.complement) ? 1 : 0;
}

DdNode* Cudd_bddTransfer(DdManager* ddSource, DdManager* ddDestination, DdNode* f) {
    if (!liveManager(ddSource) || !liveManager(ddDestination)) {
        noteMisuse();
        return nullptr;
    }
    takeError();
    Operand a;
    if (!resolve(ddSource, f, a, false)) return nullptr;
    uintptr_t w = bits(f);
    // Every index in f's support must exist in the destination.
    if (ddDestination->size < ddSource->size) {
        int needed = 0;
        if (w & kVarBit) {
            needed = int(w >> kPayloadShift) + 1;
        } else {
            std::vector<int> vars;
            collectSupport(a.node, vars);
            for (const int v : vars) needed = std::max(needed, K.indexOfVar[size_t(v)] + 1);
        }
        addIndices(ddDestination, needed);
    }
    setFresh(ddDestination, (w & kVarBit) ? 0 : a.node);
    return handleOf((w & ~kTagMask) | ddDestination->tag);
}

// ---- Cubes, counting and evaluation ----------------------------------------------------------

int Cudd_bddPickOneCube(DdManager* ddm, DdNode* node, char* string) {
    if (!liveManager(ddm)) {
        noteMisuse();
        return 0;
    }
    takeError();
    Operand a;
    if (!resolve(ddm, node, a, false) || string == nullptr) return 0;
    if (node == zeroOf(ddm)) return 0;
    for (int k = 0; k < ddm->size; ++k) string[k] = 2;
    int n = a.node;
    bool c = a.complement;
    // Effective value of a terminal reached with complement c.
    auto isFalse = [c](int t) { return t < 2 && ((t == 1) == c); };
    while (n >= 2) {
        int lo = bdd_low(n), hi = bdd_high(n);
        bool takeHigh;
        if (isFalse(lo))
            takeHigh = true;
        else if (isFalse(hi))
            takeHigh = false;
        else
            takeHigh = (ddm->rng() & 1u) != 0;
        int index = K.indexOfVar[size_t(bdd_var(n))];
        if (index < ddm->size) string[index] = takeHigh ? 1 : 0;
        n = takeHigh ? hi : lo;
    }
    return 1;
}

int Cudd_DagSize(DdNode* node) {
    DdManager* m = managerOf(node);
    if (m == nullptr) return 0;
    Operand a;
    if (!resolve(m, node, a, false)) return 0;
    // CUDD counts the constant node too.
    return bdd_nodecount(a.node) + 1;
}

double Cudd_CountPathsToNonZero(DdNode* node) {
    DdManager* m = managerOf(node);
    if (m == nullptr) {
        noteMisuse();
        return -1.0;
    }
    Operand a;
    if (!resolve(m, node, a, false)) return -1.0;
    std::unordered_map<int, PathCount> memo;
    PathCount p = countPaths(a.node, memo);
    return a.complement ? p.toZero : p.toOne;
}

double Cudd_CountMinterm(DdManager* manager, DdNode* node, int nvars) {
    if (!liveManager(manager)) {
        noteMisuse();
        return -1.0;
    }
    takeError();
    Operand a;
    if (!resolve(manager, node, a, false)) return -1.0;
    int varnum = bdd_varnum();
    double all = std::ldexp(1.0, nvars);
    if (a.node < 2) return ((a.node == 1) != a.complement) ? all : 0.0;
    // BuDDy counts over all of its variables; past about a thousand the
    // count overflows a double, and its logarithm is scaled instead.
    double onSet = bdd_satcount(a.node);
    onSet = std::isfinite(onSet) ? std::ldexp(onSet, nvars - varnum)
                                 : std::exp2(bdd_satcountln(a.node) + nvars - varnum);
    if (takeError()) return -1.0;
    return a.complement ? all - onSet : onSet;
}

DdNode* Cudd_Eval(DdManager* dd, DdNode* f, int* inputs) {
    if (!liveManager(dd)) {
        noteMisuse();
        return nullptr;
    }
    takeError();
    Operand a;
    if (!resolve(dd, f, a, false) || inputs == nullptr) return nullptr;
    int n = a.node;
    while (n >= 2) {
        int index = K.indexOfVar[size_t(bdd_var(n))];
        n = inputs[index] == 1 ? bdd_high(n) : bdd_low(n);
    }
    return ((n == 1) != a.complement) ? oneOf(dd) : zeroOf(dd);
}

int Cudd_CheckCube(DdManager* dd, DdNode* g) {
    if (!liveManager(dd)) {
        noteMisuse();
        return 0;
    }
    Operand a;
    if (!resolve(dd, g, a, false)) return 0;
    // Down the one child that is not false, until a terminal or a node
    // whose children are both not false.
    int n = a.node;
    auto isFalse = [c = a.complement](int t) { return t < 2 && ((t == 1) == c); };
    while (n >= 2) {
        const int low = bdd_low(n), high = bdd_high(n);
        if (isFalse(low))
            n = high;
        else if (isFalse(high))
            n = low;
        else
            return 0;
    }
    return isFalse(n) ? 0 : 1;
}

DdNode* Cudd_FindEssential(DdManager* dd, DdNode* f) {
    if (!begin(dd)) return nullptr;
    Operand a;
    if (!resolve(dd, f, a, true)) return nullptr;
    EssentialMemo memo;
    std::vector<int> literals = essentialRec(a.node, a.complement, memo);
    // The cube from its lowest level up: each step puts one node on top.
    std::sort(literals.begin(), literals.end(),
              [](int x, int y) { return bdd_var2level(x / 2) > bdd_var2level(y / 2); });
    int cube = 1;
    for (const int literal : literals) {
        const int var = literal % 2 ? bdd_ithvar(literal / 2) : bdd_nithvar(literal / 2);
        const int next = bdd_and(var, cube);
        if (takeError()) {
            bdd_delref(cube);
            return nullptr;
        }
        bdd_addref(next);
        bdd_delref(cube);
        cube = next;
    }
    bdd_delref(cube);
    return finish(dd, cube, false);
}

int Cudd_SupportIndices(DdManager* dd, DdNode* f, int** indices) {
    if (!liveManager(dd)) {
        noteMisuse();
        return -1;
    }
    takeError();
    Operand a;
    if (!resolve(dd, f, a, false) || indices == nullptr) return -1;
    std::vector<int> vars;
    collectSupport(a.node, vars);
    std::vector<int> found;
    found.reserve(vars.size());
    for (const int v : vars) found.push_back(K.indexOfVar[size_t(v)]);
    std::sort(found.begin(), found.end());
    *indices = nullptr;
    if (found.empty()) return 0;
    *indices = static_cast<int*>(std::malloc(found.size() * sizeof(int)));
    if (*indices == nullptr) return -1;
    std::memcpy(*indices, found.data(), found.size() * sizeof(int));
    return int(found.size());
}

int Cudd_LayerMisuseCount(void) { return misuseCount; }

long Cudd_LayerFailAfter(long operations) {
    const long left = failCountdown;
    failCountdown = operations < 0 ? -1 : operations;
    return left;
}

unsigned int Cudd_ReadReorderings(DdManager* dd) {
    if (!liveManager(dd)) {
        noteMisuse();
        return 0;
    }
    return K.reorderings;
}

}  // extern "C"

#pragma GCC visibility pop
