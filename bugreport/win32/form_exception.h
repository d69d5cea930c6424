// The "Bug Report" window on Win32, the counterpart of the Qt window
// (bugreport/qt/form_exception.h) with the same texts, controls and rules:
// it shows a failure's report and screenshot, takes the user's comment and
// permissions, counts down to continuing by itself unless the mouse moves
// over the report, and sends the report as an XML request to the
// bug-report server. The permissions are remembered for the rest of the run.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "bugreport/exception_report.h"
#include "bugreport/report_request.h"
#include "ui/win32/win32_form.h"

namespace zephron {
class TxmlDocument;
}

namespace zephron::bugreport::win32 {

class TformException : public ui::win32::Form {
 public:
  // Control ids, for the window and its tests.
  enum : int {
    kContentsGroup = 301,
    kContents = 302,
    kCommentGroup = 303,
    kComment = 304,
    kSplitter = 305,
    kScreenshotGroup = 306,
    kScrollBox = 307,
    kExplanation = 308,
    kAllowReport = 309,
    kAllowScreenshot = 310,
    kResuming = 311,
    kContinue = 312,
    kShutdown = 313,
    kStatusBar = 314,
  };
  static constexpr int kWidth = 784;
  static constexpr int kHeight = 438;
  static constexpr int kMinWidth = 728;
  static constexpr int kMinHeight = 476;
  // The report's side, until the splitter is dragged.
  static constexpr int kLeftWidth = 572;

  TformException();
  ~TformException() override;

  // What the window shows when it is made (Create or RunModal).
  std::string Contents;
  bool InitialAllowReport = false;
  bool InitialAllowScreenshot = false;

  // Seconds left before the window continues by itself.
  int ResumeIn = kResumeSeconds;
  // A report text that replaces the report's own (no screenshot then).
  std::string ReplacementReport;
  TExceptionReportPtr exceptIntf;
  // Where "Continue" sends the report; the registry's choice by default.
  std::string ServerURL;
  // IDOK once "Continue" has run; 0 before.
  INT_PTR ModalResult = 0;
  // The permission boxes as the window closed.
  bool FinalAllowReport = false;
  bool FinalAllowScreenshot = false;

  void timResumeTimer();
  void eContentsMouseMove();
  void cbAllowReportClick();
  void UpdateScreenshotOption();
  std::unique_ptr<TxmlDocument> BuildReportRequest();
  void bContinueClick();
  [[noreturn]] void bShutdownClick();

  bool TimerActive() const { return timerActive_; }
  bool Checked(int id) const;
  // The minimum frame size the window keeps to.
  SIZE MinimumSize() const { return minimum_; }

  // The property that marks the window, which the program's screenshot leaves out.
  static constexpr wchar_t kWindowMark[] = L"ZephronBugReport";

 protected:
  void Build() override;
  bool Command(int id, int code) override;
  bool Message(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void FormCreate();
  void CloseWithOk();
  void Arrange();
  void ShowScreenshot(const TScreenshot* screenshot);
  void BindMouseMove(HWND control);

  HFONT fixedFont_ = nullptr;
  HBITMAP picture_ = nullptr;  // the screenshot as the scroll box paints it
  SIZE pictureSize_{0, 0};
  bool OnSplitter(POINT at) const;
  bool showScreenshot_ = false;
  // The report's side as the splitter leaves it; while the mouse drags the
  // splitter, where on it the mouse holds it.
  int leftWidth_ = kLeftWidth;
  bool dragging_ = false;
  int dragOffset_ = 0;
  bool timerActive_ = false;
  SIZE minimum_{kMinWidth, kMinHeight};
};

// The handler: shows the window for the report modally and marks it handled.
void ShowReportDialog(const TExceptionReportPtr& report, bool& handled, const std::string& replacement);

}  // namespace zephron::bugreport::win32
