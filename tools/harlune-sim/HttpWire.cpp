#include "HttpWire.h"

#include <nlohmann/json.hpp>
#include <strings.h>

namespace HarluneSim {

std::string WireRequest::path() const {
    return target.substr(0, target.find('?'));
}

std::string WireRequest::header(const std::string& name) const {
    for (const auto& h : headers) {
        if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return h.second;
    }
    return "";
}

bool WireRequest::hasHeader(const std::string& name) const {
    for (const auto& h : headers) {
        if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return true;
    }
    return false;
}

size_t headEnd(const std::string& buffer) {
    size_t at = buffer.find("\r\n\r\n");
    return at == std::string::npos ? 0 : at + 4;
}

bool parseHead(const std::string& head, WireRequest& out, std::string& err) {
    size_t lineEnd = head.find("\r\n");
    if (lineEnd == std::string::npos) {
        err = "no request line";
        return false;
    }
    const std::string line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || sp1 == 0 || sp2 == sp1 + 1) {
        err = "malformed request line";
        return false;
    }
    out.method = line.substr(0, sp1);
    out.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    out.version = line.substr(sp2 + 1);
    if (out.version.compare(0, 5, "HTTP/") != 0) {
        err = "not an HTTP request line";
        return false;
    }
    out.headers.clear();
    size_t pos = lineEnd + 2;
    while (true) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) {
            err = "head does not end";
            return false;
        }
        if (end == pos) break;
        const std::string h = head.substr(pos, end - pos);
        size_t colon = h.find(':');
        if (colon == std::string::npos || colon == 0) {
            err = "malformed header line";
            return false;
        }
        // The value is kept as sent apart from the optional white space
        // after the colon, so a client that leaves the space out is visible
        // only in the raw head.
        size_t valueStart = h.find_first_not_of(" \t", colon + 1);
        out.headers.emplace_back(h.substr(0, colon),
                                 valueStart == std::string::npos ? "" : h.substr(valueStart));
        pos = end + 2;
    }
    out.head = head;
    return true;
}

long long contentLength(const WireRequest& request) {
    if (!request.hasHeader("Content-Length")) return 0;
    const std::string v = request.header("Content-Length");
    if (v.empty() || v.size() > 15) return -1;
    long long n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Unknown";
    }
}

std::string formatResponse(const Response& response, bool withContentLength) {
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                      reasonPhrase(response.status) + "\r\n";
    if (!response.contentType.empty()) out += "Content-Type: " + response.contentType + "\r\n";
    if (!response.allow.empty()) out += "Allow: " + response.allow + "\r\n";
    if (withContentLength) out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += response.body;
    return out;
}

Response errorResponse(int status, const std::string& message) {
    nlohmann::json error = {{"error",
                             {{"code", status},
                              {"internal_message", reasonPhrase(status)},
                              {"user_message", message}}}};
    Response r;
    r.status = status;
    r.body = error.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return r;
}

}  // namespace HarluneSim
