// Reading files the user approved, as base64 data URLs.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <taplatform/taplatform.h>

#include "common/Constants.h"
#include "common/Utils.h"
#include "core/PlugIn.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {

namespace {

constexpr uint64_t kMaxReadSize = 52428800;  // 50 MiB

// The first two refusals, shared by both reads; "" when the file may be read.
std::string refusal(const std::string& path, const std::string& pageHost, ta_stat_t* st) {
  if (!PlugIn::isFileAllowed(path, pageHost)) {
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

// Blocks are a multiple of three bytes, so their base64 texts join into the
// text of the whole range.
constexpr uint64_t kBlockSize = 3 * 256 * 1024;

// A hint that a large buffer about to be filled be backed by huge pages: a
// fault per 4 KiB page costs more than encoding a 50 MiB file.
void preferHugePages(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  if (size < (8u << 20)) return;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}

// Reads all `length` bytes of `file` into `block`; false when fewer arrive.
bool readFully(ta_file_t* file, char* block, size_t length, int* err) {
  size_t total = 0;
  while (total < length) {
    size_t count = 0;
    *err = ta_file_read(file, block + total, length - total, &count);
    if (*err != 0 || count == 0) return false;
    total += count;
  }
  return true;
}

// "data:" + type + ";base64," + the base64 text of `length` bytes from
// `offset`, NUL-terminated, into a block from `allocate`; a failure text, or
// "". The range is read and encoded a block at a time, so its bytes are never
// held beside their text.
std::string readAsDataUrl(const std::string& path, const ta_stat_t& st, uint64_t offset,
                          uint64_t length, const PlugIn::TextAllocator& allocate) {
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
  const std::string prefix = "data:" + Utils::getMimeType(path, st) + ";base64,";
  const size_t size = prefix.size() + 4 * ((length + 2) / 3) + 1;  // with the NUL
  char* url = allocate(size);
  if (!url) {
    ta_file_close(&file);
    TA_LOG(1, "error converting to  base64 %s  ", path.c_str());
    return kErrorStringEncoding;
  }
  preferHugePages(url, size);
  prefix.copy(url, prefix.size());
  size_t at = prefix.size();
  url[at] = '\0';
  std::unique_ptr<char[]> block(new char[std::min(length, kBlockSize)]);
  for (uint64_t done = 0; done < length;) {
    const size_t part = static_cast<size_t>(std::min(length - done, kBlockSize));
    if (!readFully(&file, block.get(), part, &err)) {
      ta_file_close(&file);
      TA_LOG(1, "%s file unable to read %d", path.c_str(), err);
      return ioError(path);
    }
    if (ta_str_buf_to_base64(block.get(), part, url + at, size - at) != 0) {
      ta_file_close(&file);
      TA_LOG(1, "error converting to  base64 %s  ", path.c_str());
      return kErrorStringEncoding;
    }
    at += 4 * ((part + 2) / 3);
    done += part;
  }
  ta_file_close(&file);
  return "";
}

// The reads' results as strings: the data URL, or the failure text.
std::string asString(const std::function<std::string(const PlugIn::TextAllocator&)>& read) {
  std::string url;
  const std::string failure = read([&url](size_t size) {
    url.reserve(size);
    preferHugePages(&url[0], size);
    url.resize(size);
    return &url[0];
  });
  if (!failure.empty()) return failure;
  url.pop_back();  // the NUL is not text
  return url;
}

}  // namespace

std::string PlugIn::readFileAsArrayBuffer(const std::string& path) {
  return asString([&](const TextAllocator& allocate) {
    return readFileAsArrayBuffer(path, allocate);
  });
}

std::string PlugIn::readFileChunkAsArrayBuffer(const std::string& path, uint64_t offset,
                                               uint64_t chunkSize) {
  return asString([&](const TextAllocator& allocate) {
    return readFileChunkAsArrayBuffer(path, offset, chunkSize, allocate);
  });
}

std::string PlugIn::readFileAsArrayBuffer(const std::string& path, const TextAllocator& allocate) {
  ta_stat_t st;
  std::string refused = refusal(path, _pageHostname, &st);
  if (!refused.empty()) return refused;
  if (st.size > kMaxReadSize) {
    TA_LOG(1, "%s file exceeded max file size - max file size is 50MB  ", path.c_str());
    return std::string(kErrorFileSizeExceeded) + ": " + path;
  }
  return readAsDataUrl(path, st, 0, st.size, allocate);
}

std::string PlugIn::readFileChunkAsArrayBuffer(const std::string& path, uint64_t offset,
                                               uint64_t chunkSize, const TextAllocator& allocate) {
  ta_stat_t st;
  std::string refused = refusal(path, _pageHostname, &st);
  if (!refused.empty()) return refused;
  if (chunkSize == 0 || chunkSize > st.size || offset > st.size - chunkSize) {
    TA_LOG(1, "%s: offset %llu and chunk size %llu do not fit the file", path.c_str(),
           static_cast<unsigned long long>(offset), static_cast<unsigned long long>(chunkSize));
    return kErrorInvalidReadChunkValue;
  }
  return readAsDataUrl(path, st, offset, chunkSize, allocate);
}

}  // namespace Web
}  // namespace Harlune
