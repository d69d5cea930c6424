#include "ui/win32/win32_main_thread.h"

namespace zephron::ui::win32 {
namespace {
constexpr UINT kRunPosted = WM_APP + 1;
constexpr UINT kQuit = WM_APP + 2;
constexpr wchar_t kClassName[] = L"ZephronMainThread";

void RegisterOnce() {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
}
}  // namespace

Win32MainThread::Win32MainThread() {
  RegisterOnce();
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32MainThread::Procedure));
}

Win32MainThread::~Win32MainThread() {
  if (window_) DestroyWindow(window_);
}

void Win32MainThread::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
  }
  PostMessageW(window_, kRunPosted, 0, 0);
}

void Win32MainThread::Quit() { PostMessageW(window_, kQuit, 0, 0); }

void Win32MainThread::RunPosted() {
  std::deque<std::function<void()>> work;
  {
    std::lock_guard lock(mutex_);
    work.swap(queue_);
  }
  for (auto& item : work) item();
}

LRESULT CALLBACK Win32MainThread::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Win32MainThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == kRunPosted) {
    self->RunPosted();
    return 0;
  }
  if (message == kQuit) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    HWND active = GetActiveWindow();
    if (active && IsDialogMessageW(active, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace zephron::ui::win32
