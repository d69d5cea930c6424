// zephron-cli, the headless front end of the updater: the same driver, event
// handlers and logs as the window, with the view printed on the console.
//
//   zephron-cli [--debug] check
//
// prints the five product rows in catalogue order and the final status, and
// exits with 0 (no new version), 2 (new versions found), 1 (the pass ended
// with an error) or 3 (another updater is running).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/form_main.h"
#include "app/instance.h"
#include "app/registry_read.h"
#include "ui/recording_view.h"

namespace {

// The window's dialogs go to standard error; questions get the default answer.
class ConsoleView : public zephron::ui::RecordingView {
 public:
  void ShowInfo(const std::string& text) override {
    RecordingView::ShowInfo(text);
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  bool AskYesNo(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return RecordingView::AskYesNo(text);
  }
  bool WarnRetryCancel(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return RecordingView::WarnRetryCancel(text);
  }
};

int Usage() {
  std::fprintf(stderr, "usage: zephron-cli [--debug] check\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zephron;
  bool debug = false;
  std::vector<std::string> commands;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--debug") == 0) {
      debug = true;
    } else {
      commands.emplace_back(argv[i]);
    }
  }
  if (commands.size() != 1 || commands[0] != "check") return Usage();

  InitSystem64Bit();
  const TInstanceClaim claim = ClaimInstanceMutex(kInstanceMutexName);
  WarnWhenGuardOff(claim, "zephron-cli");
  if ((claim.bits & 1) == 0) {
    std::fprintf(stderr, "zephron-cli: another Zephron updater is running\n");
    return 3;
  }

  try {
    ConsoleView view;
    const char* debugArgs[] = {argv[0], kDebugAccessCode};
    const char* plainArgs[] = {argv[0]};
    TformMain form(view, debug ? 2 : 1, debug ? debugArgs : plainArgs);
    form.bCheckClick();
    for (const auto& row : view.rows()) std::printf("%s\n", row.label.c_str());
    std::printf("%s\n", form.Status().c_str());
    std::fflush(stdout);
    if (form.ErrorCode != 0) return 1;
    return form.UpdateInfo.empty() ? 0 : 2;
  } catch (const std::exception& error) {
    // A log that cannot be written before the pass started (debug mode).
    std::fprintf(stderr, "zephron-cli: %s\n", error.what());
    return 1;
  }
}
