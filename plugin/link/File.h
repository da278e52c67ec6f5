// A small reader of the desktop application's text files: a file that cannot
// be opened reads as "", and only its first 1024 bytes are ever seen.
#pragma once

#include <cstdint>
#include <string>

#include <taplatform/tafile.h>

namespace Harlune {
namespace Web {

class File {
public:
  explicit File(const std::string& path);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool open();
  // Reads from the start, closes the file, and returns the text up to the
  // first NUL; "" when the file is not open.
  std::string read();
  int close();
  uint64_t size();
  const char* lastError() const { return _error; }

private:
  std::string _path;
  ta_file_t _handle;
  char _error[4096];
};

}  // namespace Web
}  // namespace Harlune
