// The BDD engine interface checked against explicit truth tables: every
// operation on random functions of up to 10 variables (complemented operands
// in every position), across forced and automatic reorderings and across two
// managers; reference accounting, misuse detection, engine failure, the
// variable order with fixed pairs, and restarts of the engine.
//
// Layer-only checks (misuse counter, memory limit) are skipped with CUDD.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bddEngine.h"

namespace {

const unsigned kSeeds[] = {1u, 7u, 42u, 1234u, 99991u, 31337u, 271828u, 3141592u};

// A Boolean function of n variables as the list of its values: entry a is
// the value under the assignment whose bit k is variable index k.
struct truthTable {
    int n = 0;
    std::vector<bool> v;
};

truthTable constantTable(int n, bool value) {
    return {n, std::vector<bool>(size_t(1) << n, value)};
}

truthTable literalTable(int n, int k) {
    truthTable t = constantTable(n, false);
    for (size_t a = 0; a < t.v.size(); ++a) t.v[a] = ((a >> k) & 1u) != 0;
    return t;
}

truthTable combine(const truthTable& x, const truthTable& y,
                   const std::function<bool(bool, bool)>& op) {
    truthTable t = x;
    for (size_t a = 0; a < t.v.size(); ++a) t.v[a] = op(x.v[a], y.v[a]);
    return t;
}

truthTable negate(const truthTable& x) {
    return combine(x, x, [](bool p, bool) { return !p; });
}

// EXISTS over the variables in `vars`.
truthTable exists(const truthTable& x, const std::vector<int>& vars) {
    truthTable t = x;
    for (int k : vars)
        for (size_t a = 0; a < t.v.size(); ++a) {
            size_t b = a ^ (size_t(1) << k);
            bool any = t.v[a] || t.v[b];
            t.v[a] = any;
            t.v[b] = any;
        }
    return t;
}

// Exchanges variables xs[i] and ys[i].
truthTable swapTable(const truthTable& x, const std::vector<int>& xs, const std::vector<int>& ys) {
    truthTable t = x;
    for (size_t a = 0; a < t.v.size(); ++a) {
        size_t b = a;
        for (size_t i = 0; i < xs.size(); ++i) {
            bool vx = (a >> xs[i]) & 1u, vy = (a >> ys[i]) & 1u;
            b &= ~((size_t(1) << xs[i]) | (size_t(1) << ys[i]));
            b |= (size_t(vy) << xs[i]) | (size_t(vx) << ys[i]);
        }
        t.v[a] = x.v[b];
    }
    return t;
}

std::string describe(const truthTable& t) {
    std::string s;
    for (bool b : t.v) s += b ? '1' : '0';
    return s;
}

// The values of f under every assignment of variables 0..n-1 (Cudd_Eval).
truthTable tableOf(DdManager* m, DdNode* f, int n) {
    truthTable t = constantTable(n, false);
    std::vector<int> inputs(size_t(std::max(Cudd_ReadSize(m), n)), 0);
    for (size_t a = 0; a < t.v.size(); ++a) {
        for (int k = 0; k < n; ++k) inputs[size_t(k)] = int((a >> k) & 1u);
        DdNode* r = Cudd_Eval(m, f, inputs.data());
        EXPECT_TRUE(r == Cudd_ReadOne(m) || r == Cudd_ReadLogicZero(m));
        t.v[a] = r == Cudd_ReadOne(m);
    }
    return t;
}

// Number of paths to the true terminal of the reduced ordered diagram of t
// for the order `levels` (variable indices from the top), counted on the
// table itself.
double pathCount(const truthTable& t, const std::vector<int>& levels, size_t depth,
                 size_t fixedMask, size_t fixedValue) {
    // Is the restriction constant, and does it depend on levels[depth]?
    bool sawTrue = false, sawFalse = false;
    for (size_t a = 0; a < t.v.size(); ++a)
        if ((a & fixedMask) == fixedValue) (t.v[a] ? sawTrue : sawFalse) = true;
    if (!sawFalse) return 1.0;
    if (!sawTrue) return 0.0;
    int k = levels[depth];
    size_t bit = size_t(1) << k;
    bool depends = false;
    for (size_t a = 0; a < t.v.size() && !depends; ++a)
        if ((a & fixedMask) == fixedValue && !(a & bit) && t.v[a] != t.v[a | bit]) depends = true;
    if (!depends) return pathCount(t, levels, depth + 1, fixedMask | bit, fixedValue);
    return pathCount(t, levels, depth + 1, fixedMask | bit, fixedValue) +
           pathCount(t, levels, depth + 1, fixedMask | bit, fixedValue | bit);
}

// Holds the references of a test and releases them on its manager.
struct held {
    DdManager* m;
    std::vector<DdNode*> nodes;
    explicit held(DdManager* mgr) : m(mgr) {}
    DdNode* keep(DdNode* f) {
        EXPECT_NE(f, nullptr);
        if (f == nullptr) return Cudd_ReadLogicZero(m);
        Cudd_Ref(f);
        nodes.push_back(f);
        return f;
    }
    void release() {
        for (DdNode* f : nodes) Cudd_RecursiveDeref(m, f);
        nodes.clear();
    }
    ~held() { release(); }
};

// A random function built by the manager and, in parallel, as a table.
struct randomFunction {
    DdNode* f;
    truthTable t;
};

randomFunction randomBuild(DdManager* m, held& h, const std::vector<DdNode*>& vars, int n,
                           std::mt19937& rng, int depth) {
    std::uniform_int_distribution<int> pick(0, 5);
    int choice = depth <= 0 ? 0 : pick(rng);
    randomFunction r;
    if (choice == 0) {
        int k = int(rng() % unsigned(n));
        r = {vars[size_t(k)], literalTable(n, k)};
    } else if (choice == 5 && rng() % 4 == 0) {
        bool one = rng() % 2;
        r = {one ? Cudd_ReadOne(m) : Cudd_ReadLogicZero(m), constantTable(n, one)};
    } else {
        randomFunction a = randomBuild(m, h, vars, n, rng, depth - 1);
        randomFunction b = randomBuild(m, h, vars, n, rng, depth - 1);
        if (rng() % 2) a = {Cudd_Not(a.f), negate(a.t)};
        if (rng() % 2) b = {Cudd_Not(b.f), negate(b.t)};
        switch (choice % 3) {
            case 0:
                r = {h.keep(Cudd_bddAnd(m, a.f, b.f)),
                     combine(a.t, b.t, [](bool p, bool q) { return p && q; })};
                break;
            case 1:
                r = {h.keep(Cudd_bddOr(m, a.f, b.f)),
                     combine(a.t, b.t, [](bool p, bool q) { return p || q; })};
                break;
            default:
                r = {h.keep(Cudd_bddXnor(m, a.f, b.f)),
                     combine(a.t, b.t, [](bool p, bool q) { return p == q; })};
                break;
        }
    }
    if (rng() % 3 == 0) r = {Cudd_Not(r.f), negate(r.t)};
    return r;
}

std::vector<DdNode*> makeVars(DdManager* m, int n) {
    std::vector<DdNode*> vars;
    for (int k = 0; k < n; ++k) vars.push_back(Cudd_bddNewVar(m));
    return vars;
}

// Conjunction of the variables `ks`, referenced in h.
DdNode* cubeOf(DdManager* m, held& h, const std::vector<DdNode*>& vars,
               const std::vector<int>& ks) {
    DdNode* c = Cudd_ReadOne(m);
    for (int k : ks) c = h.keep(Cudd_bddAnd(m, c, vars[size_t(k)]));
    return c;
}

std::string context(unsigned seed, int n, int round) {
    std::ostringstream os;
    os << "seed " << seed << ", " << n << " variables, round " << round;
    return os.str();
}

// One round of every operation on random functions; `between` runs between
// operations (a forced reordering, say).
void checkOperations(DdManager* m, int n, std::mt19937& rng, const std::string& where,
                     const std::function<void()>& between) {
    std::vector<DdNode*> vars;
    for (int k = 0; k < n; ++k) vars.push_back(Cudd_bddIthVar(m, k));
    held h(m);
    randomFunction a = randomBuild(m, h, vars, n, rng, 5);
    between();
    randomFunction b = randomBuild(m, h, vars, n, rng, 5);
    randomFunction c = randomBuild(m, h, vars, n, rng, 4);
    between();
    SCOPED_TRACE(where + "\n f = " + describe(a.t) + "\n g = " + describe(b.t));
    ASSERT_EQ(describe(tableOf(m, a.f, n)), describe(a.t));
    ASSERT_EQ(describe(tableOf(m, b.f, n)), describe(b.t));

    for (int cf = 0; cf < 2; ++cf)
        for (int cg = 0; cg < 2; ++cg) {
            DdNode* f = cf ? Cudd_Not(a.f) : a.f;
            DdNode* g = cg ? Cudd_Not(b.f) : b.f;
            truthTable tf = cf ? negate(a.t) : a.t, tg = cg ? negate(b.t) : b.t;
            SCOPED_TRACE("complements " + std::to_string(cf) + std::to_string(cg));
            EXPECT_EQ(describe(tableOf(m, h.keep(Cudd_bddAnd(m, f, g)), n)),
                      describe(combine(tf, tg, [](bool p, bool q) { return p && q; })));
            between();
            EXPECT_EQ(describe(tableOf(m, h.keep(Cudd_bddOr(m, f, g)), n)),
                      describe(combine(tf, tg, [](bool p, bool q) { return p || q; })));
            EXPECT_EQ(describe(tableOf(m, h.keep(Cudd_bddXnor(m, f, g)), n)),
                      describe(combine(tf, tg, [](bool p, bool q) { return p == q; })));
            bool leq = true;
            for (size_t x = 0; x < tf.v.size(); ++x)
                if (tf.v[x] && !tg.v[x]) leq = false;
            EXPECT_EQ(Cudd_bddLeq(m, f, g), leq ? 1 : 0);
            EXPECT_EQ(Cudd_bddLeq(m, f, f), 1);
            EXPECT_EQ(Cudd_bddLeq(m, Cudd_ReadLogicZero(m), f), 1);
            EXPECT_EQ(Cudd_bddLeq(m, f, Cudd_ReadOne(m)), 1);
            for (int ch = 0; ch < 2; ++ch) {
                DdNode* hh = ch ? Cudd_Not(c.f) : c.f;
                truthTable th = ch ? negate(c.t) : c.t;
                truthTable want = tf;
                for (size_t x = 0; x < want.v.size(); ++x) want.v[x] = tf.v[x] ? tg.v[x] : th.v[x];
                EXPECT_EQ(describe(tableOf(m, h.keep(Cudd_bddIte(m, f, g, hh)), n)),
                          describe(want));
            }
            // Abstraction over a random cube.
            std::vector<int> ks;
            for (int k = 0; k < n; ++k)
                if (rng() % 3 == 0) ks.push_back(k);
            DdNode* cube = cubeOf(m, h, vars, ks);
            between();
            EXPECT_EQ(describe(tableOf(m, h.keep(Cudd_bddExistAbstract(m, f, cube)), n)),
                      describe(exists(tf, ks)));
            EXPECT_EQ(describe(tableOf(m, h.keep(Cudd_bddAndAbstract(m, f, g, cube)), n)),
                      describe(exists(combine(tf, tg, [](bool p, bool q) { return p && q; }), ks)));
            // Swap of random disjoint pairs.
            std::vector<int> perm(static_cast<size_t>(n));
            for (int k = 0; k < n; ++k) perm[size_t(k)] = k;
            std::shuffle(perm.begin(), perm.end(), rng);
            int pairs = int(rng() % unsigned(n / 2 + 1));
            std::vector<int> xs(perm.begin(), perm.begin() + pairs),
                ys(perm.begin() + pairs, perm.begin() + 2 * pairs);
            std::vector<DdNode*> xv, yv;
            for (int i = 0; i < pairs; ++i) {
                xv.push_back(vars[size_t(xs[size_t(i)])]);
                yv.push_back(vars[size_t(ys[size_t(i)])]);
            }
            EXPECT_EQ(describe(tableOf(
                          m, h.keep(Cudd_bddSwapVariables(m, f, xv.data(), yv.data(), pairs)), n)),
                      describe(swapTable(tf, xs, ys)));
            // Simultaneous composition: each variable replaced by itself, a
            // literal, a constant or one of the random functions (possibly
            // negated), all read at the original point.
            std::vector<DdNode*> vec;
            std::vector<truthTable> vecTables;
            for (int k = 0; k < n; ++k) {
                const unsigned pick = rng() % 6;
                DdNode* node = vars[size_t(k)];
                truthTable t = literalTable(n, k);
                if (pick == 1) {
                    const int other = int(rng() % unsigned(n));
                    node = Cudd_Not(vars[size_t(other)]);
                    t = negate(literalTable(n, other));
                } else if (pick == 2) {
                    node = Cudd_ReadOne(m);
                    t = constantTable(n, true);
                } else if (pick == 3) {
                    node = g;
                    t = tg;
                } else if (pick == 4) {
                    node = Cudd_Not(c.f);
                    t = negate(c.t);
                }
                vec.push_back(node);
                vecTables.push_back(t);
            }
            truthTable composed = tf;
            for (size_t x = 0; x < tf.v.size(); ++x) {
                size_t y = 0;
                for (int k = 0; k < n; ++k)
                    if (vecTables[size_t(k)].v[x]) y |= size_t(1) << k;
                composed.v[x] = tf.v[y];
            }
            for (int k = n; k < Cudd_ReadSize(m); ++k) vec.push_back(Cudd_bddIthVar(m, k));
            EXPECT_EQ(describe(tableOf(m, h.keep(Cudd_bddVectorCompose(m, f, vec.data())), n)),
                      describe(composed));
            // Counting.
            double minterms = double(std::count(tf.v.begin(), tf.v.end(), true));
            EXPECT_EQ(Cudd_CountMinterm(m, f, n), minterms);
            EXPECT_EQ(Cudd_CountMinterm(m, f, n + 3), minterms * 8);
            std::vector<int> levels;
            for (int l = 0; l < Cudd_ReadSize(m); ++l) {
                int k = Cudd_ReadInvPerm(m, l);
                if (k < n) levels.push_back(k);
            }
            EXPECT_EQ(Cudd_CountPathsToNonZero(f), pathCount(tf, levels, 0, 0, 0));
            // Support.
            int* support = nullptr;
            int count = Cudd_SupportIndices(m, f, &support);
            std::vector<int> want;
            for (int k = 0; k < n; ++k) {
                size_t bit = size_t(1) << k;
                for (size_t x = 0; x < tf.v.size(); ++x)
                    if (!(x & bit) && tf.v[x] != tf.v[x | bit]) {
                        want.push_back(k);
                        break;
                    }
            }
            EXPECT_EQ(std::vector<int>(support, support + std::max(count, 0)), want);
            free(support);
            // Essential literals: the literals that every true assignment
            // sets, as one cube (the constant one for a constant).
            truthTable essential = constantTable(n, true);
            for (int k = 0; k < n && minterms > 0 && minterms < double(tf.v.size()); ++k)
                for (int value = 0; value < 2; ++value) {
                    bool forced = true;
                    for (size_t x = 0; x < tf.v.size(); ++x)
                        if (tf.v[x] && int((x >> k) & 1u) != value) forced = false;
                    const truthTable literal =
                        value ? literalTable(n, k) : negate(literalTable(n, k));
                    if (forced)
                        essential =
                            combine(essential, literal, [](bool p, bool q) { return p && q; });
                }
            EXPECT_EQ(describe(tableOf(m, h.keep(Cudd_FindEssential(m, f)), n)),
                      describe(essential));
            // A cube: the constant one, or a function equal to the cube of its
            // essential literals.
            EXPECT_EQ(Cudd_CheckCube(m, f),
                      minterms > 0 && describe(essential) == describe(tf) ? 1 : 0);
            // Root variable: the support variable highest in the order, the
            // same for the complement; constants carry no variable index.
            if (want.empty()) {
                EXPECT_GE(Cudd_NodeReadIndex(f), 0xFFFFu);
            } else {
                int top = want[0];
                for (int k : want)
                    if (Cudd_ReadPerm(m, k) < Cudd_ReadPerm(m, top)) top = k;
                EXPECT_EQ(Cudd_NodeReadIndex(f), unsigned(top));
                EXPECT_EQ(Cudd_NodeReadIndex(Cudd_Not(f)), unsigned(top));
            }
            // Size: at least one node per variable of the support, plus the
            // constant; a function and its negation have the same graph.
            EXPECT_GE(Cudd_DagSize(f), int(want.size()) + 1);
            EXPECT_EQ(Cudd_DagSize(f), Cudd_DagSize(Cudd_Not(f)));
            if (want.empty()) {
                EXPECT_EQ(Cudd_DagSize(f), 1);
            }
            // Cubes: each inside f, 2 exactly off the path.
            if (minterms == 0) {
                std::vector<char> cubeChars(size_t(Cudd_ReadSize(m)));
                EXPECT_EQ(Cudd_bddPickOneCube(m, f, cubeChars.data()), 0);
            }
            for (int pickRound = 0; pickRound < 4 && minterms > 0; ++pickRound) {
                std::vector<char> cubeChars(size_t(Cudd_ReadSize(m)), 9);
                ASSERT_EQ(Cudd_bddPickOneCube(m, f, cubeChars.data()), 1);
                for (size_t x = 0; x < tf.v.size(); ++x) {
                    bool inCube = true;
                    for (int k = 0; k < n; ++k) {
                        char e = cubeChars[size_t(k)];
                        ASSERT_TRUE(e == 0 || e == 1 || e == 2);
                        if (e != 2 && int((x >> k) & 1u) != e) inCube = false;
                    }
                    if (inCube) {
                        ASSERT_TRUE(tf.v[x]) << "picked cube leaves f";
                    }
                }
            }
        }
    // Transfer onto itself keeps the function.
    EXPECT_EQ(describe(tableOf(m, Cudd_bddTransfer(m, m, a.f), n)), describe(a.t));
}

TEST(CuddLayer, ConstantsAreCanonical) {
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    ASSERT_NE(m, nullptr);
    DdNode* one = Cudd_ReadOne(m);
    DdNode* zero = Cudd_ReadLogicZero(m);
    EXPECT_NE(one, nullptr);
    EXPECT_NE(zero, nullptr);
    EXPECT_EQ(Cudd_Not(one), zero);
    EXPECT_EQ(Cudd_Not(zero), one);
    EXPECT_EQ(Cudd_Regular(zero), one);
    EXPECT_TRUE(Cudd_IsConstant(one));
    EXPECT_TRUE(Cudd_IsConstant(zero));
    std::vector<DdNode*> x = makeVars(m, 3);
    EXPECT_FALSE(Cudd_IsConstant(x[0]));
    EXPECT_FALSE(Cudd_IsConstant(Cudd_Not(x[0])));
    {
        held h(m);
        DdNode* f = h.keep(Cudd_bddOr(m, h.keep(Cudd_bddAnd(m, x[0], x[1])), Cudd_Not(x[2])));
        EXPECT_FALSE(Cudd_IsConstant(f));
        EXPECT_EQ(Cudd_bddAnd(m, f, Cudd_Not(f)), zero);
        EXPECT_EQ(Cudd_bddOr(m, f, Cudd_Not(f)), one);
        EXPECT_EQ(Cudd_bddXnor(m, f, f), one);
        EXPECT_EQ(Cudd_bddXnor(m, f, Cudd_Not(f)), zero);
        // Results that happen to be constant come back canonical.
        DdNode* g = h.keep(Cudd_bddAnd(m, x[0], Cudd_Not(x[1])));
        DdNode* k = h.keep(Cudd_bddAnd(m, x[1], x[2]));
        EXPECT_EQ(Cudd_bddAnd(m, g, k), zero);
        EXPECT_EQ(Cudd_bddOr(m, Cudd_Not(g), h.keep(Cudd_bddOr(m, x[0], x[2]))), one);
        DdNode* cube = h.keep(Cudd_bddAnd(m, x[0], x[1]));
        EXPECT_EQ(Cudd_bddExistAbstract(m, cube, cube), one);
        EXPECT_EQ(Cudd_bddExistAbstract(m, Cudd_Not(cube), cube), one);
        EXPECT_EQ(Cudd_bddAndAbstract(m, g, k, cube), zero);
        // A result that is a variable is that variable's handle.
        EXPECT_EQ(Cudd_bddExistAbstract(m, cube, x[1]), x[0]);
        EXPECT_EQ(Cudd_bddExistAbstract(m, h.keep(Cudd_bddAnd(m, Cudd_Not(x[0]), x[1])), x[1]),
                  Cudd_Not(x[0]));
        EXPECT_EQ(Cudd_bddAnd(m, f, one), f);
        EXPECT_EQ(Cudd_bddOr(m, Cudd_Not(f), zero), Cudd_Not(f));
        EXPECT_EQ(Cudd_bddIte(m, x[2], one, zero), x[2]);
        std::vector<int> inputs{1, 1, 1};
        EXPECT_EQ(Cudd_Eval(m, one, inputs.data()), one);
        EXPECT_EQ(Cudd_Eval(m, zero, inputs.data()), zero);
        EXPECT_EQ(Cudd_CountPathsToNonZero(one), 1.0);
        EXPECT_EQ(Cudd_CountPathsToNonZero(zero), 0.0);
        EXPECT_EQ(Cudd_CountMinterm(m, one, 3), 8.0);
        EXPECT_EQ(Cudd_CountMinterm(m, zero, 3), 0.0);
        std::vector<char> cube3(3, 9);
        EXPECT_EQ(Cudd_bddPickOneCube(m, zero, cube3.data()), 0);
        EXPECT_EQ(Cudd_bddPickOneCube(m, one, cube3.data()), 1);
        EXPECT_EQ(cube3, std::vector<char>(3, 2));
    }
    EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
    Cudd_Quit(m);
}

TEST(CuddLayer, MintermCountsStayFiniteWithThousandsOfVariables) {
    // The engine counts over all of its variables, 2^1500 here, which no
    // double holds; the count over three of them must still come out.
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    {
        held h(m);
        std::vector<DdNode*> x;
        for (int i = 0; i < 1500; ++i) x.push_back(Cudd_bddNewVar(m));
        DdNode* f = h.keep(Cudd_bddOr(m, h.keep(Cudd_bddAnd(m, x[0], x[1])), x[1499]));
        EXPECT_NEAR(Cudd_CountMinterm(m, f, 3), 5.0, 1e-9);
        EXPECT_NEAR(Cudd_CountMinterm(m, Cudd_Not(f), 3), 3.0, 1e-9);
        EXPECT_NEAR(Cudd_CountMinterm(m, f, 700), 5.0 * std::ldexp(1.0, 697),
                    1e-9 * std::ldexp(1.0, 700));
    }
    EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
    Cudd_Quit(m);
}

TEST(CuddLayer, OperationsMatchTruthTables) {
    for (unsigned seed : kSeeds) {
        std::mt19937 rng(seed);
        for (int n = 1; n <= 10; ++n) {
            DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
            ASSERT_NE(m, nullptr);
            makeVars(m, n);
            for (int round = 0; round < 2; ++round)
                checkOperations(m, n, rng, context(seed, n, round), [] {});
            EXPECT_EQ(Cudd_CheckZeroRef(m), 0) << context(seed, n, 0);
            Cudd_Quit(m);
        }
    }
}

TEST(CuddLayer, OperationsSurviveForcedReordering) {
    for (unsigned seed : kSeeds) {
        std::mt19937 rng(seed);
        for (int n = 4; n <= 10; n += 3) {
            DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
            makeVars(m, n);
            // Start from a scrambled order so that sifting has work to do.
            std::vector<int> perm(static_cast<size_t>(n));
            for (int k = 0; k < n; ++k) perm[size_t(k)] = k;
            std::shuffle(perm.begin(), perm.end(), rng);
            ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
            for (int l = 0; l < n; ++l) EXPECT_EQ(Cudd_ReadInvPerm(m, l), perm[size_t(l)]);
            checkOperations(m, n, rng, context(seed, n, 0),
                            [m] { ASSERT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1); });
            EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
            Cudd_Quit(m);
        }
    }
}

