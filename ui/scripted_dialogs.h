// Dialogs for tests: every message box and login prompt is recorded and
// answered from a queue of scripted answers (the default answer, or a
// cancelled login, once its queue is empty); progress windows record what
// they were told.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace zephron::ui {

// A progress window that keeps its state and counts its updates.
class ScriptedProgressWindow : public ProgressWindow {
 public:
  void Show() override { visible = true; }
  void Hide() override { visible = false; }
  void SetRange(int newMin, int newMax) override {
    min = newMin;
    max = newMax;
  }
  void SetPosition(int pos) override {
    position = pos;
    ++updates;
  }
  void SetLabel(const std::string& text) override { label = text; }

  bool visible = false;
  int min = 0;
  int max = 100;
  int position = 0;
  int updates = 0;
  std::string label;
};

class ScriptedDialogs : public Dialogs {
 public:
  struct Login {
    bool ok = false;
    std::string user;
    std::string password;
  };
  struct Shown {
    std::string text;
    MessageKind kind;
    MessageButtons buttons;
    std::string caption;
  };

  void Answer(DialogResult result) { answers_.push_back(result); }

  DialogResult MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                          const std::string& caption = {}) override;
  void ProcessMessages() override { ++processed_; }

  // The next login prompt is confirmed with these values, or cancelled.
  void AnswerLogin(const std::string& user, const std::string& password) { logins_.push_back({true, user, password}); }
  void CancelLogin() { logins_.push_back({false, {}, {}}); }
  bool LoginDialog(const std::string& caption, std::string& user, std::string& password) override;
  const std::vector<std::string>& loginCaptions() const { return loginCaptions_; }

  std::unique_ptr<ProgressWindow> CreateProgressWindow() override {
    return std::make_unique<ScriptedProgressWindow>();
  }

  // Animation windows: each one shown is recorded, and counted while open.
  struct Animation {
    std::string caption;
    std::string message;
  };
  std::unique_ptr<AnimationWindow> ShowAnimation(const std::string& caption, const std::string& message) override;
  const std::vector<Animation>& animations() const { return animations_; }
  int openAnimations() const { return *openAnimations_; }

  // What's-new and agreement dialogs are answered from their own queues
  // (true: accepted); once a queue is empty they are refused.
  void AnswerWhatsNew(bool accept) { whatsNewAnswers_.push_back(accept); }
  void AnswerAgreement(bool accept) { agreementAnswers_.push_back(accept); }
  bool WhatsNewDialog(const WhatsNewDialogSpec& spec) override;
  bool AgreementDialog(const AgreementDialogSpec& spec) override;
  const std::vector<WhatsNewDialogSpec>& whatsNewShown() const { return whatsNewShown_; }
  const std::vector<AgreementDialogSpec>& agreementsShown() const { return agreementsShown_; }

  void HtmlDialog(const std::string& page) override { htmlPages_.push_back(page); }
  const std::vector<std::string>& htmlPages() const { return htmlPages_; }

  const std::vector<Shown>& shown() const { return shown_; }
  int processedMessages() const { return processed_; }

 private:
  std::deque<DialogResult> answers_;
  std::deque<Login> logins_;
  std::vector<std::string> loginCaptions_;
  std::vector<Shown> shown_;
  int processed_ = 0;
  std::vector<Animation> animations_;
  std::shared_ptr<int> openAnimations_ = std::make_shared<int>(0);
  std::deque<bool> whatsNewAnswers_;
  std::deque<bool> agreementAnswers_;
  std::vector<WhatsNewDialogSpec> whatsNewShown_;
  std::vector<AgreementDialogSpec> agreementsShown_;
  std::vector<std::string> htmlPages_;
};

}  // namespace zephron::ui
