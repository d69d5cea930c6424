// The host's main thread, as the engine needs it for a threaded update: work
// posted from the worker thread runs on the main thread (the window's event
// loop, or the headless front end's queue), and the engine may ask the host
// to end its event loop once the setup program has been started.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace zephron::ui {

class MainThread {
 public:
  virtual ~MainThread() = default;
  // Runs work on the main thread later; callable from any thread.
  virtual void Post(std::function<void()> work) = 0;
  // Asks the host to end its event loop after the work at hand (the
  // application "terminates" without being cut off mid-way).
  virtual void Quit() = 0;
};

// The headless front end's main thread: a queue it runs itself.
class QueuedMainThread : public MainThread {
 public:
  void Post(std::function<void()> work) override;
  void Quit() override;

  // Runs the work posted so far; false when there was none.
  bool RunPending();
  // Waits until work is posted (or Quit is called), then runs it.
  void WaitAndRun();
  bool QuitRequested() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
  bool quit_ = false;
};

// The main thread of the process unless a host sets its own: the queue above.
MainThread& ProcessMainThread();
void SetProcessMainThread(MainThread* thread);
QueuedMainThread& DefaultMainThread();

}  // namespace zephron::ui