// OR over pairs of literals of `pairs` (variable indices), a function whose
// diagram is exponential when paired variables sit far apart.
struct pairedFunction {
    std::vector<std::pair<int, int>> pairs;
    std::vector<std::pair<bool, bool>> negated;
    bool value(const std::vector<int>& x) const {
        for (size_t i = 0; i < pairs.size(); ++i)
            if ((x[size_t(pairs[i].first)] != negated[i].first) &&
                (x[size_t(pairs[i].second)] != negated[i].second))
                return true;
        return false;
    }
};

TEST(CuddLayer, OperationsSurviveAutomaticReorderingInASmallTable) {
    unsigned reorderings = 0;
    for (unsigned seed : kSeeds) {
        std::mt19937 rng(seed);
        // A small cache gives a small node table: collections, growth and
        // automatic reorderings happen inside the operations.
        DdManager* m = Cudd_Init(0, 0, 16, 256, 0);
        ASSERT_NE(m, nullptr);
        Cudd_AutodynEnable(m, CUDD_REORDER_SIFT);
        int big = 24;
        std::vector<DdNode*> vars = makeVars(m, big);
        // First variable i paired with i + 12 or a random partner: large
        // under the initial order, small once sifting brings pairs together.
        pairedFunction shape;
        for (int i = 0; i < big / 2; ++i) {
            shape.pairs.emplace_back(i, big / 2 + int(rng() % unsigned(big / 2)));
            shape.negated.emplace_back(rng() % 2 == 0, rng() % 2 == 0);
        }
        held h(m);
        DdNode* f = Cudd_ReadLogicZero(m);
        for (size_t i = 0; i < shape.pairs.size(); ++i) {
            DdNode* a = vars[size_t(shape.pairs[i].first)];
            DdNode* b = vars[size_t(shape.pairs[i].second)];
            DdNode* term = h.keep(Cudd_bddAnd(m, shape.negated[i].first ? Cudd_Not(a) : a,
                                              shape.negated[i].second ? Cudd_Not(b) : b));
            f = h.keep(Cudd_bddOr(m, f, term));
        }
        int n = 10;
        for (int round = 0; round < 3; ++round)
            checkOperations(m, n, rng, context(seed, n, round), [] {});
        std::vector<int> x(static_cast<size_t>(big));
        for (int sample = 0; sample < 500; ++sample) {
            for (int& v : x) v = int(rng() % 2);
            ASSERT_EQ(Cudd_Eval(m, f, x.data()) == Cudd_ReadOne(m), shape.value(x))
                << "seed " << seed;
        }
        reorderings += Cudd_ReadReorderings(m);
        h.release();
        EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
        Cudd_Quit(m);
    }
    EXPECT_GT(reorderings, 0u);
}

