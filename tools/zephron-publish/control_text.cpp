#include "tools/zephron-publish/control_text.h"

namespace zephron::publish {

void ControlText::Key(const std::string& key, const std::string& value) {
  if (!value.empty()) sections_.back().second.emplace_back(key, value);
}

std::string ControlText::Text() const {
  std::string text;
  for (const auto& [name, keys] : sections_) {
    text += "[" + name + "]\r\n";
    for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
    text += "\r\n";
  }
  return text;
}

}  // namespace zephron::publish
