// File descriptions for the page: what it learns about dropped and chosen files.
#include "common/Utils.h"

#include <ctime>

#include "common/OsxUtils.h"
#include "text/PathEscaper.h"

namespace Harlune {
namespace Web {

namespace {

const char kDirectoryType[] = "text/directory";

// ctime's 24 characters without the newline; false when the time has no
// such text (out of range for the local calendar or a year past 9999).
bool ctimeText(int64_t seconds, std::string& out) {
  const time_t t = static_cast<time_t>(seconds);
  if (static_cast<int64_t>(t) != seconds) return false;
  char buf[64];
  if (ctime_r(&t, buf) == nullptr) return false;
  out.assign(buf);
  if (out.size() > 24) out.resize(24);
  return true;
}

}  // namespace

std::string Utils::getMimeType(const std::string& path, const ta_stat_t& st) {
  if (st.type == TA_FILE_TYPE_DIRECTORY) return kDirectoryType;
  return OsxUtils::mimeTypeForFileAtPath(path);
}

std::string Utils::createExtendedObject(const std::vector<std::string>& paths) {
  std::string out = "{\"dataTransfer\":{\"files\":[";
  std::string date;
  bool first = true;
  for (const auto& path : paths) {
    ta_stat_t st{};
    // A path that vanished since it was chosen is still listed, in its place,
    // with what its name alone tells: no date, no size, the extension's type.
    const bool known = ta_file_stat(path.c_str(), &st, 0) == 0;
    if (!first) out += ',';
    first = false;
    out += '{';
    if (known && ctimeText(st.mtime, date)) {
      out += "\"lastModifiedDate\":\"";
      out += date;
      out += "\",";
    }
    out += "\"name\":";
    out += PathEscaper::toJsonStr(path, true);
    out += ",\"size\":";
    const bool directory = known && st.type == TA_FILE_TYPE_DIRECTORY;
    out += std::to_string(known && !directory ? st.size : uint64_t{0});
    out += ",\"type\":\"";
    out += known ? getMimeType(path, st) : OsxUtils::mimeTypeForFileAtPath(path);
    out += "\"}";
  }
  out += "]}}";
  return out;
}

}  // namespace Web
}  // namespace Harlune
