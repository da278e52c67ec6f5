// What the simulated application knows: the transfers it was given, the
// windows it was asked to show, the activity iteration, and the mode that
// decides how it (mis)behaves. Shared by every connection thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Options.h"

namespace HarluneSim {

struct Transfer {
    int id = 0;
    std::string direction;  // "send" for file sources, else "receive"
    std::vector<std::string> sources;
    std::string destination;
    std::string xmlns;
    long long bytesExpected = 0;
    long long bytesWritten = 0;
    long long changedAt = 0;  // iteration in which it last changed

    bool done() const { return bytesWritten >= bytesExpected; }
};

struct WindowRequest {
    std::string name;
    std::string argument;
};

struct Mode {
    int exitStatus = 200;
    Misbehaviour misbehaviour = Misbehaviour::None;
    std::string misbehavePath;
    int misbehaveCount = 0;
    int slowMs = 0;
    int progressStep = 10;
    std::string versionText;
    bool versionEmpty = false;
    bool noContentLength = false;
    int restartAfter = 0;
};

class SimState {
public:
    // Connections held by the hang mode at once; more are closed instead, so
    // a hanging client cannot use up the server's threads.
    static constexpr int kMaxHeld = 16;

    enum class Hold { Released, Stopping, Refused };

    explicit SimState(const Options& options);

    Mode mode() const;
    nlohmann::json modeJson() const;
    // Applies the keys given (see the help text); unknown keys or bad values
    // change nothing and give false with `err` set.
    bool updateMode(const nlohmann::json& changes, std::string& err);

    // Keeps the transfer, giving it an id, its size and a new iteration.
    int addTransfer(Transfer transfer);
    std::vector<Transfer> transfers() const;

    void addWindow(const std::string& name, const std::string& argument);
    std::vector<WindowRequest> windows() const;

    // One activity poll: advances every unfinished transfer by the progress
    // step (a new iteration when anything moved) and answers the iteration
    // token with the transfers changed since `token` (all of them when the
    // token is empty or unknown).
    nlohmann::json pollActivity(const std::string& token, const std::string& appId);

    static std::string tokenFor(long long iteration);

    // The misbehaviour for a request to `path`, used up when counted.
    Misbehaviour takeMisbehaviour(const std::string& path);

    // Blocks a hanging connection until a mode change ends the hang mode or
    // `stopping` is set (and `wakeAll` called).
    Hold holdWhileHanging(const std::atomic<bool>& stopping);
    void pause(int ms, const std::atomic<bool>& stopping);
    void wakeAll();

    long long nextSeq();
    // Counts an answered request; returns the count.
    long long countAnswer();

    nlohmann::json snapshot() const;
    static nlohmann::json transferJson(const Transfer& t);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Mode mode_;
    long long modeVersion_ = 0;
    int held_ = 0;
    long long transferSize_;
    std::vector<Transfer> transfers_;
    std::vector<WindowRequest> windows_;
    long long iteration_ = 0;
    long long polls_ = 0;
    std::string lastAppId_;
    long long seq_ = 0;
    long long answered_ = 0;
};

}  // namespace HarluneSim
