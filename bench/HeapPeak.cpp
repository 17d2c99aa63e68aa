#include "bench/HeapPeak.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> held{0};
std::atomic<size_t> peak{0};
size_t heldAtReset = 0;

// Each block carries its size in front, so that every delete can count it.
constexpr size_t kHeader = alignof(std::max_align_t);

}  // namespace

void* operator new(std::size_t size) {
  auto* block = static_cast<char*>(std::malloc(kHeader + size));
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  *reinterpret_cast<size_t*>(block) = size;
  const size_t now = held += size;
  size_t before = peak.load(std::memory_order_relaxed);
  while (now > before && !peak.compare_exchange_weak(before, now)) {
  }
  return block + kHeader;
}
// GCC cannot tell that these replace the operators whose memory comes from
// malloc above, and takes free() here for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
  if (memory != nullptr) {
    char* block = static_cast<char*>(memory) - kHeader;
    held -= *reinterpret_cast<size_t*>(block);
    std::free(block);
  }
}
void operator delete(void* memory, std::size_t) noexcept {
  operator delete(memory);
}
#pragma GCC diagnostic pop

namespace heap_peak {

void Reset() {
  heldAtReset = held;
  peak = heldAtReset;
}

size_t BytesSinceReset() {
  return peak - heldAtReset;
}

}  // namespace heap_peak
