#include "engineChecks.h"

#include <gtest/gtest.h>

DdManager* openTestManager(unsigned cacheSlots, size_t maxMemory) {
    DdManager* mgr = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, cacheSlots, maxMemory);
#ifndef QUORVEL_CUDD_LAYER
    // The layer's node table holds maxMemory / 48 nodes.
    if (mgr != nullptr && maxMemory > 0)
        Cudd_SetMaxLive(mgr, static_cast<unsigned>(maxMemory / 48));
#endif
    return mgr;
}

int outstandingRefs(DdManager* mgr) {
#ifndef QUORVEL_CUDD_LAYER
    EXPECT_EQ(Cudd_DebugCheck(mgr), 0) << "CUDD's consistency check failed (messages above)";
#endif
    return Cudd_CheckZeroRef(mgr);
}
