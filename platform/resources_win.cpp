#include <windows.h>

#include "platform/resources.h"
#include "platform/win32_text.h"

// The unit's FindResource is ours; the system's is called by its wide name.
#undef FindResource

namespace zephron::platform {

// The RCDATA resources of the executable's own resource section, which the
// resource compiler fills from the build's .rc files.
std::optional<std::span<const std::byte>> FindResource(std::string_view name) {
  const std::wstring wide = win32::Wide(name);
  HRSRC resource = ::FindResourceW(nullptr, wide.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!resource) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(nullptr, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  return std::span(static_cast<const std::byte*>(data), ::SizeofResource(nullptr, resource));
}

// Resources live in the resource section on Windows; nothing registers them.
void RegisterResource(std::string_view, const void*, std::size_t) {}

}  // namespace zephron::platform
