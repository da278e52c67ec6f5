#include "Memory.h"

#include <cstdlib>

namespace Browser {

Memory& Memory::shared() {
  static Memory memory;
  return memory;
}

void* Memory::alloc(uint32_t size) {
  // A zero-byte request still gets a distinct block, so it can be freed.
  void* block = std::malloc(size ? size : 1);
  if (!block) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  blocks_[block] = size;
  return block;
}

bool Memory::free(void* block) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = blocks_.find(block);
    if (it == blocks_.end()) return false;
    blocks_.erase(it);
  }
  std::free(block);
  return true;
}

bool Memory::holds(const void* block) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_.count(const_cast<void*>(block)) != 0;
}

std::size_t Memory::liveBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_.size();
}

std::size_t Memory::liveBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t total = 0;
  for (const auto& b : blocks_) total += b.second;
  return total;
}

void Memory::releaseAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& b : blocks_) std::free(b.first);
  blocks_.clear();
}

}  // namespace Browser
