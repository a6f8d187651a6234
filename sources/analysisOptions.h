// The options of one analysis, as the console program and the Java method
// findAttractors take them, and their parser.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "networkRecords.h"
#include "progressSink.h"
#include "quorvelError.h"

// How the result is written: the states one by one (the historical text),
// each attractor as disjoint cubes, or one JSON object.
enum class resultFormat { states, cubes, json };

// Which dynamics the attractors belong to: one gene at a time, or every gene
// at once.
enum class updateMode { async, sync };

// What the inputs (genes whose only rule keeps their own value, X -> X) are:
// free to start at either value (one attractor list over every setting),
// fixed OFF before the reduction, or parameters whose settings are grouped
// by the attractors they lead to.
enum class inputMode { free, off, grouped };

// A gene whose update function is replaced by a constant before the
// reduction (a knock-out for 0, an over-expression for 1).
struct geneFix {
    std::string name;
    int value = 0;
};

// The smallest --max-memory: below it the engine could not even hold its
// first tables, and a limit so small is a slip (1 for 1G, say).
constexpr std::size_t kMinMaxMemory = std::size_t(16) << 20;

// Which trap spaces --trap-spaces lists: none (the option not given), the
// minimal ones, or the maximal ones other than the whole state space.
enum class trapSpaceKind { none, minimal, maximal };

struct analysisOptions {
    resultFormat format = resultFormat::states;
    updateMode update = updateMode::async;
    std::vector<geneFix> fixes;  // in the order given, each gene once
    inputMode inputs = inputMode::free;
    bool quiet = false;              // no progress lines at all
    std::size_t maxMemory = 0;       // --max-memory in bytes; 0: only the process's own limits
    bool help = false;               // -h / --help was given
    bool version = false;            // --version was given
    std::vector<std::string> files;  // the words that are not options, in order
    // The modeller's questions (modellerQuestions.h): each needs --format
    // cubes or json.
    std::vector<std::string> initial;  // --initial cubes, as given, in order
    bool basins = false;               // --basins
    trapSpaceKind trapSpaces = trapSpaceKind::none;
    std::vector<std::string> phenotypes;  // --phenotypes marker genes, in order
    // Not an option: a caller that runs the analysis on another thread may
    // point this at a flag of its own and set it to stop the analysis. Every
    // BDD operation of the analysis then fails, the managers are released and
    // the call throws analysisStopped. Read, never written; null: never stopped.
    const std::atomic<bool>* cancel = nullptr;
};

// A bad command line: an unknown option, a missing or bad value, or a fixed
// gene the network does not have. The console adds the usage line; Java
// turns it into IllegalArgumentException.
struct optionError : quorvelError {
    using quorvelError::quorvelError;
};

// An analysis stopped through analysisOptions::cancel.
struct analysisStopped : quorvelError {
    using quorvelError::quorvelError;
};

// The genes an analysis of `network` fixes: options.fixes, and with --inputs
// off every input (a gene whose only rule is X -> X) they leave free, at 0
// (as --fix X=0 would). Defined with the pipeline driver.
std::vector<geneFix> inputFixes(const std::vector<networkDefBool>& network,
                                const analysisOptions& options);

// Reads GNU-style options: -h/--help, --version, --quiet, --format F,
// --update U, --inputs I, --fix GENE=V and --max-memory SIZE (each value also as
// --opt=VALUE; SIZE as readMemorySize reads it, at least kMinMaxMemory). Options may
// come before or after the file name; "--" ends them, so a file name may
// start with "-". A lone "-" is a file name. A repeated --format or --update
// keeps the last value; a gene fixed twice to different values is an error.
// --inputs grouped answers in outcomes, which only the cubes and json formats
// write, for the asynchronous update: with the states format or --update sync
// it is an error.
// --initial CUBE (repeatable), --basins, --trap-spaces min|max and
// --phenotypes GENE,GENE,... need --format cubes or json; --initial and
// --basins the asynchronous update; --trap-spaces answers alone (no other
// question, no --inputs grouped); --initial and --basins do not combine with
// --inputs grouped. The cubes themselves are read against the network later.
// Throws optionError.
analysisOptions readOptions(const std::vector<std::string>& args);

// The usage lines (two, without a final line end): the plain form, then the
// form with options.
std::string usageLine();

// The text of --help: the usage line, what the program does, the formats and
// every option. Ends with a line end.
std::string helpText();

// The text of --version, ended by a line end.
std::string versionText();

// Where progress lines go for these options: standard output for the
// states format (as always), standard error for cubes and json, nowhere with
// --quiet.
enum class progressTarget { standardOutput, standardError, none };
progressTarget progressTargetOf(const analysisOptions& options);

// The sink of progressTargetOf(options), for one call to carry, with `log`
// (the call's own record, which must outlive the sink) set up for it: on
// standard error the events are written as a log, one line per step, or
// rewritten in place when standard error is a terminal.
progressSink progressSinkOf(const analysisOptions& options, progressLog& log);