TEST(CuddLayer, TwoManagersTransferBothWays) {
    for (unsigned seed : kSeeds) {
        std::mt19937 rng(seed);
        int n = 8;
        DdManager* m1 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        DdManager* m2 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        std::vector<DdNode*> v1 = makeVars(m1, n), v2 = makeVars(m2, n);
        {
            held h1(m1), h2(m2);
            randomFunction a = randomBuild(m1, h1, v1, n, rng, 5);
            randomFunction b = randomBuild(m2, h2, v2, n, rng, 5);
            SCOPED_TRACE(context(seed, n, 0));
            DdNode* a2 = h2.keep(Cudd_bddTransfer(m1, m2, a.f));
            DdNode* b1 = h1.keep(Cudd_bddTransfer(m2, m1, b.f));
            EXPECT_EQ(describe(tableOf(m2, a2, n)), describe(a.t));
            EXPECT_EQ(describe(tableOf(m1, b1, n)), describe(b.t));
            // Operate in the destination, then bring the result back.
            DdNode* both2 = h2.keep(Cudd_bddAnd(m2, a2, Cudd_Not(b.f)));
            truthTable want = combine(a.t, b.t, [](bool p, bool q) { return p && !q; });
            EXPECT_EQ(describe(tableOf(m2, both2, n)), describe(want));
            DdNode* back = h1.keep(Cudd_bddTransfer(m2, m1, both2));
            EXPECT_EQ(describe(tableOf(m1, back, n)), describe(want));
            EXPECT_EQ(Cudd_bddLeq(m1, back, a.f), 1);
            // Transferring complemented handles and constants.
            EXPECT_EQ(describe(tableOf(m2, Cudd_bddTransfer(m1, m2, Cudd_Not(a.f)), n)),
                      describe(negate(a.t)));
            EXPECT_EQ(Cudd_bddTransfer(m1, m2, Cudd_ReadOne(m1)), Cudd_ReadOne(m2));
            EXPECT_EQ(Cudd_bddTransfer(m1, m2, Cudd_ReadLogicZero(m1)), Cudd_ReadLogicZero(m2));
            // Releasing in one manager leaves the other's copy intact.
            h1.release();
            ASSERT_EQ(Cudd_ReduceHeap(m2, CUDD_REORDER_SIFT, 0), 1);
            EXPECT_EQ(describe(tableOf(m2, a2, n)), describe(a.t));
            EXPECT_EQ(Cudd_CheckZeroRef(m1), 0);
            EXPECT_GT(Cudd_CheckZeroRef(m2), 0);
        }
        EXPECT_EQ(Cudd_CheckZeroRef(m2), 0);
        Cudd_Quit(m1);
        Cudd_Quit(m2);
    }
}

