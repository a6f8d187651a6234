// bddHandle and its array helpers, on whichever engine the build uses (the
// layer, or real CUDD, whose consistency check outstandingRefs runs too):
// every way a handle is copied, moved, assigned, handed over or dropped
// leaves exactly the references that are still held, and none once every
// handle is gone (Cudd_CheckZeroRef). The case that matters most is a result
// that is a node of its operand's graph: it must be referenced before the
// operand's old node is released, or CUDD loses it.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "bddHandle.h"
#include "engineChecks.h"

namespace {

// A manager with three variables x0 < x1 < x2 (order = index).
struct space {
    DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, CUDD_CACHE_SLOTS, 0);
    std::vector<DdNode*> x;
    space() {
        for (int i = 0; i < 3; ++i) x.push_back(Cudd_bddNewVar(mgr));
    }
    space(const space&) = delete;
    space& operator=(const space&) = delete;
    ~space() { Cudd_Quit(mgr); }

    // x0 AND x1 AND x2: its graph holds x1 AND x2, which is what
    // existentially removing x0 gives.
    bddHandle conjunction() {
        const bddHandle low = bddResult(mgr, Cudd_bddAnd(mgr, x[1], x[2]));
        return bddResult(mgr, Cudd_bddAnd(mgr, x[0], low.get()));
    }
    bool holdsReferences() const { return Cudd_CheckZeroRef(mgr) != 0; }
};

TEST(BddHandle, copiesMovesAndDestructionLeaveNoReference) {
    space s;
    {
        bddHandle a = s.conjunction();
        EXPECT_TRUE(s.holdsReferences());
        bddHandle copy = a;  // a second reference on the same node
        EXPECT_EQ(copy, a);
        a.reset();
        EXPECT_FALSE(a);
        EXPECT_TRUE(s.holdsReferences()) << "the copy must keep the node";
        bddHandle moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(moved.manager(), s.mgr);
        a = moved;  // copy assignment
        bddHandle other;
        other = std::move(a);  // move assignment
        EXPECT_FALSE(a);
        EXPECT_EQ(other, moved);
        const bddHandle& self = other;
        other = self;  // self-assignment keeps exactly one reference
        moved.reset();
        moved.reset();  // a second reset releases nothing
        EXPECT_TRUE(s.holdsReferences());
    }
    EXPECT_EQ(outstandingRefs(s.mgr), 0);
}

TEST(BddHandle, aResultInsideTheOperandsGraphSurvivesAssignment) {
    space s;
    {
        bddHandle a = s.conjunction();
        // x1 AND x2 lives only inside a's graph; the assignment must reference
        // it before a's old node goes.
        a = bddResult(s.mgr, Cudd_bddExistAbstract(s.mgr, a.get(), s.x[0]));
        const bddHandle expected = bddResult(s.mgr, Cudd_bddAnd(s.mgr, s.x[1], s.x[2]));
        EXPECT_EQ(a, expected);
        // A result equal to its operand (x1 AND x2 AND x1 is itself).
        a = bddResult(s.mgr, Cudd_bddAnd(s.mgr, a.get(), s.x[1]));
        EXPECT_EQ(a, expected);
        // Down to the bottom node of the graph, x2, a variable.
        a = bddResult(s.mgr, Cudd_bddExistAbstract(s.mgr, a.get(), s.x[1]));
        EXPECT_EQ(a.get(), s.x[2]);
        // The nodes that survived still work as operands.
        a = bddResult(s.mgr, Cudd_bddAnd(s.mgr, a.get(), s.x[1]));
        EXPECT_EQ(a, expected);
    }
    EXPECT_EQ(outstandingRefs(s.mgr), 0);
}

TEST(BddHandle, handingReferencesOverAndBack) {
    space s;
    {
        bddHandle a = s.conjunction();
        DdNode* raw = a.release();  // now the caller's reference
        EXPECT_FALSE(a);
        EXPECT_TRUE(s.holdsReferences());
        const bddHandle back = bddHandle::adopt(s.mgr, raw);
        EXPECT_EQ(back.get(), raw);
        EXPECT_FALSE(bddHandle::adopt(s.mgr, nullptr));
        // Constants and variables are held like any function.
        const bddHandle one = bddOne(s.mgr);
        const bddHandle zero = bddZero(s.mgr);
        EXPECT_EQ(one.get(), Cudd_Not(zero.get()));
        const bddHandle var(s.mgr, s.x[2]);
        EXPECT_NE(var, one);
    }
    EXPECT_EQ(outstandingRefs(s.mgr), 0);
}

