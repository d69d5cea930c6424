#include "bugreport/exception_report.h"

#include <fstream>

namespace zephron::bugreport {

bool TScreenshot::SavePng(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png_.data()), static_cast<std::streamsize>(png_.size()));
  out.close();
  return static_cast<bool>(out);
}

void TBugReportHeader::Set(const std::string& name, std::string value) {
  for (auto& field : fields_) {
    if (field.first == name) {
      field.second = std::move(value);
      return;
    }
  }
  fields_.emplace_back(name, std::move(value));
}

std::string TBugReportHeader::GetContent(const std::string& name) const {
  for (const auto& field : fields_) {
    if (field.first == name) return field.second;
  }
  return {};
}

}  // namespace zephron::bugreport
