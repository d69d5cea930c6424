// The main window as the update driver sees it: status text, buttons,
// cursor, progress bar, product rows and the updater's message boxes. The
// driver never touches a widget; the Qt window, the console front end and
// the tests each implement this view.
#pragma once

#include <cstdint>
#include <string>

namespace zephron::ui {

// One product row: panel colours in the framework's numbering (red in the low byte).
struct ProductRow {
  std::string panelKey;
  std::string label;
  std::uint32_t firstColor = 0;
  std::uint32_t secondColor = 0;
};

class MainView {
 public:
  virtual ~MainView() = default;

  virtual void SetCaption(const std::string& caption) = 0;
  // Shows the text in the status bar and repaints at once, so it is visible while a pass runs.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetCheckEnabled(bool enabled) = 0;
  virtual void SetGetUpdatesEnabled(bool enabled) = 0;
  // The hourglass (true) or the default cursor (false); IsBusyCursor tells what the screen shows now.
  virtual void SetBusyCursor(bool busy) = 0;
  virtual bool IsBusyCursor() const = 0;
  virtual void SetProgressVisible(bool visible) = 0;
  virtual bool ProgressVisible() const = 0;
  virtual void SetProgressPosition(int position) = 0;  // 0 to 100
  // row counts from 0 in catalogue order.
  virtual void ShowProductRow(int row, const ProductRow& display) = 0;

  // The updater's dialogs, each after the exclamation sound.
  virtual void ShowInfo(const std::string& text) = 0;
  virtual bool AskYesNo(const std::string& text) = 0;
  // The running-application warning: true for Retry, false for Cancel.
  virtual bool WarnRetryCancel(const std::string& text) = 0;

  virtual void ProcessMessages() {}
  virtual void Close() {}
};

}  // namespace zephron::ui
