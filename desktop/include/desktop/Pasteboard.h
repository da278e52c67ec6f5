// The drag pasteboard (filled by the host that simulates a drop) and the file
// manager's existence check. All calls are thread-safe.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace Desktop {

enum class PasteboardType { FileNames, String };

// Where and when a drag ended in a drop, and which contents it carried (the
// change count at that moment): a view takes a drop only if it landed on it.
struct Drop {
  std::uint64_t serial = 0;  // 0: no drop yet
  double x = 0;              // window coordinates
  double y = 0;
  double time = 0;           // the main run loop's clock
  std::uint64_t changeCount = 0;
};

class Pasteboard {
 public:
  // The process's drag pasteboard.
  static Pasteboard& drag();
  Pasteboard() = default;
  Pasteboard(const Pasteboard&) = delete;
  Pasteboard& operator=(const Pasteboard&) = delete;

  // Types present, in the order they were first set since the last clear.
  std::vector<PasteboardType> types() const;
  bool hasType(PasteboardType type) const;

  // Each setter adds its type (or replaces that type's contents).
  void setFileNames(std::vector<std::string> paths);
  void setString(std::string text);
  // Empty when the type is absent.
  std::vector<std::string> fileNames() const;
  std::string string() const;

  // Removes every type and its contents.
  void clearContents();
  // Grows on every change (set or clear), so a host can see that a clear happened.
  std::uint64_t changeCount() const;

  // The host ends the current drag with a drop at (x, y), now. The contents
  // stay as they are.
  void performDrop(double x, double y);
  Drop lastDrop() const;

 private:
  void addType_(PasteboardType type);

  mutable std::mutex mutex_;
  std::vector<PasteboardType> types_;
  std::vector<std::string> fileNames_;
  std::string string_;
  std::uint64_t changeCount_ = 0;
  Drop drop_;
};

namespace FileManager {
// Whether `path` exists (symbolic links followed); when it does and
// isDirectory is given, *isDirectory tells whether it is a directory.
bool fileExists(const std::string& path, bool* isDirectory = nullptr);
}  // namespace FileManager

}  // namespace Desktop
