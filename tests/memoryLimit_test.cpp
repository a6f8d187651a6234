// Running short of memory: the console under a limit on its address space
// (ulimit -v) either gives the whole answer or fails with a message, never
// ends by a signal and never gives less than the whole answer with success;
// and the limits that the BDD engine sizes itself from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bddEngine.h"
#include "memoryRoom.h"
#include "parseNetwork.h"
#include "processRunner.h"
#include "resultText.h"

using quorvelTestSupport::console;
using quorvelTestSupport::processResult;
using quorvelTestSupport::runProcess;
using quorvelTestSupport::scratchDirectory;

namespace {

// ---- Limits ------------------------------------------------------------------

// Writes `content` to `dir`/`relative`, making the directories on the way.
void writeAt(const std::string& dir, const std::string& relative, const std::string& content) {
    const std::filesystem::path path = std::filesystem::path(dir) / relative;
    std::filesystem::create_directories(path.parent_path());
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    std::fputs(content.c_str(), file);
    std::fclose(file);
}

TEST(MemoryRoom, cgroupV2LimitOfTheGroupOrAnAncestorLessUsage) {
    const scratchDirectory root;
    const std::string self = "0::/user.slice/app.scope\n";
    EXPECT_EQ(compCgroupRoom(self, root.path), SIZE_MAX) << "no files: no limit";
    writeAt(root.path, "user.slice/app.scope/memory.max", "max\n");
    writeAt(root.path, "user.slice/app.scope/memory.current", "1000\n");
    EXPECT_EQ(compCgroupRoom(self, root.path), SIZE_MAX) << "\"max\" is no limit";
    writeAt(root.path, "user.slice/memory.max", "1000000\n");
    writeAt(root.path, "user.slice/memory.current", "300000\n");
    EXPECT_EQ(compCgroupRoom(self, root.path), 700000u) << "the ancestor's limit holds";
    writeAt(root.path, "user.slice/app.scope/memory.max", "200000\n");
    EXPECT_EQ(compCgroupRoom(self, root.path), 199000u) << "the tighter one holds";
    writeAt(root.path, "user.slice/app.scope/memory.current", "250000\n");
    EXPECT_EQ(compCgroupRoom(self, root.path), 0u) << "usage past the limit leaves nothing";
}

TEST(MemoryRoom, cgroupV1MemoryControllerAmongOthers) {
    const scratchDirectory root;
    const std::string self = "5:cpu,cpuacct:/ci\n4:memory:/ci/job:1\n0::/\n";
    writeAt(root.path, "memory/ci/job:1/memory.limit_in_bytes", "9223372036854771712\n");
    writeAt(root.path, "memory/ci/job:1/memory.usage_in_bytes", "5000\n");
    writeAt(root.path, "memory/ci/memory.limit_in_bytes", "80000\n");
    writeAt(root.path, "memory/ci/memory.usage_in_bytes", "30000\n");
    // The cpu hierarchy's files are not memory limits.
    writeAt(root.path, "cpu,cpuacct/ci/memory.limit_in_bytes", "10\n");
    EXPECT_EQ(compCgroupRoom(self, root.path), 50000u);
    // The root of the mount is the last ancestor (a container sees its own
    // group there when the path in /proc/self/cgroup is not mounted).
    writeAt(root.path, "memory/memory.limit_in_bytes", "40000\n");
    writeAt(root.path, "memory/memory.usage_in_bytes", "0\n");
    EXPECT_EQ(compCgroupRoom(self, root.path), 40000u);
}

TEST(MemoryRoom, thisProcessHasRoom) {
    const memoryRoom room = compMemoryRoom();
    EXPECT_GT(room.bytes, std::size_t(1) << 20);
}

TEST(MemoryRoom, memorySizesWithUnits) {
    EXPECT_EQ(readMemorySize("4096"), 4096u);
    EXPECT_EQ(readMemorySize("64k"), 65536u);
    EXPECT_EQ(readMemorySize("512M"), std::size_t(512) << 20);
    EXPECT_EQ(readMemorySize("2GiB"), std::size_t(2) << 30);
    EXPECT_EQ(readMemorySize("3gib"), std::size_t(3) << 30);
    // Units with a plain "B" are refused: MB is 10^6 bytes to some tools.
    for (const char* wrong :
         {"", "0", "0M", "M", "-5M", "1.5G", "12Q", "5 M", "1iB", "G1", "99999999999999999999",
          "17179869184G", "1B", "3gb", "512MB", "64KB"}) {
        SCOPED_TRACE(wrong);
        EXPECT_THROW(readMemorySize(wrong), quorvelError);
    }
}

bool powerOfTwo(unsigned n) { return n != 0 && (n & (n - 1)) == 0; }

// CUDD's tables for every room, from none to more than any machine has, and
// from no variable to a million: each table within a quarter of the room
// whenever the least sizes fit, sizes CUDD takes as they are (powers of two,
// a loose growth limit of at least one slot: 0 would mean CUDD's default),
// and never smaller for a larger room.
TEST(MemoryRoom, engineSizesFitTheRoom) {
    const std::size_t MiB = std::size_t(1) << 20;
    const std::vector<std::size_t> rooms = {0,          4096,         64 * 1024, 200000,
                                            512 * 1024, MiB,          8 * MiB,   32 * MiB,
                                            1 << 30,    SIZE_MAX / 2, SIZE_MAX};
    for (const int nVars : {0, 2, 94, 2152, 1 << 20}) {
        engineSizes previous;
        for (const std::size_t room : rooms) {
            SCOPED_TRACE("room " + std::to_string(room) + ", " + std::to_string(nVars) +
                         " variables");
            const engineSizes sizes = compEngineSizes(room, nVars);
            EXPECT_TRUE(powerOfTwo(sizes.uniqueSlots) && sizes.uniqueSlots >= 8 &&
                        sizes.uniqueSlots <= 32);
            EXPECT_TRUE(powerOfTwo(sizes.maxCacheSlots) && sizes.maxCacheSlots >= 1024);
            EXPECT_TRUE(powerOfTwo(sizes.cacheSlots) && sizes.cacheSlots <= sizes.maxCacheSlots);
            EXPECT_GE(sizes.looseUpTo, 1u);
            EXPECT_GE(sizes.targetBytes, MiB);
            EXPECT_LE(sizes.targetBytes, std::max(room, MiB));
            const std::size_t unique = std::size_t(std::max(nVars, 1)) * sizes.uniqueSlots;
            if (std::size_t(std::max(nVars, 1)) * 8 * sizeof(void*) <= room / 4) {
                EXPECT_LE(unique * sizeof(void*), room / 4);
            }
            if (1024 * 4 * sizeof(void*) <= room / 4) {
                EXPECT_LE(sizes.maxCacheSlots * 4 * sizeof(void*), room / 4);
            }
            EXPECT_GE(sizes.uniqueSlots, previous.uniqueSlots);
            EXPECT_GE(sizes.maxCacheSlots, previous.maxCacheSlots);
            EXPECT_GE(sizes.targetBytes, previous.targetBytes);
            previous = sizes;
        }
    }
    // With room to spare, the sizes measured best (see compEngineSizes).
    const engineSizes roomy = compEngineSizes(std::size_t(1) << 30, 94);
    EXPECT_EQ(roomy.uniqueSlots, 32u);
    EXPECT_EQ(roomy.cacheSlots, 4096u);
    EXPECT_EQ(roomy.maxCacheSlots, 8192u);
    EXPECT_EQ(roomy.targetBytes, 32 * MiB);
}

// ---- The console under a limit ---------------------------------------------

std::string describe(const processResult& run, const std::string& out) {
    return "exit status " + std::to_string(run.exitStatus) + "\n--- stdout (end) ---\n" +
           out.substr(out.size() > 400 ? out.size() - 400 : 0) + "\n--- stderr ---\n" + run.err;
}

// The console's run on `file` with its address space limited to `limitKiB`
// (0: no limit); standard output lands in `outPath`.
processResult runLimited(const std::string& file, unsigned limitKiB, const std::string& outPath) {
    const std::string limit = limitKiB == 0 ? "" : "ulimit -v " + std::to_string(limitKiB) + " && ";
    return runProcess({"/bin/sh", "-c", limit + "exec \"$0\" \"$1\"", console, file}, "", outPath);
}

// The attractors of the result text that ends the console's output: it
// starts after the last progress line, "number of states N", which the
// writer prints for the last attractor before the text goes out.
resultText::attractorSet resultOf(const std::string& out, bool& ok) {
    const std::size_t last = out.rfind("\nnumber of states ");
    const std::size_t start = last == std::string::npos ? last : out.find('\n', last + 1);
    const resultText::parsedResult parsed =
        resultText::parse(start == std::string::npos ? std::string() : out.substr(start + 1));
    ok = parsed.ok && !resultText::hasRepeatedStates(parsed);
    return resultText::asSet(parsed);
}

// The address space (MiB, in steps of 4) that the console needs just to be
// loaded with its shared libraries (libsbml and libxml2 map tens of MiB);
// the limits below count from there, so that they test the analysis rather
// than the dynamic loader.
unsigned loadFloorMiB() {
    static const unsigned floor = [] {
        for (unsigned mib = 8; mib <= 1024; mib += 4) {
            const std::string limit = "ulimit -v " + std::to_string(mib * 1024) + " && ";
            if (runProcess({"/bin/sh", "-c", limit + "exec \"$0\" --version", console}, "")
                    .exitStatus == 0)
                return mib;
        }
        return 1024u;
    }();
    return floor;
}

// Runs `file` without a limit and then under each of `limitsMiB` more than
// the console needs to be loaded (loadFloorMiB): every run
// ends with exit 0 and the unlimited run's attractors, or exit 1 with a
// message; none ends by a signal. The largest limit must suffice, so that
// the comparison is never vacuous.
void checkUnderLimits(const std::string& file, const std::vector<unsigned>& limitsMiB) {
    const scratchDirectory dir;
    const std::string outPath = dir.path + "/out.txt";
    const processResult free = runLimited(file, 0, outPath);
    std::string out = quorvelTestSupport::readFile(outPath);
    ASSERT_EQ(free.exitStatus, 0) << describe(free, out);
    bool ok = false;
    const resultText::attractorSet whole = resultOf(out, ok);
    ASSERT_TRUE(ok && !whole.empty()) << describe(free, out);

    for (const unsigned extraMiB : limitsMiB) {
        const unsigned mib = loadFloorMiB() + extraMiB;
        SCOPED_TRACE(file + " under ulimit -v " + std::to_string(mib * 1024));
        const processResult run = runLimited(file, mib * 1024, outPath);
        out = quorvelTestSupport::readFile(outPath);
        ASSERT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << describe(run, out);
        if (run.exitStatus == 1) {
            // The engine may say more first (CUDD reports a failed allocation
            // itself); the last line is the console's own message.
            const std::size_t lastLine = run.err.rfind('\n', run.err.size() - 2);
            const std::size_t lineStart = lastLine == std::string::npos ? 0 : lastLine + 1;
            EXPECT_EQ(run.err.compare(lineStart, 9, "quorvel: "), 0) << describe(run, out);
            // Running out of memory says so, as documented, wherever it
            // happens (the engine, the search, the writing of the result).
            EXPECT_NE(run.err.find("memory exhausted", lineStart), std::string::npos)
                << describe(run, out);
            EXPECT_GT(run.err.size(), std::string("quorvel: \n").size()) << describe(run, out);
            resultOf(out, ok);
            EXPECT_FALSE(ok) << "a failed run wrote a result\n" << describe(run, out);
            EXPECT_NE(extraMiB, limitsMiB.back()) << "the largest limit should suffice\n"
                                                  << describe(run, out);
            continue;
        }
        const resultText::attractorSet found = resultOf(out, ok);
        EXPECT_TRUE(ok) << "malformed or cut-short result\n" << describe(run, out);
        EXPECT_TRUE(found == whole) << "a different answer under the limit\n" << describe(run, out);
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEL_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef QUORVEL_ADDRESS_SANITIZER
#define SKIP_UNDER_ADDRESS_SANITIZER() \
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: ulimit -v stops it"
#else
#define SKIP_UNDER_ADDRESS_SANITIZER() (void)0
#endif

// One attractor of 2^17 states: the result text alone is 9 MB (and is
// copied once on its way out), so small limits stop it while it is written.
TEST(ConsoleUnderLimit, largeAttractorIsWholeOrRefused) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    const scratchDirectory dir;
    std::string text;
    for (int i = 0; i < 17; ++i)
        text += "^G" + std::to_string(i) + " -> G" + std::to_string(i) + "\n";
    checkUnderLimits(dir.write("selfNegating17.net", text),
                     {12, 16, 20, 24, 28, 32, 40, 48, 64, 96, 160});
}

// A 200-gene ring: under the smallest limits the engine's table runs out.
TEST(ConsoleUnderLimit, longRingIsWholeOrRefused) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    const scratchDirectory dir;
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "R" + std::to_string(i) + " -> R" + std::to_string((i + 1) % 200) + "\n";
    checkUnderLimits(dir.write("ring200.net", text), {12, 14, 16, 20, 24, 32, 64});
}

// A published model of 28 attractors (18 of them came out, the last one cut
// short, with success, before the result text was checked).
TEST(ConsoleUnderLimit, publishedModelIsWholeOrRefused) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    const std::string file = std::string(QUORVEL_SHARED_DIR) + "/networks/models/bbm-011.net";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no shared networks at " << file;
    checkUnderLimits(file, {16, 30, 48, 64, 160});
}