TEST(BddHandle, aFailedOperationThrowsAndTakesNothing) {
    space s;
    bddHandle a = s.conjunction();
    const DdNode* before = a.get();
    EXPECT_THROW(a = bddResult(s.mgr, nullptr), quorvelError);
    EXPECT_EQ(a.get(), before) << "a failed assignment must leave the old value";
#ifdef QUORVEL_CUDD_LAYER
    // A real engine failure, injected by the layer into the next operation.
    Cudd_LayerFailAfter(0);
    EXPECT_THROW(a = bddResult(s.mgr, Cudd_bddOr(s.mgr, a.get(), s.x[0])), quorvelError);
    EXPECT_LT(Cudd_LayerFailAfter(-1), 0) << "the armed failure did not happen";
    EXPECT_EQ(a.get(), before);
#endif
    a.reset();
    EXPECT_EQ(outstandingRefs(s.mgr), 0);
}

TEST(BddHandle, arraysOfHandlesAndRawArrays) {
    space s;
    {
        bddArray handles;
        for (int round = 0; round < 40; ++round)  // growth moves the handles
            handles.push_back(bddHandle(s.mgr, s.x[static_cast<size_t>(round % 3)]));
        bddArray copies = handles;
        handles.erase(handles.begin(), handles.begin() + 20);

        const std::vector<DdNode*> lent = lentNodes(copies);
        ASSERT_EQ(lent.size(), 40u);
        EXPECT_EQ(lent[4], s.x[1]);

        std::vector<DdNode*> raw{nullptr};
        releaseInto(copies, raw);  // raw now owns 40 references after its null
        EXPECT_TRUE(copies.empty());
        ASSERT_EQ(raw.size(), 41u);
        bddArray back = adoptAll(s.mgr, raw);  // nulls allowed
        EXPECT_TRUE(raw.empty());
        ASSERT_EQ(back.size(), 41u);
        EXPECT_FALSE(back[0]);
        EXPECT_EQ(back[2].get(), s.x[1]);
    }
    EXPECT_EQ(outstandingRefs(s.mgr), 0);
}

TEST(BddHandle, rawArrayEntriesOwnedThroughHandles) {
    space s;
    {
        std::vector<DdNode*> raw;
        appendOwned(raw, s.conjunction());
        appendOwned(raw, bddOne(s.mgr));
        ASSERT_EQ(raw.size(), 2u);
        // The entry's new value is a node of its old value's graph.
        replaceOwned(raw[0], bddResult(s.mgr, Cudd_bddExistAbstract(s.mgr, raw[0], s.x[0])));
        const bddHandle expected = bddResult(s.mgr, Cudd_bddAnd(s.mgr, s.x[1], s.x[2]));
        EXPECT_EQ(raw[0], expected.get());
        replaceOwned(raw[1], bddHandle(s.mgr, raw[1]));  // itself
        EXPECT_EQ(raw[1], Cudd_ReadOne(s.mgr));
        adoptAll(s.mgr, raw);  // released with the temporary array
    }
    EXPECT_EQ(outstandingRefs(s.mgr), 0);
}

TEST(BddHandle, rawNodesGuardReleasesWhatAFailedFillerLeft) {
    space s;
    std::vector<DdNode*> raw;
    // A filler that appends two results (and a null entry) and then fails.
    const auto fill = [&s](std::vector<DdNode*>& nodes) {
        appendOwned(nodes, s.conjunction());
        nodes.push_back(nullptr);
        appendOwned(nodes, bddHandle(s.mgr, s.x[0]));
        throw std::runtime_error("failed part way");
    };
    try {
        const rawNodesGuard guard(s.mgr, raw);
        fill(raw);
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(raw.empty());
    EXPECT_EQ(outstandingRefs(s.mgr), 0);

    // Nodes taken out before the scope ends are kept.
    bddArray kept;
    {
        const rawNodesGuard guard(s.mgr, raw);
        appendOwned(raw, s.conjunction());
        kept = adoptAll(s.mgr, raw);
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(s.holdsReferences());
    kept.clear();
    EXPECT_EQ(outstandingRefs(s.mgr), 0);
}

}  // namespace
