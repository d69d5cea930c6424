// zephron.exe, the updater program on Windows: the main window on Win32
// (ui/win32) over the same driver as the Qt window of the other systems. The
// arguments come as UTF-8 from the UTF-16 command line; a single argument
// equal to the access code switches the debug log on; a second updater
// anywhere on the machine ends at once. Pages and documents the control file
// asks to show go to the shell (the platform's default document opener). An
// exception that escapes a button's handler is shown in the bug report
// window; a fatal fault starts this program again as its reporter.
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

// form_main.h names some of Windows' constants itself (transfer/internet.h):
// it comes before windows.h, which the Win32 headers include.
#include "app/form_main.h"
#include "app/instance.h"
#include "app/updater_log.h"
#include "app/window_place.h"
#include <windows.h>
#include "bugreport/exception_capture.h"
#include "bugreport/win32/reporting_window.h"
#include "platform/program_arguments.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_dialogs.h"
#include "ui/win32/win32_form.h"
#include "ui/win32/win32_main_thread.h"
#include "ui/win32/win32_placement.h"

namespace {

// The form name the window's place is kept under, as on the other systems.
constexpr const char* kFormName = "formMain";

}  // namespace

int main(int ansiArgc, char** ansiArgv) {
  using namespace zephron;
  platform::Utf8Argv utf8(ansiArgc, ansiArgv);
  const int argc = utf8.argc();
  char** const argv = utf8.argv();

  // A fatal fault brings this program back as the reporter of that fault.
  if (const auto reported = bugreport::win32::RunFaultReporter(argc, argv)) return *reported;
  // Held until the process ends; the system releases it with the process.
  const std::optional<TInstanceClaim> claim = ClaimUpdaterStart("zephron");
  if (!claim) return 0;
  ui::win32::SetApplicationTitle(kApplicationTitle);
  ui::win32::Win32MainThread mainThread;
  ui::SetProcessMainThread(&mainThread);
  bugreport::win32::InstallBugReportWindow(true);
  try {
    ui::win32::Win32MainWindow window;
    ui::win32::Win32Dialogs dialogs(window.Handle());
    TformMain form(window, argc, argv);
    form.Zephron.SetDialogs(&dialogs);
    window.onCheck = [&form] { form.bCheckClick(); };
    window.onGetUpdates = [&form] { form.bGetUpdatesClick(); };
    window.onFailure = [](const std::exception_ptr& failure) { bugreport::ReportException(failure); };
    // The window opens where the user left it; without a usable file, centred.
    ui::win32::Win32PlacedWindow placed(window.Handle(), kFormName);
    const std::string placeFile = WindowPlaceFileFor(GetAppDataFolder());
    RestoreWindowPlace(placed, placeFile);
    placed.SetShowing(true);
    // In debug mode, ZEPHRON_TEST_FAULT=exception|segv raises that test
    // failure once the message loop runs.
    const char* testFault = form.DebugMode() ? std::getenv("ZEPHRON_TEST_FAULT") : nullptr;
    if (testFault != nullptr) {
      mainThread.Post([kind = std::string(testFault)] {
        bugreport::RunReported([&kind] { bugreport::RaiseTestFault(kind); });
      });
    }
    const int result = ui::win32::RunMessageLoop();
    StoreWindowPlace(placed, placeFile);
    form.Zephron.SetDialogs(nullptr);
    ui::SetProcessMainThread(nullptr);
    return result;
  } catch (const std::exception& error) {
    // The log could not be opened before the window existed (debug mode);
    // a window program has no console to say so on.
    ui::SetProcessMainThread(nullptr);
    ui::win32::SoundedMessageBox(nullptr, ui::win32::MessageText(std::string("zephron: ") + error.what()),
                                 ui::win32::WideText(kApplicationTitle), MB_OK, IDI_ERROR, MB_ICONHAND);
    return 1;
  }
}
