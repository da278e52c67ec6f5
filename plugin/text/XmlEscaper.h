// Text placed inside XML elements of the requests to the desktop application.
#pragma once

#include <string>

namespace Harlune {
namespace Web {

class XmlEscaper {
public:
  // "&", "<" and ">" as entities; quotes and every other byte unchanged, as
  // the text only ever goes into element content, never into attributes.
  static std::string escape(const std::string& text);
};

}  // namespace Web
}  // namespace Harlune
