// The readers on inputs at and past their bounds: functions of 10,000
// regulators in .bnet and SBML-qual (read and analysed whole), nesting just
// within and just past the bounds, and a reader called on a thread with a
// Java thread's stack. Also the engine fault behind the old crashes: a
// collection while the variable count grows.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include "bddHandle.h"
#include "engineChecks.h"
#include "processRunner.h"
#include "readNetworkFile.h"
#include "resultText.h"
#include "util.h"

namespace {

using quorvelTestSupport::runProcess;
using quorvelTestSupport::scratchDirectory;

const std::string networksDir = std::string(QUORVEL_SHARED_DIR) + "/networks";

// T := x0 OP x1 OP ... OP x(n-1), every x constant 1, in .bnet.
std::string fanInBnet(int n, const std::string& op) {
    std::string text = "T, x0";
    for (int k = 1; k < n; ++k) text += " " + op + " x" + std::to_string(k);
    text += "\n";
    for (int k = 0; k < n; ++k) text += "x" + std::to_string(k) + ", 1\n";
    return text;
}

std::string sbmlFrame(const std::string& species, const std::string& transitions,
                      const std::string& annotation = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<sbml xmlns=\"http://www.sbml.org/sbml/level3/version1/core\" level=\"3\" version=\"1\" "
           "xmlns:qual=\"http://www.sbml.org/sbml/level3/version1/qual/version1\" qual:required=\"true\">\n"
           "<model id=\"m\">" +
           annotation +
           "<listOfCompartments><compartment id=\"cell\" constant=\"true\"/></listOfCompartments>\n"
           "<qual:listOfQualitativeSpecies>" +
           species +
           "</qual:listOfQualitativeSpecies>\n"
           "<qual:listOfTransitions>" +
           transitions + "</qual:listOfTransitions>\n</model></sbml>\n";
}

std::string species(const std::string& id, const std::string& extra = "qual:constant=\"false\"") {
    return "<qual:qualitativeSpecies qual:id=\"" + id + "\" qual:compartment=\"cell\" " + extra +
           "/>";
}

std::string isOne(const std::string& id) {
    return "<apply><eq/><ci>" + id + "</ci><cn type=\"integer\">1</cn></apply>";
}

// A transition of `output` whose term of level 1 is `math` (default 0).
std::string transition(const std::string& output, const std::string& math,
                       const std::string& inputs = "") {
    return "<qual:transition qual:id=\"t_" + output + "\"><qual:listOfInputs>" + inputs +
           "</qual:listOfInputs><qual:listOfOutputs><qual:output qual:qualitativeSpecies=\"" +
           output +
           "\" qual:transitionEffect=\"assignmentLevel\"/></qual:listOfOutputs><qual:listOfFunctionTerms>"
           "<qual:defaultTerm qual:resultLevel=\"0\"/><qual:functionTerm qual:resultLevel=\"1\">"
           "<math xmlns=\"http://www.w3.org/1998/Math/MathML\">" +
           math + "</math></qual:functionTerm></qual:listOfFunctionTerms></qual:transition>";
}

// T := OP(x0 .. x(n-1)), one flat MathML apply, every x constant at 1.
std::string fanInSbml(int n, const std::string& op) {
    std::string xs, terms;
    for (int k = 0; k < n; ++k) {
        const std::string x = "x" + std::to_string(k);
        xs += species(x, "qual:constant=\"true\" qual:initialLevel=\"1\"");
        terms += isOne(x);
    }
    return sbmlFrame(species("T") + xs,
                     transition("T", "<apply><" + op + "/>" + terms + "</apply>"));
}

// A = NOT ... NOT (B = 1): MathML nested `depth` deep, <math> and <ci> included.
std::string deepMathSbml(int depth) {
    std::string math = isOne("B");
    std::string open, close;
    for (int k = 3; k < depth; ++k) open += "<apply><not/>", close += "</apply>";
    return sbmlFrame(species("A") + species("B"), transition("A", open + math + close));
}

// An annotation whose elements nest `depth` deep in all (sbml, model,
// annotation and the rest).
std::string deepAnnotationSbml(int depth) {
    std::string nest;
    for (int k = 3; k < depth; ++k) nest = "<a>" + nest + "</a>";
    return sbmlFrame(species("A"), "", "<annotation>" + nest + "</annotation>");
}

struct readOutcome {
    std::vector<networkDefBool> rules;
    std::vector<std::string> order;
    std::string error;  // the quorvelError's message, "" when read
};

readOutcome readOn(const std::string& path) {
    readOutcome r;
    testing::internal::CaptureStdout();
    try {
        readNetworkFile(path, r.rules, r.order);
    } catch (const quorvelError& error) {
        r.error = error.what();
    }
    testing::internal::GetCapturedStdout();
    return r;
}

// Runs `work` on a thread with a stack of `bytes`, as a JVM runs a Java
// thread (its default: 512 KB on 32-bit hosts, 1 MB on 64-bit ones).
void onSmallStack(std::size_t bytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
    pthread_t thread;
    auto* job = const_cast<std::function<void()>*>(&work);
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* w) -> void* {
                      (*static_cast<std::function<void()>*>(w))();
                      return nullptr;
                  },
                  job),
              0);
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
}

}  // namespace

