// Memory taken from the system in whole pages, for the large pieces that
// a loader fills at once. Where the system offers large pages (2 MiB
// transparent huge pages on Linux) the pieces are aligned for them and asked
// to be backed by them, so that filling a piece costs one page fault per
// large page instead of one per 4 KiB page.
#pragma once

#include <cstddef>

namespace zephron::platform {

// Pieces of at least this size are worth taking in pages.
inline constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

// `bytes` of zeroed, writable memory, or nullptr when the system has none.
void* AllocatePages(std::size_t bytes);
// Gives back what AllocatePages returned, with the same `bytes`.
void FreePages(void* memory, std::size_t bytes);

}  // namespace zephron::platform
