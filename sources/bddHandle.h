// bddHandle: one BDD node together with the one reference it holds on its
// manager. Every BDD the analysis keeps in a local variable, a scratch array
// or a record is a bddHandle, so that each reference is released exactly once
// whatever way the scope is left (an engine failure throws quorvelError from
// anywhere in a search).
//
// - Constructing from a node takes a new reference on it; copying takes
//   another; moving hands the reference over; the destructor (or reset)
//   releases it.
// - Assigning a new value references the new node before the old one is
//   released. A result of an operation may be a node inside an operand's
//   graph, so `a = bddResult(mgr, Cudd_bddAnd(mgr, a.get(), b.get()))` is
//   safe: the result is referenced (by bddResult) before `a`'s old node goes.
// - bddResult turns the raw result of an engine operation into a handle, or
//   throws quorvelError when the engine failed (a null result, as on memory
//   exhaustion or a time limit).
// - The raw DdNode* interfaces of the analysis (arrays of relations and
//   variables, results handed to the caller) stay as they are: get() lends a
//   node without a reference, release() hands the handle's reference to the
//   caller, and adopt() takes over a reference the caller held.
#pragma once

#include <atomic>
#include <utility>
#include <vector>

#include "bddEngine.h"
#include "quorvelError.h"

class bddHandle {
public:
    bddHandle() noexcept = default;

    // A new reference on `node` (not null) of `mgr`.
    bddHandle(DdManager* mgr, DdNode* node) : mgr_(mgr), node_(node) {
        if (node_ != nullptr) Cudd_Ref(node_);
    }

    // Takes over the reference the caller holds on `node` (null gives an
    // empty handle).
    static bddHandle adopt(DdManager* mgr, DdNode* node) noexcept {
        bddHandle handle;
        handle.mgr_ = mgr;
        handle.node_ = node;
        return handle;
    }

    bddHandle(const bddHandle& other) : mgr_(other.mgr_), node_(other.node_) {
        if (node_ != nullptr) Cudd_Ref(node_);
    }
    bddHandle(bddHandle&& other) noexcept
        : mgr_(std::exchange(other.mgr_, nullptr)), node_(std::exchange(other.node_, nullptr)) {}

    // Copy-and-swap: the new node is referenced (by the copy or the moved-from
    // handle) before the old one is released by `other`'s destructor.
    bddHandle& operator=(bddHandle other) noexcept {
        std::swap(mgr_, other.mgr_);
        std::swap(node_, other.node_);
        return *this;
    }

    ~bddHandle() { reset(); }

    // Releases the reference; the handle is empty afterwards.
    void reset() noexcept {
        if (node_ != nullptr) Cudd_RecursiveDeref(mgr_, node_);
        node_ = nullptr;
    }

    // The node, lent: valid while this handle holds it.
    DdNode* get() const noexcept { return node_; }
    DdManager* manager() const noexcept { return mgr_; }
    explicit operator bool() const noexcept { return node_ != nullptr; }

    // Hands the reference to the caller, who must release it; the handle is
    // empty afterwards.
    [[nodiscard]] DdNode* release() noexcept { return std::exchange(node_, nullptr); }

    // The same node (pointer equality is BDD equality within one manager).
    friend bool operator==(const bddHandle& a, const bddHandle& b) noexcept {
        return a.node_ == b.node_;
    }
    friend bool operator!=(const bddHandle& a, const bddHandle& b) noexcept {
        return a.node_ != b.node_;
    }

private:
    DdManager* mgr_ = nullptr;
    DdNode* node_ = nullptr;
};

// Handles in an array, each owning its reference.
using bddArray = std::vector<bddHandle>;

// The stop flag of the analysis that runs on this thread
// (analysisOptions::cancel), or null. topFuncAsync sets it for the length of
// one analysis; being per thread, analyses on other threads keep their own.
inline const std::atomic<bool>*& analysisStopFlag() {
    thread_local const std::atomic<bool>* flag = nullptr;
    return flag;
}

