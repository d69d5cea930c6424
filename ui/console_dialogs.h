// Dialogs of the headless front end: a message box is printed to standard
// error; a question or a login prompt is asked on the terminal when there is
// one, otherwise it gets the default answer (No, Cancel, login refused). The
// progress window prints the file label whenever it changes, the animation
// window its message. What's-new and agreement texts are printed (rich text
// as plain text) and then asked on the terminal; without one they get the
// answers the front end set: by default the what's-new text is accepted
// (it has been shown) and an agreement is not.
#pragma once

#include <cstdio>

#include "ui/dialogs.h"

namespace zephron::ui {

class ConsoleDialogs : public Dialogs {
 public:
  explicit ConsoleDialogs(std::FILE* out = stderr, std::FILE* in = stdin) : out_(out), in_(in) {}
  DialogResult MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                          const std::string& caption = {}) override;
  bool LoginDialog(const std::string& caption, std::string& user, std::string& password) override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow() override;
  std::unique_ptr<AnimationWindow> ShowAnimation(const std::string& caption, const std::string& message) override;
  bool WhatsNewDialog(const WhatsNewDialogSpec& spec) override;
  bool AgreementDialog(const AgreementDialogSpec& spec) override;
  void HtmlDialog(const std::string& page) override;

  // The answers without a terminal.
  bool acceptWhatsNew = true;
  bool acceptAgreement = false;

 private:
  bool AskYes(const std::string& question, bool otherwise);

  std::FILE* out_;
  std::FILE* in_;
};

}  // namespace zephron::ui
