// Panel helpers on the desktop services: allowed-type lists, the system
// version and finding a visible panel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <desktop/Panel.h>

#include "dialogs/FileType.h"

namespace Desktop {
class Application;
class SavePanel;
}  // namespace Desktop

namespace Harlune {
namespace Web {

class MacUtils {
public:
  // Every extension of every filter in order, each followed by its upper-case
  // form; "*" is left out and an extension already listed adds nothing.
  static std::vector<std::string> createFileTypes(const std::vector<FileType>& types);
  // The same extensions grouped under their filters' names, for the chooser's
  // list; filters left with no extension are left out.
  static std::vector<Desktop::FileFilter> createFileFilters(const std::vector<FileType>& types);

  // Major and minor system version; 10 and 0 when it cannot be read. Either
  // pointer may be null.
  static void getSystemVersion(uint16_t* major, uint16_t* minor);

  // Version selectors in the manner of the system's feature query: the
  // combined value (binary-coded decimal 0xMMmb, each digit capped at 9) and
  // the three parts. 0 on success, else the lookup's error.
  enum GestaltSelector : uint32_t {
    gestaltSystemVersion = 0x73797376,       // 'sysv'
    gestaltSystemVersionMajor = 0x73797331,  // 'sys1'
    gestaltSystemVersionMinor = 0x73797332,  // 'sys2'
    gestaltSystemVersionBugFix = 0x73797333, // 'sys3'
  };
  static long gestalt(uint32_t selector, int32_t* response);

  // The dialog state for a panel's modal result: OK confirmed, cancel
  // cancelled, anything else closed (an unexpected value is logged).
  static int32_t stateForModalResult(int code);

  // Whether the panel is visible and in its application's window list.
  static bool isSaveDialogOpen(const Desktop::SavePanel* panel);
  // The first visible save or open panel of the application, in window-list
  // order, or null.
  static Desktop::SavePanel* getFirstOpenedSaveDialog(Desktop::Application& app);
  static Desktop::SavePanel* getFirstOpenedSaveDialog();  // the shared application
};

}  // namespace Web
}  // namespace Harlune
