// Memory limits of the process: resource limits, memory cgroups, physical
// memory.
#include "memoryRoom.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>

#include "quorvelError.h"

namespace {

constexpr std::size_t kNoLimit = SIZE_MAX;

// The first unsigned number in the file at `path`; kNoLimit when the file
// cannot be read or holds none ("max", as cgroup v2 writes for no limit).
std::size_t readNumberFile(const std::string& path) {
    std::ifstream in(path);
    unsigned long long value = 0;
    if (!(in >> value)) return kNoLimit;
    return value >= kNoLimit ? kNoLimit : static_cast<std::size_t>(value);
}

// The value in kB of the line "KEY: value kB" of /proc/self/status, in bytes;
// 0 when it cannot be read.
std::size_t readStatusBytes(const std::string& key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, key.size() + 1, key + ":") != 0) continue;
        std::istringstream fields(line.substr(key.size() + 1));
        unsigned long long kB = 0;
        if (fields >> kB) return static_cast<std::size_t>(kB) * 1024;
    }
    return 0;
}

std::size_t roomBelow(std::size_t limit, std::size_t used) {
    if (limit == kNoLimit) return kNoLimit;
    return limit > used ? limit - used : 0;
}

std::size_t rlimitRoom(int resource, const char* statusKey) {
    struct rlimit limit {};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kNoLimit;
    const std::size_t bound = limit.rlim_cur >= kNoLimit ? kNoLimit : std::size_t(limit.rlim_cur);
    return roomBelow(bound, readStatusBytes(statusKey));
}

// The smallest room of the group `path` (as /proc/self/cgroup gives it,
// starting with "/") and its ancestors under `dir`.
std::size_t groupRoom(const std::string& dir, std::string path, const char* limitFile,
                      const char* usageFile) {
    std::size_t room = kNoLimit;
    while (true) {
        const std::string at = dir + (path == "/" ? "" : path) + "/";
        const std::size_t limit = readNumberFile(at + limitFile);
        if (limit != kNoLimit) {
            const std::size_t usage = readNumberFile(at + usageFile);
            room = std::min(room, roomBelow(limit, usage == kNoLimit ? 0 : usage));
        }
        if (path.empty() || path == "/") break;
        const std::size_t cut = path.find_last_of('/');
        path = cut == 0 || cut == std::string::npos ? "/" : path.substr(0, cut);
    }
    return room;
}

}  // namespace

std::size_t compCgroupRoom(const std::string& procSelfCgroup, const std::string& mountRoot) {
    std::size_t room = kNoLimit;
    std::istringstream lines(procSelfCgroup);
    for (std::string line; std::getline(lines, line);) {
        // HIERARCHY-ID:CONTROLLERS:PATH; the path may itself hold ':'.
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (path.empty() || path[0] != '/') continue;
        if (line.compare(0, first, "0") == 0 && controllers.empty()) {
            room = std::min(room, groupRoom(mountRoot, path, "memory.max", "memory.current"));
            continue;
        }
        std::istringstream names(controllers);
        for (std::string name; std::getline(names, name, ',');)
            if (name == "memory")
                room = std::min(room, groupRoom(mountRoot + "/memory", path,
                                                "memory.limit_in_bytes", "memory.usage_in_bytes"));
    }
    return room;
}

memoryRoom compMemoryRoom() {
    memoryRoom room;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const double physical = pages > 0 && pageSize > 0 ? double(pages) * double(pageSize) : 0;
    room.bytes =
        physical > 0 ? std::size_t(std::min(physical * 0.75, double(kNoLimit))) : 2000000000u;

    std::ifstream cgroupFile("/proc/self/cgroup");
    std::ostringstream cgroups;
    cgroups << cgroupFile.rdbuf();
    room.bytes = std::min(room.bytes, compCgroupRoom(cgroups.str(), "/sys/fs/cgroup"));

    std::size_t addressRoom =
        std::min(rlimitRoom(RLIMIT_AS, "VmSize"), rlimitRoom(RLIMIT_DATA, "VmData"));
    if (sizeof(void*) == 4)
        addressRoom =
            std::min(addressRoom, roomBelow(std::size_t(3) << 30, readStatusBytes("VmSize")));
    if (addressRoom <= room.bytes) {
        room.bytes = addressRoom;
        room.addressBound = true;
    }
    return room;
}

