// The reference application's request reader on any bytes a client may send:
// the head parser and the length rule, then the endpoint that answers the
// request (XML and JSON bodies), whose answer the plug-in must be able to read.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "Endpoints.h"
#include "FuzzCheck.h"
#include "HttpWire.h"
#include "Journal.h"
#include "SimState.h"
#include "link/HttpResponse.h"

using namespace HarluneSim;

namespace {

// The server's limits (Server.cpp) and its receive size.
constexpr size_t kMaxHead = 64 * 1024;
constexpr long long kMaxBody = 16 * 1024 * 1024;
constexpr size_t kChunk = 4096;
const char kKey[] = "k3y";

enum class Io { Ok, Closed, TooLarge, Bad };

// The server's read loop over the input as the connection's whole stream.
Io readRequest(const std::string& stream, WireRequest& request) {
  std::string buffer;
  size_t bodyStart = 0;
  long long length = -1;
  size_t read = 0;
  for (;;) {
    if (bodyStart == 0) {
      bodyStart = headEnd(buffer);
      if (bodyStart != 0) {
        FUZZ_CHECK(bodyStart >= 4 && buffer.compare(bodyStart - 4, 4, "\r\n\r\n") == 0 &&
                       buffer.find("\r\n\r\n") == bodyStart - 4,
                   "headEnd is not just past the first empty line");
        std::string err;
        if (!parseHead(buffer.substr(0, bodyStart), request, err)) {
          FUZZ_CHECK(!err.empty(), "a refused head gave no reason");
          return Io::Bad;
        }
        length = contentLength(request);
        if (length < 0) return Io::Bad;
        if (length > kMaxBody) return Io::TooLarge;
      } else {
        FUZZ_CHECK(buffer.find("\r\n\r\n") == std::string::npos, "headEnd missed the empty line");
        if (buffer.size() > kMaxHead) return Io::TooLarge;
      }
    }
    if (bodyStart != 0 && buffer.size() - bodyStart >= static_cast<size_t>(length)) {
      request.body = buffer.substr(bodyStart, static_cast<size_t>(length));
      return Io::Ok;
    }
    if (read == stream.size()) return Io::Closed;
    const size_t n = std::min(kChunk, stream.size() - read);
    buffer.append(stream, read, n);
    read += n;
  }
}

// The reader is lenient about lone CR or LF bytes; a line end is CR LF.
bool noLineBreak(const std::string& s) { return s.find("\r\n") == std::string::npos; }

void checkHead(const WireRequest& r) {
  FUZZ_CHECK(!r.method.empty() && r.method.find(' ') == std::string::npos && noLineBreak(r.method),
             "a bad method got through");
  FUZZ_CHECK(!r.target.empty() && r.target.find(' ') == std::string::npos && noLineBreak(r.target),
             "a bad target got through");
  FUZZ_CHECK(r.version.compare(0, 5, "HTTP/") == 0 && noLineBreak(r.version),
             "a bad version got through");
  FUZZ_CHECK(r.path() == r.target.substr(0, r.target.find('?')), "path() is not the target's");
  for (const auto& h : r.headers) {
    FUZZ_CHECK(!h.first.empty() && h.first.find(':') == std::string::npos && noLineBreak(h.first),
               "a bad header name got through");
    FUZZ_CHECK(noLineBreak(h.second) && (h.second.empty() || (h.second[0] != ' ' && h.second[0] != '\t')),
               "a header value kept a line break or its leading blank");
    FUZZ_CHECK(r.hasHeader(h.first), "a header is not found by its own name");
  }
  const long long length = contentLength(r);
  if (length >= 0 && r.hasHeader("Content-Length")) {
    FUZZ_CHECK(std::to_string(length) == r.header("Content-Length") ||
                   r.header("Content-Length").find_first_not_of('0') != 0,
               "Content-Length was misread");
  }
}

// What the client gets back: the plug-in's own reader must take it whole.
void checkAnswer(const Response& response) {
  for (const bool withLength : {true, false}) {
    const std::string wire = formatResponse(response, withLength);
    const auto parsed = Harlune::Web::HttpResponse::parse(wire);
    FUZZ_CHECK(parsed != nullptr, "the plug-in cannot read the answer");
    FUZZ_CHECK(parsed->statusCode() == response.status && parsed->data() == response.body,
               "the answer's status or body changed on the wire");
    if (withLength) {
      FUZZ_CHECK(parsed->header("Content-Length") == std::to_string(response.body.size()),
                 "Content-Length is not the body's length");
    }
  }
  if (response.contentType == "application/json" && !response.body.empty()) {
    FUZZ_CHECK(nlohmann::json::accept(response.body), "a JSON answer is not JSON");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string stream(reinterpret_cast<const char*>(data), size);
  WireRequest request;
  const Io io = readRequest(stream, request);
  if (io == Io::Bad || io == Io::TooLarge) {
    checkAnswer(errorResponse(io == Io::Bad ? 400 : 413, "Unreadable request"));
  }
  if (io != Io::Ok) return 0;
  checkHead(request);

  const std::string line = Journal::line(1, 33001, request);
  FUZZ_CHECK(nlohmann::json::accept(line), "the journal line is not JSON");

  // Requests to the control paths are served by the server itself.
  if (request.path().compare(0, 6, "/_sim/") == 0) return 0;
  Options options;
  SimState state(options);
  Endpoints endpoints(state, kKey);
  const Response response = endpoints.handle(request);
  checkAnswer(response);
  if (response.status == 200 && request.method == "POST" && request.path() == "/transfers/") {
    FUZZ_CHECK(state.transfers().size() == 1, "an accepted transfer was not kept");
  }
  return 0;
}
