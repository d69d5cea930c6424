// The platform's program resources (FindResourceW, LoadResource,
// SizeofResource, LockResource of RT_RCDATA): named blobs of data linked into
// the executable at build time. The build adds them with
// zephron_add_resource(TARGET NAME FILE) (cmake/ZephronResources.cmake): on
// Windows an RCDATA resource; elsewhere the file's bytes are assembled into
// the program and registered under NAME before main runs.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace zephron::platform {

// The bytes of the resource of that name (exact, case-sensitive), none when
// the program carries no such resource.
std::optional<std::span<const std::byte>> FindResource(std::string_view name);

// Called by the registration code that zephron_add_resource generates.
void RegisterResource(std::string_view name, const void* data, std::size_t size);

}  // namespace zephron::platform
