#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <mutex>

#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/special_folders.h"
#include "platform/win32_text.h"

#undef WinExec

namespace zephron::platform {
namespace {

using win32::Wide;

std::mutex gOpenerMutex;
TDocumentOpener gOpener;

WORD ShowCommand(WindowState window) { return window == WindowState::Hidden ? SW_HIDE : SW_SHOWNORMAL; }

// Starts the command line; the process's handle (the caller closes it), or
// nullptr with the system's error as the last error.
HANDLE Start(std::string_view commandLine, WindowState window, DWORD flags) {
  std::wstring line = Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = ShowCommand(window);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &process)) {
    SetLastSystemError(::GetLastError());
    return nullptr;
  }
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

}  // namespace

void WaitForProcessEnd(long pid) {
  if (pid <= 0) return;
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return;
  ::WaitForSingleObject(process, INFINITE);
  ::CloseHandle(process);
}

void DeleteOwnProgramFile(const std::string& path) {
  const std::wstring file = win32::WidePath(path);
  if (::DeleteFileW(file.c_str())) return;
  // A running program's file cannot go: a hidden command interpreter
  // deletes it once this program has ended, trying for some seconds.
  std::wstring command = L"cmd.exe /d /q /c for /l %i in (1,1,30) do (del /f /q \"" + file +
                         L"\" 2>nul & if exist \"" + file + L"\" (ping -n 2 127.0.0.1 >nul) else exit)";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS,
                       nullptr, nullptr, &startup, &info)) {
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
  }
}

void PrependToSearchPath(const std::string& folder) {
  const DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
  std::wstring path(size, L'\0');
  path.resize(size > 0 ? ::GetEnvironmentVariableW(L"PATH", path.data(), size) : 0);
  std::wstring value = win32::WidePath(folder);
  if (!path.empty()) value += L";" + path;
  // The process's environment, which children get, and the C library's copy.
  ::SetEnvironmentVariableW(L"PATH", value.c_str());
  ::_wputenv_s(L"PATH", value.c_str());
}

std::optional<std::string> FindProgram(std::string_view name) {
  // The order the loader looks in: the program's own folder, the current
  // folder, then PATH.
  std::wstring path = win32::WidePath(ProgramFolder()) + L";.";
  if (const DWORD length = ::GetEnvironmentVariableW(L"PATH", nullptr, 0)) {
    std::wstring variable(length, L'\0');
    variable.resize(::GetEnvironmentVariableW(L"PATH", variable.data(), length));
    path += L';' + variable;
  }
  wchar_t found[MAX_PATH + 1] = {};
  const DWORD length = ::SearchPathW(path.c_str(), win32::WidePath(name).c_str(), L".exe", MAX_PATH + 1, found, nullptr);
  if (length == 0 || length > MAX_PATH) return std::nullopt;
  const DWORD attributes = ::GetFileAttributesW(found);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  return win32::NarrowPath(found);
}

std::optional<std::uint32_t> StartAndWait(std::string_view commandLine, WindowState window) {
  HANDLE process = Start(commandLine, window, 0);
  if (!process) return std::nullopt;
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const bool known = ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  if (!known) {
    SetLastSystemError(::GetLastError());
    return std::nullopt;
  }
  return code;
}

// WinExec itself takes the command line in the ANSI code page, which cannot
// hold every name a UTF-8 text can; CreateProcessW starts the same program
// detached, with WinExec's results.
std::uint32_t WinExec(std::string_view commandLine, WindowState window) {
  HANDLE process = Start(commandLine, window, CREATE_NEW_PROCESS_GROUP);
  if (!process) {
    const std::uint32_t error = LastSystemError().code;
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 2 : error == ERROR_ACCESS_DENIED ? 5 : 0;
  }
  ::CloseHandle(process);
  return 33;
}

std::intptr_t ShellExecuteOpen(std::string_view file, std::string_view parameters, WindowState window) {
  const std::wstring wideFile = Wide(file);
  const std::wstring wideParameters = Wide(parameters);
  return reinterpret_cast<std::intptr_t>(::ShellExecuteW(nullptr, L"open", wideFile.c_str(),
                                                         parameters.empty() ? nullptr : wideParameters.c_str(),
                                                         nullptr, ShowCommand(window)));
}

void SetDocumentOpener(TDocumentOpener opener) {
  std::lock_guard lock(gOpenerMutex);
  gOpener = std::move(opener);
}

bool OpenDocument(const std::string& target) {
  TDocumentOpener opener;
  {
    std::lock_guard lock(gOpenerMutex);
    opener = gOpener;
  }
  if (opener) return opener(target);
  return ShellExecuteOpen(target, {}, WindowState::ShownNormally) > 32;
}

}  // namespace zephron::platform
