// The pipeline driver. Re-exports the network records (networkRecords.h) and
// the error types (quorvelError.h) for the callers that take them from here.
#pragma once

#include <string>
#include <vector>

#include "libraryExport.h"
#include "networkRecords.h"
#include "quorvelError.h"

// Runs one whole analysis of the network file `s` and returns the result
// text. Throws quorvelError on any failure.
QUORVEL_EXPORT std::string topFuncQuorvel(const char* s);

struct analysisOptions;

// The same with options (analysisOptions.h): the result in options.format,
// the attractors of options.update, options.fixes applied before the
// reduction. While it runs, progress lines go where progressSinkOf(options)
// says, and nowhere else: no stream of the process is redirected, so calls
// on other threads write where their own options say. When it throws, no
// progress line is left open, so the caller's message starts a line of its
// own; when it returns, the log's line on a terminal is cleared. options.files, help
// and version are not read. Throws quorvelError on any failure
// (analysisStopped once options.cancel is set), optionError for a fixed gene
// the network lacks.
std::string topFuncQuorvel(const char* s, const analysisOptions& options);
