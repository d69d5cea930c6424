#include "platform/page_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace zephron::platform {

void* AllocatePages(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  // Mapped with a large page's room to spare, then cut to an aligned start:
  // a huge page backs only an aligned 2 MiB range.
  const std::size_t mapped = bytes + kLargePageBytes;
  void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kLargePageBytes - 1) & ~(std::uintptr_t{kLargePageBytes} - 1);
  const std::size_t head = aligned - start;
  if (head != 0) ::munmap(raw, head);
  // munmap works in whole pages: the end of the last page stays mapped, and
  // FreePages unmaps the same rounded range.
  static const auto pageMask = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE)) - 1;
  const std::uintptr_t used = (aligned + bytes + pageMask) & ~pageMask;
  const std::uintptr_t end = start + mapped;
  if (used < end) ::munmap(reinterpret_cast<void*>(used), end - used);
  void* memory = reinterpret_cast<void*>(aligned);
  // Only advice: where huge pages are off the memory is ordinary memory.
  ::madvise(memory, bytes, MADV_HUGEPAGE);
  return memory;
}

void FreePages(void* memory, std::size_t bytes) {
  if (memory != nullptr) ::munmap(memory, bytes);
}

}  // namespace zephron::platform
