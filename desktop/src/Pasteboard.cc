#include "desktop/Pasteboard.h"

#include <sys/stat.h>

#include <algorithm>

#include "desktop/RunLoop.h"

namespace Desktop {

Pasteboard& Pasteboard::drag() {
  static Pasteboard* board = new Pasteboard;  // shared by host and plug-ins for the whole process
  return *board;
}

std::vector<PasteboardType> Pasteboard::types() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return types_;
}

bool Pasteboard::hasType(PasteboardType type) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(types_.begin(), types_.end(), type) != types_.end();
}

void Pasteboard::addType_(PasteboardType type) {
  if (std::find(types_.begin(), types_.end(), type) == types_.end()) types_.push_back(type);
  ++changeCount_;
}

void Pasteboard::setFileNames(std::vector<std::string> paths) {
  std::lock_guard<std::mutex> lock(mutex_);
  fileNames_ = std::move(paths);
  addType_(PasteboardType::FileNames);
}

void Pasteboard::setString(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  string_ = std::move(text);
  addType_(PasteboardType::String);
}

std::vector<std::string> Pasteboard::fileNames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fileNames_;
}

std::string Pasteboard::string() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return string_;
}

void Pasteboard::clearContents() {
  std::lock_guard<std::mutex> lock(mutex_);
  types_.clear();
  fileNames_.clear();
  string_.clear();
  ++changeCount_;
}

std::uint64_t Pasteboard::changeCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return changeCount_;
}

void Pasteboard::performDrop(double x, double y) {
  const double now = RunLoop::main().now();
  std::lock_guard<std::mutex> lock(mutex_);
  drop_ = Drop{drop_.serial + 1, x, y, now, changeCount_};
}

Drop Pasteboard::lastDrop() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return drop_;
}

bool FileManager::fileExists(const std::string& path, bool* isDirectory) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  if (isDirectory != nullptr) *isDirectory = S_ISDIR(st.st_mode);
  return true;
}

}  // namespace Desktop
