// The reader of the rule format.
#include "readNetworkRules.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <locale>
#include <memory>
#include <unordered_map>

#include "quorvelError.h"
#include "readNetworkText.h"

int readNetwork(const std::string& fileName, std::vector<networkDefBool>& network,
                const progressSink& progress) {
    const std::string content = readNetworkText(fileName);

    // Tokens are separated by any whitespace of the C locale (blank, tab,
    // line feed, carriage return, vertical tab, form feed); line ends carry
    // no meaning, so a rule may spread over several lines.
    std::istringstream in(content);
    in.imbue(std::locale::classic());
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) tokens.push_back(std::move(token));

    const std::size_t nRules = tokens.size() / 3;
    const auto ruleContext = [&](std::size_t rule) {
        return "network file '" + printableName(fileName) + "', rule " + std::to_string(rule + 1);
    };
    if (tokens.size() % 3 != 0) {
        // Guessing a missing arrow or target would silently change the network.
        const std::string& regulators = tokens[3 * nRules];
        throw quorvelError(ruleContext(nRules) + " is cut short: the file ends after " +
                           (tokens.size() % 3 == 1
                                ? "its regulator expression '" + regulators + "'"
                                : "its regulator expression '" + regulators + "' and arrow '" +
                                      tokens[3 * nRules + 1] + "'") +
                           " (a rule is: regulators, arrow, target)");
    }

    std::vector<networkDefBool> rules(nRules);
    for (std::size_t r = 0; r < nRules; ++r) {
        networkDefBool& rule = rules[r];
        try {
            fragStringBool(tokens[3 * r], rule.inpGeneName, rule.inpGenePolar);
        } catch (const quorvelError& error) {
            throw quorvelError(ruleContext(r) + ": " + error.what());
        }
        rule.outGenePolar = tokens[3 * r + 1] == "-|" ? 0 : 1;
        rule.outGeneName = tokens[3 * r + 2];
    }
    // Nothing is appended unless the whole file was accepted.
    network.insert(network.end(), std::make_move_iterator(rules.begin()),
                   std::make_move_iterator(rules.end()));
    writeProgress(progress, network.size(), "\n");
    return 0;
}

int fragStringBool(const std::string& inpString, std::vector<std::string>& geneName,
                   std::vector<int>& genePolar) {
    std::vector<std::string> literals;
    tokenize(inpString, literals, "&");
    for (const std::string& literal : literals) {
        std::vector<std::string> parts;
        tokenize(literal, parts, "^");
        // A literal of "^" only would otherwise become a gene without a name.
        if (parts.empty())
            throw quorvelError("the literal '" + literal + "' in '" + inpString +
                               "' names no gene (it holds only '^')");
        // Any "^" negates; the name is the first run of other characters, so
        // ^A, A^ and ^^A all mean NOT A, and A^X means NOT A.
        const bool negated = parts.front().size() != literal.size();
        geneName.push_back(parts.front());
        genePolar.push_back(negated ? 0 : 1);
    }
    return 0;
}

int tokenize(const std::string& str, std::vector<std::string>& tokens, const char* delimiter) {
    std::string::size_type lastPos = str.find_first_not_of(delimiter, 0);
    std::string::size_type pos = str.find_first_of(delimiter, lastPos);
    while (lastPos != std::string::npos) {
        tokens.push_back(
            str.substr(lastPos, pos == std::string::npos ? std::string::npos : pos - lastPos));
        lastPos = str.find_first_not_of(delimiter, pos);
        pos = str.find_first_of(delimiter, lastPos);
    }
    return 0;
}
