// Reader of SBML level 3 models with the qual package (through libsbml).
#include "readNetworkSbml.h"

#include <sbml/SBMLTypes.h>
#include <sbml/packages/qual/common/QualExtensionTypes.h>
#include <sbml/packages/qual/validator/QualSBMLError.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "bddEngine.h"
#include "bddHandle.h"
#include "compRulesIsop.h"
#include "quorvelError.h"
#include "readNetworkText.h"

LIBSBML_CPP_NAMESPACE_USE

namespace {

// libsbml reads XML elements, and MathML above all, by recursion: about
// 1.6 KB of stack per level of MathML and 0.8 KB per level of other elements
// (measured on x86-64, reader included). Published models nest MathML up to
// about 2,000 deep (binary trees of and/or), more than the 512 KB of a Java
// thread's stack holds, so the reading runs on a thread of its own whose
// stack is sized for the file's nesting (at most 5,000 levels of MathML,
// about 8 MB). Other elements (annotations above all,
// which libsbml keeps as XML trees) cost time that grows with the square of
// their depth, so they nest at most 100 deep. chkXmlNesting checks both
// before libsbml sees the file.
constexpr int kMaxXmlDepth = 100;
constexpr int kMaxMathDepth = 5000;

// Skips from text[at] past the first `end` at or after it, counting the line
// ends passed; the end of the text when there is none.
std::size_t skipPast(const std::string& text, std::size_t at, std::string_view end, int& line) {
    const std::size_t found = text.find(end.data(), at, end.size());
    const std::size_t stop = found == std::string::npos ? text.size() : found + end.size();
    line += static_cast<int>(
        std::count(text.begin() + std::ptrdiff_t(at), text.begin() + std::ptrdiff_t(stop), '\n'));
    return stop;
}

// Throws quorvelError when the file's MathML nests deeper than
// kMaxMathDepth or its other elements deeper than kMaxXmlDepth, counted
// apart along each path from the root. MathML is what libsbml reads as
// formulas: a <math> element outside annotations and notes, and what it
// holds, but for the annotations inside a formula (<annotation>,
// <annotation-xml>), which count as other elements like everything in an
// annotation. A streaming scan of the bytes that never recurses: it tells
// apart start, end and empty-element tags, comments, CDATA sections,
// processing instructions and declarations (a document type with its
// internal subset), and counts an element for every start tag, so on text
// that is no well-formed XML it counts at least the elements that libxml2
// reports before it stops at the first error. Entities are not expanded:
// libsbml refuses entity references. Returns the deepest nesting met, for
// the reader's stack.
struct xmlNesting {
    int math = 0;
    int other = 0;
    std::size_t names = 0;  // <ci> elements: an upper bound of a function's variables
};

xmlNesting chkXmlNesting(const std::string& text, const std::string& file) {
    xmlNesting deepest;
    constexpr char structure = 0, formula = 1, foreign = 2;  // kinds of element
    std::vector<char> open;  // the kind of every open element, outermost first
    int mathDepth = 0;       // open formula elements
    int line = 1;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c != '<') {
            if (c == '\n') ++line;
            ++i;
            continue;
        }
        if (text.compare(i, 4, "<!--") == 0) {
            i = skipPast(text, i + 4, "-->", line);
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            i = skipPast(text, i + 9, "]]>", line);
        } else if (text.compare(i, 2, "<?") == 0) {
            i = skipPast(text, i + 2, "?>", line);
        } else if (text.compare(i, 2, "<!") == 0) {
            // A declaration: quoted literals and an internal subset in [ ]
            // may hold '>'.
            char quote = 0;
            int brackets = 0;
            for (i += 2; i < n; ++i) {
                const char d = text[i];
                if (d == '\n') ++line;
                if (quote != 0) {
                    if (d == quote) quote = 0;
                } else if (text.compare(i, 4, "<!--") == 0) {
                    i = skipPast(text, i + 4, "-->", line) - 1;
                } else if (d == '"' || d == '\'') {
                    quote = d;
                } else if (d == '[') {
                    ++brackets;
                } else if (d == ']') {
                    --brackets;
                } else if (d == '>' && brackets <= 0) {
                    break;
                }
            }
            ++i;
        } else {
            const int tagLine = line;
            const bool closing = i + 1 < n && text[i + 1] == '/';
            std::size_t j = i + (closing ? 2 : 1);
            const std::size_t nameFrom = j;
            while (j < n && std::strchr(" \t\r\n/>", text[j]) == nullptr) ++j;
            std::string_view name(text.data() + nameFrom, j - nameFrom);
            if (const std::size_t colon = name.rfind(':'); colon != std::string_view::npos)
                name.remove_prefix(colon + 1);
            char quote = 0;
            for (; j < n && (quote != 0 || text[j] != '>'); ++j) {
                if (text[j] == '\n') ++line;
                if (quote != 0) {
                    if (text[j] == quote) quote = 0;
                } else if (text[j] == '"' || text[j] == '\'') {
                    quote = text[j];
                }
            }
            const bool empty = !closing && j < n && text[j - 1] == '/';
            i = j + 1;
            if (closing) {
                if (!open.empty()) {
                    if (open.back() == formula) --mathDepth;
                    open.pop_back();
                }
                continue;
            }
            const char parent = open.empty() ? structure : open.back();
            const bool annotation =
                name == "annotation" || name == "annotation-xml" || name == "notes";
            if (name == "ci") ++deepest.names;
            const char kind = parent == foreign                     ? foreign
                              : annotation                          ? foreign
                              : parent == formula || name == "math" ? formula
                                                                    : structure;
            if (kind == formula && ++mathDepth > kMaxMathDepth)
                throw quorvelError("network file '" + file + "', line " + std::to_string(tagLine) +
                                   ": MathML nested deeper than " + std::to_string(kMaxMathDepth));
            open.push_back(kind);
            deepest.math = std::max(deepest.math, mathDepth);
            deepest.other = std::max(deepest.other, static_cast<int>(open.size()) - mathDepth);
            if (kind != formula && static_cast<int>(open.size()) - mathDepth > kMaxXmlDepth)
                throw quorvelError("network file '" + file + "', line " + std::to_string(tagLine) +
                                   ": XML elements nested deeper than " +
                                   std::to_string(kMaxXmlDepth));
            if (empty) {
                if (kind == formula) --mathDepth;
                open.pop_back();
            }
        }
    }
    return deepest;
}

