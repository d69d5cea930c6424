// The text of a control file, written section by section in the order the
// keys are added; the reader trims values, so none may begin or end in a blank.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zephron::publish {

class ControlText {
 public:
  void Section(const std::string& name) { sections_.push_back({name, {}}); }
  // Adds key=value to the last section; an empty value is left out.
  void Key(const std::string& key, const std::string& value);
  void Key(const std::string& key, long long value) { Key(key, std::to_string(value)); }
  std::string Text() const;

 private:
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_;
};

}  // namespace zephron::publish
