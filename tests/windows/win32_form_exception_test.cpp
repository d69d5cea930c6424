// The Win32 bug report window under Wine on the run's Xvfb display, as the
// Qt window's tests check it: the countdown, the mouse, the permission boxes
// and their memory within a run, the request with the screenshot of the
// program's windows, and sending it to the fixture's HTTP helper.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bugreport/report_store.h"
#include "bugreport/win32/form_exception.h"
#include "bugreport/win32/reporting_window.h"
#include "platform/registry.h"
#include "tests/bugreport/sample_report.h"
#include "tests/support/sandbox.h"
#include "tests/support/servers.h"
#include "tests/windows/win32_ui_support.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_form.h"
#include "xml/xml_document.h"

namespace zephron::bugreport::win32 {
namespace {

namespace fs = std::filesystem;
using test::SampleReport;
using ui::win32::WindowText;
using Form = TformException;

constexpr const char* kServerKey = "Software\\Corvexis\\Zephron";

std::string StatusText(HWND form) {
  wchar_t text[256] = {};
  SendMessageW(GetDlgItem(form, Form::kStatusBar), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  return ui::win32::Utf8Text(text);
}

// The text of a message box: its static control with text (the icon's has none).
BOOL CALLBACK FindText(HWND child, LPARAM data) {
  wchar_t name[16] = {};
  GetClassNameW(child, name, 16);
  if (lstrcmpiW(name, L"Static") != 0 || GetWindowTextLengthW(child) == 0) return TRUE;
  *reinterpret_cast<std::string*>(data) = WindowText(child);
  return FALSE;
}
std::string MessageBoxText(HWND box) {
  std::string text;
  EnumChildWindows(box, &FindText, reinterpret_cast<LPARAM>(&text));
  return text;
}

bool Checked(HWND form, int id) { return IsDlgButtonChecked(form, id) == BST_CHECKED; }
void Click(HWND form, int id) { SendMessageW(GetDlgItem(form, id), BM_CLICK, 0, 0); }

class Win32FormException : public ::testing::Test {
 protected:
  void SetUp() override {
    RememberedAllowReport() = false;
    RememberedAllowScreenshot() = false;
  }

  // A window for the report as ShowReportDialog prepares it, made but not shown.
  HWND Prepare(Form& form, const TExceptionReportPtr& report, const std::string& replacement = {}) {
    form.exceptIntf = report;
    form.ReplacementReport = replacement;
    form.Contents = report->GetBugReport();
    return form.Create(nullptr);
  }

  // Confirms the next message box and keeps its text.
  void CollectMessage() {
    test::WhenShown("Corvexis Zephron", [this](HWND box) {
      messages.push_back(MessageBoxText(box));
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
  }

  test::Sandbox sandbox;
  std::vector<std::string> messages;
};

TEST_F(Win32FormException, CountdownClicksContinueAtTheTwentiethTickAndSendsNothingByDefault) {
  int shown = 0;
  test::WhenShown("Bug Report", [&shown](HWND form) {
    ++shown;
    EXPECT_EQ(WindowText(GetDlgItem(form, Form::kContents)), "Exception std::runtime_error: Boom");
    EXPECT_EQ(WindowText(GetDlgItem(form, Form::kResuming)), "");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(form, Form::kScreenshotGroup)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form, Form::kAllowScreenshot)));
    RECT frame{};
    GetWindowRect(form, &frame);
    EXPECT_GE(frame.right - frame.left, Form::kMinWidth);
    EXPECT_GE(frame.bottom - frame.top, Form::kMinHeight);
    SendMessageW(form, WM_TIMER, 1, 0);
    EXPECT_EQ(WindowText(GetDlgItem(form, Form::kResuming)), "Resuming in 20 seconds");
    for (int tick = 2; tick <= 19; ++tick) SendMessageW(form, WM_TIMER, 1, 0);
    EXPECT_EQ(WindowText(GetDlgItem(form, Form::kResuming)), "Resuming in 2 seconds");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, Form::kContinue)));
    SendMessageW(form, WM_TIMER, 1, 0);
    EXPECT_EQ(WindowText(GetDlgItem(form, Form::kResuming)), "Resuming in 1 seconds");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form, Form::kContinue))) << "Continue was clicked";
    EXPECT_EQ(StatusText(form), "") << "nothing is sent without permission";
  });
  // The Wine prefix keeps the user's folders from run to run.
  std::error_code ignored;
  fs::remove_all(BugReportFolder(), ignored);
  bool handled = false;
  ShowReportDialog(SampleReport(false), handled, "");
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(handled);
  // The report was saved as the capture asks.
  ASSERT_TRUE(fs::is_directory(BugReportFolder()));
  const auto saved = fs::directory_iterator(BugReportFolder())->path();
  EXPECT_EQ(test::ReadFile(saved), "Exception std::runtime_error: Boom");
}

TEST_F(Win32FormException, MouseOverTheReportStopsTheCountdownButNotOverShutdown) {
  Form form;
  HWND window = Prepare(form, SampleReport(true));
  ShowWindow(window, SW_SHOW);
  form.timResumeTimer();
  SendMessageW(GetDlgItem(window, Form::kShutdown), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_TRUE(form.TimerActive());
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, Form::kResuming)));
  SendMessageW(GetDlgItem(window, Form::kContents), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_FALSE(form.TimerActive());
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, Form::kResuming)));
}

