// The result text writer: one line per attractor, every state once, fixed
// genes written from defaultStatus, byte for byte.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bddEngine.h"
#include "asyncFixture.h"
#include "bddHandle.h"
#include "engineChecks.h"
#include "parseNetwork.h"
#include "resultText.h"
#include "testBdd.h"
#include "testNetworks.h"
#include "util.h"

namespace {

// A manager with the state encoding of n reduced genes (the fixture's
// bddSpace): variable i is the current value of gene i, variable n + i its
// next value.
using encoding = asyncFixture::bddSpace;

encoding makeEncoding(int n) { return asyncFixture::openSpace(n, false); }

void releaseEncoding(encoding& e) { EXPECT_EQ(asyncFixture::closeSpace(e), 0); }

// The set of the states whose bits (gene i = bit i of the state number) are
// listed in `members`.
bddHandle statesOf(encoding& e, const std::vector<unsigned>& members) {
    return setOfStates(e.mgr, std::vector<DdNode*>(e.ip.begin(), e.ip.begin() + e.nInpVar),
                       members);
}

// Runs printCubesJava and returns the line it appended; the progress output
// goes to *progress.
std::string writeLine(encoding& e, const geneDatabase& org, const geneDatabase& reduced,
                      const std::vector<int>& defaultStatus, DdNode* set, std::string* progress) {
    std::ostringstream out;
    std::vector<int> nodeLvl(org.size(), 0);
    testing::internal::CaptureStdout();
    printCubesJava(e.mgr, org, reduced, defaultStatus, set, e.ip, out, e.nInpVar, nodeLvl);
    *progress = testing::internal::GetCapturedStdout();
    return out.str();
}

TEST(ResultText, SteadyStateIsOneGroupOfValues) {
    encoding e = makeEncoding(3);
    const geneDatabase db = namedGenes({"a", "b", "c"});
    bddHandle set = statesOf(e, {0b101});  // a = 1, b = 0, c = 1
    std::string progress;
    EXPECT_EQ(writeLine(e, db, db, {-1, -1, -1}, set.get(), &progress), "\n1   0   1   ");
    EXPECT_EQ(progress, "number of states 1\n");
    set.reset();
    releaseEncoding(e);
}

TEST(ResultText, TwoStatesDifferingInGeneZeroShareOneLine) {
    encoding e = makeEncoding(3);
    const geneDatabase db = namedGenes({"a", "b", "c"});
    bddHandle set = statesOf(e, {0b100, 0b101});  // a free, b = 0, c = 1
    std::string progress;
    const std::string line = writeLine(e, db, db, {-1, -1, -1}, set.get(), &progress);
    EXPECT_TRUE(line == "\n0   0   1   1   0   1   " || line == "\n1   0   1   0   0   1   ")
        << "'" << line << "'";
    EXPECT_EQ(progress, "number of states 2\n");
    set.reset();
    releaseEncoding(e);
}

TEST(ResultText, NoReducedGenesWritesTheFixedValuesOnce) {
    encoding e = makeEncoding(0);
    const geneDatabase org = namedGenes({"X", "Y", "Z"});
    bddHandle one = bddOne(e.mgr);
    std::string progress;
    EXPECT_EQ(writeLine(e, org, {}, {2, 0, 1}, one.get(), &progress), "\n1   0   1   ");
    EXPECT_EQ(progress, "number of states 1\n");
    one.reset();
    releaseEncoding(e);
}

TEST(ResultText, RemovedGenesFollowDefaultStatusAndReducedGenesAreFoundByName) {
    // Reduced order (q, p) differs from the network's order (p, ..., q, ...).
    encoding e = makeEncoding(2);
    const geneDatabase org = namedGenes({"p", "r0", "r1", "q", "r2", "r3"});
    const geneDatabase reduced = namedGenes({"q", "p"});
    const std::vector<int> defaultStatus = {-1, 0, 1, -1, 2, 3};
    bddHandle set = statesOf(e, {0b01});  // q = 1, p = 0
    std::string progress;
    EXPECT_EQ(writeLine(e, org, reduced, defaultStatus, set.get(), &progress),
              "\n0   0   1   1   1   0   ");
    set.reset();
    releaseEncoding(e);
}

TEST(ResultText, EmptySetIsAFailureNotAnEmptyLine) {
    encoding e = makeEncoding(1);
    const geneDatabase db = namedGenes({"a"});
    std::ostringstream out;
    std::vector<int> nodeLvl(1, 0);
    // The failure carries the line that the driver reports.
    std::string line;
    try {
        printCubesJava(e.mgr, db, db, {-1}, Cudd_ReadLogicZero(e.mgr), e.ip, out, 1, nodeLvl);
    } catch (const fatalCondition& fatal) {
        line = fatal.what();
    }
    EXPECT_EQ(line.rfind("error in printing cube::: status is ", 0), 0u) << line;
    releaseEncoding(e);
}

// Every non-empty set of states of three genes (with the next-state variables
// present in the manager) is written with each state exactly once.
TEST(ResultText, EverySetOfThreeGenesIsWrittenStateByState) {
    encoding e = makeEncoding(3);
    const geneDatabase db = namedGenes({"a", "b", "c"});
    for (unsigned members = 1; members < 256; ++members) {
        std::vector<unsigned> states;
        std::set<resultText::state> expected;
        for (unsigned k = 0; k < 8; ++k) {
            if (!((members >> k) & 1u)) continue;
            states.push_back(k);
            expected.insert({static_cast<int>(k & 1u), static_cast<int>((k >> 1) & 1u),
                             static_cast<int>((k >> 2) & 1u)});
        }
        const bddHandle set = statesOf(e, states);
        std::string progress;
        const std::string line = writeLine(e, db, db, {-1, -1, -1}, set.get(), &progress);
        const resultText::parsedResult parsed = resultText::parse("a   b   c   " + line + "\n");
        ASSERT_TRUE(parsed.ok) << parsed.error << " in '" << line << "'";
        ASSERT_EQ(parsed.attractors.size(), 1u);
        EXPECT_EQ(parsed.attractors[0].size(), states.size()) << "set " << members;
        EXPECT_FALSE(resultText::hasRepeatedStates(parsed)) << "set " << members;
        EXPECT_EQ(
            std::set<resultText::state>(parsed.attractors[0].begin(), parsed.attractors[0].end()),
            expected)
            << "set " << members;
        EXPECT_EQ(progress, "number of states " + std::to_string(states.size()) + "\n");
    }
    releaseEncoding(e);
}

// Random sets of 9 reduced genes, written among removed genes in another
// order than the reduced one: every state of the set exactly once, each with
// the removed genes' fixed values (against the set's own list of states).
TEST(ResultText, RandomSetsAmongRemovedGenesAreWrittenStateByState) {
    encoding e = makeEncoding(9);
    const geneDatabase reduced = namedGenes({"g0", "g1", "g2", "g3", "g4", "g5", "g6", "g7", "g8"});
    // Network order: removed genes r0 (OFF) and r1 (ON) between the reduced
    // ones, whose order is reversed.
    const geneDatabase org =
        namedGenes({"g8", "g7", "r0", "g6", "g5", "g4", "r1", "g3", "g2", "g1", "g0"});
    const std::vector<int> defaultStatus = {-1, -1, 0, -1, -1, -1, 1, -1, -1, -1, -1};
    for (unsigned seed = 1; seed <= 30; ++seed) {
        std::mt19937 random(seed);
        // Dense and sparse sets, and sets with many free genes per cube.
        const unsigned keepOneIn = 1 + seed % 5;
        std::vector<unsigned> states;
        std::set<resultText::state> expected;
        for (unsigned k = 0; k < 512; ++k) {
            if (random() % keepOneIn != 0) continue;
            states.push_back(k);
            resultText::state written;
            for (int g = 8; g >= 0; --g) {
                if (g == 6) written.push_back(0);  // r0
                if (g == 3) written.push_back(1);  // r1
                written.push_back(static_cast<int>((k >> g) & 1u));
            }
            expected.insert(written);
        }
        if (states.empty()) continue;
        const bddHandle set = statesOf(e, states);
        std::string progress;
        const std::string line = writeLine(e, org, reduced, defaultStatus, set.get(), &progress);
        const resultText::parsedResult parsed = resultText::parse(
            "g8   g7   r0   g6   g5   g4   r1   g3   g2   g1   g0   " + line + "\n");
        ASSERT_TRUE(parsed.ok) << parsed.error << " seed " << seed;
        ASSERT_EQ(parsed.attractors.size(), 1u);
        EXPECT_EQ(parsed.attractors[0].size(), states.size()) << "seed " << seed;
        EXPECT_EQ(
            std::set<resultText::state>(parsed.attractors[0].begin(), parsed.attractors[0].end()),
            expected)
            << "seed " << seed;
    }
    releaseEncoding(e);
}

// A set with many free genes is written state by state from few cubes; one
// whose text could not be held is refused before anything is written.
TEST(ResultText, LargeSetsAreExpandedOrRefused) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) names.push_back("g" + std::to_string(i));
    const geneDatabase db = namedGenes(names);
    const std::vector<int> defaultStatus(40, -1);
    {
        // 16 genes, x_3 = 1 and the rest free: 2^15 distinct states.
        encoding e = makeEncoding(16);
        const geneDatabase small(db.begin(), db.begin() + 16);
        std::string progress;
        const std::string line =
            writeLine(e, small, small, std::vector<int>(16, -1), e.ip[3], &progress);
        std::string header;
        for (const gene& g : small) header += g.name + "   ";
        const resultText::parsedResult parsed = resultText::parse(header + line + "\n");
        ASSERT_TRUE(parsed.ok) << parsed.error;
        ASSERT_EQ(parsed.attractors.size(), 1u);
        const std::set<resultText::state> distinct(parsed.attractors[0].begin(),
                                                   parsed.attractors[0].end());
        EXPECT_EQ(distinct.size(), size_t(1) << 15);
        EXPECT_EQ(parsed.attractors[0].size(), distinct.size());
        for (const resultText::state& x : distinct) EXPECT_EQ(x[3], 1);
        EXPECT_EQ(progress, "number of states 32768\n");
        releaseEncoding(e);
    }
    {
        encoding e = makeEncoding(40);
        std::ostringstream out;
        std::vector<int> nodeLvl(40, 0);
        try {
            printCubesJava(e.mgr, db, db, defaultStatus, Cudd_ReadOne(e.mgr), e.ip, out, 40,
                           nodeLvl);
            ADD_FAILURE() << "2^40 states were accepted";
        } catch (const quorvelError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "an attractor of 1099511627776 states is too large to write; "
                      "--format cubes or --format json writes attractors of any size");
        }
        EXPECT_EQ(out.str(), "");
        releaseEncoding(e);
    }
}

