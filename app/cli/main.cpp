// zephron-cli, the headless front end of the updater: the same driver, event
// handlers and logs as the window, with the view printed on the console.
//
//   zephron-cli [--debug] check
//   zephron-cli [--debug] [--yes] [--accept-license] update
//
// check prints the five product rows in catalogue order and the final status,
// and exits with 0 (no new version), 2 (new versions found), 1 (the pass
// ended with an error) or 3 (another updater is running).
//
// update runs a check pass and, when it found new versions, the update pass
// (console_front.h says how its questions are answered). It prints the rows
// and the final status, and exits with 0 when nothing new was found or every
// product found was updated, 1 when a pass ended with an error, 2 when new
// versions remain (declined, a product still running, an agreement refused),
// 3 when another updater is running. When the setup program completes an
// update after this process, it says so and exits 0 at once.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/console_front.h"
#include "app/form_main.h"
#include "app/instance.h"
#include "bugreport/exception_capture.h"
#include "bugreport/fatal_signals.h"
#include "platform/program_arguments.h"
#include "platform/special_folders.h"
#include "ui/main_thread.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: zephron-cli [--debug] check\n"
               "       zephron-cli [--debug] [--yes] [--accept-license] update\n");
  return 1;
}

// The rows and the final status: the status bar's text, or, after an update
// pass (which empties the status bar), its summary message.
void PrintRows(const zephron::cli::ConsoleView& view, const zephron::TformMain& form) {
  for (const auto& row : view.rows()) std::printf("%s\n", row.label.c_str());
  std::string status = form.Status();
  if (status.empty() && !view.dialogs().empty()) status = view.dialogs().back().text;
  std::printf("%s\n", status.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int ansiArgc, char** ansiArgv) {
  using namespace zephron;
  // The arguments as UTF-8 (a fault file's path may hold any character).
  platform::Utf8Argv utf8(ansiArgc, ansiArgv);
  const int argc = utf8.argc();
  char** const argv = utf8.argv();
  // A fatal fault brings this program back as the reporter of that fault.
  if (const auto reported = bugreport::RunConsoleFaultReporter(argc, argv)) return *reported;
  bool debug = false;
  cli::Answers answers;
  std::vector<std::string> commands;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--debug") == 0) {
      debug = true;
    } else if (std::strcmp(argv[i], "--yes") == 0) {
      answers.yes = true;
    } else if (std::strcmp(argv[i], "--accept-license") == 0) {
      answers.acceptLicense = true;
    } else {
      commands.emplace_back(argv[i]);
    }
  }
  if (commands.size() != 1 || (commands[0] != "check" && commands[0] != "update")) return Usage();
  const bool update = commands[0] == "update";
  if (!update && (answers.yes || answers.acceptLicense)) return Usage();
  answers.interactive = ::isatty(STDIN_FILENO) != 0;
  answers.progressBar = ::isatty(STDERR_FILENO) != 0;

  // Held until the process ends; the kernel releases it with the process.
  const std::optional<TInstanceClaim> claim = ClaimUpdaterStart("zephron-cli");
  if (!claim) {
    std::fprintf(stderr, "zephron-cli: another Zephron updater is running\n");
    return 3;
  }
  bugreport::RegisterConsoleReportHandler("zephron-cli");
  bugreport::InstallFatalHandlers(platform::ProgramFile());

  try {
    cli::ConsoleView view(answers);
    cli::ConsoleFrontDialogs dialogs(answers);
    const char* debugArgs[] = {argv[0], kDebugAccessCode};
    const char* plainArgs[] = {argv[0]};
    TformMain form(view, debug ? 2 : 1, debug ? debugArgs : plainArgs);
    form.Zephron.SetDialogs(&dialogs);
    form.Zephron.ShowDownloadProgress = update;
    const char* testFault = debug ? std::getenv("ZEPHRON_TEST_FAULT") : nullptr;
    const bool checked = bugreport::RunReported([&form, testFault] {
      if (testFault != nullptr) bugreport::RaiseTestFault(testFault);
      form.bCheckClick();
    });
    if (!checked || !update || form.ErrorCode != 0 || form.UpdateInfo.empty()) {
      PrintRows(view, form);
      if (!checked || form.ErrorCode != 0) return 1;
      return form.UpdateInfo.empty() ? 0 : 2;
    }

    const std::size_t wanted = form.slNewVersions.Entries().size();
    std::size_t updated = 0;
    form.Zephron.OnSuccess = [&updated](TZephron&) { ++updated; };
    const bool passed = bugreport::RunReported([&form] { form.bGetUpdatesClick(); });
    form.Zephron.SetDialogs(nullptr);
    if (form.AppUpdated || ui::DefaultMainThread().QuitRequested()) {
      // The setup program waits for this process to end before it replaces
      // the files in use.
      std::printf("The setup program completes the update and restarts the application.\n");
      std::fflush(stdout);
      return 0;
    }
    PrintRows(view, form);
    if (!passed || form.ErrorCode != 0) return 1;
    return updated >= wanted ? 0 : 2;
  } catch (const std::exception& error) {
    // A log that cannot be written before the pass started (debug mode).
    std::fprintf(stderr, "zephron-cli: %s\n", error.what());
    return 1;
  }
}