// Level and index are inverse maps in every manager, whether it holds every
// variable of the engine or only some, after shuffles and sifting.
TEST(CuddLayer, PermAndInvPermAreInverseInEveryManager) {
    for (unsigned seed : kSeeds) {
        std::mt19937 rng(seed);
        DdManager* big = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        DdManager* small = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        makeVars(big, 9);
        makeVars(small, 4);
        for (DdManager* m : {big, small}) {
            const int n = Cudd_ReadSize(m);
            std::vector<int> perm(static_cast<size_t>(n));
            for (int k = 0; k < n; ++k) perm[size_t(k)] = k;
            std::shuffle(perm.begin(), perm.end(), rng);
            ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
        }
        ASSERT_EQ(Cudd_ReduceHeap(big, CUDD_REORDER_SIFT, 0), 1);
        for (DdManager* m : {big, small})
            for (int l = 0; l < Cudd_ReadSize(m); ++l) {
                SCOPED_TRACE(context(seed, Cudd_ReadSize(m), l));
                const int k = Cudd_ReadInvPerm(m, l);
                ASSERT_GE(k, 0);
                EXPECT_EQ(Cudd_ReadPerm(m, k), l);
            }
        Cudd_Quit(small);
        Cudd_Quit(big);
    }
}

TEST(CuddLayer, TransferCreatesMissingVariables) {
    DdManager* m1 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    DdManager* m2 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> v = makeVars(m1, 5);
    DdNode* f = Cudd_bddAnd(m1, v[1], Cudd_Not(v[4]));
    Cudd_Ref(f);
    DdNode* g = Cudd_bddTransfer(m1, m2, f);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(Cudd_ReadSize(m2), 5);
    std::vector<int> in{0, 1, 0, 0, 0};
    EXPECT_EQ(Cudd_Eval(m2, g, in.data()), Cudd_ReadOne(m2));
    Cudd_RecursiveDeref(m1, f);
    Cudd_Quit(m1);
    Cudd_Quit(m2);
}

TEST(CuddLayer, PickOneCubeVariesAndCoversSmallSets) {
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> x = makeVars(m, 4);
    {
        held h(m);
        // f = x0 XOR x1, x2 and x3 free: every pick fixes x0, x1 and leaves
        // x2, x3 at 2; both cubes show up.
        DdNode* f = h.keep(Cudd_bddXnor(m, x[0], Cudd_Not(x[1])));
        std::set<std::string> seen;
        for (int i = 0; i < 64; ++i) {
            std::vector<char> c(4, 9);
            ASSERT_EQ(Cudd_bddPickOneCube(m, f, c.data()), 1);
            EXPECT_NE(c[0], c[1]);
            EXPECT_EQ(c[2], 2);
            EXPECT_EQ(c[3], 2);
            seen.insert(std::string(c.begin(), c.end()));
        }
        EXPECT_EQ(seen.size(), 2u);
        // The complement: x0 == x1.
        std::vector<char> c(4, 9);
        ASSERT_EQ(Cudd_bddPickOneCube(m, Cudd_Not(f), c.data()), 1);
        EXPECT_EQ(c[0], c[1]);
    }
    // The same picks again from a new manager: reproducible.
    std::vector<std::string> first, second;
    for (auto* out : {&first, &second}) {
        DdManager* k = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        std::vector<DdNode*> y = makeVars(k, 3);
        DdNode* g = Cudd_bddOr(k, y[0], y[2]);
        Cudd_Ref(g);
        for (int i = 0; i < 16; ++i) {
            std::vector<char> c(3);
            Cudd_bddPickOneCube(k, g, c.data());
            out->push_back(std::string(c.begin(), c.end()));
        }
        Cudd_RecursiveDeref(k, g);
        Cudd_Quit(k);
    }
    EXPECT_EQ(first, second);
    EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
    Cudd_Quit(m);
}

