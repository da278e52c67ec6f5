// System facts: version, the user's folders, the MIME type table, and an
// autorelease pool marker for threads.
#pragma once

#include <string>

#include "desktop/Status.h"

namespace Desktop {

struct SystemVersion {
  unsigned major = 10;
  unsigned minor = 15;
  unsigned bugfix = 0;
};

// The system version; 10.15.0 unless a host or test set another one (or the
// environment variable DESKTOP_SYSTEM_VERSION held "MAJOR.MINOR[.BUGFIX]" when
// first asked). Status::VersionUnavailable while a failure is set; `out` is
// then unchanged. Thread-safe.
Status systemVersion(SystemVersion& out);
void setSystemVersion(const SystemVersion& version);
// Makes the lookup fail (true) or work again (false).
void setSystemVersionFailure(bool fail);

enum class UserFolder { ApplicationSupport, Logs, InternetPlugIns };

// $HOME/Library/Application Support, $HOME/Library/Logs or
// $HOME/Library/Internet Plug-Ins, with no trailing slash and not created.
// Status::FolderNotFound when HOME is unset or empty. Reads HOME each time.
Status userFolderPath(UserFolder folder, std::string& path);

// The MIME type that /etc/mime.types gives an extension (without the dot,
// compared without regard to case); empty when unknown or empty. The table is
// read once, on first use; thread-safe.
std::string mimeTypeForExtension(const std::string& extension);
// The same for a path's extension: the text after the last '.' of its last
// component (none for names like ".profile" or "README").
std::string mimeTypeForPath(const std::string& path);
// The extension as mimeTypeForPath takes it.
std::string pathExtension(const std::string& path);

// Marks a scope that would own an autorelease pool on a thread; only counts
// nesting, per thread (nothing here is autoreleased).
class AutoreleasePool {
 public:
  AutoreleasePool();
  ~AutoreleasePool();
  AutoreleasePool(const AutoreleasePool&) = delete;
  AutoreleasePool& operator=(const AutoreleasePool&) = delete;
  static int depth();  // pools alive on the calling thread
};

}  // namespace Desktop
