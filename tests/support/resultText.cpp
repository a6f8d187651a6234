#include "resultText.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "parseNetwork.h"

namespace resultText {

namespace {

// Splits `line` into the fields that each end in exactly three blanks.
bool splitFields(const std::string& line, std::vector<std::string>& fields, std::string& error) {
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t end = line.find(' ', pos);
        if (end == std::string::npos) {
            error = "field '" + line.substr(pos) + "' not followed by three blanks";
            return false;
        }
        if (end == pos) {
            error = "empty field or more than three blanks at column " + std::to_string(pos);
            return false;
        }
        if (line.compare(end, 3, "   ") != 0) {
            error = "field '" + line.substr(pos, end - pos) + "' not followed by three blanks";
            return false;
        }
        fields.push_back(line.substr(pos, end - pos));
        pos = end + 3;
    }
    return true;
}

}  // namespace

parsedResult parse(const std::string& text) {
    parsedResult result;
    if (text.empty() || text.back() != '\n') {
        result.error = "the text does not end with a line end";
        return result;
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (!splitFields(lines[0], result.genes, result.error)) return result;
    const size_t nGenes = result.genes.size();
    for (size_t l = 1; l < lines.size(); ++l) {
        std::vector<std::string> values;
        if (!splitFields(lines[l], values, result.error)) {
            result.error = "line " + std::to_string(l) + ": " + result.error;
            return result;
        }
        if (nGenes == 0 ? !values.empty() : (values.empty() || values.size() % nGenes != 0)) {
            result.error = "line " + std::to_string(l) + " holds " + std::to_string(values.size()) +
                           " values for " + std::to_string(nGenes) + " genes";
            return result;
        }
        std::vector<state> states;
        if (nGenes == 0) states.emplace_back();
        for (size_t k = 0; k < values.size(); k += nGenes) {
            state x;
            for (size_t i = 0; i < nGenes; ++i) {
                const std::string& v = values[k + i];
                if (v != "0" && v != "1") {
                    result.error = "line " + std::to_string(l) + ": value '" + v + "'";
                    return result;
                }
                x.push_back(v == "1" ? 1 : 0);
            }
            states.push_back(x);
        }
        result.attractors.push_back(states);
    }
    result.ok = true;
    return result;
}

attractorSet asSet(const parsedResult& result) {
    attractorSet attractors;
    for (const std::vector<state>& line : result.attractors)
        attractors.insert(std::set<state>(line.begin(), line.end()));
    return attractors;
}

bool hasRepeatedStates(const parsedResult& result) {
    for (const std::vector<state>& line : result.attractors)
        if (std::set<state>(line.begin(), line.end()).size() != line.size()) return true;
    return false;
}

std::string toString(const attractorSet& attractors) {
    std::ostringstream out;
    out << "[";
    for (const std::set<state>& attractor : attractors) {
        out << " {";
        const char* sep = "";
        for (const state& x : attractor) {
            out << sep;
            for (const int v : x) out << v;
            sep = ", ";
        }
        out << "}";
    }
    out << " ]";
    return out.str();
}

std::string writeTempFile(const std::string& text, const std::string& ending) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/quorvelTestXXXXXX" + ending;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), static_cast<int>(ending.size()));
    if (fd < 0) throw std::runtime_error("cannot create a temporary file");
    close(fd);
    std::ofstream out(name.data(), std::ios::binary);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write the temporary file");
    return std::string(name.data());
}

void removeFile(const std::string& path) { std::remove(path.c_str()); }

std::string runAnalysis(const std::string& path) {
    analysisOptions quiet;
    quiet.quiet = true;
    return topFuncQuorvel(path.c_str(), quiet);
}

std::string analyseFile(const std::string& path, const analysisOptions& options,
                        std::string& error) {
    analysisOptions quiet = options;
    quiet.quiet = true;
    std::string result;
    try {
        result = topFuncQuorvel(path.c_str(), quiet);
    } catch (const std::exception& e) {
        error = e.what();
    }
    return result;
}

}  // namespace resultText
