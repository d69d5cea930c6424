// The updater's own log: 8-bit text in <application data>/Corvexis, every
// entry followed by an empty line, the file opened and closed per entry.
//
// On a fresh account neither the application-data folder nor its Corvexis
// folder need exist (the suite's installers make it on Windows): the first
// entry creates them. A log that still cannot be written never ends a pass:
// the entry is lost, and the first loss of each log is reported on standard
// error so that it is not lost silently.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace zephron {

// An input/output error of the updater (a log that cannot be written, a
// folder that cannot be entered); one pass catches it.
class TUpdaterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The per-user application-data folder: the "Shell Folders" key's "AppData"
// value when set, else the XDG configuration folder; empty only when neither
// can be determined.
std::string GetAppDataFolder();

// appData with a separator + "Corvexis" + "\Corvexis Zephron": the log file is
// this text followed directly by "zephron.log", so it is the file
// "Corvexis Zephronzephron.log" in the folder <appData>/Corvexis.
std::string UpdaterLogFolderFor(const std::string& appData);

// The access code that, as the only command-line argument, switches debug mode on.
inline constexpr const char* kDebugAccessCode = "qzkr5127";
bool IsDebugCommandLine(int argc, const char* const* argv);

class TUpdaterLog {
 public:
  TUpdaterLog(std::string logFolder, bool debugMode)
      : folder_(std::move(logFolder)), debug_(debugMode), failed_(std::make_shared<bool>(false)) {}

  bool DebugMode() const { return debug_; }
  const std::string& UpdaterLogFolder() const { return folder_; }
  std::string FileName() const;

  // Appends text, CR LF, CR LF, creating the log's folder when it is
  // missing; false when the entry could not be written.
  bool LogLine(const std::string& text) const;
  bool LogDebug(const std::string& text) const { return !debug_ || LogLine(text); }

  // True once an entry has been lost.
  bool WriteFailed() const { return *failed_; }

 private:
  std::string folder_;
  bool debug_;
  std::shared_ptr<bool> failed_;  // shared by copies, which write the same file
};

}  // namespace zephron
