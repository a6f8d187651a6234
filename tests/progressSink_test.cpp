// The progress sink: one event rendered for the states format and for the
// log, and the lines a failing call must not leave open.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "progressSink.h"

namespace {

TEST(ProgressSink, theStatesFormatKeepsItsLinesAndTheLogTellsHowFarAlong) {
    const progressEvent block = partEvent(progressStage::block, 3, 7, 4);
    EXPECT_EQ(statesFormatLine(block), "now computing scc number 3\n");
    const std::string line = progressLogLine(block, 1.5);
    for (const char* part : {"block 3 of 7", "4 attractors", "1.5 s"})
        EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
    // Steps without a line of the states format write nothing there.
    std::ostringstream out;
    progressLog log;
    reportProgress(progressSink{&out, &log}, stageEvent(progressStage::encoding, 5));
    EXPECT_EQ(out.str(), "");
}

TEST(ProgressSink, aFailingCallLeavesNoLineOpen) {
    // The states format's counters end their line before a message follows,
    // and only when they left it open.
    std::ostringstream out;
    progressLog log;
    const progressSink states{&out, &log};
    writeProgress(states, 0, "  ", 1, "  ");
    endOpenLines(states);
    endOpenLines(states);
    EXPECT_EQ(out.str(), "0  1  \n");

    // On a terminal the line on show is ended, not cleared: the last step
    // stays above the message.
    std::ostringstream err;
    progressLog terminal;
    terminal.out = &err;
    terminal.inPlace = true;
    const progressSink logged{nullptr, &terminal};
    reportProgress(logged, stageEvent(progressStage::reading));
    reportProgress(logged, stageEvent(progressStage::reducing));
    endOpenLines(logged);
    EXPECT_EQ(err.str().back(), '\n');
    EXPECT_EQ(err.str().find('\n'), err.str().size() - 1);
    EXPECT_EQ(err.str().find('\r'), 0u);
}

}  // namespace