// BuDDy reserves a reference-stack entry before it computes the node that
// fills it, and its collector marks the entry meanwhile; the stack that a
// growing variable count brings used to hold stale heap bytes there. An OR
// chain that adds one new variable per step, in a small table, collects
// hundreds of times at depth.
TEST(EngineVariables, CollectionsWhileTheVariableCountGrows) {
    DdManager* mgr = openTestManager(4096, 0);
    ASSERT_NE(mgr, nullptr);
    {
        bddHandle f = bddZero(mgr);
        for (int k = 0; k < 3000; ++k) {
            f = bddResult(mgr, Cudd_bddOr(mgr, f.get(), Cudd_bddIthVar(mgr, k)));
            if (k % 500 == 0) {
                bddArray junk;  // garbage for the collector to free
                for (int j = 0; j < 50; ++j)
                    junk.push_back(bddResult(
                        mgr, Cudd_bddAnd(mgr, f.get(), Cudd_Not(Cudd_bddIthVar(mgr, j)))));
            }
        }
        EXPECT_EQ(Cudd_DagSize(f.get()), 3001);
    }
    EXPECT_EQ(outstandingRefs(mgr), 0);
    Cudd_Quit(mgr);
}

// 10,000 regulators, OR and AND, in both formats: read into one rule per
// regulator (OR) or one rule of all of them (AND), and analysed to the one
// steady state where everything is 1.
TEST(ReaderLimits, FanInOfTenThousandInBothFormats) {
    constexpr int n = 10000;
    scratchDirectory dir;
    for (const std::string& op : {std::string("or"), std::string("and")}) {
        const std::string bnet =
            dir.write("fan-" + op + ".bnet", fanInBnet(n, op == "or" ? "|" : "&"));
        const std::string sbml = dir.write("fan-" + op + ".sbml", fanInSbml(n, op));
        for (const std::string& path : {bnet, sbml}) {
            const readOutcome r = readOn(path);
            ASSERT_EQ(r.error, "") << path;
            std::size_t rulesOfT = 0, regulators = 0;
            for (const networkDefBool& rule : r.rules)
                if (rule.outGeneName == "T") ++rulesOfT, regulators += rule.inpGeneName.size();
            EXPECT_EQ(rulesOfT, op == "or" ? std::size_t(n) : 1u) << path;
            EXPECT_EQ(regulators, std::size_t(n)) << path;
            const std::string text = resultText::runAnalysis(path);
            const resultText::parsedResult parsed = resultText::parse(text);
            ASSERT_TRUE(parsed.ok) << path;
            ASSERT_EQ(parsed.attractors.size(), 1u) << path;
            EXPECT_EQ(resultText::toString(resultText::asSet(parsed)).find('0'), std::string::npos)
                << path;
        }
    }
}

