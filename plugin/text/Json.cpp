#include "text/Json.h"

#include <cstdio>

#include <taplatform/talog.h>

namespace Harlune {
namespace Web {

namespace {

const char kErrorPrefix[] =
    "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\",\"user_message\":\"";
const char kErrorSuffix[] = "\"}}";

// Messages include exception texts and file names, so they are escaped to
// keep the error object valid JSON whatever they contain.
void appendEscaped(std::string& out, const std::string& text) {
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
}

// The deepest nesting of arrays and objects, following the parser's lexing
// of strings and comments so that brackets inside them do not count. Stops
// counting once past `limit`.
size_t nestingDepth(const std::string& text, size_t limit) {
  size_t depth = 0, deepest = 0;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == '"') {
      for (++i; i < n && text[i] != '"'; ++i) {
        if (text[i] == '\\') ++i;
      }
    } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
      i = text.find('\n', i + 2);
      if (i == std::string::npos) break;
    } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) break;
      ++i;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest) deepest = depth;
      if (deepest > limit) break;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

std::string withContext(const std::exception& e, const std::string& context) {
  return context + ": " + e.what();
}

}  // namespace

Json::~Json() { yajl_tree_free(_root); }

bool Json::parse(const std::string& text) {
  yajl_tree_free(_root);
  _root = nullptr;
  // The parser reads a C string: a NUL would hide whatever follows it.
  if (text.find('\0') != std::string::npos) {
    _err = "text contains a NUL byte";
    return false;
  }
  // The tree is freed recursively, one call per level: deep documents from
  // outside must not get that far.
  if (nestingDepth(text, kMaxNesting) > kMaxNesting) {
    _err = "nesting too deep";
    return false;
  }
  char errbuf[1024];
  errbuf[0] = '\0';
  _root = yajl_tree_parse(text.c_str(), errbuf, sizeof errbuf);
  _err = _root ? std::string() : std::string(errbuf);
  return _root != nullptr;
}

bool Json::containsError() const {
  const char* path[] = {"error", nullptr};
  return YAJL_IS_OBJECT(_root) && get(path) != nullptr;
}

yajl_val Json::get(const char** path, yajl_val node) const {
  yajl_val from = node ? node : _root;
  if (!from || !path) return nullptr;
  return yajl_tree_get(from, path, yajl_t_any);
}

bool Json::isTrue(const char** path, yajl_val node) const {
  return YAJL_IS_TRUE(get(path, node));
}

std::string Json::getString(const char** path, yajl_val node) const {
  yajl_val v = get(path, node);
  if (YAJL_IS_STRING(v)) return v->u.string;
  if (YAJL_IS_NUMBER(v)) return YAJL_GET_NUMBER(v);
  return std::string();
}

std::string Json::createError(const std::string& message) {
  std::string out;
  out.reserve(sizeof kErrorPrefix + message.size() + sizeof kErrorSuffix);
  out += kErrorPrefix;
  appendEscaped(out, message);
  out += kErrorSuffix;
  return out;
}

std::string Json::createError(const std::exception& e) { return createError(std::string(e.what())); }

std::string Json::createError(const std::exception& e, const std::string& context) {
  return createError(withContext(e, context));
}

std::string Json::createErrorAndLog(const std::string& message) {
  TA_LOG(1, "%s", message.c_str());
  return createError(message);
}

std::string Json::createErrorAndLog(const std::exception& e) {
  return createErrorAndLog(std::string(e.what()));
}

std::string Json::createErrorAndLog(const std::exception& e, const std::string& context) {
  return createErrorAndLog(withContext(e, context));
}

}  // namespace Web
}  // namespace Harlune