// 18 free inputs give 262,144 attractors, an 11 MB JSON text. Under limits
// that let the search finish but not the writing, the run reports memory
// exhausted (the document tree it was once built in could not even be freed
// then: the process ended with std::terminate).
TEST(ConsoleUnderLimit, jsonOfManyAttractorsIsWholeOrRefused) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    const scratchDirectory dir;
    std::string text;
    for (int i = 0; i < 18; ++i)
        text += "X" + std::to_string(i) + " -> X" + std::to_string(i) + "\n";
    const std::string file = dir.write("inputs18.net", text);
    const std::string outPath = dir.path + "/out.txt";
    const processResult free =
        runProcess({console, "--format", "json", "--quiet", file}, "", outPath);
    const std::string whole = quorvelTestSupport::readFile(outPath);
    ASSERT_EQ(free.exitStatus, 0) << free.err;
    for (const unsigned extraMiB : {110u, 140u, 160u}) {
        const unsigned kib = (loadFloorMiB() + extraMiB) * 1024;
        SCOPED_TRACE("ulimit -v " + std::to_string(kib));
        const processResult run = runProcess(
            {"/bin/sh", "-c",
             "ulimit -v " + std::to_string(kib) + " && exec \"$0\" --format json --quiet \"$1\"",
             console, file},
            "", outPath);
        const std::string out = quorvelTestSupport::readFile(outPath);
        ASSERT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << describe(run, out);
        if (run.exitStatus == 0)
            EXPECT_EQ(out, whole);
        else
            EXPECT_NE(run.err.find("quorvel: memory exhausted"), std::string::npos)
                << describe(run, out);
    }
}

