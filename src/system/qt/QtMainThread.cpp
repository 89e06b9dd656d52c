#include "system/qt/QtMainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace dravik {

bool QtMainThread::isCurrent() const {
    auto* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void QtMainThread::post(std::function<void()> work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

void QtMainThread::postAndWait(std::function<void()> work) {
    if (isCurrent()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work),
                              Qt::BlockingQueuedConnection);
}

} // namespace dravik
