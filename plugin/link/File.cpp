#include "link/File.h"

#include <taplatform/taplatform.h>

namespace Harlune {
namespace Web {

namespace {
constexpr size_t kReadLimit = 1024;
}

File::File(const std::string& path) : _path(path) {
  _error[0] = '\0';
  const int err = ta_file_init(&_handle);
  if (err != 0) {
    ta_platform_errstr(err, _error, sizeof _error);
    TA_LOG(3, "File::File() error: %s", _error);
    _handle = -1;
  }
}

File::~File() {
  if (_handle != -1) close();
}

bool File::open() {
  const int err = ta_file_openread(_path.c_str(), &_handle);
  if (err != 0) {
    ta_platform_errstr(err, _error, sizeof _error);
    TA_LOG(5, "File::open() failed: %s", _error);
    return false;
  }
  return true;
}

std::string File::read() {
  if (_handle == -1) return "";
  char buffer[kReadLimit + 1] = {};
  size_t count = 0;
  ta_file_read(&_handle, buffer, kReadLimit, &count);
  close();
  return std::string(buffer);
}

int File::close() {
  const int err = ta_file_close(&_handle);
  _handle = -1;
  return err;
}

uint64_t File::size() {
  ta_stat_t st;
  if (ta_file_fstat(&_handle, &st) != 0) return 0;
  return st.size;
}

}  // namespace Web
}  // namespace Harlune
