#include "SimState.h"

#include <algorithm>
#include <chrono>

namespace HarluneSim {

using nlohmann::json;

SimState::SimState(const Options& o) : transferSize_(o.transferSize) {
    mode_.exitStatus = o.exitStatus;
    mode_.misbehaviour = o.misbehaviour;
    mode_.misbehavePath = o.misbehavePath;
    mode_.misbehaveCount = o.misbehaveCount;
    mode_.slowMs = o.slowMs;
    mode_.progressStep = o.progressStep;
    mode_.versionText = o.versionText;
    mode_.versionEmpty = o.versionEmpty;
    mode_.noContentLength = o.noContentLength;
    mode_.restartAfter = o.restartAfter;
}

Mode SimState::mode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mode_;
}

static json modeToJson(const Mode& m) {
    return {{"exit_status", m.exitStatus},
            {"misbehave", misbehaviourName(m.misbehaviour)},
            {"misbehave_path", m.misbehavePath},
            {"misbehave_count", m.misbehaveCount},
            {"slow_ms", m.slowMs},
            {"progress_step", m.progressStep},
            {"version_text", m.versionText},
            {"version_empty", m.versionEmpty},
            {"no_content_length", m.noContentLength},
            {"restart_after", m.restartAfter}};
}

json SimState::modeJson() const {
    return modeToJson(mode());
}

namespace {

bool intIn(const json& v, int lo, int hi, int& out) {
    if (!v.is_number_integer()) return false;
    long long n = v.get<long long>();
    if (n < lo || n > hi) return false;
    out = static_cast<int>(n);
    return true;
}

bool applyKey(Mode& m, const std::string& key, const json& v) {
    if (key == "exit_status") {
        int s;
        if (!intIn(v, 200, 404, s) || (s != 200 && s != 403 && s != 404)) return false;
        m.exitStatus = s;
        return true;
    }
    if (key == "misbehave")
        return v.is_string() && misbehaviourFromName(v.get<std::string>(), m.misbehaviour);
    if (key == "misbehave_path") {
        if (!v.is_string()) return false;
        m.misbehavePath = v.get<std::string>();
        return true;
    }
    if (key == "misbehave_count") return intIn(v, 0, 1 << 30, m.misbehaveCount);
    if (key == "slow_ms") return intIn(v, 0, 3600000, m.slowMs);
    if (key == "progress_step") return intIn(v, 0, 100, m.progressStep);
    if (key == "restart_after") return intIn(v, 0, 1 << 30, m.restartAfter);
    if (key == "version_text") {
        if (!v.is_string()) return false;
        m.versionText = v.get<std::string>();
        return true;
    }
    bool* flag = key == "version_empty"       ? &m.versionEmpty
                 : key == "no_content_length" ? &m.noContentLength
                                              : nullptr;
    if (!flag || !v.is_boolean()) return false;
    *flag = v.get<bool>();
    return true;
}

}  // namespace

bool SimState::updateMode(const json& changes, std::string& err) {
    if (!changes.is_object()) {
        err = "mode changes must be a JSON object";
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Mode next = mode_;
        for (const auto& item : changes.items()) {
            if (!applyKey(next, item.key(), item.value())) {
                err = "bad mode key or value: " + item.key();
                return false;
            }
        }
        mode_ = next;
        ++modeVersion_;
    }
    changed_.notify_all();
    return true;
}

int SimState::addTransfer(Transfer transfer) {
    std::lock_guard<std::mutex> lock(mutex_);
    transfer.id = static_cast<int>(transfers_.size()) + 1;
    transfer.bytesExpected = transferSize_;
    transfer.bytesWritten = 0;
    transfer.changedAt = ++iteration_;
    transfers_.push_back(std::move(transfer));
    return transfers_.back().id;
}

std::vector<Transfer> SimState::transfers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transfers_;
}

