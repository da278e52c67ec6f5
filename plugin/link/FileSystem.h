// The user's folders that the plug-in reads from, cached on first success and
// shared by every instance of the process.
#pragma once

#include <string>

namespace Harlune {
namespace Web {

class FileSystem {
public:
  // The user's Application Support folder followed by "/"; "" on failure
  // (looked up again next time).
  static std::string appDataPath();
  // appDataPath() + "Tarsen/Tarsen Harlune", cached whatever the lookup gave.
  static std::string harluneAppDataPath();
  // The user's Internet Plug-Ins folder followed by "/".
  static std::string pluginPath();
  // The plug-in's log file in the user's Logs folder; "" when that folder
  // cannot be found (the plug-in then runs without a log).
  static std::string logPath();
  // Forgets every cached folder, so tests can change HOME between cases.
  static void resetForTesting();
};

}  // namespace Web
}  // namespace Harlune
