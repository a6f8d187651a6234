// The text of a network file, checked the same way for every reader, and
// user-given names made safe to show in messages.
#pragma once

#include <cstddef>
#include <string>

// `name` (a gene or file name, an option: anything a user gave) as a
// message shows it: every control character (C0, DEL, and C1 written in
// UTF-8) and every byte that is not part of well-formed UTF-8 is written as
// an escape, \xNN for a byte and \u00NN for a C1 control, so that no
// message carries a raw control byte to a terminal or a log.
std::string printableName(const std::string& name);

// The most bytes a network file may hold.
constexpr std::size_t kMaxNetworkFileBytes = std::size_t(1) << 30;

// The text of the network file `fileName`, for every reader of network
// files: a leading UTF-8 byte-order mark is dropped. Throws quorvelError
// (naming the file) when it cannot be opened or read, holds more than
// kMaxNetworkFileBytes, holds a NUL byte or another control character other
// than whitespace (tab, line feed, vertical tab, form feed, carriage return),
// or is not well-formed UTF-8.
std::string readNetworkText(const std::string& fileName);