// The bounds are exact, and the reader's error names the file and line.
TEST(ReaderLimits, NestingWithinTheBoundsIsReadAndPastThemRefused) {
    scratchDirectory dir;
    EXPECT_EQ(readOn(dir.write("m.sbml", deepMathSbml(5000))).error, "");
    EXPECT_EQ(readOn(dir.write("a.sbml", deepAnnotationSbml(100))).error, "");
    const std::string mathFile = dir.write("m2.sbml", deepMathSbml(5001));
    EXPECT_EQ(readOn(mathFile).error,
              "network file '" + mathFile + "', line 5: MathML nested deeper than 5000");
    // Deep enough that libsbml would take minutes over it, and crash at 20,000.
    const std::string annotationFile = dir.write("a2.sbml", deepAnnotationSbml(20000));
    EXPECT_EQ(readOn(annotationFile).error,
              "network file '" + annotationFile + "', line 3: XML elements nested deeper than 100");

    // A <math> inside an annotation, and an annotation inside MathML, are
    // annotation XML to libsbml (slow when deep): the bound of 100 holds.
    std::string nest;
    for (int k = 0; k < 150; ++k) nest = "<a>" + nest + "</a>";
    const std::string fakeMath = dir.write(
        "f.sbml",
        sbmlFrame(species("A"), "",
                  "<annotation><m:math xmlns:m=\"urn:m\">" + nest + "</m:math></annotation>"));
    EXPECT_NE(readOn(fakeMath).error.find("XML elements nested deeper than 100"),
              std::string::npos);
    const std::string inFormula = dir.write(
        "s.sbml",
        sbmlFrame(species("A") + species("B"),
                  transition("A", "<semantics>" + isOne("B") + "<annotation-xml encoding=\"x\">" +
                                      nest + "</annotation-xml></semantics>")));
    EXPECT_NE(readOn(inFormula).error.find("XML elements nested deeper than 100"),
              std::string::npos);

    std::string expression = "a";
    for (int k = 0; k < 10000; ++k) expression = "(" + expression + ")";
    EXPECT_EQ(readOn(dir.write("p.bnet", "a, " + expression + "\n")).error, "");
    const std::string parenFile = dir.write("p2.bnet", "a, (" + expression + ")\n");
    EXPECT_EQ(readOn(parenFile).error,
              "network file '" + parenFile +
                  "', line 1, column 10004: parentheses nested deeper than 10000");

    // One more regulator than the engine's recursion is given stack for.
    const std::string wide = fanInBnet(100001, "|");
    const std::string wideFile = dir.write("w.bnet", wide.substr(0, wide.find('\n') + 1));
    EXPECT_EQ(readOn(wideFile).error,
              "network file '" + wideFile + "', line 1: a function reads more than 100000 genes");

    // What the scan skips: markup inside comments, CDATA, processing
    // instructions and quoted attribute values ('>' and "/>"), and empty elements.
    std::string decoys;
    for (int k = 0; k < 200; ++k)
        decoys += "<!-- <a> --><?pi <a>?><b x='>a>' y=\"/>\"/><![CDATA[<a><a>]]>";
    EXPECT_EQ(readOn(dir.write("d.sbml", sbmlFrame(species("A"), "",
                                                   "<annotation><n xmlns=\"urn:n\">" + decoys +
                                                       "</n></annotation>")))
                  .error,
              "");
}

// A Java thread's stack: libsbml's recursion runs on the reader's own
// thread, so the deepest MathML let through (and the published model with
// MathML nested about 1,900 deep) is read on a 512 KB stack.
TEST(ReaderLimits, DeepModelsAreReadFromAThreadWithAJavaStack) {
    scratchDirectory dir;
    std::vector<std::string> files = {dir.write("m.sbml", deepMathSbml(5000))};
    const std::string published = networksDir + "/sbml/bbm-255.sbml";
    if (!quorvelTestSupport::readFile(published).empty()) files.push_back(published);
    for (const std::string& path : files) {
        readOutcome r;
        onSmallStack(512 * 1024, [&] { r = readOn(path); });
        EXPECT_EQ(r.error, "") << path;
        EXPECT_FALSE(r.rules.empty()) << path;
    }
}

TEST(ReaderLimits, ConsoleGivesTheBoundsErrorAndTheFanInAnswer) {
    scratchDirectory dir;
    const std::string deep = dir.write("deep.sbml", deepMathSbml(6000));
    const auto refused = runProcess({quorvelTestSupport::console, deep}, "");
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.err.find("line 5: MathML nested deeper than 5000"), std::string::npos)
        << refused.err;
    const auto answered =
        runProcess({quorvelTestSupport::console, dir.write("fan.bnet", fanInBnet(2000, "|"))}, "");
    EXPECT_EQ(answered.exitStatus, 0) << answered.err;
}