std::size_t readMemorySize(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    std::string unit = text.substr(at);
    for (char& c : unit) c = char(std::toupper(static_cast<unsigned char>(c)));
    // KB, MB... are left out on purpose: they mean powers of 1000 to some
    // tools and of 1024 to others.
    const std::vector<std::string> units = {"", "K", "M", "G", "T"};
    int shift = -1;
    for (std::size_t u = 0; u < units.size() && shift < 0; ++u)
        if (unit == units[u] || (u > 0 && unit == units[u] + "IB")) shift = int(10 * u);
    const std::string digits = text.substr(0, at);
    const bool tooLong = digits.size() > 19;
    const unsigned long long number = digits.empty() || tooLong ? 0 : std::stoull(digits);
    if (digits.empty() || shift < 0 || number == 0 || tooLong || number > (kNoLimit >> shift))
        throw quorvelError(
            "not a memory size (a positive whole number of bytes, or with a "
            "unit K, M, G or T, powers of 1024, also written KiB, MiB, GiB or "
            "TiB, e.g. 512M)");
    return std::size_t(number) << shift;
}

// Measured on CUDD 3.0.0 with bench/bench_compare.py over inputs-off
// (bench/results/cudd-vs-layer.txt). The searches keep few nodes alive (tens
// of thousands) but make and drop millions, so what costs is walking chains
// of dead nodes in the unique table (about 40 % of the time on bbm-075 and
// bbm-277) and missing in a large computed table (about 30 %):
// - growth is never loose (looseUpTo of one slot): a full subtable is
//   collected once the dead nodes outnumber the slots, instead of doubling
//   the tables until their slots pass a fifth of the target. This alone
//   took bbm-075 from 1.1 to 0.55 s and bbm-207 from 3.5 to 1.8 s.
// - the computed table stops at 2^13 slots (CUDD grows it while a third of
//   the look-ups hit, to 2^18 and beyond): 2^12 to 2^14 measured alike, 2^16
//   slower, also on the models of 300 to 1,076 genes and on large
//   attractors (make_families.py: negring-4000, inputs-18).
// - 32 unique slots per variable to start (8, the least CUDD takes, measured
//   alike; 128 and more slower, as every collection walks every slot).
// - the target at most 32 MiB: CUDD clears a list of pointers, one per
//   twenty nodes the target would hold, when the manager starts, so its
//   default target (256 MB) cost 3 ms per analysis and 4 GB 40 ms, where the
//   whole run of most published models takes 5 ms. Past 90 % of the target
//   CUDD only collects more often; it never refuses to grow.
engineSizes compEngineSizes(std::size_t roomBytes, int nVars) {
    constexpr std::size_t kMinTarget = std::size_t(1) << 20;
    constexpr std::size_t kMaxTarget = std::size_t(32) << 20;
    // The bytes of one slot of each table (CUDD: a node pointer; two
    // operands, the operation or a third operand, and the result).
    constexpr std::size_t kUniqueSlotBytes = sizeof(void*);
    constexpr std::size_t kCacheSlotBytes = 4 * sizeof(void*);
    engineSizes sizes;
    sizes.targetBytes = std::min(std::max(roomBytes, kMinTarget), kMaxTarget);
    const std::size_t quarter = roomBytes / 4;
    const std::size_t variables = std::size_t(std::max(nVars, 1));
    // 8 unique slots per variable at the least, and 2^10 cache slots.
    unsigned unique = 32;
    while (unique > 8 && variables * unique * kUniqueSlotBytes > quarter) unique /= 2;
    unsigned maxCache = 1u << 13;
    while (maxCache > (1u << 10) && maxCache * kCacheSlotBytes > quarter) maxCache /= 2;
    sizes.uniqueSlots = unique;
    sizes.maxCacheSlots = maxCache;
    sizes.cacheSlots = std::min(1u << 12, maxCache);
    sizes.looseUpTo = 1;
    return sizes;
}
