// How much more memory this process may take before one of its limits stops
// it. The BDD engine sizes its node table and caches from this, so that it
// reports exhaustion instead of failing inside an allocation.
#pragma once

#include <cstddef>
#include <string>

struct memoryRoom {
    std::size_t bytes = 0;
    // True when the bound is one of address space (RLIMIT_AS, RLIMIT_DATA or
    // a 32-bit host): memory that is allocated but never touched counts
    // against it, so a reservation made now is kept for later.
    bool addressBound = false;
};

// The smallest of: RLIMIT_AS less the address space in use; RLIMIT_DATA less
// the data in use; the room of the memory cgroups (compCgroupRoom over
// /proc/self/cgroup and /sys/fs/cgroup); three quarters of physical memory
// (2 GB when it cannot be read); on a 32-bit host, 3 GiB less the address
// space in use.
memoryRoom compMemoryRoom();

// The room that the memory cgroups of a process leave it: the smallest limit
// less usage over the process's group and every ancestor, for cgroup v2
// ("0::PATH" lines: memory.max and memory.current under `mountRoot`) and v1
// (lines whose controllers include memory: memory.limit_in_bytes and
// memory.usage_in_bytes under `mountRoot`/memory). `procSelfCgroup` is the
// text of /proc/self/cgroup. SIZE_MAX when no limit is found.
std::size_t compCgroupRoom(const std::string& procSelfCgroup, const std::string& mountRoot);

// A size written as a number with an optional unit K, M, G or T (powers of
// 1024, in either letter case, optionally followed by "iB": "512M" and
// "512MiB" are the same). "512MB" is refused: MB means 10^6 bytes to some
// tools and 2^20 to others. Throws quorvelError when `text` is no such size
// or the size is 0; the message, "not a memory size (...)", does not repeat
// `text`.
std::size_t readMemorySize(const std::string& text);

// The starting sizes and growth limits of one CUDD manager of an analysis.
struct engineSizes {
    unsigned uniqueSlots = 0;     // unique-table slots per variable (Cudd_Init)
    unsigned cacheSlots = 0;      // computed-table slots at the start (Cudd_Init)
    unsigned maxCacheSlots = 0;   // the most the computed table grows to (Cudd_SetMaxCacheHard)
    unsigned looseUpTo = 0;       // unique slots below which tables grow before collecting
    std::size_t targetBytes = 0;  // the memory CUDD aims to stay under (Cudd_Init's maxMemory)
};

// The sizes for a manager of `nVars` variables allowed `roomBytes` of memory:
// its starting unique table (at least 8 slots per variable) and its largest
// computed table (at least 2^10 slots) each take at most a quarter of the
// room where those least sizes fit; the target is the room, at most 32 MiB
// and at least 1 MiB (a target, not a limit: CUDD collects more often
// past it). The values, and what they were measured against, are at the
// function.
engineSizes compEngineSizes(std::size_t roomBytes, int nVars);
