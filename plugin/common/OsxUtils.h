// Platform queries every layer may need from the desktop services. Members
// that need a later folder are defined there (link/OsxUtilsApp.cpp,
// dialogs/OsxUtilsDialogs.cpp).
#pragma once

#include <string>

namespace Harlune {
namespace Web {

class OsxUtils {
public:
  // The pid of the running desktop application, or -1.
  static int getHarlunePid();
  // The system table's MIME type for the path's extension, or "".
  static std::string mimeTypeForFileAtPath(const std::string& path);

  // panel is null or a desktop window. For a save or open panel: whether it
  // is showing; otherwise whether any panel of the application is.
  static bool isSaveDialogOpen(void* panel);
  // Ends that panel's modal run (closing it), or else the run of the first
  // panel showing.
  static void closeSaveDialog(void* panel);
};

}  // namespace Web
}  // namespace Harlune