// On both engines (CUDD counts the nodes under a held function too, so only
// whether anything is outstanding is compared).
TEST(CuddLayer, ReferenceCountsPerManager) {
    DdManager* m1 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    DdManager* m2 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> x = makeVars(m1, 3);
    std::vector<DdNode*> y = makeVars(m2, 3);
    EXPECT_EQ(Cudd_CheckZeroRef(m1), 0);
    DdNode* f = Cudd_bddAnd(m1, x[0], x[1]);
    Cudd_Ref(f);
    Cudd_Ref(f);
    EXPECT_NE(Cudd_CheckZeroRef(m1), 0);
    EXPECT_EQ(Cudd_CheckZeroRef(m2), 0);
    DdNode* g = Cudd_bddAnd(m2, y[0], y[1]);  // the same function in m2
    Cudd_Ref(g);
    Cudd_RecursiveDeref(m1, f);
    EXPECT_NE(Cudd_CheckZeroRef(m1), 0);
    Cudd_RecursiveDeref(m1, Cudd_Not(f));  // a complement releases its node
    EXPECT_EQ(Cudd_CheckZeroRef(m1), 0);
    EXPECT_NE(Cudd_CheckZeroRef(m2), 0);
    // m2's copy still works after m1 let go and the engine collected.
    ASSERT_EQ(Cudd_ReduceHeap(m2, CUDD_REORDER_SIFT, 0), 1);
    std::vector<int> in{1, 1, 0};
    EXPECT_EQ(Cudd_Eval(m2, g, in.data()), Cudd_ReadOne(m2));
    // Constants and variables count while held.
    Cudd_Ref(Cudd_ReadOne(m1));
    Cudd_Ref(x[2]);
    EXPECT_NE(Cudd_CheckZeroRef(m1), 0);
    Cudd_RecursiveDeref(m1, Cudd_ReadLogicZero(m1));
    Cudd_RecursiveDeref(m1, x[2]);
    EXPECT_EQ(Cudd_CheckZeroRef(m1), 0);
    Cudd_RecursiveDeref(m2, g);
    EXPECT_EQ(Cudd_CheckZeroRef(m2), 0);
    Cudd_Quit(m1);
    Cudd_Quit(m2);
}

// Thousands of distinct nodes held through two managers at once, with
// several references each, released in a shuffled order with a collection
// and a reordering in between: every held function keeps its value, and the
// managers are clean exactly when the last reference has gone.
TEST(CuddLayer, ManyHeldNodesAreCountedOneByOne) {
    for (unsigned seed : {3u, 2024u}) {
        std::mt19937 rng(seed);
        DdManager* m1 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        DdManager* m2 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        const int n = 12;
        std::vector<DdNode*> x = makeVars(m1, n);
        std::vector<DdNode*> y = makeVars(m2, n);
        // Minterm a of n variables in manager m, referenced `copies` times.
        auto minterm = [n](DdManager* m, const std::vector<DdNode*>& v, unsigned a) {
            DdNode* f = Cudd_ReadOne(m);
            Cudd_Ref(f);
            for (int k = 0; k < n; ++k) {
                DdNode* g =
                    Cudd_bddAnd(m, f, ((a >> k) & 1u) ? v[size_t(k)] : Cudd_Not(v[size_t(k)]));
                Cudd_Ref(g);
                Cudd_RecursiveDeref(m, f);
                f = g;
            }
            return f;
        };
        struct held {
            DdManager* m;
            DdNode* f;
            unsigned a;
        };
        std::vector<held> refs;
        for (unsigned a = 0; a < 3000; a += 1) {
            DdManager* m = (a % 3 == 0) ? m2 : m1;
            DdNode* f = minterm(m, m == m1 ? x : y, a);
            for (unsigned c = 1; c < 1 + a % 3; ++c) Cudd_Ref(f);
            for (unsigned c = 0; c < 1 + a % 3; ++c) refs.push_back({m, f, a});
        }
        std::shuffle(refs.begin(), refs.end(), rng);
        for (size_t k = 0; k < refs.size(); ++k) {
            if (k == refs.size() / 2) {
                ASSERT_EQ(Cudd_ReduceHeap(m1, CUDD_REORDER_SIFT, 0), 1);
                for (size_t j = k; j < refs.size(); ++j) {
                    std::vector<int> in(static_cast<size_t>(n), 0);
                    for (int b = 0; b < n; ++b) in[size_t(b)] = int((refs[j].a >> b) & 1u);
                    ASSERT_EQ(Cudd_Eval(refs[j].m, refs[j].f, in.data()), Cudd_ReadOne(refs[j].m))
                        << "seed " << seed << ", minterm " << refs[j].a;
                }
            }
            ASSERT_NE(Cudd_CheckZeroRef(refs[k].m), 0) << "seed " << seed << ", release " << k;
            Cudd_RecursiveDeref(refs[k].m, refs[k].f);
        }
        EXPECT_EQ(Cudd_CheckZeroRef(m1), 0) << "seed " << seed;
        EXPECT_EQ(Cudd_CheckZeroRef(m2), 0) << "seed " << seed;
        Cudd_Quit(m1);
        Cudd_Quit(m2);
    }
}

#ifdef QUORVEL_CUDD_LAYER
TEST(CuddLayer, MisuseIsCountedAndHarmless) {
    DdManager* m1 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    DdManager* m2 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> x = makeVars(m1, 3);
    std::vector<DdNode*> y = makeVars(m2, 3);
    int before = Cudd_LayerMisuseCount();
    DdNode* f = Cudd_bddOr(m1, x[0], x[1]);
    Cudd_Ref(f);
    Cudd_RecursiveDeref(m1, f);
    EXPECT_EQ(Cudd_LayerMisuseCount(), before);
    Cudd_RecursiveDeref(m1, f);  // released twice
    EXPECT_EQ(Cudd_LayerMisuseCount(), before + 1);
    Cudd_RecursiveDeref(m1, x[1]);  // never referenced
    EXPECT_EQ(Cudd_LayerMisuseCount(), before + 2);
    // Operands of another manager give no result.
    DdNode* g = Cudd_bddAnd(m2, y[0], y[2]);
    Cudd_Ref(g);
    EXPECT_EQ(Cudd_bddAnd(m1, x[0], g), nullptr);
    EXPECT_EQ(Cudd_bddOr(m1, Cudd_ReadOne(m2), x[0]), nullptr);
    EXPECT_EQ(Cudd_bddExistAbstract(m1, x[0], y[0]), nullptr);
    EXPECT_EQ(Cudd_bddSwapVariables(m1, x[0], &x[1], &y[2], 1), nullptr);
    EXPECT_EQ(Cudd_bddTransfer(m1, m2, g), nullptr);
    EXPECT_EQ(Cudd_LayerMisuseCount(), before + 7);
    // Releasing on the wrong manager leaves the count of the right one.
    Cudd_RecursiveDeref(m1, g);
    EXPECT_EQ(Cudd_CheckZeroRef(m2), 1);
    EXPECT_EQ(Cudd_LayerMisuseCount(), before + 8);
    // An unreferenced operand of an operation is noted.
    DdNode* t = Cudd_bddAnd(m1, x[0], x[1]);
    for (int i = 0; i < 5; ++i) Cudd_Ref(Cudd_bddOr(m1, x[i % 3], Cudd_Not(x[(i + 1) % 3])));
    EXPECT_NE(Cudd_bddAnd(m1, t, x[2]), nullptr);
    EXPECT_EQ(Cudd_LayerMisuseCount(), before + 9);
    // A cube that is not positive is refused.
    DdNode* notCube = Cudd_bddAnd(m1, x[0], Cudd_Not(x[1]));
    Cudd_Ref(notCube);
    EXPECT_EQ(Cudd_bddExistAbstract(m1, x[2], notCube), nullptr);
    EXPECT_EQ(Cudd_bddExistAbstract(m1, x[2], Cudd_Not(x[1])), nullptr);
    Cudd_RecursiveDeref(m2, g);
    Cudd_Quit(m1);  // held references are dropped with the manager
    // Handles of a quit manager are refused.
    int atQuit = Cudd_LayerMisuseCount();
    DdManager* m3 = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    makeVars(m3, 3);
    EXPECT_EQ(Cudd_bddAnd(m3, x[0], Cudd_bddIthVar(m3, 1)), nullptr);
    EXPECT_GT(Cudd_LayerMisuseCount(), atQuit);
    EXPECT_EQ(Cudd_CheckZeroRef(m2), 0);
    Cudd_Quit(m2);
    Cudd_Quit(m3);
}

