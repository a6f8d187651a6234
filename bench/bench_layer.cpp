// Times the BDD engine on a workload shaped like the asynchronous analysis:
// two managers, interleaved current/next variables in fixed pairs, sifting
// on, one relation x'_i XNOR f_i(x) per gene (f_i a random function of two
// to four regulators), the relations transferred to the second manager, and
// breadth-first asynchronous reachability from random states there.
//
//   bench_layer [GENES] [STARTS] [SEED] [SMALL_RUNS] [CACHE] [SIFT]
//
// CACHE is the cache size given to Cudd_Init (default CUDD_CACHE_SLOTS);
// SIFT 0 leaves automatic reordering off.
//
// Prints the time of each stage, the reached path counts, and the time of
// SMALL_RUNS start-up/shut-down cycles of a 4-gene analysis (the cost every
// small network pays).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <vector>

#include "bddEngine.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

DdNode* checked(DdNode* f) {
    if (f == nullptr) throw std::runtime_error("BDD operation failed");
    Cudd_Ref(f);
    return f;
}

// Replaces *acc by op(*acc, g), releasing the old value.
template <typename Op>
void update(DdManager* m, DdNode** acc, DdNode* g, Op op) {
    DdNode* r = checked(op(m, *acc, g));
    Cudd_RecursiveDeref(m, *acc);
    *acc = r;
}

struct analysis {
    DdManager* mgr = nullptr;
    DdManager* mgrAsync = nullptr;
    int n = 0;
    std::vector<DdNode*> ip, ipAsync, op, opAsync, frame;
    DdNode* cubeFwd = nullptr;
};

// Variables, order, pairs and relations, as the analysis builds them.
unsigned cacheSize = CUDD_CACHE_SLOTS;
bool sift = true;

analysis build(int n, std::mt19937& rng) {
    analysis a;
    a.n = n;
    a.mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, cacheSize, 0);
    a.mgrAsync = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, cacheSize, 0);
    if (sift) {
        Cudd_AutodynEnable(a.mgr, CUDD_REORDER_SIFT);
        Cudd_AutodynEnable(a.mgrAsync, CUDD_REORDER_SIFT);
    }
    for (int k = 0; k < 2 * n; ++k) {
        a.ip.push_back(checked(Cudd_bddNewVar(a.mgr)));
        a.ipAsync.push_back(checked(Cudd_bddNewVar(a.mgrAsync)));
    }
    std::vector<int> perm;
    for (int i = 0; i < n; ++i) {
        perm.push_back(i);
        perm.push_back(n + i);
    }
    Cudd_ShuffleHeap(a.mgr, perm.data());
    Cudd_ShuffleHeap(a.mgrAsync, perm.data());
    for (int i = 0; i < n; ++i) {
        Cudd_MakeTreeNode(a.mgrAsync, unsigned(i), 2, MTR_FIXED);
        Cudd_MakeTreeNode(a.mgr, unsigned(i), 2, MTR_FIXED);
    }
    for (int i = 0; i < n; ++i) {
        // f_i: a disjunction of one or two conjunctions of literals of
        // nearby genes (regulatory networks are local), sometimes negated.
        DdNode* f = checked(Cudd_ReadLogicZero(a.mgr));
        int terms = 1 + int(rng() % 2);
        for (int t = 0; t < terms; ++t) {
            DdNode* term = checked(Cudd_ReadOne(a.mgr));
            int literals = 1 + int(rng() % 3);
            for (int l = 0; l < literals; ++l) {
                int reg = (i + int(rng() % 9) - 4 + n) % n;
                if (rng() % 5 == 0) reg = int(rng() % unsigned(n));
                DdNode* lit = rng() % 3 == 0 ? Cudd_Not(a.ip[size_t(reg)]) : a.ip[size_t(reg)];
                update(a.mgr, &term, lit, Cudd_bddAnd);
            }
            update(a.mgr, &f, term, Cudd_bddOr);
            Cudd_RecursiveDeref(a.mgr, term);
        }
        a.op.push_back(checked(Cudd_bddXnor(a.mgr, a.ip[size_t(n + i)], f)));
        Cudd_RecursiveDeref(a.mgr, f);
    }
    for (int i = 0; i < n; ++i)
        a.opAsync.push_back(checked(Cudd_bddTransfer(a.mgr, a.mgrAsync, a.op[size_t(i)])));
    // frame[g]: every gene but g keeps its value.
    DdNode* same = checked(Cudd_ReadOne(a.mgrAsync));
    for (int i = 0; i < n; ++i) {
        DdNode* eq =
            checked(Cudd_bddXnor(a.mgrAsync, a.ipAsync[size_t(n + i)], a.ipAsync[size_t(i)]));
        update(a.mgrAsync, &same, eq, Cudd_bddAnd);
        Cudd_RecursiveDeref(a.mgrAsync, eq);
    }
    for (int i = 0; i < n; ++i) {
        DdNode* fr = checked(Cudd_bddExistAbstract(a.mgrAsync, same, a.ipAsync[size_t(n + i)]));
        DdNode* step = checked(Cudd_bddAnd(a.mgrAsync, fr, a.opAsync[size_t(i)]));
        Cudd_RecursiveDeref(a.mgrAsync, fr);
        a.frame.push_back(step);
    }
    Cudd_RecursiveDeref(a.mgrAsync, same);
    a.cubeFwd = checked(Cudd_ReadOne(a.mgrAsync));
    for (int i = 0; i < n; ++i) update(a.mgrAsync, &a.cubeFwd, a.ipAsync[size_t(i)], Cudd_bddAnd);
    return a;
}

