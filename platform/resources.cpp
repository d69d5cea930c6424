#include "platform/resources.h"

#include <map>
#include <mutex>
#include <string>

namespace zephron::platform {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::span<const std::byte>, std::less<>> blobs;
};

// Built on first use: registrations run during static initialisation, in
// an order between translation units that nothing fixes.
Registry& Resources() {
  static Registry registry;
  return registry;
}

}  // namespace

std::optional<std::span<const std::byte>> FindResource(std::string_view name) {
  Registry& registry = Resources();
  std::lock_guard lock(registry.mutex);
  const auto it = registry.blobs.find(name);
  if (it == registry.blobs.end()) return std::nullopt;
  return it->second;
}

void RegisterResource(std::string_view name, const void* data, std::size_t size) {
  Registry& registry = Resources();
  std::lock_guard lock(registry.mutex);
  registry.blobs[std::string(name)] = std::span(static_cast<const std::byte*>(data), size);
}

}  // namespace zephron::platform
