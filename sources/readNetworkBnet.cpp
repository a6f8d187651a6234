// Reader of the .bnet format: one line "gene, expression" per gene.
#include "readNetworkBnet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "bddEngine.h"
#include "bddHandle.h"
#include "compRulesIsop.h"
#include "quorvelError.h"
#include "readNetworkText.h"

namespace {

// Characters with a meaning of their own; every other printable byte
// (UTF-8 included) may be part of a gene name.
bool isNameChar(unsigned char c) {
    if (c <= ' ' || c == 0x7f) return false;
    return std::strchr(",!&|()#", c) == nullptr;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// 1 or 0 for the constants, -1 for a gene name.
int constantValue(const std::string& name) {
    const std::string lower = lowerCase(name);
    if (lower == "1" || lower == "true") return 1;
    if (lower == "0" || lower == "false") return 0;
    return -1;
}

// Deepest nesting of parentheses in an expression. The parser keeps one
// record per open parenthesis and never recurses; the bound keeps the BDD
// work of nested groups (each group combined with its neighbours once it
// closes) in proportion to the line. Published models nest up to about 2,800.
constexpr std::size_t kMaxParenDepth = 10000;

// One line's expression, parsed left to right without recursion: ! binds
// tighter than &, & tighter than |.
struct bnetExpression {
    const std::string& text;
    std::string where;  // "network file 'F', line N"
    DdManager* mgr;
    localVariables& vars;
    std::vector<std::string> mentioned;  // gene names, in order of mention
};

[[noreturn]] void syntaxError(const bnetExpression& e, std::size_t column,
                              const std::string& expected) {
    std::string found = "the end of the line";
    if (column < e.text.size()) {
        std::size_t end = column + 1;
        while (end < e.text.size() && isNameChar(static_cast<unsigned char>(e.text[column])) &&
               isNameChar(static_cast<unsigned char>(e.text[end])))
            ++end;
        found = "'" + e.text.substr(column, end - column) + "'";
    }
    throw quorvelError(e.where + ", column " + std::to_string(column + 1) + ": expected " +
                       expected + ", found " + found);
}

// The expression, or one parenthesised group of it, being read: the
// conjunctions already closed by '|', the factors of the open conjunction,
// and whether the next operand is negated (an odd number of '!' before it).
struct bnetGroup {
    std::size_t openColumn;  // of its '(' (0 for the whole expression)
    bddArray terms;
    bddArray factors;
    bool negateNext = false;
};

// Closes the group's open conjunction into its terms.
void closeConjunction(DdManager* mgr, bnetGroup& g) {
    g.terms.push_back(combineBalanced(mgr, combineOp::conjoin, g.factors));
}

// Adds an operand to the group's open conjunction, negated when a '!' asked.
void addFactor(bnetGroup& g, bddHandle value) {
    if (g.negateNext) value = bddHandle(value.manager(), Cudd_Not(value.get()));
    g.negateNext = false;
    g.factors.push_back(std::move(value));
}

bddHandle parseExpression(bnetExpression& e, std::size_t pos) {
    const std::string& s = e.text;
    std::vector<bnetGroup> groups(1, bnetGroup{0, {}, {}});
    bool expectOperand = true;
    const char* const operand = "a gene name, a constant, '!' or '('";
    for (;;) {
        while (pos < s.size() && isBlank(s[pos])) ++pos;
        if (pos == s.size()) break;
        const char c = s[pos];
        bnetGroup& g = groups.back();
        if (expectOperand) {
            if (c == '!') {
                g.negateNext = !g.negateNext;
                ++pos;
                continue;
            }
            if (c == '(') {
                if (groups.size() > kMaxParenDepth)
                    throw quorvelError(e.where + ", column " + std::to_string(pos + 1) +
                                       ": parentheses nested deeper than " +
                                       std::to_string(kMaxParenDepth));
                groups.push_back(bnetGroup{pos, {}, {}});
                ++pos;
                continue;
            }
            if (!isNameChar(static_cast<unsigned char>(c))) syntaxError(e, pos, operand);
            std::size_t end = pos;
            while (end < s.size() && isNameChar(static_cast<unsigned char>(s[end]))) ++end;
            const std::string name = s.substr(pos, end - pos);
            const int constant = constantValue(name);
            if (constant >= 0) {
                addFactor(g, constant == 1 ? bddOne(e.mgr) : bddZero(e.mgr));
            } else {
                addFactor(g, bddHandle(e.mgr, varOfName(e.mgr, e.vars, name, e.where)));
                e.mentioned.push_back(name);
            }
            pos = end;
            expectOperand = false;
            continue;
        }
        if (c == '&' || c == '|') {
            if (c == '|') closeConjunction(e.mgr, g);
            ++pos;
            expectOperand = true;
        } else if (c == ')') {
            if (groups.size() == 1)
                syntaxError(e, pos,
                            "'&', '|' or the end of the expression (this ')' closes nothing)");
            closeConjunction(e.mgr, g);
            bddHandle value = combineBalanced(e.mgr, combineOp::disjoin, g.terms);
            groups.pop_back();
            addFactor(groups.back(), std::move(value));
            ++pos;
        } else {
            syntaxError(e, pos, "'&', '|', ')' or the end of the expression");
        }
    }
    if (expectOperand) syntaxError(e, pos, operand);
    if (groups.size() > 1)
        syntaxError(
            e, pos,
            "')' to close the '(' of column " + std::to_string(groups.back().openColumn + 1));
    closeConjunction(e.mgr, groups.back());
    return combineBalanced(e.mgr, combineOp::disjoin, groups.back().terms);
}

// One gene's line: its function over its own variables.
struct bnetGene {
    std::string name;
    int line;
    localVariables vars;
    bddHandle function;
};

// The rules and gene order of the .bnet file `fileName` (see readNetworkBnet).
void readBnetFile(const std::string& fileName, const std::string& content,
                  std::vector<networkDefBool>& rules, std::vector<std::string>& order) {
    ownedManager owned = makeReaderManager();
    DdManager* mgr = owned.get();
    std::vector<bnetGene> genes;
    std::unordered_map<std::string, std::size_t> lineOfGene;  // gene -> index in genes
    std::vector<std::string> uses;                            // mentioned genes, in order
    std::istringstream lines(content);
    int lineNo = 0;
    bool headerAllowed = true;
    for (std::string line; std::getline(lines, line);) {
        ++lineNo;
        const std::string where = "network file '" + fileName + "', line " + std::to_string(lineNo);
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::size_t first = 0;
        while (first < line.size() && isBlank(line[first])) ++first;
        if (first == line.size()) continue;
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos)
            throw quorvelError(where + ": expected 'gene, expression' (a line holds no ',')");
        std::size_t nameEnd = comma;
        while (nameEnd > first && isBlank(line[nameEnd - 1])) --nameEnd;
        const std::string name = line.substr(first, nameEnd - first);
        if (headerAllowed) {
            headerAllowed = false;
            std::string rest = line.substr(comma + 1);
            rest.erase(0, rest.find_first_not_of(" \t\r\v\f"));
            rest.erase(rest.find_last_not_of(" \t\r\v\f") + 1);
            if (lowerCase(name) == "targets" && lowerCase(rest) == "factors") continue;
        }
        if (name.empty()) throw quorvelError(where + ": expected a gene name before ','");
        for (std::size_t k = 0; k < name.size(); ++k)
            if (!isNameChar(static_cast<unsigned char>(name[k])))
                throw quorvelError(where + ", column " + std::to_string(first + k + 1) +
                                   ": expected a gene name before ',', found '" + name + "'");
        if (constantValue(name) >= 0)
            throw quorvelError(where + ": expected a gene name before ',', found the constant '" +
                               name + "'");
        const auto entered = lineOfGene.emplace(name, genes.size());
        if (!entered.second)
            throw quorvelError(where + ": gene '" + name +
                               "' is given a second line (the first is line " +
                               std::to_string(genes[entered.first->second].line) + ")");

        localVariables vars;
        bnetExpression expression{line, where, mgr, vars, {}};
        bddHandle function = parseExpression(expression, comma + 1);
        uses.insert(uses.end(), expression.mentioned.begin(), expression.mentioned.end());
        genes.push_back(bnetGene{name, lineNo, std::move(vars), std::move(function)});
    }
    if (lines.bad()) throw quorvelError("cannot read network file '" + fileName + "'");
    // A gene used without a line of its own is an input, as published models
    // write them: it keeps whatever value it starts with (X -> X). Such genes
    // come after the others, in order of first mention.
    std::vector<std::string> inputs;
    for (const std::string& used : uses)
        if (lineOfGene.emplace(used, genes.size() + inputs.size()).second) inputs.push_back(used);
    for (const bnetGene& g : genes) {
        makeRulesOfFunction(mgr, g.function.get(), g.vars.names, g.name, rules);
        order.push_back(g.name);
    }
    genes.clear();
    for (const std::string& input : inputs) {
        localVariables vars;
        const bddHandle keep =
            bddResult(mgr, varOfName(mgr, vars, input, "network file '" + fileName + "'"));
        makeRulesOfFunction(mgr, keep.get(), vars.names, input, rules);
        order.push_back(input);
    }
    chkNoReference(mgr);
}

}  // namespace

int readNetworkBnet(const std::string& fileName, std::vector<networkDefBool>& network,
                    std::vector<std::string>& geneOrder) {
    std::vector<networkDefBool> rules;
    std::vector<std::string> order;
    const std::string content = readNetworkText(fileName);
    // A function reads at most one gene more than its line holds operators.
    std::size_t operators = 0, most = 0;
    for (const char c : content) {
        if (c == '&' || c == '|') ++operators;
        if (c == '\n') operators = 0;
        most = std::max(most, operators);
    }
    const std::size_t variables = std::min(most + 1, kMaxRegulators);
    runOnReaderStack(kReaderStackBase + kStackPerVariable * variables,
                     [&] { readBnetFile(fileName, content, rules, order); });
    network.insert(network.end(), std::make_move_iterator(rules.begin()),
                   std::make_move_iterator(rules.end()));
    geneOrder.insert(geneOrder.end(), order.begin(), order.end());
    return 0;
}
