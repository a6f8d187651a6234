// A BDD manager made for one analysis: sized for it on CUDD, with failed
// allocations and a stop flag turned into NULL results.
#pragma once

#include <atomic>
#include <cstddef>

#include "bddEngine.h"

// A manager; the caller owns it (Cudd_Quit). maxMemory (0: none) is the cap of
// the two managers of an analysis together: the layer's managers share one
// engine, which the first Cudd_Init starts with its maxMemory; CUDD gives each
// manager its own half of the cap (of the process's memory room without one),
// sized for `nVars` variables (0 when not known yet) by compEngineSizes. A
// failed allocation makes the operation give NULL instead of ending the
// process; with a stop flag, the manager's operations give NULL once it is
// set. Throws quorvelError when the engine refuses the manager.
DdManager* newManager(std::size_t maxMemory, unsigned cacheSlots, int nVars,
                      const std::atomic<bool>* cancel = nullptr);
