#include "ui/qt/qt_main_thread.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace zephron::ui::qt {

void QtMainThread::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

void QtMainThread::Quit() { QCoreApplication::quit(); }

}  // namespace zephron::ui::qt
