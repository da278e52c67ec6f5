// PathEscaper on any list of paths: the input split at NUL bytes (which no
// path can hold) into the paths.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "text/Json.h"
#include "text/PathEscaper.h"

using Harlune::Web::Json;
using Harlune::Web::PathEscaper;

namespace {

// The reader's side of toColonSeparatedStr: ":" separates, a backslash makes
// the next byte literal.
std::vector<std::string> splitColonSeparated(const std::string& text) {
  std::vector<std::string> paths(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      FUZZ_CHECK(i + 1 < text.size(), "the list ends in a lone backslash");
      FUZZ_CHECK(text[i + 1] == '\\' || text[i + 1] == ':', "a backslash escapes a plain byte");
      paths.back() += text[++i];
    } else if (text[i] == ':') {
      paths.emplace_back();
    } else {
      paths.back() += text[i];
    }
  }
  return paths;
}

bool isUtf8(const std::string& s) {
  return isValidUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

void checkJsonArray(const std::vector<std::string>& paths) {
  const std::string text = PathEscaper::toJsonStr(paths);
  bool allText = true;
  for (const auto& p : paths) allText = allText && isUtf8(p);
  if (!allText) return;  // bytes are copied as they are; JSON needs UTF-8
  Json json;
  FUZZ_CHECK(json.parse(text), "the path array is not JSON");
  const char* top[] = {nullptr};
  const yajl_val root = json.get(top);
  FUZZ_CHECK(YAJL_IS_ARRAY(root) && root->u.array.len == paths.size(),
             "not one array element per path");
  for (size_t i = 0; i < paths.size(); ++i) {
    const yajl_val v = root->u.array.values[i];
    FUZZ_CHECK(YAJL_IS_STRING(v) && paths[i] == v->u.string, "a path changed in the array");
  }
}

void checkSinglePath(const std::string& path) {
  const std::string bare = PathEscaper::toJsonStr(path, false);
  const std::string quoted = PathEscaper::toJsonStr(path, true);
  FUZZ_CHECK(quoted == "\"" + bare + "\"", "the quoted form is not the bare one in quotes");
  FUZZ_CHECK(PathEscaper::toJsonStr(std::vector<std::string>{path}) == "[" + quoted + "]",
             "the one-path array differs from the quoted path");

  // appendPath and toFileUrl leave no backslash behind.
  const std::string url = PathEscaper::toFileUrl(path);
  FUZZ_CHECK(url.compare(0, 7, "file://") == 0 && url.find('\\') == std::string::npos &&
                 url.size() == path.size() + 7,
             "toFileUrl is not file:// and the path with slashes");
  const std::string half = path.substr(0, path.size() / 2);
  const std::string rest = path.substr(path.size() / 2);
  const std::string both = PathEscaper::appendPath(half, rest);
  FUZZ_CHECK(both.find('\\') == std::string::npos, "appendPath kept a backslash");
  FUZZ_CHECK(both.size() + 1 >= half.size() + rest.size() &&
                 both.size() <= half.size() + rest.size() + 1,
             "appendPath added or dropped more than one slash");

  // strReplace never searches what it inserted, so growing replacements end.
  if (!path.empty()) {
    const std::string from = path.substr(0, 1);
    const std::string grown = PathEscaper::strReplace(path, from, from + from);
    size_t count = 0;
    for (char c : path) count += c == from[0];
    FUZZ_CHECK(grown.size() == path.size() + count, "strReplace replaced too much or too little");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> paths;
  if (size > 0) {
    paths.emplace_back();
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == 0) {
        paths.emplace_back();
      } else {
        paths.back() += static_cast<char>(data[i]);
      }
    }
  }

  const std::string colon = PathEscaper::toColonSeparatedStr(paths);
  if (paths.empty()) {
    FUZZ_CHECK(colon.empty(), "no paths did not give the empty text");
  } else {
    FUZZ_CHECK(splitColonSeparated(colon) == paths, "the colon-separated list does not split back");
  }
  checkJsonArray(paths);
  for (const auto& p : paths) checkSinglePath(p);
  return 0;
}
