#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace qp {

bool IsGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void RunOnGuiThread(const std::function<void()>& work) {
    if (IsGuiThread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), work, Qt::BlockingQueuedConnection);
}

} // namespace qp
