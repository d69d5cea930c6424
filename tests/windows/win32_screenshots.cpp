// Takes the README's screenshots of the Win32 windows: the main window after
// a check pass (sample product rows), the login form and a rich what's-new
// text, each copied from the screen as it shows and written as a 24-bit
// BMP; scripts/windows-screenshots.sh runs it under Wine on Xvfb and makes
// PNG files of them.
//
//   win32_screenshots <output folder>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/windows/win32_ui_support.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_dialogs.h"

using namespace zephron;

namespace {

std::string gFolder;
bool gFailed = false;

// Lets Wine bring the window's pixels to the screen.
void Settle() {
  for (int i = 0; i < 10; ++i) {
    ui::win32::PumpMessages();
    Sleep(50);
  }
}

// The window with its frame, as the screen shows it.
void Save(HWND window, const std::string& name) {
  RECT frame{};
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
  const DWORD size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0,
                          0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  std::ofstream out(gFolder + "/" + name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), size);
  if (!out) gFailed = true;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Saves the dialog once it shows, then closes it.
void SaveWhenShown(const std::string& caption, const std::string& name) {
  test::WhenShown(caption, [name](HWND form) {
    Settle();
    Save(form, name);
    PostMessageW(form, WM_CLOSE, 0, 0);
  });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: win32_screenshots <output folder>\n");
    return 1;
  }
  gFolder = ui::win32::Utf8Text(argv[1]);

  ui::win32::Win32MainWindow window;
  window.quitOnClose = false;
  window.SetCaption("Corvexis Zephron 2.4.0.0");
  const ui::ProductRow rows[] = {
      {"TesselServer", "Tessel Server: installed (1.0.0.0), version 1.1.0.0 available", 0xFFFFFF, 0x00FFFF},
      {"QuillonOlvaneServer", "Olvane Server: not installed", 0xC0C0C0, 0x808080},
      {"VardelQuillon", "Vardel Quillon: installed (3.2.0.0), no new version available", 0xFFFFFF, 0x00FF00},
      {"QuillonTendwell", "Tendwell: not installed", 0xC0C0C0, 0x808080},
      {"QuillonZephron", "Zephron: installed (2.4.0.0), no new version available", 0xFFFFFF, 0x00FF00},
  };
  for (int row = 0; row < 5; ++row) window.ShowProductRow(row, rows[row]);
  window.SetGetUpdatesEnabled(true);
  window.SetStatusText("Updates are available: 1");
  window.Show();
  Settle();
  Save(window.Handle(), "windows-main.bmp");
  ShowWindow(window.Handle(), SW_HIDE);

  ui::win32::Win32Dialogs dialogs;
  SaveWhenShown("Login to updates.corvexis.example", "windows-login.bmp");
  std::string user, password;
  dialogs.LoginDialog("Login to updates.corvexis.example", user, password);

  const std::string rich =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl ;\\red0\\green64\\blue160;}"
      "\\f0\\fs32\\b\\cf1 Tessel Server 1.1\\cf0\\b0\\fs20\\par\\par "
      "\\b Downloads\\b0  resume after a lost connection.\\par "
      "\\i The log\\i0  names the mirror that served each file.\\par "
      "\\ul Faster\\ul0  start on large installations \\u8212? up to 40\\'25.\\par}";
  SaveWhenShown("What's new", "windows-whatsnew.bmp");
  dialogs.WhatsNewDialog({"What's new", {rich, true}, "Install", "Later"});
  if (test::PendingActions() != 0) gFailed = true;
  return gFailed ? 1 : 0;
}
