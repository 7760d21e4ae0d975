#include "pixel/pixel_store.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#define HOLESCAN_MAPPED_STORES 1
#else
#define HOLESCAN_MAPPED_STORES 0
#endif

namespace holescan::pixel_store {
namespace {

[[maybe_unused]] constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a store comes from the heap: a mapping of its own would cost more than it saves.
[[maybe_unused]] constexpr std::size_t kMappedFrom = std::size_t{1} << 20;

[[maybe_unused]] std::size_t MappedBytes(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* Allocate(std::size_t bytes, bool& mapped) {
  mapped = false;
#if HOLESCAN_MAPPED_STORES
  if (bytes >= kMappedFrom && bytes <= SIZE_MAX - 2 * kHugePage) {
    // Mapped one huge page larger, then trimmed to a 2 MiB boundary at both ends, so that
    // every huge page of the store can be a real one.
    const std::size_t length = MappedBytes(bytes);
    void* raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned != start) ::munmap(raw, aligned - start);
    if (const std::size_t tail = kHugePage - (aligned - start); tail != 0)
      ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    void* memory = reinterpret_cast<void*>(aligned);
    // Without transparent huge pages (or with them off) this fails, and ordinary pages serve.
    (void)::madvise(memory, length, MADV_HUGEPAGE);
    mapped = true;
    return memory;
  }
#endif
  void* memory = std::calloc(bytes == 0 ? 1 : bytes, 1);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void Release(void* memory, std::size_t bytes, bool mapped) {
#if HOLESCAN_MAPPED_STORES
  if (mapped) {
    ::munmap(memory, MappedBytes(bytes));
    return;
  }
#else
  (void)bytes;
  (void)mapped;
#endif
  std::free(memory);
}

}  // namespace holescan::pixel_store
