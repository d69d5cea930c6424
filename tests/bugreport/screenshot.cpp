// Renders the bug report window, as it shows a report with a screenshot of
// the updater, into the PNG file given on the command line (offscreen).
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <stdexcept>

#include "bugreport/exception_capture.h"
#include "bugreport/qt/form_exception.h"
#include "bugreport/qt/reporting_application.h"

int main(int argc, char** argv) {
  using namespace zephron::bugreport;
  if (argc != 2) {
    std::fprintf(stderr, "usage: bugreport_screenshot FILE.png\n");
    return 1;
  }
  QApplication app(argc, argv);
  QWidget program;
  program.setWindowTitle(QStringLiteral("Corvexis Zephron"));
  auto* layout = new QVBoxLayout(&program);
  layout->addWidget(new QLabel(QStringLiteral("Zephron updater")));
  layout->addWidget(new QPushButton(QStringLiteral("Check for updates")));
  program.resize(320, 120);
  program.show();
  SetScreenshotSource(qt::TakeWindowScreenshot);
  TExceptionReportPtr report;
  try {
    throw std::runtime_error("Cannot open the control file");
  } catch (const std::exception& error) {
    report = MakeReport(std::string("Exception std::runtime_error: ") + error.what());
  }
  qt::TformException form;
  form.exceptIntf = report;
  form.eContents->setPlainText(QString::fromStdString(report->GetBugReport()));
  form.ShowScreenshot(report->GetScreenShot());
  form.cbAllowReport->setChecked(true);
  form.UpdateScreenshotOption();
  form.timResumeTimer();
  form.show();
  QApplication::processEvents();
  return form.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