// What one transition's MathML is read against.
struct sbmlContext {
    std::string fileName;
    DdManager* mgr;
    const std::unordered_map<std::string, int>* speciesIndex;  // species id -> position
    std::unordered_map<std::string, int> thresholds;           // input id -> threshold level
    localVariables vars;
};

// "network file 'F', line N" for the element `at`.
std::string placeOf(const sbmlContext& c, const SBase* at) {
    return "network file '" + c.fileName + "', line " +
           std::to_string(at != nullptr ? at->getLine() : 0);
}

[[noreturn]] void sbmlError(const sbmlContext& c, const SBase* at, const std::string& what) {
    throw quorvelError(placeOf(c, at) + ": " + what);
}

std::string formulaOf(const ASTNode* node) {
    char* text = SBML_formulaToL3String(node);
    const std::string formula = text != nullptr ? text : "?";
    std::free(text);
    return formula;
}

// An integer level: an integer, an integral real or an input's threshold.
bool levelOf(const sbmlContext& c, const ASTNode* node, long& level) {
    if (node->getType() == AST_INTEGER) {
        level = node->getInteger();
        return true;
    }
    if (node->getType() == AST_REAL || node->getType() == AST_REAL_E) {
        const double value = node->getReal();
        if (value != static_cast<double>(static_cast<long>(value))) return false;
        level = static_cast<long>(value);
        return true;
    }
    if (node->getType() == AST_NAME) {
        const auto found = c.thresholds.find(node->getName());
        if (found == c.thresholds.end()) return false;
        level = found->second;
        return true;
    }
    return false;
}

bool isSpecies(const sbmlContext& c, const ASTNode* node) {
    return node->getType() == AST_NAME && c.speciesIndex->count(node->getName()) != 0 &&
           c.thresholds.count(node->getName()) == 0;
}

