// The set of many explicit states as one BDD, built once per distinct node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bddEngine.h"
#include "bddHandle.h"

// Explicit states packed in 64-bit words: state p, column c is bit c % 64 of
// word p * words + c / 64. The record lends the words; the caller keeps them
// alive while it is in use.
struct packedStateRows {
    size_t count = 0;
    size_t words = 1;
    const uint64_t* bits = nullptr;
};

// The set of the states of `rows` (a set over x, referenced, owned by the
// caller), reading column c as the value of gene columnGene[c] (variable
// ip[columnGene[c]]); a column whose entry is -1 is left out, its gene free.
// The states are sorted in the order of the variables and the set is built
// bottom up along the sorted list, each distinct node made once: the cost
// follows the states' bits and the nodes of the result, not a union of one
// cube per state. Automatic reordering must be held back by the caller.
bddHandle makeStateSet(DdManager* mgr, const std::vector<DdNode*>& ip,
                       const std::vector<int>& columnGene, const packedStateRows& rows);
