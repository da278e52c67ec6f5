// The plug-in's one reader of JSON text and one writer of error results.
#pragma once

#include <exception>
#include <string>

#include <yajl/yajl_tree.h>

namespace Harlune {
namespace Web {

class Json {
public:
  Json() = default;
  ~Json();
  Json(const Json&) = delete;
  Json& operator=(const Json&) = delete;

  // Arrays and objects nested deeper than this are refused.
  static constexpr size_t kMaxNesting = 256;

  // Replaces any earlier tree; false (with err() set) when the text is not
  // JSON, holds a NUL byte, or nests deeper than kMaxNesting.
  bool parse(const std::string& text);
  std::string err() const { return _err; }
  yajl_val root() const { return _root; }

  // Whether the top-level object has an "error" member, of any type.
  bool containsError() const;

  // Lookups follow a null-terminated list of object keys from `node`, or from
  // the root when node is null; a missing key or a non-object step gives null.
  yajl_val get(const char** path, yajl_val node = nullptr) const;
  bool isTrue(const char** path, yajl_val node = nullptr) const;
  // String text, or a number's text exactly as written; "" otherwise.
  std::string getString(const char** path, yajl_val node = nullptr) const;

  // For text that parse() accepted: "" when it keeps to strict JSON, else
  // why not. The parser allows comments, cuts a string at an escaped NUL and
  // reads a lone escaped surrogate as "?": readers would differ there.
  static std::string strictnessFault(const std::string& text);
  // Whether the text is well-formed UTF-8 (no surrogates, no overlong forms).
  static bool isUtf8(const std::string& text);
  // The value written anew as compact JSON: strings escaped by the writer,
  // numbers with their text as read. "" when a string is not UTF-8.
  static std::string write(yajl_val node);

  // The text as the inside of a JSON string: quotes, backslashes and control
  // bytes escaped, bytes that are not UTF-8 as U+FFFD.
  static std::string escape(const std::string& text);

  // {"error":{"code":-1,"internal_message":"Invalid request","user_message":M}}
  static std::string createError(const std::string& message);
  static std::string createError(const std::exception& e);
  static std::string createError(const std::exception& e, const std::string& context);
  static std::string createErrorAndLog(const std::string& message);
  static std::string createErrorAndLog(const std::exception& e);
  static std::string createErrorAndLog(const std::exception& e, const std::string& context);

private:
  yajl_val _root = nullptr;
  std::string _err;
};

}  // namespace Web
}  // namespace Harlune
