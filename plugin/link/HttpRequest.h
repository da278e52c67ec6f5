// One HTTP/1.1 request on a fresh TCP connection, answered by one response.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "link/HttpResponse.h"

namespace Harlune {
namespace Web {

class Callback;

class HttpRequest {
public:
  static const char kGetMethod[];
  static const char kPostMethod[];
  static const char kContentLength[];

  HttpRequest(const std::string& host, uint16_t port);
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  void addHeader(const std::string& name, const std::string& value);
  // Gives every header of that name the one value; false when there is none.
  bool replaceHeader(const std::string& name, const std::string& value);
  void appendData(const std::string& text) { _data += text; }

  // Sends the request and reads the answer; null when connecting, sending or
  // parsing failed, or (in the guarded policy) a wait outlived its bound.
  // Adds its own three headers, so a request is invoked once.
  std::unique_ptr<HttpResponse> invoke();

  // Bounds on the guarded policy's waits: 5 s to connect, 30 s without a
  // byte. TARSEN_TEST_ONLY_LINK_WAIT_MS in the environment, read once, sets
  // both shorter for tests; unit tests call this instead.
  static void setWaitBoundsForTesting(int connectMs, int idleMs);

  // The exact bytes invoke() sends (after its headers have been added).
  std::string requestText() const;

  // The request owns its callback and deletes it.
  Callback* getCallback() const { return _callback; }
  void setCallback(Callback* callback);

  const std::string& host() const { return _host; }
  uint16_t port() const { return _port; }
  void setPort(uint16_t port) { _port = port; }
  const std::string& method() const { return _method; }
  void setMethod(const std::string& method) { _method = method; }
  const std::string& path() const { return _path; }
  void setPath(const std::string& path) { _path = path; }
  const std::string& data() const { return _data; }
  const std::multimap<std::string, std::string>& headers() const { return _headers; }

private:
  std::string _host;
  uint16_t _port;
  Callback* _callback = nullptr;
  std::string _data;
  std::multimap<std::string, std::string> _headers;
  std::string _method = kGetMethod;
  std::string _path;
};

}  // namespace Web
}  // namespace Harlune
