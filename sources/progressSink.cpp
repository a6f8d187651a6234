// Whole writes to the process's streams, and the two renderings of an
// analysis's progress events.
#include "progressSink.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <mutex>

progressSink standardOutputProgress() { return progressSink{&std::cout}; }

bool writeWhole(std::ostream& out, const std::string& text) {
    static std::mutex streamsLock;
    const std::lock_guard<std::mutex> lock(streamsLock);
    out.clear();
    const bool written = static_cast<bool>(out << text << std::flush);
    out.clear();
    return written;
}

void writeProgressText(const progressSink& sink, const std::string& text) {
    if (sink.stream == nullptr || text.empty()) return;
    writeWhole(*sink.stream, text);
    if (sink.log != nullptr) sink.log->streamLineOpen = text.back() != '\n';
}

std::string statesFormatLine(const progressEvent& event) {
    switch (event.stage) {
        case progressStage::reading: return "\nparsing network file\n";
        case progressStage::block:
            return "now computing scc number " + std::to_string(event.index) + "\n";
        case progressStage::finalSearch: return "final computation on small space\n";
        default: return "";
    }
}

namespace {

std::string attractorsText(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " attractor" : " attractors");
}

std::string stageText(const progressEvent& event) {
    const std::string part = std::to_string(event.index) + " of " + std::to_string(event.count);
    const bool counted = event.attractors.has_value();
    const std::string found = counted ? attractorsText(*event.attractors) : "";
    // The attractors that this step's searches found (not yet combined).
    const std::string foundHere =
        event.found > 0 ? ", " + attractorsText(event.found) + " found" : "";
    const std::string foundInBlock =
        event.found > 0 ? " (" + attractorsText(event.found) + " in this block)" : "";
    switch (event.stage) {
        case progressStage::reading: return "reading the network file";
        case progressStage::reducing: return "reducing the network";
        case progressStage::encoding: return "encoding " + std::to_string(event.genes) + " genes";
        case progressStage::block:
            return "searching block " + part +
                   (counted && event.index > 1 ? ", " + found + " so far" : "") + foundInBlock;
        case progressStage::finalSearch:
            return counted ? "every block searched, " + found
                           : "final search over every gene" + foundHere;
        case progressStage::synchronousSearch:
            return "synchronous search over " + std::to_string(event.genes) + " genes";
        case progressStage::basins: return "computing the basin of attractor " + part;
        case progressStage::trapSpaces: return "computing the trap spaces";
        case progressStage::writing: return counted ? "writing " + found : "writing the result";
    }
    return "";
}

// "quorvel: 1.2 s: " before the text of one step.
std::string logPrefix(double seconds) {
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.1f", seconds);
    return std::string("quorvel: ") + elapsed + " s: ";
}

double secondsSince(const progressLog& log) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - log.start).count();
}

// The columns of the terminal on standard error (80 when it does not say).
std::size_t terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// Shows `text` on the log's stream: a whole line, or on a terminal in place
// of the line on show (blanks over what is longer). A line in place is cut
// to the terminal's width: a line that wrapped could not be rewritten.
void showLine(progressLog& log, const std::string& text) {
    if (!log.inPlace) {
        writeWhole(*log.out, text + "\n");
        return;
    }
    const std::string line = text.substr(0, terminalColumns() - 1);
    std::string written = "\r" + line;
    if (line.size() < log.shown) written += std::string(log.shown - line.size(), ' ') + "\r" + line;
    writeWhole(*log.out, written);
    log.shown = line.size();
}

}  // namespace

std::string progressLogLine(const progressEvent& event, double seconds) {
    return logPrefix(seconds) + stageText(event);
}

void reportProgress(const progressSink& sink, const progressEvent& event) {
    writeProgressText(sink, statesFormatLine(event));
    if (sink.log == nullptr || sink.log->out == nullptr) return;
    progressLog& log = *sink.log;
    log.current = event;
    log.shownAt = secondsSince(log);
    showLine(log, progressLogLine(event, log.shownAt));
}

void reportAttractorsFound(const progressSink& sink, std::size_t found) {
    if (sink.log == nullptr || sink.log->out == nullptr || found == 0) return;
    progressLog& log = *sink.log;
    log.current.found += found;
    const double now = secondsSince(log);
    if (now - log.shownAt < (log.inPlace ? 0.1 : 1.0)) return;
    log.shownAt = now;
    showLine(log, progressLogLine(log.current, now));
}

void reportAttractorsLost(const progressSink& sink, std::size_t lost) {
    if (sink.log == nullptr) return;
    std::size_t& found = sink.log->current.found;
    found -= std::min(found, lost);
}

void endOpenLines(const progressSink& sink) {
    if (sink.log == nullptr) return;
    progressLog& log = *sink.log;
    if (log.streamLineOpen) writeProgressText(sink, "\n");
    if (log.out != nullptr && log.shown > 0) {
        writeWhole(*log.out, "\n");
        log.shown = 0;
    }
}

void finishProgress(const progressSink& sink) {
    if (sink.log == nullptr || sink.log->out == nullptr) return;
    progressLog& log = *sink.log;
    if (!log.inPlace) {
        writeWhole(*log.out, logPrefix(secondsSince(log)) + "done\n");
    } else if (log.shown > 0) {
        writeWhole(*log.out, "\r" + std::string(log.shown, ' ') + "\r");
        log.shown = 0;
    }
}

progressEnd::progressEnd(const progressSink& sink)
    : sink_(sink), exceptions_(std::uncaught_exceptions()) {}

progressEnd::~progressEnd() {
    try {
        if (std::uncaught_exceptions() > exceptions_)
            endOpenLines(sink_);
        else
            finishProgress(sink_);
    } catch (...) {
        // Progress that cannot be written is lost, never an error.
    }
}
