// The "Bug Report" window: shows a failure's report and screenshot, takes the
// user's comment and permissions, counts down to continuing by itself unless
// the mouse moves over it, and sends the report as an XML request to the
// bug-report server. The permissions are remembered for the rest of the run.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>
#include <set>
#include <string>

#include "bugreport/exception_report.h"
#include "bugreport/report_request.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSplitter;
class QStatusBar;

namespace zephron {
class TxmlDocument;
}

namespace zephron::bugreport::qt {

class TformException : public QDialog {
  Q_OBJECT

 public:
  explicit TformException(QWidget* parent = nullptr);
  ~TformException() override;

  // Seconds left before the window continues by itself.
  int ResumeIn = kResumeSeconds;
  // A report text that replaces the report's own (no screenshot then).
  std::string ReplacementReport;
  TExceptionReportPtr exceptIntf;
  // Where "Continue" sends the report; the registry's choice by default.
  std::string ServerURL;

  void FormCreate();
  void timResumeTimer();
  void eContentsMouseMove();
  void cbAllowReportClick();
  void UpdateScreenshotOption();
  std::unique_ptr<TxmlDocument> BuildReportRequest();
  void bContinueClick();
  [[noreturn]] void bShutdownClick();
  // Shows the screenshot, or hides its area when there is none to show.
  void ShowScreenshot(const TScreenshot* screenshot);

  QWidget* panLeft;
  QGroupBox* gbLeft;
  QPlainTextEdit* eContents;
  QGroupBox* GroupBox2;
  QPlainTextEdit* eUserComment;
  QSplitter* Splitter;
  QGroupBox* gbScreenshot;
  QScrollArea* ScrollBox1;
  QLabel* imScreenshot;
  QWidget* Panel1;
  QLabel* Label1;
  QWidget* Panel3;
  QCheckBox* cbAllowReport;
  QCheckBox* cbAllowScreenshot;
  QPushButton* bContinue;
  QPushButton* bShutdown;
  QLabel* labResuming;
  QStatusBar* sbar;
  QLabel* sbarPanel0;
  QTimer timResume;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  std::set<QObject*> mouseMoveBound_;
};

// The handler: shows the window for the report modally and marks it handled.
void ShowReportDialog(const TExceptionReportPtr& report, bool& handled, const std::string& replacement);

}  // namespace zephron::bugreport::qt
