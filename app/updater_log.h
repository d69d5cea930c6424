// The updater's own log: 8-bit text in <application data>/Corvexis, every
// entry followed by an empty line, the file opened and closed per entry. The
// updater creates neither folder: without the Corvexis folder nothing can be
// logged, and LogLine raises.
#pragma once

#include <stdexcept>
#include <string>

namespace zephron {

// An input/output error of the updater (a log that cannot be written, a
// folder that cannot be entered); one pass catches it.
class TUpdaterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The per-user application-data folder from the "Shell Folders" key
// (value "AppData"); empty when the key or the value is missing.
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
  TUpdaterLog(std::string logFolder, bool debugMode) : folder_(std::move(logFolder)), debug_(debugMode) {}

  bool DebugMode() const { return debug_; }
  const std::string& UpdaterLogFolder() const { return folder_; }
  std::string FileName() const;

  // Appends text, CR LF, CR LF; raises TUpdaterError when the file cannot be written.
  void LogLine(const std::string& text) const;
  void LogDebug(const std::string& text) const {
    if (debug_) LogLine(text);
  }

 private:
  std::string folder_;
  bool debug_;
};

}  // namespace zephron
