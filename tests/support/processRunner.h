// Running a program as a subprocess, with its standard streams in files.
#pragma once

#include <string>
#include <vector>

namespace quorvelTestSupport {

// The console program this build made.
inline const std::string console = QUORVEL_CONSOLE;

struct processResult {
    int exitStatus = -1;  // exit status, or 128 + signal number when killed by a signal
    std::string out;      // standard output (empty when it went to `stdoutPath`)
    std::string err;      // standard error
};

// Runs args[0] with arguments args[1..] (searched on PATH when it holds no
// '/'), feeding `input` on standard input (closed at its end). Standard output
// goes to `stdoutPath` when given (e.g. "/dev/full"), else it is captured.
processResult runProcess(const std::vector<std::string>& args, const std::string& input,
                         const std::string& stdoutPath = "");

// The same, without input, with standard error on a terminal of its own (a
// pseudo-terminal in raw mode, whose bytes become `err`) and standard output
// captured: what a user at a terminal sees of a run that writes its result
// to a file.
processResult runProcessOnTerminal(const std::vector<std::string>& args);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
struct scratchDirectory {
    scratchDirectory();
    ~scratchDirectory();
    scratchDirectory(const scratchDirectory&) = delete;
    scratchDirectory& operator=(const scratchDirectory&) = delete;

    // Writes `content` to the file `name` in the directory; returns its path.
    std::string write(const std::string& name, const std::string& content) const;

    std::string path;
};

// The bytes of the file at `path` (empty when it cannot be read).
std::string readFile(const std::string& path);

// A run as a failed assertion shows it: the exit status, then both streams.
std::string describe(const processResult& run);

// True when `part` occurs in `text`.
bool contains(const std::string& text, const std::string& part);

}  // namespace quorvelTestSupport
