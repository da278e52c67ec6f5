#include "link/HttpResponse.h"

#include <taplatform/tastring.h>

namespace Harlune {
namespace Web {

std::unique_ptr<HttpResponse> HttpResponse::parse(std::string text) {
  const size_t statusEnd = text.find("\r\n");
  if (statusEnd == std::string::npos) return nullptr;
  const std::string status = text.substr(0, statusEnd);
  const size_t afterVersion = status.find(' ');
  if (afterVersion == std::string::npos) return nullptr;
  const std::string codeAndReason = status.substr(afterVersion + 1);
  const size_t afterCode = codeAndReason.find(' ');
  if (afterCode == std::string::npos) return nullptr;

  auto response = std::make_unique<HttpResponse>();
  response->setStatusCode(
      static_cast<uint16_t>(ta_str_atoi(codeAndReason.substr(0, afterCode).c_str())));

  size_t pos = statusEnd + 2;
  for (;;) {
    const size_t lineEnd = text.find("\r\n", pos);
    if (lineEnd == std::string::npos) return nullptr;
    if (lineEnd == pos) {
      text.erase(0, pos + 2);
      response->setData(std::move(text));
      return response;
    }
    const std::string line = text.substr(pos, lineEnd - pos);
    const size_t colon = line.find(": ");
    if (colon == std::string::npos) return nullptr;
    response->addHeader(line.substr(0, colon), line.substr(colon + 2));
    pos = lineEnd + 2;
  }
}

std::string HttpResponse::header(const std::string& name) const {
  auto it = _headers.lower_bound(name);  // the first of equal names
  if (it != _headers.end() && it->first != name) it = _headers.end();
  return it == _headers.end() ? std::string() : it->second;
}

void HttpResponse::addHeader(const std::string& name, const std::string& value) {
  _headers.emplace(name, value);
}

}  // namespace Web
}  // namespace Harlune
