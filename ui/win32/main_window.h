// The updater's main window on Win32 (formMain): five gradient product
// panels, the check / get-updates / close buttons, a status bar and a
// progress bar, at the Qt window's positions. The driver talks to it only
// through ui::MainView; the program sets the button callbacks to the
// driver's handlers.
#pragma once

#include <windows.h>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "ui/main_view.h"
#include "ui/win32/gradient_panel.h"

namespace zephron::ui::win32 {

class Win32MainWindow : public MainView {
 public:
  static constexpr int kClientWidth = 563;
  static constexpr int kClientHeight = 298;
  // Control ids: the panels are kPanelId + their catalogue row.
  enum : int { kCheckId = 101, kGetUpdatesId = 102, kCloseId = 103, kStatusId = 110, kProgressId = 111, kPanelId = 120 };

  // Hidden, centred on the work area.
  Win32MainWindow();
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  // ---- MainView ----
  void SetCaption(const std::string& caption) override;
  void SetStatusText(const std::string& text) override;
  void SetCheckEnabled(bool enabled) override;
  void SetGetUpdatesEnabled(bool enabled) override;
  void SetBusyCursor(bool busy) override;
  bool IsBusyCursor() const override { return busy_; }
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
  // given to onFailure, or without it shown in a message box. Without
  // onClose the close button closes the window.
  std::function<void()> onCheck;
  std::function<void()> onGetUpdates;
  std::function<void()> onClose;
  std::function<void(const std::exception_ptr& failure)> onFailure;
  // Closing the window ends the thread's message loop (WM_QUIT) unless this is cleared.
  bool quitOnClose = true;

  void Show();
  HWND Handle() const { return window_; }
  // Row 0 to 4 in catalogue order; null for other rows.
  GradientPanel* Panel(int row) const;
  HWND Control(int id) const { return GetDlgItem(window_, id); }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void RunHandler(const std::function<void()>& handler);
  int Ask(const std::string& text, UINT buttons, const wchar_t* icon);

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  std::vector<HFONT> buttonFonts_;  // released with the window, as font_
  std::array<std::unique_ptr<GradientPanel>, 5> panels_{};  // catalogue order
  bool busy_ = false;
};

}  // namespace zephron::ui::win32
