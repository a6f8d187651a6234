#include "expectedAttractors.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace {

// Just enough JSON for these files: objects, arrays, strings without
// escapes other than \" and \\, numbers, true/false/null.
struct jsonValue {
    enum kind { null, boolean, number, string, array, object } type = null;
    double num = 0;
    std::string str;
    std::vector<jsonValue> items;
    std::map<std::string, jsonValue> fields;
};

struct jsonReader {
    const std::string& text;
    size_t pos = 0;

    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos));
    }
    void skipBlanks() {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    }
    char peek() {
        skipBlanks();
        if (pos >= text.size()) fail("unexpected end");
        return text[pos];
    }
    void expect(char c) {
        if (peek() != c) fail(std::string("expected '") + c + "'");
        ++pos;
    }
    std::string readString() {
        expect('"');
        std::string out;
        while (pos < text.size() && text[pos] != '"') {
            if (text[pos] == '\\') {
                ++pos;
                if (pos >= text.size()) fail("bad escape");
            }
            out += text[pos++];
        }
        if (pos >= text.size()) fail("unterminated string");
        ++pos;
        return out;
    }
    jsonValue readValue() {
        jsonValue v;
        const char c = peek();
        if (c == '{') {
            v.type = jsonValue::object;
            ++pos;
            if (peek() == '}') {
                ++pos;
                return v;
            }
            for (;;) {
                const std::string key = readString();
                expect(':');
                v.fields[key] = readValue();
                if (peek() == ',') {
                    ++pos;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.type = jsonValue::array;
            ++pos;
            if (peek() == ']') {
                ++pos;
                return v;
            }
            for (;;) {
                v.items.push_back(readValue());
                if (peek() == ',') {
                    ++pos;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.type = jsonValue::string;
            v.str = readString();
            return v;
        }
        for (const char* word : {"true", "false", "null"}) {
            if (text.compare(pos, std::char_traits<char>::length(word), word) == 0) {
                pos += std::char_traits<char>::length(word);
                v.type = word[0] == 'n' ? jsonValue::null : jsonValue::boolean;
                v.num = word[0] == 't' ? 1 : 0;
                return v;
            }
        }
        size_t used = 0;
        try {
            v.num = std::stod(text.substr(pos, 40), &used);
        } catch (const std::exception&) {
            fail("bad value");
        }
        pos += used;
        v.type = jsonValue::number;
        return v;
    }
};

const jsonValue& field(const jsonValue& object, const std::string& name) {
    const auto it = object.fields.find(name);
    if (it == object.fields.end()) throw std::runtime_error("missing field " + name);
    return it->second;
}

}  // namespace

expectedAttractors readExpectedAttractors(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    jsonReader reader{text};
    const jsonValue root = reader.readValue();

    expectedAttractors expected;
    for (const jsonValue& name : field(root, "genes").items) expected.genes.push_back(name.str);
    expected.nAttractors = static_cast<int>(field(root, "n_attractors").num);
    for (const jsonValue& size : field(root, "attractor_sizes").items)
        expected.attractorSizes.push_back(static_cast<long>(size.num));
    const auto listedStates = root.fields.find("attractors");
    if (listedStates != root.fields.end()) {
        expected.listed = true;
        for (const jsonValue& attractor : listedStates->second.items) {
            std::set<resultText::state> states;
            for (const jsonValue& s : attractor.items) {
                if (s.str.size() != expected.genes.size())
                    throw std::runtime_error(path + ": state of the wrong length");
                resultText::state x;
                for (const char v : s.str) x.push_back(v == '1' ? 1 : 0);
                states.insert(x);
            }
            expected.attractors.insert(states);
        }
    }
    return expected;
}

std::vector<std::string> listExpectedIds(const std::string& networksDir,
                                         const std::string& variant) {
    std::vector<std::string> ids;
    DIR* dir = opendir((networksDir + "/expected/" + variant).c_str());
    if (dir == nullptr) return ids;
    while (const dirent* entry = readdir(dir)) {
        const std::string file = entry->d_name;
        if (file.size() > 5 && file.compare(file.size() - 5, 5, ".json") == 0)
            ids.push_back(file.substr(0, file.size() - 5));
    }
    closedir(dir);
    std::sort(ids.begin(), ids.end());
    return ids;
}