// species OP level for a Boolean species x: every comparison is x, NOT x or
// a constant. With the level on the left the relation is mirrored.
bddHandle compComparison(sbmlContext& c, const SBase* at, const ASTNode* node) {
    const std::string formula = formulaOf(node);
    if (node->getNumChildren() != 2)
        sbmlError(c, at,
                  "expected a comparison of a species with a level, found '" + formula + "'");
    ASTNodeType_t type = node->getType();
    const ASTNode* speciesNode = node->getChild(0);
    const ASTNode* levelNode = node->getChild(1);
    if (!isSpecies(c, speciesNode)) {
        std::swap(speciesNode, levelNode);
        switch (type) {
            case AST_RELATIONAL_GEQ: type = AST_RELATIONAL_LEQ; break;
            case AST_RELATIONAL_LEQ: type = AST_RELATIONAL_GEQ; break;
            case AST_RELATIONAL_GT: type = AST_RELATIONAL_LT; break;
            case AST_RELATIONAL_LT: type = AST_RELATIONAL_GT; break;
            default: break;
        }
    }
    long level = 0;
    if (!isSpecies(c, speciesNode) || !levelOf(c, levelNode, level))
        sbmlError(c, at,
                  "expected a comparison of a qualitative species with an integer level, found '" +
                      formula + "'");
    // Levels x may take (0 and 1) that satisfy the relation.
    bool holds[2];
    for (long x = 0; x <= 1; ++x) {
        bool h = false;
        switch (type) {
            case AST_RELATIONAL_EQ: h = x == level; break;
            case AST_RELATIONAL_NEQ: h = x != level; break;
            case AST_RELATIONAL_GEQ: h = x >= level; break;
            case AST_RELATIONAL_GT: h = x > level; break;
            case AST_RELATIONAL_LEQ: h = x <= level; break;
            case AST_RELATIONAL_LT: h = x < level; break;
            default: break;
        }
        holds[x] = h;
    }
    DdManager* mgr = c.mgr;
    if (holds[0] == holds[1])
        return bddResult(mgr, holds[0] ? Cudd_ReadOne(mgr) : Cudd_ReadLogicZero(mgr));
    DdNode* var = varOfName(mgr, c.vars, speciesNode->getName(), placeOf(c, at));
    return bddResult(mgr, holds[1] ? var : Cudd_Not(var));
}

// The children of `node`, in order, in time linear in their number:
// libsbml keeps them in a linked list that getChild(k) walks from its head.
// They are moved to a scratch node (swapChildren), taken off its head one by
// one and put back in the same order; the document is the reader's own.
std::vector<const ASTNode*> childrenOf(const ASTNode* node) {
    std::vector<ASTNode*> children;
    children.reserve(node->getNumChildren());  // no allocation while they are out
    ASTNode* owner = const_cast<ASTNode*>(node);
    ASTNode scratch;
    owner->swapChildren(&scratch);
    while (scratch.getNumChildren() > 0) {
        children.push_back(scratch.getChild(0));
        scratch.removeChild(0);
    }
    for (ASTNode* child : children) scratch.addChild(child);
    owner->swapChildren(&scratch);
    return {children.begin(), children.end()};
}

bddHandle compMath(sbmlContext& c, const SBase* at, const ASTNode* node) {
    DdManager* mgr = c.mgr;
    const unsigned n = node->getNumChildren();
    switch (node->getType()) {
        case AST_CONSTANT_TRUE: return bddResult(mgr, Cudd_ReadOne(mgr));
        case AST_CONSTANT_FALSE: return bddResult(mgr, Cudd_ReadLogicZero(mgr));
        case AST_LOGICAL_NOT: {
            if (n != 1) break;
            const bddHandle operand = compMath(c, at, node->getChild(0));
            return bddResult(mgr, Cudd_Not(operand.get()));
        }
        case AST_LOGICAL_AND:
        case AST_LOGICAL_OR:
        case AST_LOGICAL_XOR: {
            const ASTNodeType_t type = node->getType();
            bddArray operands;
            operands.reserve(n);
            for (const ASTNode* child : childrenOf(node))
                operands.push_back(compMath(c, at, child));
            return combineBalanced(mgr,
                                   type == AST_LOGICAL_AND  ? combineOp::conjoin
                                   : type == AST_LOGICAL_OR ? combineOp::disjoin
                                                            : combineOp::differ,
                                   operands);
        }
        case AST_RELATIONAL_EQ:
        case AST_RELATIONAL_NEQ:
        case AST_RELATIONAL_GEQ:
        case AST_RELATIONAL_GT:
        case AST_RELATIONAL_LEQ:
        case AST_RELATIONAL_LT: return compComparison(c, at, node);
        default: break;
    }
    sbmlError(
        c, at,
        "expected and, or, xor, not, true, false or a comparison of a species with a level, found '" +
            formulaOf(node) + "'");
}