void SimState::addWindow(const std::string& name, const std::string& argument) {
    std::lock_guard<std::mutex> lock(mutex_);
    windows_.push_back({name, argument});
}

std::vector<WindowRequest> SimState::windows() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return windows_;
}

std::string SimState::tokenFor(long long iteration) {
    return "it-" + std::to_string(iteration);
}

static long long iterationOf(const std::string& token) {
    if (token.compare(0, 3, "it-") != 0 || token.size() == 3 || token.size() > 18) return -1;
    long long n = 0;
    for (size_t i = 3; i < token.size(); ++i) {
        if (token[i] < '0' || token[i] > '9') return -1;
        n = n * 10 + (token[i] - '0');
    }
    return n;
}

json SimState::transferJson(const Transfer& t) {
    return {{"id", t.id},
            {"direction", t.direction},
            {"sources", t.sources},
            {"destination", t.destination},
            {"xmlns", t.xmlns},
            {"status", t.done() ? "completed" : "running"},
            {"bytes_expected", t.bytesExpected},
            {"bytes_written", t.bytesWritten},
            {"percentage", t.bytesWritten * 100 / t.bytesExpected}};
}

json SimState::pollActivity(const std::string& token, const std::string& appId) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++polls_;
    lastAppId_ = appId;
    bool moved = false;
    if (mode_.progressStep > 0) {
        for (Transfer& t : transfers_) {
            if (t.done()) continue;
            long long step = std::max(1LL, t.bytesExpected * mode_.progressStep / 100);
            t.bytesWritten = std::min(t.bytesExpected, t.bytesWritten + step);
            t.changedAt = iteration_ + 1;
            moved = true;
        }
    }
    if (moved) ++iteration_;
    const long long since = iterationOf(token);
    json list = json::array();
    for (const Transfer& t : transfers_) {
        if (since < 0 || t.changedAt > since) list.push_back(transferJson(t));
    }
    return {{"iteration_token", tokenFor(iteration_)}, {"transfers", list}};
}

Misbehaviour SimState::takeMisbehaviour(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_.misbehaviour == Misbehaviour::None) return Misbehaviour::None;
    if (path.compare(0, mode_.misbehavePath.size(), mode_.misbehavePath) != 0)
        return Misbehaviour::None;
    Misbehaviour m = mode_.misbehaviour;
    if (mode_.misbehaveCount > 0 && --mode_.misbehaveCount == 0)
        mode_.misbehaviour = Misbehaviour::None;
    return m;
}

SimState::Hold SimState::holdWhileHanging(const std::atomic<bool>& stopping) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (held_ >= kMaxHeld) return Hold::Refused;
    ++held_;
    const long long version = modeVersion_;
    // A counted hang that ran out is not a release: only a mode change is.
    changed_.wait(lock, [&] {
        return stopping.load() ||
               (modeVersion_ != version && mode_.misbehaviour != Misbehaviour::Hang);
    });
    --held_;
    return stopping.load() ? Hold::Stopping : Hold::Released;
}

void SimState::pause(int ms, const std::atomic<bool>& stopping) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping.load(); });
}

void SimState::wakeAll() {
    // Taking the lock orders this after any waiter's predicate check.
    { std::lock_guard<std::mutex> lock(mutex_); }
    changed_.notify_all();
}

long long SimState::nextSeq() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++seq_;
}

long long SimState::countAnswer() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++answered_;
}

json SimState::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    json transfers = json::array();
    for (const Transfer& t : transfers_) transfers.push_back(transferJson(t));
    json windows = json::array();
    for (const WindowRequest& w : windows_)
        windows.push_back({{"name", w.name}, {"argument", w.argument}});
    return {{"transfers", transfers},
            {"windows", windows},
            {"iteration_token", tokenFor(iteration_)},
            {"activity_polls", polls_},
            {"last_app_id", lastAppId_},
            {"requests", seq_},
            {"held", held_},
            {"mode", modeToJson(mode_)}};
}

}  // namespace HarluneSim
