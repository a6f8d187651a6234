// The tests' view of the BDD engine where CUDD and the BuDDy layer differ:
// bounding a manager's memory, and checking a manager after an analysis.
#pragma once

#include <cstddef>

#include "bddEngine.h"

// Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, cacheSlots, maxMemory). The layer bounds
// its node table by maxMemory; CUDD takes maxMemory only as a target for its
// tables, so on CUDD a positive maxMemory also bounds the live nodes to as
// many as the layer would hold. Null when the engine refuses.
DdManager* openTestManager(unsigned cacheSlots, size_t maxMemory);

// The references left outstanding on mgr (Cudd_CheckZeroRef). On CUDD, first
// runs CUDD's own consistency check (Cudd_DebugCheck: reference and dead
// counts, the unique table) and records a test failure when it finds a
// fault, such as a node released more often than referenced.
int outstandingRefs(DdManager* mgr);
