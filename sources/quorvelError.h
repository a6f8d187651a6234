// The project's error types: every failure of an analysis is one of them.
#pragma once

#include <stdexcept>
#include <string>

// Every failure of an analysis travels as this exception up to an entry
// point, which turns it into a message and an exit status or a Java
// exception. The library never ends its host process.
struct quorvelError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A fatal condition met deep in an analysis (a failed cube pick, a failed
// transfer, an attractor too large to write). Its message is also the line
// by which the analysis has always reported it: the driver writes that line
// to the call's progress sink before the error goes on to the entry point.
struct fatalCondition : quorvelError {
    using quorvelError::quorvelError;
};

// Throws fatalCondition(line).
[[noreturn]] inline void raiseFatal(const std::string& line) { throw fatalCondition(line); }
