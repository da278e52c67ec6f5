// Path lists as the page and the desktop application read them: a
// colon-separated text, a JSON array, joined paths and file URLs.
#pragma once

#include <string>
#include <vector>

namespace Harlune {
namespace Web {

class PathEscaper {
public:
  // Paths joined by ":"; a backslash or colon inside a path gets a backslash
  // before it, so the list splits back unambiguously.
  static std::string toColonSeparatedStr(const std::vector<std::string>& paths);
  // ["p1","p2"] with no blanks; "[]" for no paths.
  static std::string toJsonStr(const std::vector<std::string>& paths);
  // The path as a JSON string body: backslash and double quote get a
  // backslash, control characters become \u00xx (lower-case hex). Other bytes,
  // UTF-8 included, are copied as they are.
  static std::string toJsonStr(const std::string& path, bool quoted);
  // Every occurrence of `from` replaced by `to`; replaced text is not searched
  // again. An empty `from` changes nothing.
  static std::string strReplace(const std::string& text, const std::string& from,
                                const std::string& to);
  // base and relative joined by exactly one "/", backslashes turned into "/".
  static std::string appendPath(const std::string& base, const std::string& relative);
  // "file://" and the path with backslashes turned into "/"; no percent-encoding.
  static std::string toFileUrl(const std::string& path);
  // "file://" and the absolute path with every byte but the unreserved ones
  // and "/" percent-encoded (upper-case hex), so that any reader of file URLs
  // decodes exactly this path.
  static std::string toEncodedFileUrl(const std::string& path);

private:
  static void appendJsonStr(std::string& out, const std::string& path);
};

}  // namespace Web
}  // namespace Harlune
