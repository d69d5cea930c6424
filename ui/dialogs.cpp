#include <cctype>
#include <string>
#include <unistd.h>

#include "ui/console_dialogs.h"
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
  if (buttons == MessageButtons::Ok || !in_ || !::isatty(::fileno(in_))) {
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

}  // namespace zephron::ui
