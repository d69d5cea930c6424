#include "ui/main_thread.h"

#include <atomic>

namespace zephron::ui {

void QueuedMainThread::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
  }
  posted_.notify_all();
}

void QueuedMainThread::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  posted_.notify_all();
}

bool QueuedMainThread::RunPending() {
  std::deque<std::function<void()>> work;
  {
    std::lock_guard lock(mutex_);
    work.swap(queue_);
  }
  for (auto& item : work) item();
  return !work.empty();
}

void QueuedMainThread::WaitAndRun() {
  {
    std::unique_lock lock(mutex_);
    posted_.wait(lock, [this] { return !queue_.empty() || quit_; });
  }
  RunPending();
}

bool QueuedMainThread::QuitRequested() const {
  std::lock_guard lock(mutex_);
  return quit_;
}

namespace {
std::atomic<MainThread*> gMainThread{nullptr};
}  // namespace

QueuedMainThread& DefaultMainThread() {
  static QueuedMainThread queue;
  return queue;
}

MainThread& ProcessMainThread() {
  MainThread* thread = gMainThread.load();
  return thread ? *thread : DefaultMainThread();
}

void SetProcessMainThread(MainThread* thread) { gMainThread.store(thread); }

}  // namespace zephron::ui
