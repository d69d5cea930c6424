#include "bugreport/report_request.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <stdexcept>

#include "archive/base64.h"
#include "bugreport/report_post.h"
#include "platform/special_folders.h"
#include "xml/xml_document.h"

namespace zephron::bugreport {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return in.bad() ? std::string() : bytes;
}

std::string ScreenshotFileName() {
  std::string folder = platform::TempFolder();
  if (const auto nul = folder.find('\0'); nul != std::string::npos) folder.resize(nul);
  if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int> letter('a', 'z');
  std::string name;
  do {
    std::string letters;
    for (int i = 0; i < 10; ++i) letters += static_cast<char>(letter(random));
    name = folder + "screenshot" + letters + ".png";
  } while (std::filesystem::exists(name));
  return name;
}

// The screenshot's PNG file as it reads back from a temporary file, in Base64.
std::string ScreenshotText(const TScreenshot& screenshot) {
  const std::string file = ScreenshotFileName();
  if (!screenshot.SavePng(file)) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    throw std::runtime_error("Cannot write the screenshot file " + file);
  }
  const std::string png = ReadAll(file);
  std::filesystem::remove(file);
  return png.empty() ? std::string() : Base64Encode(std::as_bytes(std::span<const char>(png.data(), png.size())));
}

}  // namespace

std::string ResumingText(int seconds) { return "Resuming in " + std::to_string(seconds) + " seconds"; }

bool& RememberedAllowReport() {
  static bool remembered = false;
  return remembered;
}

bool& RememberedAllowScreenshot() {
  static bool remembered = false;
  return remembered;
}

bool ScreenshotChoiceOpen(bool allowReport, const IExceptionReport* report, const std::string& replacement) {
  return allowReport && report != nullptr && report->GetScreenShot() != nullptr && replacement.empty();
}

std::unique_ptr<TxmlDocument> BuildReportRequest(const IExceptionReport* report, const std::string& replacement,
                                                 bool withScreenshot, const std::string& comment) {
  auto document = std::make_unique<TxmlDocument>();
  document->Root()->SetName("Request");
  document->NodeByPath("Request/Type", true)->SetValue("br");
  document->NodeByPath("Request/Config/content", true)
      ->SetValue(!replacement.empty() ? replacement : report ? report->GetBugReport() : std::string());
  const TScreenshot* screenshot = report ? report->GetScreenShot() : nullptr;
  if (withScreenshot && screenshot != nullptr && replacement.empty()) {
    document->NodeByPath("Request/Config/screenshot", true)->SetValue(ScreenshotText(*screenshot));
  }
  const TBugReportHeader header = report ? report->GetBugReportHeader() : TBugReportHeader();
  document->NodeByPath("Request/Config/executable", true)->SetValue(header.GetContent("executable"));
  document->NodeByPath("Request/Config/version", true)->SetValue(header.GetContent("version"));
  document->NodeByPath("Request/Config/computer", true)->SetValue(header.GetContent("computer name"));
  document->NodeByPath("Request/Config/username", true)->SetValue(header.GetContent("user name"));
  document->NodeByPath("Request/Config/comment", true)->SetValue(comment);
  return document;
}

std::optional<std::string> DeliverReportRequest(std::unique_ptr<TxmlDocument> request, const std::string& server) {
  std::string responseText;
  try {
    const std::string body = ToAnsi(request->AsString());
    request.reset();
    const TPostResult result = PostBugReport(server, body);
    if (result.ok) return std::nullopt;
    responseText = result.responseText;
  } catch (const std::exception&) {
    // Nothing came back that could be shown.
  }
  return std::string(texts::kDeliveryFailed) + responseText;
}

}  // namespace zephron::bugreport
