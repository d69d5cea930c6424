// The headless front end's view and dialogs: the window's messages go to
// standard error, and every question is answered by the front end's rules:
// Yes when the user said --yes (a running product's Retry excepted, which
// would wait for ever), else asked on the terminal (y/N) when standard input
// is one, else No. Agreements are accepted only by --accept-license or a
// typed "y"; what's-new texts are printed and accepted. Downloads show a
// progress bar on a terminal, one line per file otherwise.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "ui/console_dialogs.h"
#include "ui/recording_view.h"

namespace zephron::cli {

struct Answers {
  bool yes = false;             // --yes
  bool acceptLicense = false;   // --accept-license
  bool interactive = false;     // standard input is a terminal
  bool progressBar = false;     // standard error is a terminal
};

// Asks text on the terminal when there is one; otherwise `otherwise`.
bool AskOnTerminal(const Answers& answers, const std::string& text, bool otherwise);

class ConsoleView : public ui::RecordingView {
 public:
  explicit ConsoleView(const Answers& answers) : answers_(answers) {}
  void ShowInfo(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  bool WarnRetryCancel(const std::string& text) override;

 private:
  const Answers& answers_;
};

class ConsoleFrontDialogs : public ui::ConsoleDialogs {
 public:
  explicit ConsoleFrontDialogs(const Answers& answers) : answers_(answers) {}
  ui::DialogResult MessageBox(const std::string& text, ui::MessageKind kind, ui::MessageButtons buttons,
                              const std::string& caption = {}) override;
  bool WhatsNewDialog(const ui::WhatsNewDialogSpec& spec) override;
  bool AgreementDialog(const ui::AgreementDialogSpec& spec) override;
  std::unique_ptr<ui::ProgressWindow> CreateProgressWindow() override;

 private:
  const Answers& answers_;
};

// "name  45%  1.2 MiB of 2.6 MiB  3.4 MiB/s" redrawn in place, or the file's
// label once per file.
class ConsoleProgress : public ui::ProgressWindow {
 public:
  ConsoleProgress(std::FILE* out, bool bar) : out_(out), bar_(bar) {}
  ~ConsoleProgress() override { Hide(); }
  void Show() override {}
  void Hide() override;
  void SetRange(int min, int max) override { max_ = max > min ? max : 0; }
  void SetPosition(int pos) override;
  void SetLabel(const std::string& text) override;

 private:
  std::FILE* out_;
  bool bar_;
  std::string label_;
  int max_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace zephron::cli