// A stream buffer that takes `room` characters and then fails, as a string
// stream does when growing it runs out of memory.
struct shortBuffer : std::streambuf {
    explicit shortBuffer(std::size_t n) : room(n) {}
    int_type overflow(int_type c) override {
        if (room == 0 || traits_type::eq_int_type(c, traits_type::eof())) return traits_type::eof();
        --room;
        return c;
    }
    std::size_t room;
};

// A text that cannot be written whole is a failure, whether the stream fails
// in the middle of an attractor or had failed before (its tellp() is then
// -1, which the size guard must not read as room), and the working sets are
// released either way.
TEST(ResultText, StreamThatFailsIsAnErrorNotAShortLine) {
    const std::vector<std::string> names = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    const geneDatabase db = namedGenes(names);
    for (const std::size_t room : {std::size_t(0), std::size_t(1), std::size_t(1000)}) {
        SCOPED_TRACE("room " + std::to_string(room));
        encoding e = makeEncoding(10);
        shortBuffer buffer(room);
        std::ostringstream out;
        out.std::ios::rdbuf(&buffer);
        std::vector<int> nodeLvl(10, 0);
        testing::internal::CaptureStdout();
        try {
            // 1024 states of 40 characters each.
            printCubesJava(e.mgr, db, db, std::vector<int>(10, -1), Cudd_ReadOne(e.mgr), e.ip, out,
                           10, nodeLvl);
            ADD_FAILURE() << "a text cut short was accepted";
        } catch (const quorvelError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "memory exhausted: the result text could not be written whole");
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no count of states written";
        releaseEncoding(e);
    }
    encoding e = makeEncoding(1);
    std::ostringstream failed;
    failed.setstate(std::ios::badbit);
    std::vector<int> nodeLvl(1, 0);
    EXPECT_THROW(printCubesJava(e.mgr, namedGenes({"a"}), namedGenes({"a"}), {-1}, e.ip[0], e.ip,
                                failed, 1, nodeLvl),
                 quorvelError);
    releaseEncoding(e);
}

