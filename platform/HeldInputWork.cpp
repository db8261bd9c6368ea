#include "platform/HeldInputWork.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <exception>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace qp {
namespace {

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

// Catches input for one window tree and keeps copies to replay later.
class InputHolder final : public QObject {
public:
    explicit InputHolder(QWidget* window) : m_window(window) {}

    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!IsUserInput(event->type()) || !receiver->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(receiver);
        if (m_window == nullptr || (widget != m_window && !m_window->isAncestorOf(widget)))
            return false;
        m_held.emplace_back(QPointer<QObject>(receiver), std::unique_ptr<QEvent>(event->clone()));
        // A swallowed close event still counts as accepted, and the window would hide at once.
        if (event->type() == QEvent::Close)
            event->ignore();
        return true;
    }

    void Replay() {
        for (auto& [receiver, event] : m_held) {
            if (!receiver)
                continue;
            if (event->type() == QEvent::Close) {
                // Only a real close request hides the window once its close event is accepted.
                auto* widget = static_cast<QWidget*>(receiver.data());
                QMetaObject::invokeMethod(
                    widget, [widget] { widget->close(); }, Qt::QueuedConnection);
            } else {
                QCoreApplication::postEvent(receiver, event.release());
            }
        }
        m_held.clear();
    }

private:
    QPointer<QWidget> m_window;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> m_held;
};

} // namespace

void RunHoldingInput(QWidget* window, const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        work();
        return;
    }
    InputHolder holder(window);
    app->installEventFilter(&holder);

    // Events are pumped by hand rather than by a nested QEventLoop: once the application has been
    // told to quit, every new event loop returns at once, and the worker may still need this thread
    // for a message box.
    bool finished = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Queued behind whatever the work posted, so its progress reports are shown first.
        QMetaObject::invokeMethod(
            app, [&finished] { finished = true; }, Qt::QueuedConnection);
    });
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();

    app->removeEventFilter(&holder);
    holder.Replay();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace qp
