// The window program's main thread for the engine: work posted from a
// worker runs in Qt's event loop, and Quit ends that loop once the current
// handler has returned.
#pragma once

#include "ui/main_thread.h"

namespace zephron::ui::qt {

class QtMainThread : public MainThread {
 public:
  void Post(std::function<void()> work) override;
  void Quit() override;
};

}  // namespace zephron::ui::qt
