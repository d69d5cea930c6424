#include "bugreport/win32/reporting_window.h"

#include <windows.h>

#include <cstring>
#include <future>
#include <vector>

#include "bugreport/exception_capture.h"
#include "bugreport/fatal_signals.h"
#include "bugreport/win32/form_exception.h"
#include "bugreport/win32/png_codec.h"
#include "platform/special_folders.h"
#include "ui/main_thread.h"

namespace zephron::bugreport::win32 {
namespace {

DWORD gMainThread = 0;

struct Windows {
  std::vector<HWND> shown;
  RECT area{0, 0, 0, 0};
};

BOOL CALLBACK AddWindow(HWND window, LPARAM data) {
  auto* windows = reinterpret_cast<Windows*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window) || IsIconic(window) ||
      GetPropW(window, TformException::kWindowMark) != nullptr) {
    return TRUE;
  }
  RECT frame{};
  GetWindowRect(window, &frame);
  if (IsRectEmpty(&frame)) return TRUE;
  // EnumWindows goes from the top of the Z order down; the picture is drawn bottom up.
  windows->shown.insert(windows->shown.begin(), window);
  UnionRect(&windows->area, &windows->area, &frame);
  return TRUE;
}

}  // namespace

std::optional<TScreenshot> TakeWindowScreenshot() {
  Windows windows;
  EnumWindows(&AddWindow, reinterpret_cast<LPARAM>(&windows));
  const int width = windows.area.right - windows.area.left;
  const int height = windows.area.bottom - windows.area.top;
  if (windows.shown.empty() || width <= 0 || height <= 0) return std::nullopt;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::optional<TScreenshot> screenshot;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    PatBlt(memory, 0, 0, width, height, WHITENESS);
    for (HWND window : windows.shown) {
      RECT frame{};
      GetWindowRect(window, &frame);
      // Each window draws itself, so that others in front of it stay out of the picture.
      const int x = frame.left - windows.area.left;
      const int y = frame.top - windows.area.top;
      SetViewportOrgEx(memory, x, y, nullptr);
      const bool drawn = PrintWindow(window, memory, 0) != FALSE;
      SetViewportOrgEx(memory, 0, 0, nullptr);
      if (!drawn) BitBlt(memory, x, y, frame.right - frame.left, frame.bottom - frame.top, screen, frame.left, frame.top, SRCCOPY);
    }
    GdiFlush();
    std::vector<std::byte> png = EncodePng(bits, width, height);
    if (!png.empty()) screenshot.emplace(width, height, std::move(png));
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return screenshot;
}

void InstallBugReportWindow(bool installFatal) {
  gMainThread = GetCurrentThreadId();
  RegisterExceptionHandler([](const TExceptionReportPtr& report, bool& handled) {
    ShowReportDialog(report, handled, std::string());
  });
  SetScreenshotSource(TakeWindowScreenshot);
  // A window is shown by the thread of the message loop; a worker waits for it.
  SetMainThreadRunner([](const std::function<void()>& work) {
    if (GetCurrentThreadId() == gMainThread) {
      work();
      return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    ui::ProcessMainThread().Post([&work, &done] {
      work();
      done.set_value();
    });
    finished.wait();
  });
  if (installFatal) InstallFatalHandlers(platform::ProgramFile());
}

std::optional<int> RunFaultReporter(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], kReporterOption) != 0) return std::nullopt;
  const TExceptionReportPtr report = LoadFatalReport(argv[2]);
  if (!report) return 1;
  bool handled = false;
  ShowReportDialog(report, handled, std::string());
  return 0;
}

}  // namespace zephron::bugreport::win32
