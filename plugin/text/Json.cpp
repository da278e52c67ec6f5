#include "text/Json.h"

#include <yajl/yajl_gen.h>

#include <taplatform/talog.h>

namespace Harlune {
namespace Web {

namespace {

const char kErrorPrefix[] =
    "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\",\"user_message\":\"";
const char kErrorSuffix[] = "\"}}";

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the bytes
// there are not one (stray continuation bytes, overlong forms, surrogates,
// values past U+10FFFF, or a sequence cut short).
size_t utf8SequenceLength(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  size_t length;
  unsigned min;
  unsigned value;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, min = 0x80, value = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, min = 0x800, value = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, min = 0x10000, value = c & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

// Messages include exception texts, file names and the parser's own message,
// which quotes raw bytes of the document and may cut a character in half; so
// control characters are escaped and bytes that are not UTF-8 become U+FFFD,
// keeping the error object valid JSON whatever the message holds.
void appendEscaped(std::string& out, const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
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
        } else if (c < 0x80) {
          out += static_cast<char>(c);
        } else if (const size_t length = utf8SequenceLength(text, i)) {
          out.append(text, i, length);
          i += length - 1;
        } else {
          out += "\\ufffd";
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

// The value of the four hex digits at text[i], or -1.
long hex4(const std::string& text, size_t i) {
  if (i + 4 > text.size()) return -1;
  long value = 0;
  for (size_t k = i; k < i + 4; ++k) {
    const char c = text[k];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

bool writeValue(yajl_gen gen, yajl_val node) {
  const auto text = [gen](const char* s) {
    const std::string t(s);
    return Json::isUtf8(t) &&
           yajl_gen_string(gen, reinterpret_cast<const unsigned char*>(t.data()), t.size()) ==
               yajl_gen_status_ok;
  };
  switch (node ? node->type : yajl_t_null) {
    case yajl_t_string: return text(node->u.string);
    case yajl_t_number:
      return yajl_gen_number(gen, node->u.number.r, std::string(node->u.number.r).size()) ==
             yajl_gen_status_ok;
    case yajl_t_true: return yajl_gen_bool(gen, 1) == yajl_gen_status_ok;
    case yajl_t_false: return yajl_gen_bool(gen, 0) == yajl_gen_status_ok;
    case yajl_t_object:
      if (yajl_gen_map_open(gen) != yajl_gen_status_ok) return false;
      for (size_t i = 0; i < node->u.object.len; ++i) {
        if (!text(node->u.object.keys[i]) || !writeValue(gen, node->u.object.values[i])) {
          return false;
        }
      }
      return yajl_gen_map_close(gen) == yajl_gen_status_ok;
    case yajl_t_array:
      if (yajl_gen_array_open(gen) != yajl_gen_status_ok) return false;
      for (size_t i = 0; i < node->u.array.len; ++i) {
        if (!writeValue(gen, node->u.array.values[i])) return false;
      }
      return yajl_gen_array_close(gen) == yajl_gen_status_ok;
    default: return yajl_gen_null(gen) == yajl_gen_status_ok;
  }
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

std::string Json::strictnessFault(const std::string& text) {
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == '/') return "comment";
    if (text[i] != '"') continue;
    for (++i; i < n && text[i] != '"'; ++i) {
      if (text[i] != '\\') continue;
      if (++i >= n || text[i] != 'u') continue;
      const long unit = hex4(text, i + 1);
      i += 4;
      if (unit == 0) return "NUL in a string";
      if (unit >= 0xDC00 && unit <= 0xDFFF) return "lone surrogate in a string";
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        const bool low = i + 2 < n && text[i + 1] == '\\' && text[i + 2] == 'u' &&
                         hex4(text, i + 3) >= 0xDC00 && hex4(text, i + 3) <= 0xDFFF;
        if (!low) return "lone surrogate in a string";
        i += 6;
      }
    }
  }
  return "";
}

bool Json::isUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) < 0x80) continue;
    const size_t length = utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length - 1;
  }
  return true;
}

std::string Json::write(yajl_val node) {
  yajl_gen gen = yajl_gen_alloc(nullptr);
  if (!gen) return "";
  std::string out;
  if (writeValue(gen, node)) {
    const unsigned char* buffer = nullptr;
    size_t length = 0;
    if (yajl_gen_get_buf(gen, &buffer, &length) == yajl_gen_status_ok) {
      out.assign(reinterpret_cast<const char*>(buffer), length);
    }
  }
  yajl_gen_free(gen);
  return out;
}

std::string Json::escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  appendEscaped(out, text);
  return out;
}

}  // namespace Web
}  // namespace Harlune
