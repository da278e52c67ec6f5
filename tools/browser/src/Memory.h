// NPN_MemAlloc / NPN_MemFree with bookkeeping: a block freed twice, or one
// that did not come from NPN_MemAlloc, is reported instead of corrupting the
// heap, and blocks still held at the end can be counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace Browser {

class Memory {
 public:
  static Memory& shared();

  void* alloc(uint32_t size);
  // False (and the block left alone) for a pointer this table does not hold.
  bool free(void* block);
  bool holds(const void* block) const;

  std::size_t liveBlocks() const;
  std::size_t liveBytes() const;
  // Frees every block still held (used at the end of a page, after reporting).
  void releaseAll();

 private:
  mutable std::mutex mutex_;
  std::unordered_map<void*, uint32_t> blocks_;
};

}  // namespace Browser