TEST_F(Win32FormException, ScreenshotBoxFollowsTheReportBox) {
  Form form;
  HWND window = Prepare(form, SampleReport(true));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, Form::kAllowScreenshot)));
  Click(window, Form::kAllowReport);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, Form::kAllowScreenshot)));
  Click(window, Form::kAllowScreenshot);
  Click(window, Form::kAllowReport);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, Form::kAllowScreenshot)));
  EXPECT_FALSE(Checked(window, Form::kAllowScreenshot));
  Click(window, Form::kAllowReport);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, Form::kAllowScreenshot)));
  EXPECT_FALSE(Checked(window, Form::kAllowScreenshot));
}

TEST_F(Win32FormException, DraggingTheSplitterMovesTheScreenshotsSideWithinTheWindow) {
  Form form;
  HWND window = Prepare(form, SampleReport(true));
  ShowWindow(window, SW_SHOW);
  const auto drag = [window](int from, int to) {
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from, 10));
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to, 10));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(to, 10));
  };
  const auto screenshotLeft = [window] { return ui::win32::ChildRect(GetDlgItem(window, Form::kScreenshotGroup)).left; };
  const int start = screenshotLeft();
  EXPECT_EQ(start, Form::kLeftWidth + 3);
  drag(Form::kLeftWidth + 1, 401);
  EXPECT_EQ(screenshotLeft(), 403);
  EXPECT_EQ(ui::win32::ChildRect(GetDlgItem(window, Form::kContentsGroup)).right, 400);
  // A press beside the splitter drags nothing; a drag past the edge stops short of it.
  drag(200, 100);
  EXPECT_EQ(screenshotLeft(), 403);
  drag(401, -500);
  EXPECT_EQ(ui::win32::ChildRect(GetDlgItem(window, Form::kContentsGroup)).right, 60);
}

TEST_F(Win32FormException, ChoicesOfOneReportStartTheNextAndTheReportReachesTheRegistryServer) {
  test::ScriptHttpServer server;
  // Only this case names a server in the registry; the others run beside it.
  struct RemoveKey {
    ~RemoveKey() { platform::DeleteKey(platform::Hive::LocalMachine, kServerKey); }
  } removeKey;
  auto key = platform::RegistryKey::Create(platform::Hive::LocalMachine, kServerKey);
  ASSERT_TRUE(key && key->WriteString("BugReportURL", server.Url("")));
  std::vector<std::pair<bool, bool>> initial;
  const auto answer = [&initial](HWND form) {
    initial.emplace_back(Checked(form, Form::kAllowReport), Checked(form, Form::kAllowScreenshot));
    if (!Checked(form, Form::kAllowReport)) {
      Click(form, Form::kAllowReport);
      Click(form, Form::kAllowScreenshot);
    }
    // A delivery failure would show its message box inside this click.
    Click(form, Form::kContinue);
    EXPECT_EQ(StatusText(form), "Sending bug report");
  };
  test::WhenShown("Bug Report", answer);
  test::WhenShown("Bug Report", answer);
  bool handled = false;
  ShowReportDialog(SampleReport(true), handled, "");
  ShowReportDialog(SampleReport(true), handled, "");
  EXPECT_EQ(initial, (std::vector<std::pair<bool, bool>>{{false, false}, {true, true}}));
  EXPECT_TRUE(RememberedAllowReport());
  EXPECT_TRUE(RememberedAllowScreenshot());
}

TEST_F(Win32FormException, RequestCarriesTheScreenshotOfTheProgramsWindowsAndTheComment) {
  ui::win32::Win32MainWindow mainWindow;
  mainWindow.quitOnClose = false;
  mainWindow.Show();
  const std::optional<TScreenshot> screenshot = TakeWindowScreenshot();
  ASSERT_TRUE(screenshot);
  RECT frame{};
  GetWindowRect(mainWindow.Handle(), &frame);
  EXPECT_EQ(screenshot->Width(), frame.right - frame.left);
  EXPECT_EQ(screenshot->Height(), frame.bottom - frame.top);

  Form form;
  HWND window = Prepare(form, SampleReport(true, *screenshot));
  ShowWindow(window, SW_SHOW);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, Form::kScreenshotGroup)));
  EXPECT_NE(GetWindowLongPtrW(GetDlgItem(window, Form::kScrollBox), GWLP_USERDATA), 0) << "the picture was read";
  EXPECT_FALSE(TakeWindowScreenshot()->Width() > screenshot->Width()) << "the report window stays out of it";
  SetWindowTextW(GetDlgItem(window, Form::kComment), L"it broke\r\nafter lunch");
  Click(window, Form::kAllowReport);
  Click(window, Form::kAllowScreenshot);
  const std::unique_ptr<TxmlDocument> request = form.BuildReportRequest();
  const std::string sent = request->NodeByPath("Request/Config/screenshot", false)->Value();
  EXPECT_TRUE(sent.starts_with("iVBORw0KGgo")) << "a PNG file in Base64: " << sent.substr(0, 16);
  EXPECT_EQ(request->NodeByPath("Request/Config/comment", false)->Value(), "it broke\r\nafter lunch");
  for (const auto& entry : fs::directory_iterator(sandbox.temp())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("screenshot")) << "left behind: " << entry.path();
  }
}

TEST_F(Win32FormException, DeliveryFailureShowsTheStatusTextAndTheWindowStillCloses) {
  test::ScriptHttpServer server;
  for (const std::string& url : {server.Url("/fail500"), "http://127.0.0.1:" + std::to_string(test::FreePort())}) {
    Form form;
    HWND window = Prepare(form, SampleReport(false));
    Click(window, Form::kAllowReport);
    form.ServerURL = url;
    CollectMessage();
    Click(window, Form::kContinue);
    EXPECT_EQ(form.ModalResult, IDOK);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, Form::kContinue)));
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"Bug report delivery failed\n\n500 Internal Server Error",
                                                "Bug report delivery failed\n\n"}));
}

}  // namespace
}  // namespace zephron::bugreport::win32
