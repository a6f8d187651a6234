// Reference faults of the calling code, on whichever engine the build uses:
// what CUDD cannot survive must show on the layer too, as an outstanding
// reference that Cudd_CheckZeroRef reports (the analysis's own check at the
// end of every run), and the correct idiom must show nothing on either.
// On CUDD a fault leaves the reference or dead counts wrong, which its
// consistency check (Cudd_DebugCheck) or Cudd_CheckZeroRef reports; every
// case quits the manager right after, before CUDD would collect and abort.
#include <gtest/gtest.h>

#include <vector>

#include "bddEngine.h"
#include "engineChecks.h"

namespace {

struct manager {
    DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> x;
    explicit manager(int n) {
        for (int i = 0; i < n; ++i) x.push_back(Cudd_bddNewVar(mgr));
    }
    ~manager() { Cudd_Quit(mgr); }
    // The engine finds something wrong with the references of mgr.
    bool faulty() const {
#ifndef QUORVEL_CUDD_LAYER
        if (Cudd_DebugCheck(mgr) != 0) return true;
#endif
        return Cudd_CheckZeroRef(mgr) != 0;
    }
    // x0 AND x1 AND x2, referenced.
    DdNode* conjunction() {
        DdNode* low = Cudd_bddAnd(mgr, x[1], x[2]);
        Cudd_Ref(low);
        DdNode* f = Cudd_bddAnd(mgr, x[0], low);
        Cudd_Ref(f);
        Cudd_RecursiveDeref(mgr, low);
        return f;
    }
};

TEST(ReferenceFaults, correctIdiomLeavesNothing) {
    manager m(3);
    DdNode* f = m.conjunction();
    // A result inside its operand's graph, referenced before the operand
    // is released.
    DdNode* low = Cudd_bddExistAbstract(m.mgr, f, m.x[0]);
    ASSERT_NE(low, nullptr);
    Cudd_Ref(low);
    Cudd_RecursiveDeref(m.mgr, f);
    // A result equal to its operand.
    DdNode* same = Cudd_bddAnd(m.mgr, low, m.x[1]);
    Cudd_Ref(same);
    Cudd_RecursiveDeref(m.mgr, low);
    EXPECT_EQ(Cudd_bddLeq(m.mgr, same, m.x[2]), 1);
    // Constants and variables referenced and released like any function.
    Cudd_Ref(Cudd_ReadOne(m.mgr));
    Cudd_Ref(m.x[0]);
    EXPECT_TRUE(m.faulty());  // held, so outstanding
    Cudd_RecursiveDeref(m.mgr, Cudd_ReadLogicZero(m.mgr));
    Cudd_RecursiveDeref(m.mgr, m.x[0]);
    Cudd_RecursiveDeref(m.mgr, same);
    EXPECT_FALSE(m.faulty());
    EXPECT_EQ(outstandingRefs(m.mgr), 0);
}

TEST(ReferenceFaults, aReferenceNeverReleasedIsOutstanding) {
    manager m(3);
    DdNode* f = m.conjunction();
    Cudd_Ref(f);
    Cudd_RecursiveDeref(m.mgr, f);
    EXPECT_NE(Cudd_CheckZeroRef(m.mgr), 0);
    Cudd_RecursiveDeref(m.mgr, f);
    EXPECT_EQ(Cudd_CheckZeroRef(m.mgr), 0);
}

TEST(ReferenceFaults, releasingTwiceIsAFault) {
    manager m(3);
    DdNode* f = m.conjunction();
    Cudd_RecursiveDeref(m.mgr, f);
    Cudd_RecursiveDeref(m.mgr, f);
    EXPECT_TRUE(m.faulty());
}

TEST(ReferenceFaults, releasingAVariableNeverReferencedIsAFault) {
    manager m(3);
    Cudd_RecursiveDeref(m.mgr, m.x[1]);
    EXPECT_TRUE(m.faulty());
}

TEST(ReferenceFaults, aResultReferencedAfterItsOperandWasReleasedIsAFault) {
    // The result is a node of the operand's graph: it dies with the
    // operand, and a later Cudd_Ref does not bring it back.
    manager m(3);
    DdNode* f = m.conjunction();
    DdNode* low = Cudd_bddExistAbstract(m.mgr, f, m.x[0]);
    ASSERT_NE(low, nullptr);
    Cudd_RecursiveDeref(m.mgr, f);
    Cudd_Ref(low);
    EXPECT_TRUE(m.faulty());
}

TEST(ReferenceFaults, aResultEqualToItsReleasedOperandIsAFault) {
    manager m(3);
    DdNode* f = m.conjunction();
    DdNode* same = Cudd_bddAnd(m.mgr, f, m.x[0]);  // f itself
    Cudd_RecursiveDeref(m.mgr, f);
    Cudd_Ref(same);
    EXPECT_TRUE(m.faulty());
}

#ifdef QUORVEL_CUDD_LAYER
// CUDD finds these only when a collection happens to run at the wrong time;
// the layer finds them always.
TEST(ReferenceFaults, anUnreferencedOperandIsAFaultOnTheLayer) {
    manager m(3);
    DdNode* t = Cudd_bddAnd(m.mgr, m.x[0], m.x[1]);
    DdNode* u = Cudd_bddOr(m.mgr, m.x[2], Cudd_Not(m.x[1]));  // t is no longer fresh
    Cudd_Ref(u);
    DdNode* both = Cudd_bddAnd(m.mgr, t, u);
    ASSERT_NE(both, nullptr);
    Cudd_Ref(both);
    Cudd_RecursiveDeref(m.mgr, both);
    Cudd_RecursiveDeref(m.mgr, u);
    EXPECT_TRUE(m.faulty());
}

TEST(ReferenceFaults, aResultReferencedAfterAnotherOperationIsAFaultOnTheLayer) {
    manager m(3);
    DdNode* t = Cudd_bddAnd(m.mgr, m.x[0], m.x[1]);
    DdNode* u = Cudd_bddAnd(m.mgr, m.x[1], m.x[2]);
    Cudd_Ref(u);
    Cudd_Ref(t);
    Cudd_RecursiveDeref(m.mgr, t);
    Cudd_RecursiveDeref(m.mgr, u);
    EXPECT_TRUE(m.faulty());
}

TEST(ReferenceFaults, aResultReferencedAfterAReleaseIsAFaultOnTheLayer) {
    // Whether CUDD kills the result depends on the graph released; the
    // layer refuses the order itself.
    manager m(3);
    DdNode* f = m.conjunction();
    DdNode* g = Cudd_bddOr(m.mgr, m.x[1], m.x[2]);
    Cudd_RecursiveDeref(m.mgr, f);
    Cudd_Ref(g);
    Cudd_RecursiveDeref(m.mgr, g);
    EXPECT_TRUE(m.faulty());
}
#endif

}  // namespace