// --max-memory caps the engine's tables: 17 free inputs, whose 131,072
// attractors the analysis holds at once (more than the smallest cap, 16M),
// give the whole answer or exit 1 with a message at every cap, and on the
// layer (a hard cap) the smallest refuses.
TEST(ConsoleUnderLimit, maxMemoryOptionGivesWholeAnswerOrMessage) {
    const scratchDirectory dir;
    std::string text;
    for (int i = 0; i < 17; ++i)
        text += "X" + std::to_string(i) + " -> X" + std::to_string(i) + "\n";
    const std::string file = dir.write("inputs17.net", text);
    const std::string outPath = dir.path + "/out.txt";
    const processResult free =
        runProcess({console, "--format", "cubes", "--quiet", file}, "", outPath);
    const std::string whole = quorvelTestSupport::readFile(outPath);
    ASSERT_EQ(free.exitStatus, 0) << free.err;
    for (const char* cap : {"16M", "32M", "1G"}) {
        SCOPED_TRACE(std::string("--max-memory ") + cap);
        const processResult run = runProcess(
            {console, "--format", "cubes", "--quiet", "--max-memory", cap, file}, "", outPath);
        const std::string out = quorvelTestSupport::readFile(outPath);
        ASSERT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << describe(run, out);
        if (run.exitStatus == 0) {
            EXPECT_EQ(out, whole);
        } else {
            EXPECT_TRUE(out.empty()) << "a failed run wrote a result\n" << describe(run, out);
            EXPECT_NE(run.err.find("memory"), std::string::npos) << describe(run, out);
        }
#ifdef QUORVEL_CUDD_LAYER
        if (std::string(cap) == "16M") {
            EXPECT_EQ(run.exitStatus, 1) << describe(run, out);
        }
#endif
        if (std::string(cap) == "1G") {
            EXPECT_EQ(run.exitStatus, 0) << describe(run, out);
        }
    }
}

}  // namespace
