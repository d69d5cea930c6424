#include "archive/cabinet_names.h"

#include <algorithm>

#include "platform/unicode.h"

namespace zephron::cabinet_names {

namespace fs = std::filesystem;

std::string StoredNameToUtf8(const char* stored, int attribs) {
  if ((attribs & kNameIsUtf8) != 0) return platform::SanitizeUtf8(stored);
  return platform::Windows1252ToUtf8(stored);
}

bool IsUnsafeName(const std::string& name) {
  if (name.empty() || name.front() == '/') return true;
  if (name.size() >= 2 && name[1] == ':') return true;
  std::size_t start = 0;
  while (start <= name.size()) {
    const auto end = std::min(name.find('/', start), name.size());
    if (name.compare(start, end - start, "..") == 0 && end - start == 2) return true;
    start = end + 1;
  }
  return false;
}

bool IsInside(const fs::path& root, const fs::path& candidate) {
  std::error_code ec;
  const fs::path base = fs::absolute(root, ec).lexically_normal();
  const fs::path full = fs::absolute(candidate, ec).lexically_normal();
  auto b = base.begin(), f = full.begin();
  for (; b != base.end() && !b->empty(); ++b, ++f) {
    if (f == full.end() || *b != *f) return false;
  }
  return f != full.end();
}

}  // namespace zephron::cabinet_names