TEST(ResultText, NonDynamicGenesLeaveReducedEntriesAlone) {
    const geneDatabase org = namedGenes({"a", "b", "c", "d"});
    const geneDatabase reduced = namedGenes({"c"});
    std::vector<int> nodeLvl = {7, 7, 7, 7};
    printNonDynamicSteadyStatesJava(org, reduced, {1, 3, -1, 2}, nodeLvl);
    EXPECT_EQ(nodeLvl, (std::vector<int>{1, 0, 7, 1}));
}

// The parser the other tests rely on rejects texts that are not byte-exact.
TEST(ResultTextParser, AcceptsOnlyExactLayout) {
    EXPECT_TRUE(resultText::parse("a   b   \n").ok);
    EXPECT_TRUE(resultText::parse("a   b   \n1   0   \n").ok);
    EXPECT_TRUE(resultText::parse("a   b   \n1   0   0   0   \n1   1   \n").ok);
    EXPECT_FALSE(resultText::parse("a   b   ").ok);                  // no closing line end
    EXPECT_FALSE(resultText::parse("a   b  \n").ok);                 // two blanks
    EXPECT_FALSE(resultText::parse("a   b   \n1   0   1   \n").ok);  // not whole states
    EXPECT_FALSE(resultText::parse("a   b   \n1   2   \n").ok);
    EXPECT_FALSE(resultText::parse("a   b   \n\n").ok);  // empty attractor line
    const resultText::parsedResult r = resultText::parse("a   b   \n0   1   1   1   \n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.genes, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(resultText::asSet(r), (resultText::attractorSet{{{0, 1}, {1, 1}}}));
}

}  // namespace
