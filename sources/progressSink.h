// Where one analysis writes its progress lines, carried with the call.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

// The steps of an analysis that it reports as events (progressEvent).
enum class progressStage {
    reading,            // reading the network file
    reducing,           // the reduction, the components and the blocks
    encoding,           // the next-state relations of the genes
    block,              // the search of one block, in level order
    finalSearch,        // the attractors of the whole network from the blocks'
    synchronousSearch,  // the search over every gene under synchronous update
    basins,             // the basin of one attractor
    trapSpaces,         // the trap spaces
    writing,            // the result text
};

// One step of an analysis as it starts: the stage; the part of the stage
// that starts, `index` of `count`, 1-based (the block, or the attractor
// whose basin is computed; 0 of 0 for a stage without parts); the attractors
// found so far, when counted (for a block: those over the blocks before it; for
// finalSearch and writing: every attractor); the genes the stage works on
// (0: not told); and the attractors that the searches of this step have
// found since it started (reportAttractorsFound adds to it). The searches
// report these records and leave the text to the sink.
struct progressEvent {
    progressStage stage = progressStage::reading;
    std::size_t index = 0;
    std::size_t count = 0;
    std::optional<std::size_t> attractors;
    std::size_t genes = 0;
    std::size_t found = 0;
};

// A stage with no parts, over `genes` genes (0: not told).
inline progressEvent stageEvent(progressStage stage, std::size_t genes = 0) {
    return progressEvent{stage, 0, 0, std::nullopt, genes, 0};
}

// Part `index` of `count` of a stage, with the attractors found so far when
// they are counted.
inline progressEvent partEvent(progressStage stage, std::size_t index, std::size_t count,
                               std::optional<std::size_t> attractors = std::nullopt) {
    return progressEvent{stage, index, count, attractors, 0, 0};
}

// A stage with no parts that knows every attractor found.
inline progressEvent countEvent(progressStage stage, std::size_t attractors) {
    return progressEvent{stage, 0, 0, attractors, 0, 0};
}

// What one call remembers of its progress while it runs: where its events
// are written as a log (standard error for the cubes and json formats;
// nowhere for the states format, whose lines go to progressSink::stream),
// whether that is a terminal, and what is left open there.
struct progressLog {
    std::ostream* out = nullptr;  // nullptr: the events are not written as a log
    // out is a terminal: one line rewritten in place ("\r"), cleared at the
    // end; otherwise one whole line per event.
    bool inPlace = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::size_t shown = 0;        // inPlace: the characters of the line on show
    progressEvent current;        // the step under way
    double shownAt = 0;           // seconds into the call of the last line shown
    bool streamLineOpen = false;  // the last text on the sink's stream left its line open
};

// The destination of the progress of one call: `stream` receives the lines
// of the states format (standard output) or nothing (nullptr); `log`, when
// set, is the call's record, which also renders the events on its own
// stream. A small value that the entry point makes from the call's options
// and passes down to every function that reports progress; nothing of it is
// kept between calls, so calls from several threads each write where their
// own options say. The streams and the record are lent and outlive the call.
struct progressSink {
    std::ostream* stream = nullptr;  // nullptr: the states format's lines are dropped
    progressLog* log = nullptr;      // nullptr: no events are rendered, nothing is tracked
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

// Writes `text` to the sink's stream as one piece and notes whether it left
// its line open; nothing when the stream is nowhere.
void writeProgressText(const progressSink& sink, const std::string& text);

// Writes `parts`, each formatted as a default std::ostream formats it, to
// the sink's stream as one piece (the callers end their lines with "\n");
// nothing when the stream is nowhere. A progress line that cannot be written
// is lost, not an error of the analysis.
template <class... Parts>
void writeProgress(const progressSink& sink, const Parts&... parts) {
    if (sink.stream == nullptr) return;
    std::ostringstream text;
    (text << ... << parts);
    writeProgressText(sink, text.str());
}

// Reports one step: on the sink's stream as the states format's line for it
// (statesFormatLine), and on the log's stream as the log's line
// (progressLogLine), rewritten in place on a terminal.
void reportProgress(const progressSink& sink, const progressEvent& event);

// Adds `found` attractors to those that the step under way has found; the
// log shows the count again, at most once a second (ten times a second on
// a terminal). The states format has no line for it.
void reportAttractorsFound(const progressSink& sink, std::size_t found);

// Takes back `lost` attractors of the step under way, which a search that
// gave up dropped again (another search finds them anew).
void reportAttractorsLost(const progressSink& sink, std::size_t lost);

// The states format's line for `event`, with its line end; empty for the
// events that have none there.
std::string statesFormatLine(const progressEvent& event);

// The log's text for `event` after `seconds` of the call, without a line
// end: "quorvel: 1.2 s: searching block 3 of 7, 4 attractors so far" and the
// like.
std::string progressLogLine(const progressEvent& event, double seconds);

// Ends what the call left open before a message follows on another line:
// the states format's unfinished counter line and the log line on show on a
// terminal each get their line end (the last step stays readable above the
// message).
void endOpenLines(const progressSink& sink);

// The end of a call that returns its result: the log writes its last line
// ("... done"), or on a terminal clears the line on show.
void finishProgress(const progressSink& sink);

// Ends the call's progress when it goes out of scope: finishProgress when
// the call returns, endOpenLines when an exception leaves it.
class progressEnd {
public:
    explicit progressEnd(const progressSink& sink);
    ~progressEnd();
    progressEnd(const progressEnd&) = delete;
    progressEnd& operator=(const progressEnd&) = delete;

private:
    progressSink sink_;
    int exceptions_;
};
