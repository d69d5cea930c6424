#include <cctype>
#include <string>

#include "platform/console.h"
#include "ui/console_dialogs.h"
#include "ui/rtf.h"
#include "ui/scripted_dialogs.h"

namespace zephron::ui {

DialogResult DefaultAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::YesNo:
      return DialogResult::No;
    case MessageButtons::RetryCancel:
      return DialogResult::Cancel;
    case MessageButtons::Ok:
      break;
  }
  return DialogResult::Ok;
}

DialogResult ConsoleDialogs::MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                                        const std::string& caption) {
  const char* label = kind == MessageKind::Error     ? "Error"
                      : kind == MessageKind::Warning ? "Warning"
                                                     : "Information";
  std::fprintf(out_, "%s%s%s: %s\n", caption.c_str(), caption.empty() ? "" : " - ", label, text.c_str());
  if (buttons == MessageButtons::Ok || !platform::IsTerminal(in_)) {
    std::fflush(out_);
    return DefaultAnswer(buttons);
  }
  const bool yesNo = buttons == MessageButtons::YesNo;
  std::fprintf(out_, "%s ", yesNo ? "[y/N]" : "[r]etry/[C]ancel");
  std::fflush(out_);
  char line[64] = {};
  if (!std::fgets(line, sizeof line, in_)) return DefaultAnswer(buttons);
  const int first = std::tolower(static_cast<unsigned char>(line[0]));
  if (yesNo) return first == 'y' ? DialogResult::Yes : DialogResult::No;
  return first == 'r' ? DialogResult::Retry : DialogResult::Cancel;
}

DialogResult ScriptedDialogs::MessageBox(const std::string& text, MessageKind kind, MessageButtons buttons,
                                         const std::string& caption) {
  shown_.push_back({text, kind, buttons, caption});
  if (answers_.empty()) return DefaultAnswer(buttons);
  const DialogResult answer = answers_.front();
  answers_.pop_front();
  return answer;
}

namespace {

bool ReadLine(std::FILE* in, std::string& line) {
  char buffer[512] = {};
  if (!std::fgets(buffer, sizeof buffer, in)) return false;
  line = buffer;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return true;
}

class ConsoleProgressWindow : public ProgressWindow {
 public:
  explicit ConsoleProgressWindow(std::FILE* out) : out_(out) {}
  void Show() override {}
  void Hide() override {}
  void SetRange(int, int) override {}
  void SetPosition(int) override {}
  void SetLabel(const std::string& text) override {
    if (text == label_) return;
    label_ = text;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
  }

 private:
  std::FILE* out_;
  std::string label_;
};

}  // namespace

bool ConsoleDialogs::LoginDialog(const std::string& caption, std::string& user, std::string& password) {
  if (!platform::IsTerminal(in_)) return false;
  std::fprintf(out_, "%s\nUser name: ", caption.c_str());
  std::fflush(out_);
  std::string enteredUser;
  if (!ReadLine(in_, enteredUser)) return false;
  std::fprintf(out_, "Password: ");
  std::fflush(out_);
  std::string enteredPassword;
  {
    // Echo off for the password while it is typed, restored on every way out.
    platform::EchoOff quiet(in_);
    if (!ReadLine(in_, enteredPassword)) return false;
  }
  std::fprintf(out_, "\n");
  user = enteredUser;
  password = enteredPassword;
  return true;
}

std::unique_ptr<ProgressWindow> ConsoleDialogs::CreateProgressWindow() {
  return std::make_unique<ConsoleProgressWindow>(out_);
}

bool ScriptedDialogs::LoginDialog(const std::string& caption, std::string& user, std::string& password) {
  loginCaptions_.push_back(caption);
  if (logins_.empty()) return false;
  const Login answer = logins_.front();
  logins_.pop_front();
  if (!answer.ok) return false;
  user = answer.user;
  password = answer.password;
  return true;
}

namespace {

class ScriptedAnimation : public AnimationWindow {
 public:
  explicit ScriptedAnimation(std::shared_ptr<int> open) : open_(std::move(open)) { ++*open_; }
  ~ScriptedAnimation() override { --*open_; }

 private:
  std::shared_ptr<int> open_;
};

class ConsoleAnimation : public AnimationWindow {};

std::string PlainText(const DialogText& text) { return text.rich ? RtfToPlainText(text.bytes) : text.bytes; }

}  // namespace

std::unique_ptr<AnimationWindow> ScriptedDialogs::ShowAnimation(const std::string& caption, const std::string& message) {
  animations_.push_back({caption, message});
  return std::make_unique<ScriptedAnimation>(openAnimations_);
}

bool ScriptedDialogs::WhatsNewDialog(const WhatsNewDialogSpec& spec) {
  whatsNewShown_.push_back(spec);
  if (whatsNewAnswers_.empty()) return false;
  const bool answer = whatsNewAnswers_.front();
  whatsNewAnswers_.pop_front();
  return answer;
}

bool ScriptedDialogs::AgreementDialog(const AgreementDialogSpec& spec) {
  agreementsShown_.push_back(spec);
  if (agreementAnswers_.empty()) return false;
  const bool answer = agreementAnswers_.front();
  agreementAnswers_.pop_front();
  return answer;
}

bool ConsoleDialogs::AskYes(const std::string& question, bool otherwise) {
  if (!platform::IsTerminal(in_)) return otherwise;
  std::fprintf(out_, "%s [y/N] ", question.c_str());
  std::fflush(out_);
  std::string line;
  if (!ReadLine(in_, line)) return false;
  return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
}

std::unique_ptr<AnimationWindow> ConsoleDialogs::ShowAnimation(const std::string& caption, const std::string& message) {
  std::fprintf(out_, "%s%s%s\n", caption.c_str(), caption.empty() || message.empty() ? "" : ": ", message.c_str());
  std::fflush(out_);
  return std::make_unique<ConsoleAnimation>();
}

bool ConsoleDialogs::WhatsNewDialog(const WhatsNewDialogSpec& spec) {
  std::fprintf(out_, "%s\n%s\n", spec.caption.c_str(), PlainText(spec.text).c_str());
  return AskYes(spec.okButton + "?", acceptWhatsNew);
}

bool ConsoleDialogs::AgreementDialog(const AgreementDialogSpec& spec) {
  std::fprintf(out_, "%s\n%s\n", spec.caption.c_str(), PlainText(spec.text).c_str());
  return AskYes(spec.accept + "?", acceptAgreement);
}

void ConsoleDialogs::HtmlDialog(const std::string& page) {
  std::fprintf(out_, "See %s\n", page.c_str());
  std::fflush(out_);
}

}  // namespace zephron::ui
