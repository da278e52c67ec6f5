#include "Journal.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

namespace HarluneSim {

Journal::~Journal() {
    if (file_) std::fclose(file_);
}

bool Journal::open(const std::string& path, std::string& err) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "ae");
    if (!file_) {
        err = "cannot open journal " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string Journal::line(long long seq, int port, const WireRequest& request) {
    nlohmann::ordered_json headers = nlohmann::ordered_json::array();
    for (const auto& h : request.headers) headers.push_back({h.first, h.second});
    nlohmann::ordered_json j = {{"seq", seq},
                        {"port", port},
                        {"method", request.method},
                        {"target", request.target},
                        {"version", request.version},
                        {"headers", headers},
                        {"head", request.head},
                        {"body", request.body}};
    // Bodies are not promised to be UTF-8; a bad byte must not lose the line.
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void Journal::record(long long seq, int port, const WireRequest& request) {
    const std::string text = line(seq, port, request) + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
}

}  // namespace HarluneSim
