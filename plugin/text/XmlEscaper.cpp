#include "text/XmlEscaper.h"

namespace Harlune {
namespace Web {

std::string XmlEscaper::escape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace Web
}  // namespace Harlune
