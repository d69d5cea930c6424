// A main view without a screen: it keeps what the driver shows (status
// history, rows, buttons, progress, dialogs) and answers questions from a
// script. The tests use it; the console front end builds on it.
#pragma once

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "ui/main_view.h"

namespace zephron::ui {

class RecordingView : public MainView {
 public:
  struct Dialog {
    enum Kind { Info, YesNo, RetryCancel } kind;
    std::string text;
  };

  void SetCaption(const std::string& caption) override { caption_ = caption; }
  void SetStatusText(const std::string& text) override {
    status_ = text;
    statusHistory_.push_back(text);
  }
  void SetCheckEnabled(bool enabled) override { checkEnabled_ = enabled; }
  void SetGetUpdatesEnabled(bool enabled) override { getUpdatesEnabled_ = enabled; }
  void SetBusyCursor(bool busy) override { busy_ = busy; }
  bool IsBusyCursor() const override { return busy_; }
  void SetProgressVisible(bool visible) override { progressVisible_ = visible; }
  bool ProgressVisible() const override { return progressVisible_; }
  void SetProgressPosition(int position) override {
    progress_ = position;
    progressHistory_.push_back(position);
  }
  void ShowProductRow(int row, const ProductRow& display) override { rows_.at(static_cast<std::size_t>(row)) = display; }

  void ShowInfo(const std::string& text) override { dialogs_.push_back({Dialog::Info, text}); }
  bool AskYesNo(const std::string& text) override {
    dialogs_.push_back({Dialog::YesNo, text});
    return NextAnswer(false);
  }
  bool WarnRetryCancel(const std::string& text) override {
    dialogs_.push_back({Dialog::RetryCancel, text});
    return NextAnswer(false);
  }

  // Answers for the next questions: true is Yes or Retry.
  void Answer(bool yesOrRetry) { answers_.push_back(yesOrRetry); }

  const std::string& caption() const { return caption_; }
  const std::string& status() const { return status_; }
  const std::vector<std::string>& statusHistory() const { return statusHistory_; }
  bool checkEnabled() const { return checkEnabled_; }
  bool getUpdatesEnabled() const { return getUpdatesEnabled_; }
  int progress() const { return progress_; }
  const std::vector<int>& progressHistory() const { return progressHistory_; }
  const std::array<ProductRow, 5>& rows() const { return rows_; }
  const std::vector<Dialog>& dialogs() const { return dialogs_; }

 private:
  bool NextAnswer(bool fallback) {
    if (answers_.empty()) return fallback;
    const bool answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  std::string caption_;
  std::string status_;
  std::vector<std::string> statusHistory_;
  bool checkEnabled_ = true;
  bool getUpdatesEnabled_ = false;
  bool busy_ = false;
  bool progressVisible_ = false;
  int progress_ = 0;
  std::vector<int> progressHistory_;
  std::array<ProductRow, 5> rows_{};
  std::vector<Dialog> dialogs_;
  std::deque<bool> answers_;
};

}  // namespace zephron::ui