TEST(CuddLayer, EngineFailureGivesNull) {
    // About 3000 nodes allowed: the disjunction of x_i AND y_i with every x
    // above every y needs 2^20.
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, 1024, 3000 * 48);
    ASSERT_NE(m, nullptr);
    int n = 20;
    std::vector<DdNode*> v = makeVars(m, 2 * n);
    DdNode* acc = Cudd_ReadLogicZero(m);
    Cudd_Ref(acc);
    bool failed = false;
    for (int i = 0; i < n && !failed; ++i) {
        DdNode* term = Cudd_bddAnd(m, v[size_t(i)], v[size_t(n + i)]);
        if (term == nullptr) {
            failed = true;
            break;
        }
        Cudd_Ref(term);
        DdNode* next = Cudd_bddOr(m, acc, term);
        if (next != nullptr) Cudd_Ref(next);  // before its operands are released
        Cudd_RecursiveDeref(m, term);
        if (next == nullptr) {
            failed = true;
            break;
        }
        Cudd_RecursiveDeref(m, acc);
        acc = next;
    }
    EXPECT_TRUE(failed);
    // The manager stays usable for small work after the failure.
    DdNode* small = Cudd_bddAnd(m, v[0], v[1]);
    ASSERT_NE(small, nullptr);
    std::vector<int> in(size_t(2 * n), 1);
    EXPECT_EQ(Cudd_Eval(m, small, in.data()), Cudd_ReadOne(m));
    Cudd_RecursiveDeref(m, acc);
    EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
    Cudd_Quit(m);
}
#endif

#ifdef QUORVEL_CUDD_LAYER
TEST(CuddLayer, ComposeHonoursTheTimeLimit) {
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    ASSERT_NE(m, nullptr);
    const int n = 16;
    std::vector<DdNode*> v = makeVars(m, n);
    {
        held h(m);
        // f: a parity of every variable; each variable is replaced by the
        // conjunction of itself and its neighbour.
        DdNode* f = h.keep(Cudd_ReadLogicZero(m));
        for (DdNode* x : v) f = h.keep(Cudd_bddXnor(m, f, Cudd_Not(x)));
        std::vector<DdNode*> vector;
        for (int i = 0; i < n; ++i)
            vector.push_back(h.keep(Cudd_bddAnd(m, v[size_t(i)], v[size_t((i + 1) % n)])));

        // A limit that has passed: no result, the error code says why.
        Cudd_ResetStartTime(m);
        Cudd_SetTimeLimit(m, 0);
        for (const std::clock_t begun = std::clock();
             std::clock() - begun < CLOCKS_PER_SEC / 200;) {
        }
        EXPECT_EQ(Cudd_bddVectorCompose(m, f, vector.data()), nullptr);
        EXPECT_EQ(Cudd_ReadErrorCode(m), CUDD_TIMEOUT_EXPIRED);
        Cudd_ClearErrorCode(m);
        EXPECT_EQ(Cudd_ReadErrorCode(m), CUDD_NO_ERROR);

        // Without a limit, and under one far away, the same function.
        Cudd_UnsetTimeLimit(m);
        DdNode* unlimited = h.keep(Cudd_bddVectorCompose(m, f, vector.data()));
        Cudd_ResetStartTime(m);
        Cudd_SetTimeLimit(m, 3600000);
        DdNode* limited = h.keep(Cudd_bddVectorCompose(m, f, vector.data()));
        Cudd_UnsetTimeLimit(m);
        EXPECT_EQ(limited, unlimited);
        std::vector<int> in(static_cast<size_t>(n));
        for (unsigned k = 0; k < (1u << n); k += 97) {
            int parity = 0;
            for (int i = 0; i < n; ++i) in[size_t(i)] = int((k >> i) & 1u);
            for (int i = 0; i < n; ++i) parity ^= in[size_t(i)] & in[size_t((i + 1) % n)];
            EXPECT_EQ(Cudd_Eval(m, unlimited, in.data()) == Cudd_ReadOne(m), parity == 1) << k;
        }
    }
    EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
    Cudd_Quit(m);
}
#endif

TEST(CuddLayer, EngineRestartsCleanly) {
    for (int run = 0; run < 3; ++run) {
        DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(Cudd_ReadSize(m), 0);
        std::vector<DdNode*> v = makeVars(m, 4);
        // A different order each run: nothing of the previous run remains.
        std::vector<int> perm =
            run == 1 ? std::vector<int>{3, 2, 1, 0} : std::vector<int>{0, 2, 1, 3};
        ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
        for (int l = 0; l < 4; ++l) EXPECT_EQ(Cudd_ReadInvPerm(m, l), perm[size_t(l)]);
        DdNode* f = Cudd_bddAnd(m, v[0], v[3]);
        Cudd_Ref(f);
        DdNode* s = Cudd_bddSwapVariables(m, f, &v[0], &v[1], 1);
        Cudd_Ref(s);
        std::vector<int> in{0, 1, 0, 1};
        EXPECT_EQ(Cudd_Eval(m, s, in.data()), Cudd_ReadOne(m));
        Cudd_RecursiveDeref(m, s);
        Cudd_RecursiveDeref(m, f);
        EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
        Cudd_Quit(m);
    }
}

// A kernel without variables between two with variables, groups, swap
// pairs and reorderings: nothing of one run is freed or used by the next.
TEST(CuddLayer, EngineRestartsWithoutVariables) {
    for (int run = 0; run < 4; ++run) {
        DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        ASSERT_NE(m, nullptr);
        if (run % 2 == 0) {
            Cudd_AutodynEnable(m, CUDD_REORDER_SIFT);
            std::vector<DdNode*> v = makeVars(m, 4);
            std::vector<int> perm{0, 2, 1, 3};
            ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
            ASSERT_NE(Cudd_MakeTreeNode(m, 0, 2, MTR_FIXED), nullptr);
            DdNode* f = Cudd_bddAnd(m, v[0], v[1]);
            Cudd_Ref(f);
            DdNode* s = Cudd_bddSwapVariables(m, f, &v[0], &v[2], 1);
            Cudd_Ref(s);
            ASSERT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1);
            Cudd_RecursiveDeref(m, s);
            Cudd_RecursiveDeref(m, f);
        } else {
            Cudd_AutodynEnable(m, CUDD_REORDER_SIFT);
            EXPECT_EQ(Cudd_bddAnd(m, Cudd_ReadOne(m), Cudd_ReadLogicZero(m)),
                      Cudd_ReadLogicZero(m));
            EXPECT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1);
            EXPECT_EQ(Cudd_ShuffleHeap(m, nullptr), 1);
            std::vector<char> cube(1, 9);
            EXPECT_EQ(Cudd_bddPickOneCube(m, Cudd_ReadOne(m), cube.data()), 1);
            EXPECT_EQ(Cudd_CountPathsToNonZero(Cudd_ReadOne(m)), 1.0);
        }
        Cudd_Quit(m);
    }
}

// The order of the analysis: x_i at index i and x'_i at index n + i,
// interleaved by a shuffle, each pair a fixed group; sifting keeps every
// pair adjacent and in order.
TEST(CuddLayer, FixedPairsStayTogetherUnderSifting) {
    int moved = 0;  // seeds whose sifting changed the order
    for (unsigned seed : kSeeds) {
        std::mt19937 rng(seed);
        int n = 6;
        DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        DdManager* mAsync = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        Cudd_AutodynEnable(m, CUDD_REORDER_SIFT);
        Cudd_AutodynEnable(mAsync, CUDD_REORDER_SIFT);
        std::vector<DdNode*> v = makeVars(m, 2 * n);
        std::vector<DdNode*> va = makeVars(mAsync, 2 * n);
        std::vector<int> perm;
        for (int i = 0; i < n; ++i) {
            perm.push_back(i);
            perm.push_back(n + i);
        }
        ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
        ASSERT_EQ(Cudd_ShuffleHeap(mAsync, perm.data()), 1);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(Cudd_ReadPerm(m, i), 2 * i);
            EXPECT_EQ(Cudd_ReadPerm(mAsync, n + i), 2 * i + 1);
        }
        for (int i = 0; i < n; ++i) {
            EXPECT_NE(Cudd_MakeTreeNode(mAsync, unsigned(i), 2, MTR_FIXED), nullptr);
            EXPECT_NE(Cudd_MakeTreeNode(m, unsigned(i), 2, MTR_FIXED), nullptr);
        }
        // A function that wants x_0.. far from x_{n-1}..: pairs of distant
        // genes, in a random pairing.
        std::vector<int> genes(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) genes[size_t(i)] = i;
        std::shuffle(genes.begin(), genes.end(), rng);
        held h(m);
        DdNode* f = Cudd_ReadLogicZero(m);
        for (int i = 0; i + 1 < n; i += 2) {
            DdNode* t = h.keep(
                Cudd_bddAnd(m, v[size_t(genes[size_t(i)])], v[size_t(n + genes[size_t(i + 1)])]));
            f = h.keep(Cudd_bddOr(m, f, t));
        }
        std::vector<int> before;
        for (int k = 0; k < 2 * n; ++k) before.push_back(Cudd_ReadPerm(m, k));
        ASSERT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1);
        std::vector<int> after;
        for (int k = 0; k < 2 * n; ++k) after.push_back(Cudd_ReadPerm(m, k));
        if (after != before) ++moved;
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(Cudd_ReadPerm(m, n + i), Cudd_ReadPerm(m, i) + 1)
                << "seed " << seed << " gene " << i;
            EXPECT_EQ(Cudd_ReadPerm(mAsync, n + i), Cudd_ReadPerm(mAsync, i) + 1);
        }
        // The function is unchanged by the new order.
        truthTable want = constantTable(2 * n, false);
        for (size_t a = 0; a < want.v.size(); ++a)
            for (int i = 0; i + 1 < n; i += 2)
                if (((a >> genes[size_t(i)]) & 1u) && ((a >> (n + genes[size_t(i + 1)])) & 1u))
                    want.v[a] = true;
        EXPECT_EQ(describe(tableOf(m, f, 2 * n)), describe(want));
        h.release();
        Cudd_Quit(m);
        Cudd_Quit(mAsync);
    }
    EXPECT_GT(moved, 0) << "sifting never moved a pair: the check above proves nothing";
}