// Schema complaints that published models raise and that concern nothing this
// reader uses: a missing compartment of a species, an empty list (as a
// transition's empty list of inputs), an attribute from outside the qual
// namespace on an input (as "essential"). Everything else stops the reading.
bool isHarmlessError(const SBMLError& error) {
    const std::string message = error.getMessage();
    switch (error.getErrorId()) {
        case QualQualSpeciesAllowedAttributes:
            return message.find("'compartment' is missing") != std::string::npos;
        case NotSchemaConformant: return message.find("cannot be empty") != std::string::npos;
        case QualInputAllowedCoreAttributes: return true;
        default: return false;
    }
}

// Throws quorvelError when two objects of the model share an id: the model,
// its qualitative species, transitions, inputs and outputs, and the core
// objects whose ids share their namespace (every object with an id but unit
// definitions and a reaction's local parameters, which have their own).
// libsbml leaves this check to a validation the reader does not run, and a
// threshold named by a repeated input id would be ambiguous.
void chkUniqueIds(const std::string& fileName, const Model& model) {
    std::unordered_map<std::string, unsigned> lineOfId;
    const auto enter = [&](const SBase& object) {
        if (!object.isSetId()) return;
        const auto entered = lineOfId.emplace(object.getId(), object.getLine());
        if (!entered.second)
            throw quorvelError("network file '" + fileName + "', line " +
                               std::to_string(object.getLine()) + ": id '" + object.getId() +
                               "' is given twice (first on line " +
                               std::to_string(entered.first->second) + ")");
    };
    enter(model);
    // libsbml's List is linked: walked with its iterator, not by index.
    const std::unique_ptr<List> all(const_cast<Model&>(model).getAllElements());
    for (ListIterator at = all->begin(); at != all->end(); ++at) {
        const auto* object = static_cast<const SBase*>(*at);
        const int type = object->getTypeCode();
        if (type == SBML_UNIT_DEFINITION || type == SBML_LOCAL_PARAMETER) continue;
        enter(*object);
    }
}

