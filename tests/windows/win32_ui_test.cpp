// The Win32 windows under Wine on the run's Xvfb display: dialog results from
// pressed buttons, the main window's layout, and RTF shown by the RichEdit.
#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/windows/win32_ui_support.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_dialogs.h"
#include "ui/win32/win32_main_thread.h"

namespace zephron::test {
namespace {

using namespace ui;
using namespace ui::win32;

// A control's place in its parent's client area as "left,top widthxheight".
std::string Rect(int left, int top, int width, int height) {
  return std::to_string(left) + "," + std::to_string(top) + " " + std::to_string(width) + "x" + std::to_string(height);
}
std::string Place(HWND control) {
  const RECT r = ChildRect(control);
  return Rect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}
SIZE ClientSize(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return SIZE{client.right, client.bottom};
}

TEST(Win32DialogsTest, MessageBoxesAnswerWithThePressedButton) {
  Win32Dialogs dialogs;
  ClickWhenShown("Corvexis Zephron", IDYES);
  EXPECT_EQ(dialogs.MessageBox("Replace?", MessageKind::Confirmation, MessageButtons::YesNo), DialogResult::Yes);
  ClickWhenShown("Corvexis Zephron", IDNO);
  EXPECT_EQ(dialogs.MessageBox("Replace?", MessageKind::Confirmation, MessageButtons::YesNo), DialogResult::No);
  ClickWhenShown("Busy", IDCANCEL);
  EXPECT_EQ(dialogs.MessageBox("In use", MessageKind::Warning, MessageButtons::RetryCancel, "Busy"),
            DialogResult::Cancel);
  ClickWhenShown("Busy", IDRETRY);
  EXPECT_EQ(dialogs.MessageBox("In use", MessageKind::Error, MessageButtons::RetryCancel, "Busy"),
            DialogResult::Retry);
  EXPECT_EQ(PendingActions(), 0);
}

TEST(Win32DialogsTest, LoginGivesTheTypedValuesOnOkAndLeavesThemOnCancel) {
  Win32Dialogs dialogs;
  WhenShown("Server login", [](HWND form) {
    EXPECT_EQ(ClientSize(form).cx, 320);
    EXPECT_EQ(ClientSize(form).cy, 189);
    EXPECT_EQ(Place(GetDlgItem(form, kUserEdit)), Rect(104, 80, 193, 21));
    EXPECT_EQ(Place(GetDlgItem(form, IDOK)), Rect(144, 152, 75, 25));
    EXPECT_EQ(SendMessageW(GetDlgItem(form, kPasswordEdit), EM_GETPASSWORDCHAR, 0, 0), L'*');
    SetWindowTextW(GetDlgItem(form, kUserEdit), L"m\u00fcller");
    SetWindowTextW(GetDlgItem(form, kPasswordEdit), L"s3cret");
    PostMessageW(GetDlgItem(form, IDOK), BM_CLICK, 0, 0);
  });
  std::string user = "old", password = "old";
  EXPECT_TRUE(dialogs.LoginDialog("Server login", user, password));
  EXPECT_EQ(user, "m\xc3\xbcller");
  EXPECT_EQ(password, "s3cret");

  WhenShown("Server login", [](HWND form) {
    SetWindowTextW(GetDlgItem(form, kUserEdit), L"other");
    PostMessageW(form, WM_CLOSE, 0, 0);  // the close box
  });
  EXPECT_FALSE(dialogs.LoginDialog("Server login", user, password));
  EXPECT_EQ(user, "m\xc3\xbcller");
}

TEST(Win32DialogsTest, WhatsNewAcceptsOnlyWithItsAcceptingButton) {
  Win32Dialogs dialogs;
  const WhatsNewDialogSpec content{"What's new", {"Faster downloads.", false}, "Install", "Later"};
  ClickWhenShown("What's new", IDOK);
  EXPECT_TRUE(dialogs.WhatsNewDialog(content));
  ClickWhenShown("What's new", IDCANCEL);
  EXPECT_FALSE(dialogs.WhatsNewDialog(content));
  WhenShown("What's new", [](HWND form) { PostMessageW(form, WM_CLOSE, 0, 0); });
  EXPECT_FALSE(dialogs.WhatsNewDialog(content));
}

TEST(Win32DialogsTest, AgreementAnswersWithTheChoiceSelectedAsItCloses) {
  Win32Dialogs dialogs;
  const AgreementDialogSpec content{"Licence", {"Terms.", false}, "Close", "I accept", "I do not accept"};
  WhenShown("Licence", [](HWND form) {
    EXPECT_EQ(IsDlgButtonChecked(form, kNotAcceptChoice), BST_CHECKED);
    SendMessageW(GetDlgItem(form, kAcceptChoice), BM_CLICK, 0, 0);
    PostMessageW(form, WM_CLOSE, 0, 0);
  });
  EXPECT_TRUE(dialogs.AgreementDialog(content));
  ClickWhenShown("Licence", IDOK);
  EXPECT_FALSE(dialogs.AgreementDialog(content));
}

TEST(Win32DialogsTest, RichEditShowsRtfFormattedAndPlainTextAsIs) {
  Win32Dialogs dialogs;
  const std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}Tessel Server \\b Downloads\\b0  resume\\par}";
  WhenShown("Rich", [](HWND form) {
    HWND text = GetDlgItem(form, kText);
    EXPECT_EQ(Place(text), Rect(10, 10, 380, 340));
    EXPECT_EQ(WindowText(text).rfind("Tessel Server Downloads resume", 0), 0u) << WindowText(text);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(text, EM_SETSEL, 14, 23);  // "Downloads"
    SendMessageW(text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_TRUE((format.dwMask & CFM_BOLD) && (format.dwEffects & CFE_BOLD));
    SendMessageW(text, EM_SETSEL, 0, 6);
    SendMessageW(text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_FALSE(format.dwEffects & CFE_BOLD);
    PostMessageW(form, WM_CLOSE, 0, 0);
  });
  dialogs.WhatsNewDialog({"Rich", {rtf, true}, "Ok", "Cancel"});
  WhenShown("Plain", [&rtf](HWND form) {
    EXPECT_EQ(WindowText(GetDlgItem(form, kText)), rtf);
    PostMessageW(form, WM_CLOSE, 0, 0);
  });
  dialogs.WhatsNewDialog({"Plain", {rtf, false}, "Ok", "Cancel"});
  EXPECT_EQ(PendingActions(), 0);
}

TEST(Win32DialogsTest, HtmlPageGoesToTheBrowserWithoutMshtml) {
  std::string opened;
  platform::SetDocumentOpener([&opened](const std::string& target) {
    opened = target;
    return true;
  });
  Win32Dialogs().HtmlDialog("C:/docs/readme.html");
  platform::SetDocumentOpener(nullptr);
  EXPECT_EQ(opened, "C:/docs/readme.html");
}

TEST(Win32MainWindowTest, ControlsSitWhereTheQtWindowHasThem) {
  Win32MainWindow window;
  window.quitOnClose = false;
  window.Show();
  EXPECT_EQ(ClientSize(window.Handle()).cx, 563);
  EXPECT_EQ(ClientSize(window.Handle()).cy, 298);
  const int tops[] = {56, 88, 23, 120, 152};  // by catalogue row
  for (int row = 0; row < 5; ++row) {
    EXPECT_EQ(Place(window.Panel(row)->Handle()), Rect(31, tops[row], 500, row == 2 ? 26 : 25)) << row;
  }
  EXPECT_EQ(Place(window.Control(Win32MainWindow::kCheckId)), Rect(216, 223, 113, 28));
  EXPECT_EQ(Place(window.Control(Win32MainWindow::kGetUpdatesId)), Rect(336, 223, 97, 28));
  EXPECT_EQ(Place(window.Control(Win32MainWindow::kCloseId)), Rect(440, 223, 89, 28));
  EXPECT_EQ(Place(window.Control(Win32MainWindow::kStatusId)), Rect(0, 263, 563, 19));
  EXPECT_EQ(Place(window.Control(Win32MainWindow::kProgressId)), Rect(0, 282, 563, 16));
  EXPECT_FALSE(window.ProgressVisible());
  EXPECT_FALSE(IsWindowEnabled(window.Control(Win32MainWindow::kGetUpdatesId)));
  window.SetProgressVisible(true);
  EXPECT_TRUE(window.ProgressVisible());
}

TEST(Win32MainWindowTest, PanelPaintsItsRowAsAGradientInsideTheBevel) {
  Win32MainWindow window;
  window.ShowProductRow(0, {"TesselServer", "Tessel Server: 1.0.0.0", 0xFFFFFF, 0xFFFF00});
  HWND panel = window.Panel(0)->Handle();
  EXPECT_EQ(WindowText(panel), "Tessel Server: 1.0.0.0");
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 500, 25);
  HGDIOBJ old = SelectObject(memory, bitmap);
  SendMessageW(panel, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
  const COLORREF bevel = GetPixel(memory, 0, 0), left = GetPixel(memory, 4, 20), right = GetPixel(memory, 495, 20);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(bevel, RGB(128, 128, 128));
  EXPECT_GE(GetRValue(left), 240) << "white at the left";
  EXPECT_LE(GetRValue(right), 16) << "aqua (0xFFFF00, red in the low byte) at the right";
  EXPECT_GE(GetBValue(right), 240);
}

TEST(Win32MainWindowTest, AFailingHandlerLeavesTheWindowUsableAndSaysWhy) {
  Win32MainWindow window;
  window.quitOnClose = false;
  window.onCheck = [&window] {
    window.SetCheckEnabled(false);
    window.SetBusyCursor(true);
    window.SetProgressVisible(true);
    throw std::runtime_error("Catalogue unreadable");
  };
  window.Show();
  ClickWhenShown("Corvexis Zephron", IDOK);
  SendMessageW(window.Control(Win32MainWindow::kCheckId), BM_CLICK, 0, 0);
  EXPECT_EQ(PendingActions(), 0) << "the message box was shown";
  EXPECT_EQ(WindowText(window.Control(Win32MainWindow::kStatusId)), "Catalogue unreadable");
  EXPECT_TRUE(IsWindowEnabled(window.Control(Win32MainWindow::kCheckId)));
  EXPECT_FALSE(window.IsBusyCursor());
  EXPECT_FALSE(window.ProgressVisible());
}

TEST(Win32MainThreadTest, WorkPostedFromAWorkerRunsInTheLoopUntilQuit) {
  Win32MainThread mainThread;
  const DWORD loopThread = GetCurrentThreadId();
  DWORD ranOn = 0;
  std::thread worker([&] {
    mainThread.Post([&] { ranOn = GetCurrentThreadId(); });
    mainThread.Quit();
  });
  EXPECT_EQ(RunMessageLoop(), 0);
  worker.join();
  EXPECT_EQ(ranOn, loopThread);
}

}  // namespace
}  // namespace zephron::test
