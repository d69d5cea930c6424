#include "bugreport/qt/reporting_application.h"

#include <cxxabi.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>

#include "bugreport/exception_capture.h"
#include "bugreport/fatal_signals.h"
#include "bugreport/qt/form_exception.h"
#include "platform/special_folders.h"
#include "ui/qt/dialog_runner.h"

namespace zephron::bugreport::qt {

bool TReportingApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (abi::__forced_unwind&) {
    throw;  // a thread being cancelled, not a failure
  } catch (...) {
    ReportException(std::current_exception());
    return false;
  }
}

std::optional<TScreenshot> TakeWindowScreenshot() {
  QList<QWidget*> windows;
  QRect area;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible() || qobject_cast<TformException*>(window) != nullptr) continue;
    windows.push_back(window);
    area = area.united(window->frameGeometry());
  }
  if (windows.isEmpty() || area.isEmpty()) return std::nullopt;
  QImage picture(area.size(), QImage::Format_RGB32);
  picture.fill(Qt::white);
  {
    QPainter painter(&picture);
    for (QWidget* window : windows) painter.drawPixmap(window->geometry().topLeft() - area.topLeft(), window->grab());
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG")) return std::nullopt;
  const auto* bytes = reinterpret_cast<const std::byte*>(png.constData());
  return TScreenshot(picture.width(), picture.height(), std::vector<std::byte>(bytes, bytes + png.size()));
}

void InstallBugReportWindow(bool installFatal) {
  RegisterExceptionHandler([](const TExceptionReportPtr& report, bool& handled) {
    ShowReportDialog(report, handled, std::string());
  });
  SetScreenshotSource(TakeWindowScreenshot);
  // A window may only be shown from the thread of the event loop.
  SetMainThreadRunner([](const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
      work();
    } else {
      QMetaObject::invokeMethod(app, work, Qt::BlockingQueuedConnection);
    }
  });
  if (installFatal) InstallFatalHandlers(platform::ProgramFile());
}

std::optional<int> RunFaultReporter(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], kReporterOption) != 0) return std::nullopt;
  QApplication app(argc, argv);
  ui::qt::SetApplicationTitle(QStringLiteral("Corvexis Zephron"));
  const TExceptionReportPtr report = LoadFatalReport(argv[2]);
  if (!report) return 1;
  bool handled = false;
  ShowReportDialog(report, handled, std::string());
  return 0;
}

void ScheduleTestFault(bool debugMode) {
  const char* fault = std::getenv("ZEPHRON_TEST_FAULT");
  if (!debugMode || fault == nullptr) return;
  QTimer::singleShot(0, [kind = std::string(fault)] { RaiseTestFault(kind); });
}

}  // namespace zephron::bugreport::qt
