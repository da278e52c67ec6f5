// The HTTP client's answer side: HttpResponse::parse on the raw input, and
// HttpRequest::invoke's receive loop fed the same bytes in chunks that the
// first input byte chooses, checked against a plain model of that loop that
// searches the whole text after every chunk.
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "FuzzCheck.h"
#include "ScriptedSocket.h"
#include "link/HttpRequest.h"
#include "link/HttpResponse.h"

using Harlune::Web::HttpRequest;
using Harlune::Web::HttpResponse;

namespace {

void checkParse(const std::string& text) {
  const std::unique_ptr<HttpResponse> r = HttpResponse::parse(text);
  if (!r) return;
  const std::string& body = r->data();
  FUZZ_CHECK(body.size() <= text.size() &&
                 text.compare(text.size() - body.size(), body.size(), body) == 0,
             "the body is not a suffix of the input");
  // Status line, header lines and the empty line account for every byte
  // before the body: nothing is dropped or invented.
  size_t head = text.find("\r\n") + 2 + 2;
  for (const auto& h : r->headers()) {
    FUZZ_CHECK(h.first.find("\r\n") == std::string::npos &&
                   h.second.find("\r\n") == std::string::npos,
               "a header holds a line break");
    FUZZ_CHECK(h.first.find(": ") == std::string::npos, "a header name holds \": \"");
    head += h.first.size() + 2 + h.second.size() + 2;
    FUZZ_CHECK(r->header(h.first) == r->headers().find(h.first)->second,
               "header() is not the first of that name");
  }
  FUZZ_CHECK(head + body.size() == text.size(), "header lines do not add up to the head");
  FUZZ_CHECK(text.compare(head - 4, 4, "\r\n\r\n") == 0 &&
                 text.find("\r\n\r\n") == head - 4,
             "the body does not start after the first empty line");
}

// The receive loop as the wire form describes it, without its incremental
// searches: what the client keeps of each chunk, and where it stops.
struct LoopModel {
  std::string text;
  int contentLength = 0;
  size_t headerPos = std::string::npos;
  size_t lineEnd = std::string::npos;
  size_t bodyStart = std::string::npos;

  // False once the loop is over.
  bool take(const std::string& chunk) {
    text += chunk.substr(0, chunk.find('\0'));
    if (headerPos == std::string::npos) {
      headerPos = text.find(HttpRequest::kContentLength);
      if (headerPos == std::string::npos) return true;
    }
    if (lineEnd == std::string::npos) {
      lineEnd = text.find("\r\n", headerPos);
      if (lineEnd == std::string::npos) return true;
    }
    if (contentLength == 0) {
      const size_t from = headerPos + std::strlen(HttpRequest::kContentLength);
      std::istringstream in(text.substr(from, lineEnd - from));
      in >> contentLength;
      // Cut to a negative length, the answer would end inside its headers: none.
      if (contentLength < 0) text.clear();
      if (contentLength <= 0) return false;
    }
    if (bodyStart == std::string::npos) {
      const size_t end = text.find("\r\n\r\n");
      if (end == std::string::npos) return true;
      bodyStart = end + 4;
    }
    if (text.size() - bodyStart >= static_cast<size_t>(contentLength)) {
      text.resize(bodyStart + static_cast<size_t>(contentLength));
      return false;
    }
    return true;
  }
};

bool sameResponse(const HttpResponse* a, const HttpResponse* b) {
  if (!a || !b) return a == b;
  return a->statusCode() == b->statusCode() && a->headers() == b->headers() &&
         a->data() == b->data();
}

void checkReceiveLoop(uint8_t control, const std::string& reply) {
  static const size_t kChunkSizes[][3] = {{0, 0, 0},  {1, 1, 1},   {2, 3, 5},   {7, 7, 7},
                                          {16, 1, 9}, {100, 1, 2}, {1, 1024, 3}, {512, 600, 17}};
  static const size_t kSendLimits[] = {0, 1, 5, 64};
  Fuzz::PeerScript& p = Fuzz::peer();
  p = Fuzz::PeerScript();
  p.endWithError = control & 1;
  const size_t* sizes = kChunkSizes[(control >> 1) & 7];
  if (sizes[0] != 0) p.chunks.assign(sizes, sizes + 3);
  p.sendLimit = kSendLimits[(control >> 4) & 3];
  p.refuseConnect = (control & 0xc0) == 0xc0;
  p.reply = reply;

  HttpRequest request("127.0.0.1", 33001);
  request.setMethod(HttpRequest::kPostMethod);
  request.setPath("/v5/harlune/transfers/activity");
  request.addHeader("Content-Type", "application/json");
  request.appendData("{\"iteration_token\":\"7\"}");
  const std::unique_ptr<HttpResponse> got = request.invoke();
  FUZZ_CHECK(p.openSockets == 0, "invoke() left its socket open");

  if (p.refuseConnect) {
    FUZZ_CHECK(!got && p.received.empty() && p.recvCalls == 0,
               "a refused connection still exchanged bytes");
    return;
  }
  FUZZ_CHECK(p.received == request.requestText(), "the request was not sent whole");
  FUZZ_CHECK(request.headers().count("Content-Length") == 1 &&
                 request.headers().find("Content-Length")->second == "23",
             "Content-Length does not give the body's length");

  LoopModel model;
  bool more = true;
  for (size_t i = 0; i < p.delivered.size(); ++i) {
    FUZZ_CHECK(more, "the client read on after its answer was complete");
    more = model.take(p.delivered[i]);
  }
  FUZZ_CHECK(!more || p.replied == p.reply.size(),
             "the client stopped reading before its answer was complete");
  const std::unique_ptr<HttpResponse> expected = HttpResponse::parse(model.text);
  FUZZ_CHECK(sameResponse(got.get(), expected.get()),
             "invoke() answered otherwise than the loop's model");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  checkParse(text);
  if (size > 0) checkReceiveLoop(data[0], text.substr(1));
  return 0;
}
