// The window program's main thread for the engine on Win32: work posted from
// a worker is handed to a message-only window of the thread that made this
// object and runs inside its message loop; Quit ends that loop (WM_QUIT)
// once the message at hand has been handled.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "ui/main_thread.h"

namespace zephron::ui::win32 {

class Win32MainThread : public MainThread {
 public:
  Win32MainThread();
  ~Win32MainThread() override;
  Win32MainThread(const Win32MainThread&) = delete;
  Win32MainThread& operator=(const Win32MainThread&) = delete;

  void Post(std::function<void()> work) override;
  void Quit() override;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void RunPosted();

  HWND window_ = nullptr;
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

// The thread's message loop with dialog keys for the active window, until
// WM_QUIT; its exit code.
int RunMessageLoop();

}  // namespace zephron::ui::win32
