#include "setup/setup_program.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <thread>

#include "archive/cabinet.h"
#include "platform/ascii_case.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/last_error.h"
#include "platform/lz_expand.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/special_folders.h"
#include "platform/utf8_path.h"

namespace zephron::setup {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kListValueLimit = 128;
constexpr std::uint32_t kExitCodeErrorBase = 0x800;

// A component name that stays inside its folder.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

// The file of that name in the folder, its case ignored; the exact name
// when there is none.
std::string FindNoCase(const std::string& folder, const std::string& name) {
  std::error_code ec;
  if (fs::exists(platform::Utf8Path(folder + name), ec)) return folder + name;
  for (const auto& entry : fs::directory_iterator(platform::Utf8Path(folder.empty() ? "." : folder), ec)) {
    const std::string found = platform::Utf8String(entry.path().filename());
    if (platform::SameTextAscii(found, name)) return folder + found;
  }
  return folder + name;
}

// Copies from over to through a temporary file beside it.
bool ReplaceByCopy(const std::string& from, const std::string& to) {
  const std::string temp = to + ".zephronsetup";
  std::error_code ec;
  fs::copy_file(platform::Utf8Path(from), platform::Utf8Path(temp), fs::copy_options::overwrite_existing, ec);
  if (ec) {
    fs::remove(platform::Utf8Path(temp), ec);
    return false;
  }
  if (fs::exists(platform::Utf8Path(to), ec)) {
    fs::permissions(platform::Utf8Path(temp), fs::status(platform::Utf8Path(to), ec).permissions(), ec);
  }
  if (!platform::MoveFileReplacing(temp, to)) {
    fs::remove(platform::Utf8Path(temp), ec);
    return false;
  }
  return true;
}

// A command-line part quoted when it holds a blank.
std::string Quoted(const std::string& text) {
  return text.find_first_of(" \t") == std::string::npos ? text : "\"" + text + "\"";
}

class Setup {
 public:
  explicit Setup(const std::vector<std::string>& args) : args_(args) {}

