// Status reports and the engine log: DoStatus, AddToLog, WriteLogLine, Error
// and the process-wide log file name.
#include <mutex>

#include "engine/zephron.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/last_error.h"
#include "platform/log_file.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "transfer/messages.h"
#include "ui/dialogs.h"

namespace zephron {
namespace {

// Shared by every engine; the worker thread of a threaded update writes through it too.
std::mutex gLogPathMutex;
std::string gEngineLogPath = "ZEPHRON.LOG";

}  // namespace

std::string EngineLogPath() {
  std::lock_guard lock(gLogPathMutex);
  return gEngineLogPath;
}

void SetEngineLogPath(std::string path) {
  std::lock_guard lock(gLogPathMutex);
  gEngineLogPath = std::move(path);
}

std::string EngineLogFile() {
  const std::string name = EngineLogPath();
  if (name.find_first_of("\\/:") != std::string::npos) return platform::ToSlashes(name);
  return platform::IncludeTrailingPathDelimiter(platform::DocumentsFolder()) + name;
}

void TZephron::WriteLogLine(const std::string& Text) {
  // Engine operations never fail because of their log.
  platform::AppendLogEntry(EngineLogFile(), Text + "\r\n", "engine log");
}

void TZephron::AddToLog(const std::string& Text) { WriteLogLine(Text); }

void TZephron::DoStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) {
  const std::string text = FormatMessage(Ident, Arg);
  if (Logging) {
    WriteLogLine(platform::FormatDateTime("dd/mm/yyyy hh:nn:ss", platform::Now()) + " : [" + std::to_string(Ident) +
                 "] " + text + " (Status:" + std::to_string(StatusCode) + ") (Error:" + std::to_string(ErrCode) +
                 ")");
  }
  if (OnStatus) OnStatus(*this, text, StatusCode, ErrCode);
}

void TZephron::Error() {
  const platform::SystemError error = platform::LastSystemError();
  if (error.code == 0) return;
  std::string text = error.text;
  if (error.code == platform::kErrorInternetExtendedError) {
    text = platform::LastResponseInfo();
    if (text.empty()) return;
  }
  const int code = static_cast<int>(error.code);
  DoStatus(msgSystemError, text, 1, code);
  if (!OnStatus && UpdateUpdate != zpuSilent) {
    Dialogs().MessageBox(text, ui::MessageKind::Error, ui::MessageButtons::Ok);
  }
}

}  // namespace zephron
