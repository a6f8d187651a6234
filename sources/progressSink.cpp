// Whole writes to the process's streams.
#include "progressSink.h"

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