  int Run() {
    long pid = 0;
    try {
      std::size_t used = 0;
      pid = std::stol(args_.empty() ? std::string() : args_[0], &used);
      if (used != args_[0].size()) return 1;
    } catch (const std::exception&) {
      return 1;
    }
    const platform::TDateTime waitStart = platform::Now();
    platform::WaitForProcessEnd(pid);
    const platform::TDateTime waitEnd = platform::Now();

    const std::string documents = platform::IncludeTrailingPathDelimiter(platform::DocumentsFolder());
    const std::string settings = documents + "ZEPHRON.INI";
    logFile_ = platform::ReadProfileString(settings, "CONFIG", "LOGFILENAME", "ZEPHRON.LOG");
    platform::DeleteFile(settings);
    if (logFile_.find_first_of("\\/:") == std::string::npos) {
      logFile_ = documents + logFile_;
    } else {
      logFile_ = platform::ToSlashes(logFile_);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    logging_ = args_.size() > 1 && args_[1] == "L";
    Log("UPD v2.0.4.0 started");
    Log("UPD current directory: " + platform::CurrentFolder());
    Log("UPD waited from " + platform::FormatDateTime("dd/mm/yyyy hh:nn:ss:zzz", waitStart) + " to " +
        platform::FormatDateTime("dd/mm/yyyy hh:nn:ss:zzz", waitEnd) + " for application close");

    if (args_.size() > 5) {
      const std::string source = platform::IncludeTrailingPathDelimiter(platform::ToSlashes(args_[4]));
      const std::string destination = platform::IncludeTrailingPathDelimiter(platform::CurrentFolder());
      for (std::size_t i = 5; i < args_.size(); ++i) Install(args_[i], source, destination, 0);
    }

    if (args_.size() > 2 && args_[2] != "null") {
      const std::string program = args_[2];
      const std::string parameter = args_.size() > 3 ? args_[3] : " ";
      Log("UPD restart " + program + " " + parameter);
      const std::string command = parameter == " " ? Quoted(program) : Quoted(program) + " " + Quoted(parameter);
      platform::WinExec(command, platform::WindowState::ShownNormally);
      Log("UPD has EXE restarted");
    }
    RemoveOwnCopy();
    return 0;
  }

  // The updater wrote this program into the download folder for this run;
  // it goes with the components it installed.
  void RemoveOwnCopy() {
    if (args_.size() < 5) return;
    const std::string self = platform::ProgramFile();
    if (self.empty()) return;
    std::error_code ec;
    if (fs::equivalent(platform::Utf8Path(self).parent_path(), platform::Utf8Path(platform::ToSlashes(args_[4])), ec) &&
        !ec) {
      platform::DeleteOwnProgramFile(self);
    }
  }

 private:
  void Log(const std::string& text) {
    if (!logging_) return;
    platform::AppendLine(logFile_, platform::FormatDateTime("dd/mm/yyyy hh:nn:ss", platform::Now()) + " : [000] " +
                                       text);
  }

  void Install(const std::string& name, const std::string& source, const std::string& destination, int depth) {
    if (!IsPlainName(name)) {
      Log("Upd refused file name " + name);
      return;
    }
    const std::string upper = platform::AsciiUpper(name);
    const std::string extension = platform::AsciiUpper(platform::Utf8String(platform::Utf8Path(name).extension()));
    if (upper.size() >= 4 && upper.compare(upper.size() - 4, 4, "_NEW") == 0) {
      InstallCopy(name.substr(0, name.size() - 4), source, destination);
    } else if (extension == ".INF") {
      InstallList(name, source, depth);
    } else if (extension == ".PAT") {
      InstallPatch(name, source, destination);
    } else if (extension == ".CAB") {
      Log("Upd cab extract " + name + " " + destination);
      const std::string cabinet = FindNoCase(source, name);
      if (ExtractCabinet(cabinet, destination) == 0) {
        platform::DeleteFile(cabinet);
      } else {
        Log("Upd cabextract failed");
      }
    } else if (extension == ".EXE") {
      Log("Upd execute " + name + " " + destination);
      const std::string program = FindNoCase(source, name);
      std::error_code ec;
      fs::permissions(platform::Utf8Path(program), fs::perms::owner_exec, fs::perm_options::add, ec);
      RunHidden(Quoted(program));
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      platform::DeleteFile(program);
    } else {
      InstallCompressed(name, source, destination);
    }
  }

  void InstallCopy(const std::string& base, const std::string& source, const std::string& destination) {
    const std::string from = FindNoCase(source, base + "_new");
    if (!platform::FileExists(from)) return;
    Log("Upd copying file : " + source + base + "_NEW to " + destination + base);
    if (ReplaceByCopy(from, FindNoCase(destination, base))) {
      platform::DeleteFile(from);
    } else {
      Log("Upd copy error " + source + base + "_NEW to " + destination + base);
    }
  }

  void InstallList(const std::string& name, const std::string& source, int depth) {
    Log("Upd inf file: " + source + name);
    if (depth >= kMaxListDepth) {
      Log("Upd inf files nested too deep: " + name);
      return;
    }
    const std::string path = FindNoCase(source, name);
    const platform::ProfileFile list(path);
    const std::int32_t count = list.ReadInteger("FILES", "COUNT", 0);
    for (std::int32_t i = 1; i <= count; ++i) {
      const std::string file = list.ReadString("FILES", "FILE" + std::to_string(i), "").substr(0, kListValueLimit);
      const std::string target = list.ReadString("FILES", "TARGET" + std::to_string(i), "").substr(0, kListValueLimit);
      Log("upd inf " + std::to_string(i) + " : " + file + " " + target);
      Install(file, source, ExpandTarget(target), depth + 1);
    }
    // Only the outermost list goes: one it names may be named again.
    if (depth == 0) platform::DeleteFile(path);
  }

  void InstallPatch(const std::string& name, const std::string& source, const std::string& destination) {
    const std::string patch = FindNoCase(source, name);
    const std::string patched =
        FindNoCase(destination, platform::Utf8String(platform::Utf8Path(name).replace_extension(".EXE")));
    const std::string command = logging_ ? "patcher.exe -v " + Quoted(patch) + " " + Quoted(patched) + " >>" +
                                               Quoted(logFile_)
                                         : "patcher.exe " + Quoted(patch) + " " + Quoted(patched);
    RunHidden(command);
    platform::DeleteFile(patch);
  }

  void InstallCompressed(const std::string& name, const std::string& source, const std::string& destination) {
    Log("Upd lzexpand " + name + " " + destination);
    const std::string path = FindNoCase(source, name);
    bool expandedWhole = false;
    {
      platform::LzFile file(path);
      const auto expanded = platform::GetExpandedName(file);
      if (!expanded) return;
      const std::string expandedName = platform::ExtractFileName(*expanded);
      Log("Upd lzexpand dest. filename " + expandedName);
      const std::string target = FindNoCase(destination, expandedName);
      expandedWhole = platform::LZCopy(file, target) == platform::LzStatus::kOk && target != path;
    }
    if (expandedWhole) platform::DeleteFile(path);
  }

  // A target folder with its one {MACRO}, ending in a separator.
  std::string ExpandTarget(const std::string& target) {
    std::string text = platform::ToSlashes(target);
    const auto open = text.find('{');
    const auto close = open == std::string::npos ? std::string::npos : text.find('}', open);
    if (close != std::string::npos) {
      const std::string macro = platform::AsciiUpper(text.substr(open + 1, close - open - 1));
      std::optional<std::string> folder;
      if (macro == "WIN") folder = platform::WindowsFolder();
      if (macro == "APP") folder = platform::CurrentFolder();
      if (macro == "SYS") folder = platform::SystemFolder();
      if (macro == "TMP") folder = platform::TempFolder();
      if (macro == "PF") {
        const auto key = platform::RegistryKey::Open(platform::Hive::LocalMachine,
                                                     "Software\\Microsoft\\Windows\\CurrentVersion");
        folder = key ? key->ReadString("ProgramFilesDir").value_or("") : std::string();
      }
      if (folder) {
        std::string inserted = platform::ToSlashes(*folder);
        // The macro's folder and the text after it meet at one separator.
        if (!inserted.empty() && inserted.back() == '/' && close + 1 < text.size() && text[close + 1] == '/') {
          inserted.pop_back();
        }
        if (!inserted.empty() && inserted.back() != '/' && close + 1 < text.size() && text[close + 1] != '/') {
          inserted += '/';
        }
        text.replace(open, close - open + 1, inserted);
      }
    }
    return platform::IncludeTrailingPathDelimiter(text.empty() ? "./" : text);
  }

  void RunHidden(const std::string& command) {
    const auto code = platform::StartAndWait(command, platform::WindowState::Hidden);
    if (code && *code != 0) platform::SetLastSystemError(*code + kExitCodeErrorBase);
  }

  const std::vector<std::string>& args_;
  std::string logFile_;
  bool logging_ = false;
};

}  // namespace

int RunSetup(const std::vector<std::string>& args) { return Setup(args).Run(); }

}  // namespace zephron::setup
