// Dialogs for tests: every message box is recorded, and answered from a
// queue of scripted answers (the default answer once the queue is empty).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace zephron::ui {

class ScriptedDialogs : public Dialogs {
 public:
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

  const std::vector<Shown>& shown() const { return shown_; }
  int processedMessages() const { return processed_; }

 private:
  std::deque<DialogResult> answers_;
  std::vector<Shown> shown_;
  int processed_ = 0;
};

}  // namespace zephron::ui
