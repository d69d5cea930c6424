// What's-new and agreement texts: finding them in the control file and
// fetching them from the update location.
#include <fstream>
#include <iterator>

#include "engine/control_file.h"
#include "engine/zephron.h"
#include "platform/ascii_case.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "transfer/messages.h"

namespace zephron {

bool IsRTFStream(std::string_view bytes) { return platform::StartsWithAsciiNoCase(bytes, "{\\rtf"); }

std::vector<std::string> TextToLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string LinesToText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::optional<std::string> TZephron::DownloadStream(const std::string& url) {
  if (!URLGetBoundedFile(url, TextFileSizeLimit)) return std::nullopt;
  const std::string path = platform::ToSlashes(WinTempDir() + URLtoFile(url));
  std::optional<std::string> bytes;
  {
    std::ifstream in(path, std::ios::binary);
    if (in) bytes.emplace(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  platform::DeleteFile(path);
  return bytes;
}

std::optional<std::vector<std::string>> TZephron::DownloadTextFile(const std::string& url) {
  auto bytes = DownloadStream(url);
  if (!bytes) return std::nullopt;
  return TextToLines(*bytes);
}

namespace {

// The location of the what's-new text after OnBeforeFileDownload, none when
// the control file names none.
// A text's location and the digest it must have (empty: none).
struct TextLocation {
  std::string url;
  std::string sha256;
};

std::optional<TextLocation> WhatsNewLocation(TZephron& engine, const std::string& controlFile) {
  const platform::ProfileFile file(platform::ToSlashes(controlFile));
  const TWhatsNewSection section = ReadWhatsNewSection(file, engine.LanguageID);
  if (section.file.empty()) return std::nullopt;
  std::string url = section.file;
  if (engine.OnBeforeFileDownload) engine.OnBeforeFileDownload(engine, 0, section.file, url);
  engine.DoStatus(msgFoundWhatsNew, "", 12, 0);
  return TextLocation{url, section.sha256};
}

std::optional<TextLocation> EulaLocation(TZephron& engine, const std::string& controlFile) {
  const platform::ProfileFile file(platform::ToSlashes(controlFile));
  const TEulaSection section = ReadEulaSection(file, engine.LanguageID);
  if (section.file.empty()) return std::nullopt;
  engine.DoStatus(msgFoundLicense, "", 13, 0);
  return TextLocation{section.file, section.sha256};
}

}  // namespace

std::optional<std::vector<std::string>> TZephron::GetWhatsNew() {
  const auto text = WhatsNewLocation(*this, FControlFileName);
  if (!text) return std::nullopt;
  auto bytes = DownloadCheckedStream(text->url, text->sha256);
  if (!bytes) return std::nullopt;
  return TextToLines(*bytes);
}

std::optional<std::string> TZephron::GetWhatsNewStream() {
  const auto text = WhatsNewLocation(*this, FControlFileName);
  if (!text) return std::nullopt;
  return DownloadCheckedStream(text->url, text->sha256);
}

std::optional<std::vector<std::string>> TZephron::GetEULA() {
  const auto text = EulaLocation(*this, FControlFileName);
  if (!text) return std::nullopt;
  auto bytes = DownloadCheckedStream(text->url, text->sha256);
  if (!bytes) return std::nullopt;
  return TextToLines(*bytes);
}

std::optional<std::string> TZephron::GetEULAStream() {
  const auto text = EulaLocation(*this, FControlFileName);
  if (!text) return std::nullopt;
  return DownloadCheckedStream(text->url, text->sha256);
}

}  // namespace zephron
