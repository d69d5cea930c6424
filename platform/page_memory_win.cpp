#include "platform/page_memory.h"

#include <windows.h>

namespace zephron::platform {

// Large pages on Windows need a privilege that ordinary users lack, so the
// pieces are ordinary committed pages, which still skips the heap.
void* AllocatePages(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void FreePages(void* memory, std::size_t) {
  if (memory != nullptr) ::VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace zephron::platform
