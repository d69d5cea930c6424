// zephron.exe under Wine on the run's Xvfb display: its window shows, a
// second updater ends at once, the window opens where it was when it last
// closed (the place file in the user's application-data folder), and a
// fatal fault brings the program back as the bug report window.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <deque>
#include <filesystem>
#include <string>

#include "bugreport/win32/form_exception.h"
#include "platform/win32_text.h"
#include "tests/support/sandbox.h"
#include "xml/xml_document.h"

namespace zephron::test {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kWaitMs = 60000;

// The text of a control of another process: GetWindowTextW would give only
// the text it was made with, WM_GETTEXT gives what it shows.
std::string ControlText(HWND control) {
  std::wstring text(65536, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      kWaitMs, &copied);
  text.resize(static_cast<std::size_t>(copied));
  return platform::win32::Narrow(text);
}

// The name of the program a process runs ("" when it cannot be asked).
std::wstring ProgramName(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return {};
  wchar_t image[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  const bool named = QueryFullProcessImageNameW(process, 0, image, &size) != FALSE;
  CloseHandle(process);
  return named ? fs::path(image).filename().wstring() : std::wstring();
}

// The first visible top-level window of a zephron.exe with this class or
// caption (other test programs on the display show theirs), once one shows;
// null after a minute, or as soon as `running` ends. A window found as it
// is made is complete once it shows.
HWND ShownWindow(const wchar_t* className, const wchar_t* caption, HANDLE running = nullptr) {
  struct Search {
    const wchar_t* className;
    const wchar_t* caption;
    HWND found = nullptr;
  } search{className, caption};
  const auto match = [](HWND window, LPARAM data) -> BOOL {
    auto* search = reinterpret_cast<Search*>(data);
    wchar_t text[64] = {};
    if (search->className) GetClassNameW(window, text, 64);
    if (search->caption) GetWindowTextW(window, text, 64);
    if (std::wstring(text) != (search->className ? search->className : search->caption) || !IsWindowVisible(window)) {
      return TRUE;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (ProgramName(owner) != L"zephron.exe") return TRUE;
    search->found = window;
    return FALSE;
  };
  for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
    EnumWindows(match, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (running ? WaitForSingleObject(running, 50) == WAIT_OBJECT_0 : (Sleep(50), false)) return nullptr;
  }
  return nullptr;
}

class Win32App : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);
    placeFile = fs::path(appData) / "Corvexis/zephron_window.xml";
    std::error_code ignored;
    fs::remove(placeFile, ignored);
  }
  void TearDown() override {
    for (PROCESS_INFORMATION& process : started) {
      if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 9);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
    std::error_code ignored;
    fs::remove(placeFile, ignored);
  }

  PROCESS_INFORMATION& Start(const std::wstring& arguments = L"") {
    const fs::path program = BuildDir() / "app/window/zephron.exe";
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        program.parent_path().c_str(), &startup, &process)) {
      ADD_FAILURE() << "cannot start " << program;
    }
    started.push_back(process);
    return started.back();
  }
  // The process's main window once it shows; null when it does not within a minute.
  static HWND MainWindow(const PROCESS_INFORMATION& process) {
    return ShownWindow(L"ZephronMainWindow", nullptr, process.hProcess);
  }
  // The exit code; 259 (still active) when the process did not end within a minute.
  static DWORD ExitCode(const PROCESS_INFORMATION& process) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, kWaitMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    return code;
  }
  static RECT Frame(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    return frame;
  }

  fs::path placeFile;
  std::deque<PROCESS_INFORMATION> started;  // references stay valid as it grows
};

TEST_F(Win32App, ShowsItsWindowKeepsOutASecondUpdaterAndOpensWhereItWasClosed) {
  const PROCESS_INFORMATION& first = Start();
  HWND window = MainWindow(first);
  ASSERT_NE(window, nullptr) << "no main window";
  wchar_t caption[128] = {};
  GetWindowTextW(window, caption, 128);
  EXPECT_EQ(platform::win32::Narrow(caption), "Corvexis Zephron 1.0.0");
  EXPECT_EQ(ExitCode(Start()), 0u) << "a second updater ends at once";
  EXPECT_TRUE(IsWindow(window)) << "the first updater goes on";

  const RECT centred = Frame(window);
  ASSERT_NE(centred.left, 37) << "the window must move for the test to tell";
  SetWindowPos(window, nullptr, 37, 41, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(ExitCode(first), 0u);

  TxmlDocument stored;
  stored.LoadAuto(platform::win32::NarrowPath(placeFile.wstring()));
  TxmlNode* element = stored.Root()->NodeByName("formMain", false);
  ASSERT_NE(element, nullptr) << ReadFile(placeFile);
  EXPECT_EQ(element->SubNodeIntValue("Left"), 37);
  EXPECT_EQ(element->SubNodeIntValue("Top"), 41);
  EXPECT_EQ(element->SubNodeIntValue("Width"), centred.right - centred.left);
  EXPECT_EQ(element->SubNodeIntValue("Height"), centred.bottom - centred.top);

  const PROCESS_INFORMATION& second = Start();
  window = MainWindow(second);
  ASSERT_NE(window, nullptr) << "no main window";
  const RECT restored = Frame(window);
  EXPECT_EQ(restored.left, 37);
  EXPECT_EQ(restored.top, 41);
  EXPECT_EQ(restored.right - restored.left, centred.right - centred.left);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(ExitCode(second), 0u);
}

TEST_F(Win32App, AFatalFaultBringsTheProgramBackAsTheBugReportWindow) {
  // Debug mode writes its log into the folder "Corvexis", which must exist.
  fs::create_directories(placeFile.parent_path());
  _wputenv_s(L"ZEPHRON_TEST_FAULT", L"segv");
  const PROCESS_INFORMATION& faulting = Start(L"qzkr5127");
  _wputenv_s(L"ZEPHRON_TEST_FAULT", L"");
  EXPECT_NE(ExitCode(faulting), 0u) << "the program ends with its fault";
  HWND report = ShownWindow(nullptr, L"Bug Report");
  ASSERT_NE(report, nullptr) << "no bug report window";
  const std::string contents = ControlText(GetDlgItem(report, bugreport::win32::TformException::kContents));
  EXPECT_NE(contents.find("ACCESS_VIOLATION"), std::string::npos) << contents;
  DWORD reporterId = 0;
  GetWindowThreadProcessId(report, &reporterId);
  HANDLE reporter = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, reporterId);
  ASSERT_NE(reporter, nullptr);
  PostMessageW(GetDlgItem(report, bugreport::win32::TformException::kContinue), BM_CLICK, 0, 0);
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(reporter, kWaitMs) == WAIT_OBJECT_0) GetExitCodeProcess(reporter, &code);
  CloseHandle(reporter);
  EXPECT_EQ(code, 0u) << "the reporter ends once the window closes";
}

}  // namespace
}  // namespace zephron::test
