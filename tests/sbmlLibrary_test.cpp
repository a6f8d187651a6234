// The SBML reader lives in libquorvel_sbml.so, which libquorvel.so loads only
// when an SBML file is read: a rule or .bnet file starts without libsbml,
// libxml2 and ICU, so the console starts under a small address-space limit.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "processRunner.h"
#include "resultText.h"

using quorvelTestSupport::console;
using quorvelTestSupport::processResult;
using quorvelTestSupport::runProcess;
using quorvelTestSupport::scratchDirectory;

namespace {

const std::string libraryDir = QUORVEL_LIBRARY_DIR;

// The toggle switch, A = NOT B and B = NOT A, in SBML-qual.
std::string toggleSbml() {
    const auto transition = [](const std::string& in, const std::string& out) {
        return "<qual:transition qual:id=\"t" + out +
               "\"><qual:listOfInputs><qual:input qual:id=\"i" + out +
               "\" qual:qualitativeSpecies=\"" + in +
               "\" qual:transitionEffect=\"none\"/></qual:listOfInputs><qual:listOfOutputs>"
               "<qual:output qual:id=\"o" + out + "\" qual:qualitativeSpecies=\"" + out +
               "\" qual:transitionEffect=\"assignmentLevel\"/></qual:listOfOutputs>"
               "<qual:listOfFunctionTerms><qual:defaultTerm qual:resultLevel=\"0\"/>"
               "<qual:functionTerm qual:resultLevel=\"1\"><math "
               "xmlns=\"http://www.w3.org/1998/Math/MathML\"><apply><eq/><ci>" + in +
               "</ci><cn type=\"integer\">0</cn></apply></math></qual:functionTerm>"
               "</qual:listOfFunctionTerms></qual:transition>";
    };
    const auto species = [](const std::string& id) {
        return "<qual:qualitativeSpecies qual:id=\"" + id +
               "\" qual:compartment=\"c\" qual:constant=\"false\" qual:maxLevel=\"1\"/>";
    };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<sbml xmlns=\"http://www.sbml.org/sbml/level3/version1/core\" level=\"3\" "
           "version=\"1\" xmlns:qual=\"http://www.sbml.org/sbml/level3/version1/qual/version1\" "
           "qual:required=\"true\">\n<model id=\"toggle\"><listOfCompartments><compartment "
           "id=\"c\" constant=\"true\"/></listOfCompartments><qual:listOfQualitativeSpecies>" +
           species("A") + species("B") + "</qual:listOfQualitativeSpecies><qual:listOfTransitions>" +
           transition("B", "A") + transition("A", "B") +
           "</qual:listOfTransitions></model></sbml>\n";
}

// The dynamic symbols that `library` defines, without those any linker adds.
std::set<std::string> exportsOf(const std::string& library) {
    const processResult run = runProcess({"nm", "-D", "--defined-only", library}, "");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const std::set<std::string> linkerSymbols = {"_init", "_fini", "__bss_start", "_edata",
                                                 "_end"};
    std::set<std::string> found;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const std::string name = line.substr(line.find_last_of(' ') + 1);
        if (!linkerSymbols.count(name)) found.insert(name);
    }
    return found;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

}  // namespace

TEST(sbmlLibrary, libquorvelNeedsNoLibsbmlAndTheReaderExportsOneEntry) {
    const processResult dynamic =
        runProcess({"readelf", "-d", libraryDir + "/libquorvel.so"}, "");
    ASSERT_EQ(dynamic.exitStatus, 0) << dynamic.err;
    EXPECT_NE(dynamic.out.find("(NEEDED)"), std::string::npos) << dynamic.out;
    EXPECT_EQ(dynamic.out.find("libsbml"), std::string::npos) << dynamic.out;
    EXPECT_EQ(exportsOf(libraryDir + "/libquorvel_sbml.so"),
              std::set<std::string>{"quorvelReadNetworkSbml"});
}

// The console reads SBML through the library it loads, and a rule file in
// the same run of tests gives the same attractors.
TEST(sbmlLibrary, consoleReadsSbmlThroughTheLoadedReader) {
    const scratchDirectory dir;
    const processResult fromSbml =
        runProcess({console, "--quiet", dir.write("toggle.sbml", toggleSbml())}, "");
    ASSERT_EQ(fromSbml.exitStatus, 0) << quorvelTestSupport::describe(fromSbml);
    const processResult fromRules =
        runProcess({console, "--quiet", dir.write("toggle.net", "^B -> A\n^A -> B\n")}, "");
    ASSERT_EQ(fromRules.exitStatus, 0) << quorvelTestSupport::describe(fromRules);
    const resultText::parsedResult sbml = resultText::parse(fromSbml.out);
    const resultText::parsedResult rules = resultText::parse(fromRules.out);
    ASSERT_TRUE(sbml.ok && rules.ok) << fromSbml.out << fromRules.out;
    EXPECT_EQ(resultText::asSet(sbml), resultText::asSet(rules));
    EXPECT_EQ(resultText::asSet(sbml).size(), 2u);
}

// Without libsbml and ICU's data the console and a small analysis fit in
// 40 MB of address space (with them, the loader alone needed more).
TEST(sbmlLibrary, consoleStartsUnderSmallAddressSpaceLimit) {
    if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space";
    const scratchDirectory dir;
    const std::string rules = dir.write("toggle.net", "^B -> A\n^A -> B\n");
    const std::string bnet = dir.write("toggle.bnet", "A, !B\nB, !A\n");
    for (const std::string& file : {rules, bnet}) {
        SCOPED_TRACE(file);
        const processResult run = runProcess(
            {"/bin/sh", "-c", "ulimit -v 40000 && exec \"$0\" --quiet \"$1\"", console, file}, "");
        ASSERT_EQ(run.exitStatus, 0) << quorvelTestSupport::describe(run);
        const resultText::parsedResult parsed = resultText::parse(run.out);
        ASSERT_TRUE(parsed.ok) << run.out;
        EXPECT_EQ(resultText::asSet(parsed).size(), 2u);
    }
}