// The rules and gene order of the SBML text `text` of file `fileName` (see
// readNetworkSbml); runs libsbml, which recurses as deep as the XML nests.
void readSbmlText(const std::string& fileName, std::string text, std::vector<networkDefBool>& rules,
                  std::vector<std::string>& geneOrder) {
    // readSBMLFromString puts an XML declaration and a line end before a text
    // that has none; one without a line end keeps the line numbers right.
    if (text.compare(0, 5, "<?xml") != 0)
        text.insert(0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    SBMLReader reader;
    const std::unique_ptr<SBMLDocument> document(reader.readSBMLFromString(text));
    const std::string file = "network file '" + fileName + "'";
    if (document == nullptr) throw quorvelError("cannot read " + file + " as SBML");
    for (unsigned k = 0; k < document->getNumErrors(); ++k) {
        const SBMLError* error = document->getError(k);
        if (error->getSeverity() < LIBSBML_SEV_ERROR || isHarmlessError(*error)) continue;
        std::string message = error->getMessage();
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        throw quorvelError(file + ", line " + std::to_string(error->getLine()) +
                           ": not valid SBML: " + message);
    }
    const Model* model = document->getModel();
    if (model == nullptr) throw quorvelError(file + ": expected an SBML <model>, found none");
    const auto* qual = dynamic_cast<const QualModelPlugin*>(model->getPlugin("qual"));
    if (qual == nullptr || qual->getNumQualitativeSpecies() == 0)
        throw quorvelError(file + ", line " + std::to_string(model->getLine()) +
                           ": expected qualitative species (the SBML qual package), found none");

    ownedManager owned = makeReaderManager();
    sbmlContext c{fileName, owned.get(), nullptr, {}, {}};
    std::unordered_map<std::string, int> speciesIndex;
    std::vector<const QualitativeSpecies*> species;
    for (unsigned k = 0; k < qual->getNumQualitativeSpecies(); ++k) {
        const QualitativeSpecies* s = qual->getQualitativeSpecies(k);
        if (s->getId().empty()) sbmlError(c, s, "expected an id for every qualitative species");
        // A maximum level of 0 (or below) leaves a species no value 1: it is
        // refused like one above 1 rather than read as Boolean.
        if (s->isSetMaxLevel() && s->getMaxLevel() != 1)
            sbmlError(c, s,
                      "species '" + s->getId() + "' has maximum level " +
                          std::to_string(s->getMaxLevel()) +
                          "; only Boolean species (maximum level 1) can be read");
        if (!speciesIndex.emplace(s->getId(), static_cast<int>(k)).second)
            sbmlError(c, s, "species id '" + s->getId() + "' is given twice");
        species.push_back(s);
    }
    c.speciesIndex = &speciesIndex;

    // The transition of every species that one sets.
    std::vector<const Transition*> transitionOf(species.size(), nullptr);
    for (unsigned t = 0; t < qual->getNumTransitions(); ++t) {
        const Transition* transition = qual->getTransition(t);
        for (unsigned k = 0; k < transition->getNumInputs(); ++k) {
            const Input* input = transition->getInput(k);
            if (input->isSetTransitionEffect() &&
                input->getTransitionEffect() != INPUT_TRANSITION_EFFECT_NONE)
                sbmlError(c, input,
                          "expected the input effect 'none' for input '" + input->getId() +
                              "' of transition '" + transition->getId() + "'");
            if (speciesIndex.count(input->getQualitativeSpecies()) == 0)
                sbmlError(c, input,
                          "input of transition '" + transition->getId() +
                              "' names an unknown species '" + input->getQualitativeSpecies() +
                              "'");
        }
        if (transition->getNumOutputs() == 0)
            sbmlError(c, transition,
                      "expected an output for transition '" + transition->getId() + "'");
        for (unsigned k = 0; k < transition->getNumOutputs(); ++k) {
            const Output* output = transition->getOutput(k);
            const auto found = speciesIndex.find(output->getQualitativeSpecies());
            if (found == speciesIndex.end())
                sbmlError(c, output,
                          "output of transition '" + transition->getId() +
                              "' names an unknown species '" + output->getQualitativeSpecies() +
                              "'");
            if (output->getTransitionEffect() != OUTPUT_TRANSITION_EFFECT_ASSIGNMENT_LEVEL)
                sbmlError(c, output,
                          "expected the output effect 'assignmentLevel' in transition '" +
                              transition->getId() + "'");
            const std::size_t s = static_cast<std::size_t>(found->second);
            if (species[s]->getConstant())
                sbmlError(c, output,
                          "species '" + species[s]->getId() +
                              "' is constant but is the output of transition '" +
                              transition->getId() + "'");
            if (transitionOf[s] != nullptr)
                sbmlError(c, output,
                          "species '" + species[s]->getId() +
                              "' is the output of two transitions, '" + transitionOf[s]->getId() +
                              "' and '" + transition->getId() + "'");
            transitionOf[s] = transition;
        }
    }

    chkUniqueIds(fileName, *model);
    for (std::size_t s = 0; s < species.size(); ++s) {
        const std::string& id = species[s]->getId();
        const Transition* transition = transitionOf[s];
        DdManager* mgr = c.mgr;
        c.vars = localVariables();
        c.thresholds.clear();
        if (transition == nullptr ||
            (transition->getNumFunctionTerms() == 0 && !transition->isSetDefaultTerm())) {
            // A constant species keeps its initial level; any other species
            // without a function (and a constant one without initial level)
            // keeps whatever value it starts with.
            const QualitativeSpecies* q = species[s];
            if (q->getConstant() && q->isSetInitialLevel()) {
                if (q->getInitialLevel() < 0 || q->getInitialLevel() > 1)
                    sbmlError(c, q,
                              "species '" + id + "' has initial level " +
                                  std::to_string(q->getInitialLevel()) + "; expected 0 or 1");
                const bddHandle level = bddResult(
                    mgr, q->getInitialLevel() == 1 ? Cudd_ReadOne(mgr) : Cudd_ReadLogicZero(mgr));
                makeRulesOfFunction(mgr, level.get(), c.vars.names, id, rules);
            } else {
                const bddHandle keep = bddResult(mgr, varOfName(mgr, c.vars, id, placeOf(c, q)));
                makeRulesOfFunction(mgr, keep.get(), c.vars.names, id, rules);
            }
            continue;
        }
        for (unsigned k = 0; k < transition->getNumInputs(); ++k) {
            const Input* input = transition->getInput(k);
            if (input->isSetId() && input->isSetThresholdLevel())
                c.thresholds[input->getId()] = input->getThresholdLevel();
        }
        if (!transition->isSetDefaultTerm())
            sbmlError(c, transition,
                      "expected a default term in transition '" + transition->getId() + "'");
        const int defaultLevel = transition->getDefaultTerm()->getResultLevel();
        if (defaultLevel < 0 || defaultLevel > 1)
            sbmlError(c, transition->getDefaultTerm(),
                      "expected result level 0 or 1 in the default term of transition '" +
                          transition->getId() + "'");
        // The terms of level 1 and of level 0; the default applies where none holds.
        bddHandle toOne = bddResult(mgr, Cudd_ReadLogicZero(mgr));
        bddHandle toZero = bddResult(mgr, Cudd_ReadLogicZero(mgr));
        for (unsigned k = 0; k < transition->getNumFunctionTerms(); ++k) {
            const FunctionTerm* term = transition->getFunctionTerm(k);
            if (term->getResultLevel() < 0 || term->getResultLevel() > 1)
                sbmlError(c, term,
                          "expected result level 0 or 1 in a function term of transition '" +
                              transition->getId() + "'");
            if (!term->isSetMath())
                sbmlError(c, term,
                          "expected MathML in a function term of transition '" +
                              transition->getId() + "'");
            const bddHandle holds = compMath(c, term, term->getMath());
            bddHandle& side = term->getResultLevel() == 1 ? toOne : toZero;
            side = bddResult(mgr, Cudd_bddOr(mgr, side.get(), holds.get()));
        }
        const bddHandle clash = bddResult(mgr, Cudd_bddAnd(mgr, toOne.get(), toZero.get()));
        if (clash.get() != Cudd_ReadLogicZero(mgr))
            sbmlError(c, transition,
                      "function terms of levels 0 and 1 of transition '" + transition->getId() +
                          "' hold in the same state; expected terms that exclude each other");
        const bddHandle byDefault =
            bddResult(mgr, defaultLevel == 1 ? Cudd_Not(toZero.get()) : Cudd_ReadLogicZero(mgr));
        const bddHandle function = bddResult(mgr, Cudd_bddOr(mgr, toOne.get(), byDefault.get()));
        makeRulesOfFunction(mgr, function.get(), c.vars.names, id, rules);
    }
    chkNoReference(c.mgr);
    for (const QualitativeSpecies* s : species) geneOrder.push_back(s->getId());
}

}  // namespace

int readNetworkSbml(const std::string& fileName, std::vector<networkDefBool>& network,
                    std::vector<std::string>& geneOrder) {
    std::string text = readNetworkText(fileName);
    const xmlNesting deepest = chkXmlNesting(text, fileName);
    std::vector<networkDefBool> rules;
    std::vector<std::string> order;
    const std::size_t stack = kReaderStackBase + kStackPerMathLevel * std::size_t(deepest.math) +
                              kStackPerXmlLevel * std::size_t(deepest.other) +
                              kStackPerVariable * std::min(deepest.names, kMaxRegulators);
    runOnReaderStack(stack, [&] { readSbmlText(fileName, std::move(text), rules, order); });
    network.insert(network.end(), std::make_move_iterator(rules.begin()),
                   std::make_move_iterator(rules.end()));
    geneOrder.insert(geneOrder.end(), order.begin(), order.end());
    return 0;
}
