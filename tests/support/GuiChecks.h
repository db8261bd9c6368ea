#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QWidget>
#include <chrono>
#include <functional>
#include <utility>

namespace qp::test {

// A dialog of one fixed size: pinned at it, and a title bar without maximise or minimise button.
inline bool LooksFixedSize(const QWidget& dialog) {
    const Qt::WindowFlags flags = dialog.windowFlags();
    return (flags & Qt::CustomizeWindowHint) && (flags & Qt::WindowCloseButtonHint) &&
           !(flags & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)) &&
           dialog.minimumSize() == dialog.maximumSize();
}

// Runs the GUI thread's events until `condition` holds, for at most `limit`: for work that reports
// back through the event loop.
inline bool PumpUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition() && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// Shows every event of the application to `seen` for the life of the scope.
class EventWatch final : public QObject {
public:
    explicit EventWatch(std::function<void(QObject*, QEvent*)> seen) : m_seen(std::move(seen)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~EventWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject* object, QEvent* event) override {
        m_seen(object, event);
        return false;
    }

private:
    std::function<void(QObject*, QEvent*)> m_seen;
};

} // namespace qp::test
