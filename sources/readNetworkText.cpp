// The text of a network file, checked for every reader, and names made
// safe to show in messages.
#include "readNetworkText.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "quorvelError.h"

namespace {

// The length of the well-formed UTF-8 sequence that starts at text[k], or
// 0 when none does (overlong forms, surrogates and code points past
// U+10FFFF are ill-formed).
std::size_t utf8SequenceLength(const std::string& text, std::size_t k) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(k);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (k + length > text.size()) return 0;
    for (std::size_t j = 1; j < length; ++j) {
        const unsigned char next = byte(k + j);
        if (next < (j == 1 ? low : 0x80) || next > (j == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

// Position of the first byte of `text` that does not belong to a well-formed
// UTF-8 sequence, or npos.
std::size_t firstInvalidUtf8(const std::string& text) {
    for (std::size_t k = 0; k < text.size();) {
        const std::size_t length = utf8SequenceLength(text, k);
        if (length == 0) return k;
        k += length;
    }
    return std::string::npos;
}

// True for the control characters that no network file holds: every C0
// control but the whitespace that separates tokens (tab, line feed, vertical
// tab, form feed, carriage return), and DEL.
bool isStrayControl(unsigned char c) { return (c < 0x20 && (c < '\t' || c > '\r')) || c == 0x7F; }

std::string lineOf(const std::string& text, std::size_t at) {
    return std::to_string(1 + std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n'));
}

std::string hexByte(unsigned char c) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", c);
    return code;
}

}  // namespace

std::string printableName(const std::string& name) {
    std::string shown;
    char code[8];
    for (std::size_t k = 0; k < name.size();) {
        const auto lead = static_cast<unsigned char>(name[k]);
        const std::size_t length = utf8SequenceLength(name, k);
        if (length == 0 || lead < 0x20 || lead == 0x7F) {
            std::snprintf(code, sizeof code, "\\x%02X", lead);
            shown += code;
            ++k;
        } else if (length == 2 && lead == 0xC2 && static_cast<unsigned char>(name[k + 1]) < 0xA0) {
            // U+0080 to U+009F: the C1 controls, which terminals obey too.
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned char>(name[k + 1]));
            shown += code;
            k += 2;
        } else {
            shown.append(name, k, length);
            k += length;
        }
    }
    return shown;
}

// The text is read whole first so that an open or read failure (a missing
// file, a directory, an I/O error) is told apart from an empty network:
// std::ifstream reports all three as an empty stream. Control bytes are
// checked as each block arrives, so that a device of endless NUL bytes
// (/dev/zero) or random bytes is refused at once, and the size bound stops
// any other endless source before it fills the memory.
std::string readNetworkText(const std::string& fileName) {
    const std::string named = "network file '" + printableName(fileName) + "'";
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) throw quorvelError("cannot open " + named + ": " + std::strerror(errno));
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
    const auto tooLarge = [&] {
        return quorvelError(named + " is larger than " +
                            std::to_string(kMaxNetworkFileBytes >> 20) +
                            " MiB, the most a network file may hold");
    };
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<unsigned long long>(info.st_size) > kMaxNetworkFileBytes)
        throw tooLarge();
    std::string content;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (got > kMaxNetworkFileBytes - content.size()) throw tooLarge();
        const auto stray = std::find_if(buffer, buffer + got, [](char c) {
            return isStrayControl(static_cast<unsigned char>(c));
        });
        if (stray != buffer + got) {
            const auto c = static_cast<unsigned char>(*stray);
            content.append(buffer, static_cast<std::size_t>(stray - buffer));
            throw quorvelError(
                named + " holds " +
                (c == 0 ? std::string("a NUL byte") : "the control byte " + hexByte(c)) +
                " on line " + lineOf(content, content.size()) + ": it is not a network text file");
        }
        // Grown by doubling, but never past the bound.
        if (content.capacity() - content.size() < got)
            content.reserve(std::min<std::size_t>(
                kMaxNetworkFileBytes, std::max(2 * content.capacity(), content.size() + got)));
        content.append(buffer, got);
    }
    if (std::ferror(file) != 0)
        throw quorvelError("cannot read " + named + ": " + std::strerror(errno));
    // A byte-order mark is no part of the first gene's name.
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
    const std::size_t invalid = firstInvalidUtf8(content);
    if (invalid != std::string::npos)
        throw quorvelError(named + " is not UTF-8 text: the byte " +
                           hexByte(static_cast<unsigned char>(content[invalid])) + " on line " +
                           lineOf(content, invalid) + " begins no valid UTF-8 character");
    return content;
}
