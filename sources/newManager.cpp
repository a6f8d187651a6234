// Managers sized for the analysis (the figures are at compEngineSizes).
#include "newManager.h"

#include <algorithm>

#include "memoryRoom.h"
#include "quorvelError.h"

namespace {

// The engine's termination callback: the caller's stop flag.
int stopRequested(const void* flag) {
    return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed) ? 1 : 0;
}

}  // namespace

DdManager* newManager(std::size_t maxMemory, unsigned cacheSlots, int nVars,
                      const std::atomic<bool>* cancel) {
#ifdef QUORVEL_CUDD_LAYER
    (void)nVars;
    DdManager* m = Cudd_Init(0, 0, CUDD_UNIQUE_SLOTS, cacheSlots, maxMemory);
#else
    // CUDD's own answer to a failed allocation ends the process; the silent
    // one lets the operation give NULL, which becomes a quorvelError.
    Cudd_InstallOutOfMemoryHandler(Cudd_OutOfMemSilent);
    const engineSizes sizes =
        compEngineSizes((maxMemory > 0 ? maxMemory : compMemoryRoom().bytes) / 2, nVars);
    DdManager* m = Cudd_Init(0, 0, sizes.uniqueSlots, std::min(cacheSlots, sizes.cacheSlots),
                             sizes.targetBytes);
    if (m != nullptr) {
        Cudd_SetMaxCacheHard(m, sizes.maxCacheSlots);
        Cudd_SetLooseUpTo(m, sizes.looseUpTo);
    }
#endif
    // The engine refuses a manager when it cannot take its first tables.
    if (m == nullptr)
        throw quorvelError("BDD engine failure: a manager could not be created (memory exhausted)");
#ifdef QUORVEL_WITH_CUDD
    Cudd_RegisterOutOfMemoryCallback(m, Cudd_OutOfMemSilent);
#endif
    // CUDD's callback argument is not const; the flag is only read.
    if (cancel != nullptr)
        Cudd_RegisterTerminationCallback(m, stopRequested, const_cast<std::atomic<bool>*>(cancel));
    return m;
}
