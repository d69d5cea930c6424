#include "app/cli/console_front.h"

#include <cstring>

#include "ui/rtf.h"

namespace zephron::cli {
namespace {

std::string Mebibytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
  return text;
}

// Message texts use CR alone for their paragraph breaks, and CR LF within.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      out += '\n';
    }
  }
  return out;
}

}  // namespace

bool AskOnTerminal(const Answers& answers, const std::string& text, bool otherwise) {
  if (!answers.interactive) return otherwise;
  std::fprintf(stderr, "%s [y/N] ", text.c_str());
  std::fflush(stderr);
  char line[64] = {};
  if (!std::fgets(line, sizeof line, stdin)) return false;
  return line[0] == 'y' || line[0] == 'Y';
}

void ConsoleView::ShowInfo(const std::string& text) {
  RecordingView::ShowInfo(text);
  std::fprintf(stderr, "%s\n", ForTerminal(text).c_str());
}

bool ConsoleView::AskYesNo(const std::string& text) {
  RecordingView::AskYesNo(text);
  if (answers_.yes) {
    std::fprintf(stderr, "%s yes\n", ForTerminal(text).c_str());
    return true;
  }
  return AskOnTerminal(answers_, ForTerminal(text), false);
}

bool ConsoleView::WarnRetryCancel(const std::string& text) {
  RecordingView::WarnRetryCancel(text);
  if (!answers_.interactive) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return false;
  }
  return AskOnTerminal(answers_, text + " Retry?", false);
}

ui::DialogResult ConsoleFrontDialogs::MessageBox(const std::string& text, ui::MessageKind kind,
                                                 ui::MessageButtons buttons, const std::string& caption) {
  if (buttons != ui::MessageButtons::YesNo) return ConsoleDialogs::MessageBox(text, kind, buttons, caption);
  if (answers_.yes) {
    std::fprintf(stderr, "%s yes\n", ForTerminal(text).c_str());
    return ui::DialogResult::Yes;
  }
  return AskOnTerminal(answers_, ForTerminal(text), false) ? ui::DialogResult::Yes : ui::DialogResult::No;
}

bool ConsoleFrontDialogs::WhatsNewDialog(const ui::WhatsNewDialogSpec& spec) {
  const std::string text = spec.text.rich ? ui::RtfToPlainText(spec.text.bytes) : spec.text.bytes;
  std::fprintf(stderr, "%s\n%s\n", spec.caption.c_str(), text.c_str());
  return true;
}

bool ConsoleFrontDialogs::AgreementDialog(const ui::AgreementDialogSpec& spec) {
  const std::string text = spec.text.rich ? ui::RtfToPlainText(spec.text.bytes) : spec.text.bytes;
  std::fprintf(stderr, "%s\n%s\n", spec.caption.c_str(), text.c_str());
  if (answers_.acceptLicense) {
    std::fprintf(stderr, "%s (--accept-license)\n", spec.accept.c_str());
    return true;
  }
  const bool accepted = AskOnTerminal(answers_, spec.accept + "?", false);
  if (!accepted) std::fprintf(stderr, "%s\n", spec.notAccept.c_str());
  return accepted;
}

std::unique_ptr<ui::ProgressWindow> ConsoleFrontDialogs::CreateProgressWindow() {
  return std::make_unique<ConsoleProgress>(stderr, answers_.progressBar);
}

void ConsoleProgress::SetLabel(const std::string& text) {
  if (text == label_) return;
  if (drawn_) Hide();
  label_ = text;
  started_ = std::chrono::steady_clock::now();
  if (!bar_) {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
  }
}

void ConsoleProgress::SetPosition(int pos) {
  if (!bar_) return;
  const auto now = std::chrono::steady_clock::now();
  // A terminal need not be redrawn for every block.
  if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && pos < max_) return;
  lastDraw_ = now;
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const double rate = seconds > 0 ? pos / seconds : 0;
  std::string line = "\r" + label_;
  if (max_ > 0) line += "  " + std::to_string(static_cast<long long>(pos) * 100 / max_) + "%";
  line += "  " + Mebibytes(pos);
  if (max_ > 0) line += " of " + Mebibytes(max_);
  line += "  " + Mebibytes(rate) + "/s\x1b[K";
  std::fputs(line.c_str(), out_);
  std::fflush(out_);
  drawn_ = true;
}

void ConsoleProgress::Hide() {
  if (!drawn_) return;
  std::fputs("\n", out_);
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace zephron::cli