// The result of an engine operation on mgr as a handle; throws quorvelError
// when the engine gave no result (memory exhausted, time limit, the
// analysis's stop flag seen by the engine), or when the stop flag of the
// analysis on this thread is set: CUDD asks its termination callback only
// every few thousand cache misses, so long runs of small operations that
// mostly hit the cache stop here instead. An unreferenced result is left
// to the engine's collection, as on every failure.
inline bddHandle bddResult(DdManager* mgr, DdNode* result) {
    if (result == nullptr)
        throw quorvelError("BDD engine failure: an operation gave no result (memory exhausted)");
    const std::atomic<bool>* stop = analysisStopFlag();
    if (stop != nullptr && stop->load(std::memory_order_relaxed))
        throw quorvelError("the analysis was stopped");
    return bddHandle(mgr, result);
}

// Constants and variables of mgr as handles.
inline bddHandle bddOne(DdManager* mgr) { return bddHandle(mgr, Cudd_ReadOne(mgr)); }
inline bddHandle bddZero(DdManager* mgr) { return bddHandle(mgr, Cudd_ReadLogicZero(mgr)); }

// The nodes of `handles`, lent (no reference), in the same order: for the
// interfaces that take arrays of raw nodes.
inline std::vector<DdNode*> lentNodes(const bddArray& handles) {
    std::vector<DdNode*> nodes;
    nodes.reserve(handles.size());
    for (const bddHandle& handle : handles) nodes.push_back(handle.get());
    return nodes;
}

// Moves the references of `handles` to the end of `nodes` (a raw array whose
// owner releases them), in order, and empties `handles`.
inline void releaseInto(bddArray& handles, std::vector<DdNode*>& nodes) {
    nodes.reserve(nodes.size() + handles.size());
    for (bddHandle& handle : handles) nodes.push_back(handle.release());
    handles.clear();
}

// Takes over the references of a raw array (one per entry, nulls allowed)
// and empties it.
inline bddArray adoptAll(DdManager* mgr, std::vector<DdNode*>& nodes) {
    bddArray handles;
    handles.reserve(nodes.size());
    for (DdNode* node : nodes) handles.push_back(bddHandle::adopt(mgr, node));
    nodes.clear();
    return handles;
}

// Appends `handle`'s node to a raw array whose owner releases it, handing the
// reference over only once the entry is in place (a failed append leaves the
// reference with the handle, which releases it). `handle` must not be empty.
inline void appendOwned(std::vector<DdNode*>& nodes, bddHandle handle) {
    nodes.push_back(handle.get());
    static_cast<void>(handle.release());
}

// The entry `slot` of a raw array, which owns one reference on `value`'s
// manager, takes `value`'s reference; its old node is released afterwards,
// so a value that is a node of the old node's graph stays alive. `value`
// must not be empty.
inline void replaceOwned(DdNode*& slot, bddHandle value) noexcept {
    const bddHandle old = bddHandle::adopt(value.manager(), slot);
    slot = value.release();
}

// Releases, when the scope ends however it ends, every reference left in a
// raw array (one per non-null entry) that a function of the raw interfaces
// fills: appended results survive a failure of the function that appends
// them no longer than the scope. Take the nodes out first (adoptAll) to keep
// them.
class rawNodesGuard {
public:
    rawNodesGuard(DdManager* mgr, std::vector<DdNode*>& nodes) noexcept
        : mgr_(mgr), nodes_(nodes) {}
    rawNodesGuard(const rawNodesGuard&) = delete;
    rawNodesGuard& operator=(const rawNodesGuard&) = delete;
    ~rawNodesGuard() {
        for (DdNode* node : nodes_)
            if (node != nullptr) Cudd_RecursiveDeref(mgr_, node);
        nodes_.clear();
    }

private:
    DdManager* mgr_;
    std::vector<DdNode*>& nodes_;
};
