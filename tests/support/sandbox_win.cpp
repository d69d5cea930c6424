// The test sandbox of the Windows build: the same folders and helpers as on
// Linux, on the Win32 calls.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/win32_text.h"
#include "tests/support/sandbox.h"

namespace zephron::test {
namespace fs = std::filesystem;

namespace {

void PutEnv(const std::string& name, const std::optional<std::string>& value) {
  // _putenv_s keeps the C library's copy (getenv) and the process's in step.
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

// Where the sandboxes' own user keys live, in the real HKEY_CURRENT_USER.
std::wstring UserKeyOf(const fs::path& root) { return L"Software\\ZephronTestSandboxes\\" + root.filename().wstring(); }

void SetString(HKEY key, const wchar_t* name, const fs::path& value) {
  std::wstring text = value.wstring();
  for (auto& c : text) c = c == L'/' ? L'\\' : c;
  ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

Sandbox::Sandbox() {
  std::random_device random;
  for (int attempt = 0; root_.empty(); ++attempt) {
    const fs::path candidate = fs::temp_directory_path() / ("zephron-test-" + std::to_string(random()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) root_ = candidate;
    if (attempt > 100) throw std::runtime_error("cannot make a sandbox folder");
  }
  for (const auto& dir : {registryDir(), documents(), appData(), localAppData(), temp()}) fs::create_directories(dir);
  previousCwd_ = fs::current_path();
  SetEnv("ZEPHRON_REGISTRY_DIR", registryDir().string());
  SetEnv("TMP", temp().string());
  SetEnv("TEMP", temp().string());
  // This process's HKEY_CURRENT_USER is a fresh key of the sandbox's own
  // while it lives, so that no test sees what another one stored, and the
  // user's shell folders there are the sandbox's, as the Linux sandbox has
  // them.
  HKEY user = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, UserKeyOf(root_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user,
                        nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot make the sandbox's user key");
  }
  const LSTATUS overridden = ::RegOverridePredefKey(HKEY_CURRENT_USER, user);
  ::RegCloseKey(user);
  if (overridden != ERROR_SUCCESS) throw std::runtime_error("cannot put the sandbox's user key in place");
  HKEY folders = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                        0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &folders, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot write the sandbox's shell folders");
  }
  SetString(folders, L"Personal", documents());
  SetString(folders, L"AppData", appData());
  SetString(folders, L"Local AppData", localAppData());
  ::RegCloseKey(folders);
}

Sandbox::~Sandbox() {
  std::error_code ec;
  fs::current_path(previousCwd_, ec);
  for (const auto& [name, value] : saved_) PutEnv(name, value);
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, UserKeyOf(root_).c_str());
  fs::remove_all(root_, ec);
}

void Sandbox::SetEnv(const std::string& name, const std::optional<std::string>& value) {
  if (!saved_.contains(name)) {
    const char* old = std::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  PutEnv(name, value);
}

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& input) {
  ProcessResult result;
  std::wstring commandLine;
  for (const auto& argument : argv) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += L'"' + platform::win32::Wide(argument) + L'"';
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
  if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return result;
  if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) {
    ::CloseHandle(outRead);
    ::CloseHandle(outWrite);
    return result;
  }
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = outWrite;
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
  ::CloseHandle(outWrite);
  ::CloseHandle(inRead);
  if (started) {
    DWORD written = 0;
    if (!input.empty()) ::WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  }
  ::CloseHandle(inWrite);
  if (!started) {
    ::CloseHandle(outRead);
    return result;
  }
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(outRead, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
  ::CloseHandle(outRead);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  if (::GetExitCodeProcess(process.hProcess, &code)) result.exitCode = static_cast<int>(code);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(process.hThread);
  return result;
}

// Windows has no root who may read and write everything, so the check runs as it is.
std::string AsUnprivilegedUser(const Sandbox&, const std::vector<fs::path>&, const std::function<std::string()>& check) {
  return check();
}

}  // namespace zephron::test
