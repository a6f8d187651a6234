// Where one analysis writes its progress lines, carried with the call.
#pragma once

#include <ostream>
#include <sstream>
#include <string>

// The destination of the progress lines of one call: a stream of the
// process (standard output or standard error) or nowhere. A small value that
// the entry point makes from the call's options and passes down to every
// function that reports progress; nothing of it is kept between calls, so
// calls from several threads each write where their own options say. The
// stream is lent and outlives the call.
struct progressSink {
    std::ostream* stream = nullptr;  // nullptr: the lines are dropped
};

// The sink of a caller that names none: standard output, where the
// analysis has always written its progress lines.
progressSink standardOutputProgress();

// Writes `text` to `out` in one piece and flushes it, under the lock that
// every such write holds, so that texts written from several threads to the
// process's standard streams never interleave. A failure left on `out` by
// an earlier write is cleared first: the result tells only whether `text`
// itself was written whole.
bool writeWhole(std::ostream& out, const std::string& text);

// Writes `parts`, each formatted as a default std::ostream formats it, to
// the sink as one piece (the callers end their lines with "\n"); nothing
// when the sink is nowhere. A progress line that cannot be written is lost,
// not an error of the analysis.
template <class... Parts>
void writeProgress(const progressSink& sink, const Parts&... parts) {
    if (sink.stream == nullptr) return;
    std::ostringstream text;
    (text << ... << parts);
    writeWhole(*sink.stream, text.str());
}
