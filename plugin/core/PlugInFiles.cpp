// Reading files the user approved, as base64 data URLs.
#include <string>

#include <taplatform/taplatform.h>

#include "core/Constants.h"
#include "core/PlugIn.h"
#include "core/Utils.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {

namespace {

constexpr uint64_t kMaxReadSize = 52428800;  // 50 MiB

// The first two refusals, shared by both reads; "" when the file may be read.
std::string refusal(const std::string& path, ta_stat_t* st) {
  if (!PlugIn::isFileAllowed(path)) {
    TA_LOG(1, "%s is not part of authorized list:\n  ", path.c_str());
    return Json::createError(std::string(kErrorNotAuthorizedFileTypeArgument) + ": " + path);
  }
  if (ta_file_stat(path.c_str(), st, 0) != 0 || st->type != TA_FILE_TYPE_REGULAR) {
    TA_LOG(1, "%s is an invalid file:\n  ", path.c_str());
    return Json::createError(std::string(kErrorFileTypeArgument) + ": " + path);
  }
  return "";
}

std::string ioError(const std::string& path) { return std::string(kErrorFileIOError) + ": " + path; }

// Reads `length` bytes from `offset` into `bytes`; a failure text, or "".
std::string readRange(const std::string& path, uint64_t offset, uint64_t length,
                      std::string& bytes) {
  ta_file_t file;
  ta_file_init(&file);
  int err = ta_file_openread(path.c_str(), &file);
  if (err != 0) {
    TA_LOG(1, "%s file unable to open %d", path.c_str(), err);
    return ioError(path);
  }
  if (offset != 0 && (err = ta_file_seek(&file, static_cast<int64_t>(offset), SEEK_SET)) != 0) {
    TA_LOG(1, "%s file unable to read %d", path.c_str(), err);
    ta_file_close(&file);
    return ioError(path);
  }
  bytes.resize(length);
  size_t total = 0;
  while (total < length) {
    size_t count = 0;
    err = ta_file_read(&file, &bytes[total], length - total, &count);
    if (err != 0 || count == 0) break;
    total += count;
  }
  ta_file_close(&file);
  if (total < length) {
    TA_LOG(1, "%s file unable to read %d", path.c_str(), err);
    return ioError(path);
  }
  return "";
}

// "data:" + type + ";base64," + the bytes, encoded straight into the result.
std::string dataUrl(const std::string& path, const ta_stat_t& st, const std::string& bytes) {
  const std::string prefix = "data:" + Utils::getMimeType(path, st) + ";base64,";
  const size_t encodedSize = 4 * ((bytes.size() + 2) / 3) + 1;
  std::string url(prefix.size() + encodedSize, '\0');
  url.replace(0, prefix.size(), prefix);
  if (ta_str_buf_to_base64(bytes.data(), bytes.size(), &url[prefix.size()], encodedSize) != 0) {
    TA_LOG(1, "error converting to  base64 %s  ", path.c_str());
    return kErrorStringEncoding;
  }
  url.resize(prefix.size() + encodedSize - 1);  // the terminating NUL is not text
  return url;
}

}  // namespace

std::string PlugIn::readFileAsArrayBuffer(const std::string& path) {
  ta_stat_t st;
  std::string refused = refusal(path, &st);
  if (!refused.empty()) return refused;
  if (st.size > kMaxReadSize) {
    TA_LOG(1, "%s file exceeded max file size - max file size is 50MB  ", path.c_str());
    return std::string(kErrorFileSizeExceeded) + ": " + path;
  }
  std::string bytes;
  const std::string failure = readRange(path, 0, st.size, bytes);
  if (!failure.empty()) return failure;
  return dataUrl(path, st, bytes);
}

std::string PlugIn::readFileChunkAsArrayBuffer(const std::string& path, uint64_t offset,
                                               uint64_t chunkSize) {
  ta_stat_t st;
  std::string refused = refusal(path, &st);
  if (!refused.empty()) return refused;
  if (chunkSize == 0 || chunkSize > st.size || offset > st.size - chunkSize) {
    TA_LOG(1, "%s: offset %llu and chunk size %llu do not fit the file", path.c_str(),
           static_cast<unsigned long long>(offset), static_cast<unsigned long long>(chunkSize));
    return kErrorInvalidReadChunkValue;
  }
  std::string bytes;
  const std::string failure = readRange(path, offset, chunkSize, bytes);
  if (!failure.empty()) return failure;
  return dataUrl(path, st, bytes);
}

}  // namespace Web
}  // namespace Harlune