// The same under automatic sifting in a small table, as the analysis runs:
// a function over x_a AND x'_b for random distant genes makes the table
// grow and the engine reorder while it is built.
TEST(CuddLayer, FixedPairsStayTogetherUnderAutomaticSifting) {
    unsigned reorderings = 0;
    for (unsigned seed : kSeeds) {
        std::mt19937 rng(seed);
        int n = 14;
        DdManager* m = Cudd_Init(0, 0, 16, 256, 0);
        DdManager* mAsync = Cudd_Init(0, 0, 16, 256, 0);
        Cudd_AutodynEnable(m, CUDD_REORDER_SIFT);
        Cudd_AutodynEnable(mAsync, CUDD_REORDER_SIFT);
        std::vector<DdNode*> v = makeVars(m, 2 * n);
        makeVars(mAsync, 2 * n);
        std::vector<int> perm;
        for (int i = 0; i < n; ++i) {
            perm.push_back(i);
            perm.push_back(n + i);
        }
        ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
        ASSERT_EQ(Cudd_ShuffleHeap(mAsync, perm.data()), 1);
        for (int i = 0; i < n; ++i) {
            ASSERT_NE(Cudd_MakeTreeNode(mAsync, unsigned(i), 2, MTR_FIXED), nullptr);
            ASSERT_NE(Cudd_MakeTreeNode(m, unsigned(i), 2, MTR_FIXED), nullptr);
        }
        pairedFunction shape;
        for (int i = 0; i < n; ++i) {
            shape.pairs.emplace_back(i, n + (i + n / 2 + int(rng() % 3)) % n);
            shape.negated.emplace_back(rng() % 2 == 0, rng() % 2 == 0);
        }
        held h(m);
        DdNode* f = Cudd_ReadLogicZero(m);
        auto pairsAdjacent = [&]() {
            for (int i = 0; i < n; ++i)
                if (Cudd_ReadPerm(m, n + i) != Cudd_ReadPerm(m, i) + 1 ||
                    Cudd_ReadPerm(mAsync, n + i) != Cudd_ReadPerm(mAsync, i) + 1)
                    return false;
            return true;
        };
        for (size_t i = 0; i < shape.pairs.size(); ++i) {
            DdNode* a = v[size_t(shape.pairs[i].first)];
            DdNode* b = v[size_t(shape.pairs[i].second)];
            DdNode* term = h.keep(Cudd_bddAnd(m, shape.negated[i].first ? Cudd_Not(a) : a,
                                              shape.negated[i].second ? Cudd_Not(b) : b));
            f = h.keep(Cudd_bddOr(m, f, term));
            ASSERT_TRUE(pairsAdjacent()) << "seed " << seed << " after term " << i;
        }
        std::vector<int> x(static_cast<size_t>(2 * n));
        for (int sample = 0; sample < 500; ++sample) {
            for (int& value : x) value = int(rng() % 2);
            ASSERT_EQ(Cudd_Eval(m, f, x.data()) == Cudd_ReadOne(m), shape.value(x))
                << "seed " << seed;
        }
        reorderings += Cudd_ReadReorderings(m);
        h.release();
        Cudd_Quit(m);
        Cudd_Quit(mAsync);
    }
    EXPECT_GT(reorderings, 0u);
}

// Groups that do not fit the order are refused, and the ones accepted are
// kept: here the second argument is 2i, so half the groups start at a
// next-state variable and would straddle two genes.
TEST(CuddLayer, GroupsAcrossPairsAreRefused) {
    int n = 4;
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> v = makeVars(m, 2 * n);
    std::vector<int> perm{0, 4, 1, 5, 2, 6, 3, 7};
    ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
    // Index 0 at level 0, index 2 at level 4: groups (x_0, x'_0), (x_2, x'_2).
    EXPECT_NE(Cudd_MakeTreeNode(m, 0, 2, MTR_FIXED), nullptr);
    EXPECT_NE(Cudd_MakeTreeNode(m, 2, 2, MTR_FIXED), nullptr);
    // Index 4 (x'_0) at level 1: levels 1-2 overlap the first group.
    EXPECT_EQ(Cudd_MakeTreeNode(m, 4, 2, MTR_FIXED), nullptr);
    // Index 6 (x'_2) at level 5: overlaps the second group.
    EXPECT_EQ(Cudd_MakeTreeNode(m, 6, 2, MTR_FIXED), nullptr);
#ifdef QUORVEL_CUDD_LAYER
    // Beyond the variables (CUDD keeps such groups for variables to come).
    EXPECT_EQ(Cudd_MakeTreeNode(m, 7, 2, MTR_FIXED), nullptr);
    EXPECT_EQ(Cudd_MakeTreeNode(m, 9, 1, MTR_FIXED), nullptr);
#endif
    // A group enclosing two groups is accepted.
    EXPECT_NE(Cudd_MakeTreeNode(m, 1, 4, MTR_DEFAULT), nullptr);
    held h(m);
    DdNode* f = Cudd_ReadLogicZero(m);
    for (int i = 0; i < n; ++i)
        f = h.keep(
            Cudd_bddOr(m, f, h.keep(Cudd_bddAnd(m, v[size_t(i)], v[size_t(n + (i + 2) % n)]))));
    ASSERT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1);
    EXPECT_EQ(Cudd_ReadPerm(m, 4), Cudd_ReadPerm(m, 0) + 1);
    EXPECT_EQ(Cudd_ReadPerm(m, 6), Cudd_ReadPerm(m, 2) + 1);
    std::vector<int> in{1, 0, 0, 0, 0, 0, 1, 0};
    EXPECT_EQ(Cudd_Eval(m, f, in.data()), Cudd_ReadOne(m));
    in[6] = 0;
    EXPECT_EQ(Cudd_Eval(m, f, in.data()), Cudd_ReadLogicZero(m));
    h.release();
    Cudd_Quit(m);
}

