#include "platform/HeldInputWork.h"

#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
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
    InputHolder(QWidget* window, const WorkStop& stop)
        : m_window(window), m_cancelButton(stop.cancelButton), m_requestStop(stop.requestStop) {}

    bool StopRequested() const { return m_stopRequested; }

    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!IsUserInput(event->type()) || !receiver->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(receiver);
        if (m_window == nullptr || (widget != m_window && !m_window->isAncestorOf(widget)))
            return false;
        if (m_requestStop && IsStopGesture(widget, event)) {
            if (!m_stopRequested) {
                m_stopRequested = true;
                m_requestStop();
            }
            event->ignore();
            return true;
        }
        if (m_requestStop && widget == m_cancelButton)
            return true; // the rest of a click on Cancel: nothing to replay
        m_held.emplace_back(QPointer<QObject>(receiver), std::unique_ptr<QEvent>(event->clone()));
        // A swallowed close event still counts as accepted, and the window would hide at once.
        if (event->type() == QEvent::Close)
            event->ignore();
        return true;
    }

    void Replay() {
        // A stopped window is about to go away; what the user did meanwhile was meant for the work.
        if (m_stopRequested)
            m_held.clear();
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
    bool IsStopGesture(QWidget* widget, QEvent* event) const {
        switch (event->type()) {
        case QEvent::Close:
            return widget == m_window;
        case QEvent::KeyPress:
            return static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        case QEvent::Shortcut: // Cancel's accelerator
            return widget == m_cancelButton && m_cancelButton->isEnabled();
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            return widget == m_cancelButton && m_cancelButton->isEnabled() &&
                   mouse->button() == Qt::LeftButton &&
                   widget->rect().contains(mouse->position().toPoint());
        }
        default:
            return false;
        }
    }

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_cancelButton;
    std::function<void()> m_requestStop;
    bool m_stopRequested = false;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> m_held;
};

} // namespace

bool RunHoldingInput(QWidget* window, const std::function<void()>& work, const WorkStop& stop) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        work();
        return false;
    }
    GuiWorkScope scope;
    InputHolder holder(window, stop);
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
    return holder.StopRequested();
}

} // namespace qp
