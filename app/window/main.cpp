// zephron, the updater program: the main window on Qt widgets over the update
// driver. A single command-line argument equal to the access code switches
// the debug log on; a second updater anywhere on the machine ends at once.
#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <cstdio>
#include <exception>
#include <optional>

#include "app/form_main.h"
#include "app/instance.h"
#include "app/updater_log.h"
#include "app/window_place.h"
#include "bugreport/qt/reporting_application.h"
#include "platform/process.h"
#include "ui/qt/dialog_runner.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialogs.h"
#include "ui/qt/qt_main_thread.h"
#include "ui/qt/qt_placement.h"

int main(int argc, char** argv) {
  using namespace zephron;
  // A fatal fault brings this program back as the reporter of that fault.
  if (const auto reported = bugreport::qt::RunFaultReporter(argc, argv)) return *reported;
  // Held until the process ends; the kernel releases it with the process.
  const std::optional<TInstanceClaim> claim = ClaimUpdaterStart("zephron");
  if (!claim) return 0;

  bugreport::qt::TReportingApplication app(argc, argv);
  bugreport::qt::InstallBugReportWindow(true);
  ui::qt::QtMainThread mainThread;
  ui::SetProcessMainThread(&mainThread);
  ui::qt::SetApplicationTitle(QString::fromUtf8(kApplicationTitle));
  // Pages and documents the control file asks to show open through the desktop.
  platform::SetDocumentOpener([](const std::string& target) {
    return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(target), QString(),
                                                         QUrl::AssumeLocalFile));
  });
  try {
    ui::qt::QtMainWindow window;
    ui::qt::QtDialogs dialogs(&window);
    TformMain form(window, argc, argv);
    form.Zephron.SetDialogs(&dialogs);
    window.onCheck = [&form] { form.bCheckClick(); };
    window.onGetUpdates = [&form] { form.bGetUpdatesClick(); };
    window.onClose = [&window] { window.close(); };
    // The window opens where the user left it; without a usable file, centred.
    ui::qt::QtPlacedWindow placed(window);
    const std::string placeFile = WindowPlaceFileFor(GetAppDataFolder());
    window.CenterOnScreen();
    RestoreWindowPlace(placed, placeFile);
    window.show();
    bugreport::qt::ScheduleTestFault(form.DebugMode());
    const int result = app.exec();
    StoreWindowPlace(placed, placeFile);
    form.Zephron.SetDialogs(nullptr);
    ui::SetProcessMainThread(nullptr);
    return result;
  } catch (const std::exception& error) {
    // The log could not be opened before the window existed (debug mode).
    std::fprintf(stderr, "zephron: %s\n", error.what());
    return 1;
  }
}
