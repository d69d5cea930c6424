// The report of one failure as the bug report window receives it: the full
// report text, the header fields (executable, version, computer name, user
// name), the screenshot of the program's windows when one was taken, and
// whether the report is saved automatically.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zephron::bugreport {

// A picture of the program's windows, kept as the PNG file it was encoded to.
class TScreenshot {
 public:
  TScreenshot(int width, int height, std::vector<std::byte> png)
      : width_(width), height_(height), png_(std::move(png)) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<std::byte>& Png() const { return png_; }
  // Writes the PNG file (replacing one of that name); false when it cannot.
  bool SavePng(const std::string& path) const;

 private:
  int width_;
  int height_;
  std::vector<std::byte> png_;
};

class TBugReportHeader {
 public:
  void Set(const std::string& name, std::string value);
  // The value of the named field; empty when the header has none.
  std::string GetContent(const std::string& name) const;
  const std::vector<std::pair<std::string, std::string>>& Fields() const { return fields_; }

 private:
  std::vector<std::pair<std::string, std::string>> fields_;
};

class IExceptionReport {
 public:
  IExceptionReport(std::string report, TBugReportHeader header, std::optional<TScreenshot> screenshot,
                   bool autoSave)
      : report_(std::move(report)), header_(std::move(header)), screenshot_(std::move(screenshot)),
        autoSave_(autoSave) {}

  const std::string& GetBugReport() const { return report_; }
  // Null when no screenshot was taken (the headless front end, a fatal fault).
  const TScreenshot* GetScreenShot() const { return screenshot_ ? &*screenshot_ : nullptr; }
  const TBugReportHeader& GetBugReportHeader() const { return header_; }
  bool GetAutoSave() const { return autoSave_; }

 private:
  std::string report_;
  TBugReportHeader header_;
  std::optional<TScreenshot> screenshot_;
  bool autoSave_;
};

// Reports are shared by the capture and the window that shows them.
using TExceptionReportPtr = std::shared_ptr<const IExceptionReport>;

}  // namespace zephron::bugreport
