#include "dialogs/DialogUtils.h"

#include <stdexcept>

#include "core/Constants.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {

namespace {

[[noreturn]] void fail() { throw std::runtime_error(kErrorInvalidFileTypesJson); }

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

std::vector<std::string> stringsOf(yajl_val array) {
  if (!YAJL_IS_ARRAY(array) || array->u.array.len == 0) fail();
  std::vector<std::string> out;
  out.reserve(array->u.array.len);
  for (size_t i = 0; i < array->u.array.len; ++i) {
    const yajl_val v = array->u.array.values[i];
    if (!YAJL_IS_STRING(v)) fail();
    out.emplace_back(v->u.string);
  }
  return out;
}

}  // namespace

std::vector<FileType> DialogUtils::parseFileTypesJson(const std::string& json) {
  if (json.empty()) return {};
  // The parser reads a C string: a NUL would hide whatever follows it.
  if (json.find('\0') != std::string::npos) fail();
  if (nestingDepth(json, kMaxNesting) > kMaxNesting) fail();

  Json doc;
  if (!doc.parse(json)) fail();
  const char* top[] = {nullptr};
  const yajl_val root = doc.get(top);
  if (!YAJL_IS_ARRAY(root)) fail();

  static const char* kName[] = {"filter_name", nullptr};
  static const char* kExtensions[] = {"extensions", nullptr};
  std::vector<FileType> types;
  types.reserve(root->u.array.len);
  for (size_t i = 0; i < root->u.array.len; ++i) {
    const yajl_val item = root->u.array.values[i];
    if (!YAJL_IS_OBJECT(item)) fail();
    const yajl_val name = doc.get(kName, item);
    if (!YAJL_IS_STRING(name)) fail();
    types.emplace_back(name->u.string, stringsOf(doc.get(kExtensions, item)));
  }
  return types;
}

int DialogUtils::findExtension(const std::vector<FileType>& types,
                               const std::string& extension) {
  for (size_t i = 0; i < types.size(); ++i) {
    for (const auto& e : types[i].extensions) {
      if (e == extension) return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace Web
}  // namespace Harlune
