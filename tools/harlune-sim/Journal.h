// One JSON line per request received, written as it arrives so that a test
// can read the journal while the simulator still runs.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "HttpWire.h"

namespace HarluneSim {

class Journal {
public:
    Journal() = default;
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Appends to the file; false with `err` set when it cannot be opened.
    bool open(const std::string& path, std::string& err);
    bool isOpen() const { return file_ != nullptr; }

    // {"seq", "port", "method", "target", "version", "headers": [[name, value]...]
    // in wire order, "head": the raw head, "body"}
    void record(long long seq, int port, const WireRequest& request);

    // The line `record` writes, without its line feed.
    static std::string line(long long seq, int port, const WireRequest& request);

private:
    std::mutex mutex_;
    FILE* file_ = nullptr;
};

}  // namespace HarluneSim
