// Outcome codes of the desktop services. Failures that a caller is expected to
// handle come back as a Status (never an exception, never a crash); the values
// are negative so that they can be logged as plain integers next to 0 = Ok.
#pragma once

namespace Desktop {

enum class Status : int {
  Ok = 0,
  NoModalRun = -1,        // stopModal/abortModal while no modal run is active
  NotRunning = -2,        // a panel answered while it is not running
  AlreadyAnswered = -3,   // a panel answered a second time in one run
  PanelClosed = -4,       // a panel answered after it was closed
  InvalidChoice = -5,     // a panel answer that its settings do not allow
  BadImageData = -6,      // image bytes that are not a decodable JPEG
  VersionUnavailable = -7,  // the system version lookup was made to fail
  BadBundle = -8,         // an application bundle without a usable Info file
  FolderNotFound = -43,   // a user folder asked for while HOME is unset or empty
};

// Short English text of a status, for log lines ("no modal run", ...).
const char* statusText(Status status);

inline int statusCode(Status status) { return static_cast<int>(status); }

}  // namespace Desktop
