// What one call asks of the symbolic analysis (its own header, so that the
// stages it reaches read it without including the driver).
#pragma once

#include <vector>

#include "analysisOptions.h"
#include "progressSink.h"

// What one call asks of the symbolic analysis: the options whole (of them
// the analysis reads format, update, inputs, maxMemory and cancel), where its
// progress lines go, and with options.inputs grouped the inputs' indices in
// geneDbReduced, ascending.
struct analysisRequest {
    analysisOptions options;
    progressSink progress = standardOutputProgress();
    std::vector<int> groupedInputs;
};
