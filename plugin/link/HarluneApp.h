// Finding, launching, checking and stopping the desktop application. All state
// is process-wide and shared by every instance and every thread.
#pragma once

#include <cstdint>
#include <string>

#include "link/Url.h"

namespace Harlune {
namespace Web {

// The identifier under which the workspace lists the running application.
inline constexpr char kHarluneBundleIdentifier[] = "com.tarsen.harlune";
inline constexpr char kHarluneBundleName[] = "Tarsen Harlune.app";
inline constexpr char kHarluneProcessName[] = "tarsenharlune";

class HarluneApp {
public:
  // The cached application URL, read from the URL file while the cache is
  // empty. A copy: other threads may clear the cache at any time.
  static Url url();
  static bool isRunning();
  // True once the application answers, starting it and waiting when needed.
  static bool launch();
  static std::string binPath();
  static std::string harluneUUID();
  static int pid();
  static bool terminate();

  static int32_t launchTimeoutMs();
  static void setLaunchTimeoutMs(int32_t ms);

  // Forgets the cached URL, so that the next url() reads the URL file again.
  static void clearUrl();

  // Forgets the cached URL and bundle path, so tests can change HOME.
  static void resetForTesting();
};

// Ends every process whose name is exactly `name`.
void KillProcesses(const std::string& name);

}  // namespace Web
}  // namespace Harlune