TEST(CuddLayer, VariablesOnDemand) {
    DdManager* m = Cudd_Init(3, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    EXPECT_EQ(Cudd_ReadSize(m), 3);
    DdNode* x5 = Cudd_bddIthVar(m, 5);
    EXPECT_EQ(Cudd_ReadSize(m), 6);
    EXPECT_EQ(Cudd_bddIthVar(m, 5), x5);
    EXPECT_EQ(Cudd_bddIthVar(m, -1), nullptr);
    DdNode* x6 = Cudd_bddNewVar(m);
    EXPECT_EQ(Cudd_ReadSize(m), 7);
    EXPECT_EQ(Cudd_ReadPerm(m, 6), 6);
    EXPECT_EQ(Cudd_ReadPerm(m, 7), -1);
    EXPECT_EQ(Cudd_ReadInvPerm(m, 7), -1);
    // Inputs other than 1 count as 0.
    DdNode* f = Cudd_bddAnd(m, x5, x6);
    Cudd_Ref(f);
    std::vector<int> in{0, 0, 0, 0, 0, 1, 2};
    EXPECT_EQ(Cudd_Eval(m, f, in.data()), Cudd_ReadLogicZero(m));
    in[6] = 1;
    EXPECT_EQ(Cudd_Eval(m, f, in.data()), Cudd_ReadOne(m));
    int* support = nullptr;
    ASSERT_EQ(Cudd_SupportIndices(m, f, &support), 2);
    EXPECT_EQ(support[0], 5);
    EXPECT_EQ(support[1], 6);
    free(support);
    EXPECT_EQ(Cudd_SupportIndices(m, Cudd_ReadOne(m), &support), 0);
    free(support);
    Cudd_RecursiveDeref(m, f);
    Cudd_Quit(m);
}

// Supports read again and again: by turns from two functions that share
// nodes; a third function once before and once after 65,534 of those reads
// (the layer starts its visited marks over every 65,535 reads, and a stale
// mark would hide part of the third function); then with new variables and
// nodes. Each read is exact.
TEST(CuddLayer, RepeatedSupportReadsStayExact) {
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> x = makeVars(m, 6);
    DdNode* shared = Cudd_bddXnor(m, x[1], x[4]);
    Cudd_Ref(shared);
    DdNode* f = Cudd_bddAnd(m, x[0], shared);
    Cudd_Ref(f);
    DdNode* g = Cudd_bddOr(m, shared, x[5]);
    Cudd_Ref(g);
    DdNode* once = Cudd_bddAnd(m, x[2], x[3]);
    Cudd_Ref(once);
    long reads = 0;
    const auto supportOf = [&](DdNode* h) {
        ++reads;
        int* support = nullptr;
        const int count = Cudd_SupportIndices(m, h, &support);
        std::vector<int> indices(support, support + std::max(count, 0));
        free(support);
        return indices;
    };
    ASSERT_EQ(supportOf(once), (std::vector<int>{2, 3}));
    const long before = reads;
    while (reads < before + 65534) {
        const bool even = reads % 2 == 0;
        ASSERT_EQ(supportOf(even ? f : g),
                  even ? (std::vector<int>{0, 1, 4}) : (std::vector<int>{1, 4, 5}))
            << "read " << reads;
    }
    ASSERT_EQ(supportOf(once), (std::vector<int>{2, 3}));
    for (int round = 0; round < 4; ++round) {
        DdNode* const fresh = Cudd_bddNewVar(m);
        DdNode* const grown = Cudd_bddAnd(m, fresh, f);
        Cudd_Ref(grown);
        std::vector<int> withFresh{0, 1, 4, static_cast<int>(Cudd_NodeReadIndex(fresh))};
        EXPECT_EQ(supportOf(grown), withFresh);
        Cudd_RecursiveDeref(m, grown);
    }
    for (DdNode* h : {f, g, shared, once}) Cudd_RecursiveDeref(m, h);
    EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
    Cudd_Quit(m);
}

#ifdef QUORVEL_CUDD_LAYER
TEST(CuddLayer, InvalidArgumentsAreRefused) {
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> x = makeVars(m, 2);
    int before = Cudd_LayerMisuseCount();
    EXPECT_EQ(Cudd_bddAnd(m, nullptr, x[0]), nullptr);
    EXPECT_EQ(Cudd_bddOr(m, x[0], nullptr), nullptr);
    EXPECT_EQ(Cudd_bddAnd(nullptr, x[0], x[1]), nullptr);
    Cudd_Ref(nullptr);
    EXPECT_EQ(Cudd_LayerMisuseCount(), before + 4);
    // Swapping needs plain variables.
    DdNode* f = Cudd_bddAnd(m, x[0], x[1]);
    Cudd_Ref(f);
    DdNode* notVar = Cudd_Not(x[1]);
    EXPECT_EQ(Cudd_bddSwapVariables(m, f, &x[0], &notVar, 1), nullptr);
    EXPECT_EQ(Cudd_bddSwapVariables(m, f, &x[0], &f, 1), nullptr);
    EXPECT_EQ(Cudd_bddSwapVariables(m, f, &x[0], &x[1], 0), f);
    Cudd_RecursiveDeref(m, f);
    // The two null operands given with m are faults of m, reported as such
    // from then on.
    EXPECT_EQ(Cudd_CheckZeroRef(m), 2);
    // At most 16 managers at once.
    std::vector<DdManager*> more;
    for (int i = 0; i < 20; ++i) {
        DdManager* k = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        if (k == nullptr) break;
        more.push_back(k);
    }
    EXPECT_EQ(more.size(), 15u);
    for (DdManager* k : more) Cudd_Quit(k);
    Cudd_Quit(m);
    // A quit manager is no longer accepted.
    int atQuit = Cudd_LayerMisuseCount();
    DdManager* fresh = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    Cudd_Quit(m);
    EXPECT_EQ(Cudd_ReadOne(m), nullptr);
    EXPECT_EQ(Cudd_LayerMisuseCount(), atQuit + 2);
    Cudd_Quit(fresh);
}
#endif

// The exchange of x_i and x'_i is prepared once and reused; it must stay
// right after the order changed (sifting, a shuffle).
TEST(CuddLayer, SwapStaysRightAcrossOrderChanges) {
    for (unsigned seed : kSeeds) {
        std::mt19937 rng(seed);
        int n = 4;
        DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
        std::vector<DdNode*> v = makeVars(m, 2 * n);
        held h(m);
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(context(seed, 2 * n, round));
            randomFunction f = randomBuild(m, h, v, 2 * n, rng, 6);
            std::vector<int> xs, ys;
            for (int i = 0; i < n; ++i) {
                xs.push_back(i);
                ys.push_back(n + i);
            }
            DdNode* s = h.keep(Cudd_bddSwapVariables(m, f.f, v.data(), v.data() + n, n));
            EXPECT_EQ(describe(tableOf(m, s, 2 * n)), describe(swapTable(f.t, xs, ys)));
            if (round % 2 == 0) {
                ASSERT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1);
            } else {
                std::vector<int> perm(static_cast<size_t>(2 * n));
                for (int k = 0; k < 2 * n; ++k) perm[size_t(k)] = k;
                std::shuffle(perm.begin(), perm.end(), rng);
                ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
            }
            EXPECT_EQ(describe(tableOf(m, s, 2 * n)), describe(swapTable(f.t, xs, ys)));
        }
        h.release();
        EXPECT_EQ(Cudd_CheckZeroRef(m), 0);
        Cudd_Quit(m);
    }
}

#ifdef QUORVEL_CUDD_LAYER
// Layer only: CUDD refuses a shuffle that breaks a fixed group, where the
// layer drops the group.
TEST(CuddLayer, ShuffleHeapGivesTheRequestedLevels) {
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    int n = 3;
    makeVars(m, 2 * n);
    std::vector<int> perm{0, 3, 1, 4, 2, 5};
    ASSERT_EQ(Cudd_ShuffleHeap(m, perm.data()), 1);
    EXPECT_EQ(Cudd_ReadInvPerm(m, 1), 3);
    EXPECT_EQ(Cudd_ReadInvPerm(m, 4), 2);
    EXPECT_EQ(Cudd_ReadPerm(m, 4), 3);
    // A second shuffle after the variables are in use moves them.
    std::vector<DdNode*> v;
    for (int k = 0; k < 2 * n; ++k) v.push_back(Cudd_bddIthVar(m, k));
    DdNode* f = Cudd_bddXnor(m, v[0], v[5]);
    Cudd_Ref(f);
    ASSERT_NE(Cudd_MakeTreeNode(m, 0, 2, MTR_FIXED), nullptr);
    ASSERT_NE(Cudd_MakeTreeNode(m, 1, 2, MTR_FIXED), nullptr);
    ASSERT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1);
    // Reversing the order breaks the fixed groups; they are dropped.
    std::vector<int> back{5, 4, 3, 2, 1, 0};
    ASSERT_EQ(Cudd_ShuffleHeap(m, back.data()), 1);
    for (int l = 0; l < 2 * n; ++l) EXPECT_EQ(Cudd_ReadInvPerm(m, l), back[size_t(l)]);
    std::vector<int> in{1, 0, 0, 0, 0, 1};
    EXPECT_EQ(Cudd_Eval(m, f, in.data()), Cudd_ReadOne(m));
    ASSERT_EQ(Cudd_ReduceHeap(m, CUDD_REORDER_SIFT, 0), 1);
    EXPECT_EQ(Cudd_Eval(m, f, in.data()), Cudd_ReadOne(m));
    in[5] = 0;
    EXPECT_EQ(Cudd_Eval(m, f, in.data()), Cudd_ReadLogicZero(m));
    // Not a permutation: refused.
    std::vector<int> bad{0, 0, 1, 2, 3, 4};
    EXPECT_EQ(Cudd_ShuffleHeap(m, bad.data()), 0);
    Cudd_RecursiveDeref(m, f);
    Cudd_Quit(m);
}
#endif

}  // namespace
