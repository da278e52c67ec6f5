// The HTTP/1.1 wire form as the simulator reads and writes it. Headers are
// kept in the order they arrived, since that order is what tests assert on.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace HarluneSim {

struct WireRequest {
    std::string method;
    std::string target;   // as sent, query included
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string head;     // the raw bytes up to and including the empty line
    std::string body;

    std::string path() const;  // target without its query
    // First header of that name, compared without regard to case; empty
    // when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

struct Response {
    enum class After { Nothing, Exit };

    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::string allow;  // the Allow header of a 405, else empty
    After after = After::Nothing;
};

// Offset just past the "\r\n\r\n" that ends the head, or 0 when it has not
// arrived yet.
size_t headEnd(const std::string& buffer);

// Parses the head (request line and header lines, ending with the empty
// line). False with `err` set when it is not a request head.
bool parseHead(const std::string& head, WireRequest& out, std::string& err);

// The body length the head announces: 0 without "Content-Length", -1 when
// the value is not a decimal number.
long long contentLength(const WireRequest& request);

const char* reasonPhrase(int status);

// Status line, Content-Type, Allow (when set), Content-Length (unless left
// out), Connection: close, the empty line and the body.
std::string formatResponse(const Response& response, bool withContentLength);

// The small JSON error object every refusal carries.
Response errorResponse(int status, const std::string& message);

}  // namespace HarluneSim