// States reachable from `start` by asynchronous steps (frontier search).
DdNode* reach(analysis& a, DdNode* start) {
    DdManager* m = a.mgrAsync;
    DdNode* reached = checked(start);
    DdNode* frontier = checked(start);
    while (frontier != Cudd_ReadLogicZero(m)) {
        DdNode* next = checked(Cudd_ReadLogicZero(m));
        for (int g = 0; g < a.n; ++g) {
            DdNode* img = checked(Cudd_bddAndAbstract(m, frontier, a.frame[size_t(g)], a.cubeFwd));
            DdNode* back = checked(
                Cudd_bddSwapVariables(m, img, a.ipAsync.data(), a.ipAsync.data() + a.n, a.n));
            Cudd_RecursiveDeref(m, img);
            update(m, &next, back, Cudd_bddOr);
            Cudd_RecursiveDeref(m, back);
        }
        DdNode* fresh = checked(Cudd_bddAnd(m, next, Cudd_Not(reached)));
        Cudd_RecursiveDeref(m, next);
        update(m, &reached, fresh, Cudd_bddOr);
        Cudd_RecursiveDeref(m, frontier);
        frontier = fresh;
    }
    Cudd_RecursiveDeref(m, frontier);
    return reached;
}

void release(analysis& a) {
    for (auto* v : {&a.ip, &a.op})
        for (DdNode* f : *v) Cudd_RecursiveDeref(a.mgr, f);
    for (auto* v : {&a.ipAsync, &a.opAsync, &a.frame})
        for (DdNode* f : *v) Cudd_RecursiveDeref(a.mgrAsync, f);
    Cudd_RecursiveDeref(a.mgrAsync, a.cubeFwd);
    if (Cudd_CheckZeroRef(a.mgr) != 0 || Cudd_CheckZeroRef(a.mgrAsync) != 0)
        std::fprintf(stderr, "references left behind\n");
    Cudd_Quit(a.mgr);
    Cudd_Quit(a.mgrAsync);
}

DdNode* randomState(analysis& a, std::mt19937& rng) {
    DdNode* s = checked(Cudd_ReadOne(a.mgrAsync));
    for (int i = 0; i < a.n; ++i) {
        DdNode* lit = rng() % 2 ? a.ipAsync[size_t(i)] : Cudd_Not(a.ipAsync[size_t(i)]);
        update(a.mgrAsync, &s, lit, Cudd_bddAnd);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    int genes = argc > 1 ? std::atoi(argv[1]) : 40;
    int starts = argc > 2 ? std::atoi(argv[2]) : 4;
    unsigned seed = argc > 3 ? unsigned(std::atoi(argv[3])) : 1u;
    int smallRuns = argc > 4 ? std::atoi(argv[4]) : 200;
    if (argc > 5) cacheSize = unsigned(std::atoi(argv[5]));
    if (argc > 6) sift = std::atoi(argv[6]) != 0;
    std::mt19937 rng(seed);

    auto t0 = std::chrono::steady_clock::now();
    analysis a = build(genes, rng);
    double buildTime = secondsSince(t0);
    auto t1 = std::chrono::steady_clock::now();
    for (int s = 0; s < starts; ++s) {
        DdNode* start = randomState(a, rng);
        DdNode* r = reach(a, start);
        std::printf("start %d: %g paths\n", s, Cudd_CountPathsToNonZero(r));
        Cudd_RecursiveDeref(a.mgrAsync, r);
        Cudd_RecursiveDeref(a.mgrAsync, start);
    }
    double reachTime = secondsSince(t1);
    unsigned reorderings = Cudd_ReadReorderings(a.mgr);
    release(a);

    auto t2 = std::chrono::steady_clock::now();
    for (int r = 0; r < smallRuns; ++r) {
        analysis s = build(4, rng);
        DdNode* st = randomState(s, rng);
        DdNode* re = reach(s, st);
        Cudd_RecursiveDeref(s.mgrAsync, re);
        Cudd_RecursiveDeref(s.mgrAsync, st);
        release(s);
    }
    double smallTime = secondsSince(t2);
    std::printf(
        "genes %d: build %.3f s, reachability %.3f s (%u reorderings), %d small analyses %.3f s (%.2f ms each)\n",
        genes, buildTime, reachTime, reorderings, smallRuns, smallTime,
        smallRuns ? 1000 * smallTime / smallRuns : 0.0);
    return 0;
}
