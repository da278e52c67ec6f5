// A parsed HTTP/1.1 answer from the desktop application.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace Harlune {
namespace Web {

class HttpResponse {
public:
  // Null when the text is not a status line with a reason phrase, headers of
  // "name: value" lines, and the empty line that ends them.
  // Taken by value: a caller that moves its text in has the body moved out
  // of it, not copied.
  static std::unique_ptr<HttpResponse> parse(std::string text);

  uint16_t statusCode() const { return _statusCode; }
  void setStatusCode(uint16_t code) { _statusCode = code; }
  // The first header of exactly that name, or "".
  std::string header(const std::string& name) const;
  void addHeader(const std::string& name, const std::string& value);
  const std::string& data() const { return _data; }
  void setData(std::string data) { _data = std::move(data); }
  const std::multimap<std::string, std::string>& headers() const { return _headers; }

private:
  uint16_t _statusCode = 0;
  std::multimap<std::string, std::string> _headers;
  std::string _data;
};

}  // namespace Web
}  // namespace Harlune
