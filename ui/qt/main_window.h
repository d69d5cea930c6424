// The updater's main window on Qt widgets (formMain): five product panels,
// the check / get-updates / close buttons, a status bar and a progress bar.
// The driver talks to it only through ui::MainView; the program sets the
// button callbacks to the driver's handlers.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <functional>

#include "ui/main_view.h"
#include "ui/qt/gradient_panel.h"

namespace zephron::ui::qt {

class QtMainWindow : public QWidget, public MainView {
 public:
  static constexpr int kClientWidth = 563;
  static constexpr int kClientHeight = 298;

  explicit QtMainWindow(QWidget* parent = nullptr);

  // ---- MainView ----
  void SetCaption(const std::string& caption) override;
  void SetStatusText(const std::string& text) override;
  void SetCheckEnabled(bool enabled) override;
  void SetGetUpdatesEnabled(bool enabled) override;
  void SetBusyCursor(bool busy) override;
  bool IsBusyCursor() const override;
  void SetProgressVisible(bool visible) override;
  bool ProgressVisible() const override;
  void SetProgressPosition(int position) override;
  void ShowProductRow(int row, const ProductRow& display) override;
  void ShowInfo(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  bool WarnRetryCancel(const std::string& text) override;
  void ProcessMessages() override;
  void Close() override;

  // The driver's handlers for the buttons. An exception that leaves one is
  // caught at the button: the window is made usable again (check button
  // enabled, no busy cursor) and the message is shown in the status bar and
  // a message box.
  std::function<void()> onCheck;
  std::function<void()> onGetUpdates;
  std::function<void()> onClose;

  // Row 0 to 4 in catalogue order; null for other rows.
  GradientPanel* Panel(int row) const;
  QPushButton* CheckButton() const { return bCheck_; }
  QPushButton* GetUpdatesButton() const { return bGetUpdates_; }
  QPushButton* CloseButton() const { return bitBtn1_; }
  QLabel* StatusBar() const { return sbar_; }
  QProgressBar* ProgressBar() const { return pBar_; }

  // Centres the window on the screen it will appear on.
  void CenterOnScreen();

 private:
  void RunHandler(const std::function<void()>& handler);

  std::array<GradientPanel*, 5> panels_{};  // catalogue order
  QPushButton* bCheck_;
  QPushButton* bGetUpdates_;
  QPushButton* bitBtn1_;
  QLabel* sbar_;
  QProgressBar* pBar_;
};

}  // namespace zephron::ui::qt
