#include "app/SendDialogs.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>

namespace qp {

SendDialogs::SendDialogs(ServicesFactory services) : m_services(std::move(services)) {}

SendDialogs::~SendDialogs() {
    EndAll();
}

FaxDialog& SendDialogs::Open(Job job, std::function<void()> closed) {
    auto dialog = std::make_unique<FaxDialog>(std::move(job), m_services());
    FaxDialog* raw = dialog.get();
    QObject::connect(raw, &QDialog::finished, raw,
                     [this, raw, closed = std::move(closed)] { Closed(raw, closed); });
    m_dialogs.push_back(std::move(dialog));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_open;
    }
    raw->show();
    raw->raise();
    raw->activateWindow();
    return *raw;
}

void SendDialogs::Closed(FaxDialog* dialog, const std::function<void()>& closed) {
    const auto it = std::find_if(m_dialogs.begin(), m_dialogs.end(),
                                 [dialog](const auto& open) { return open.get() == dialog; });
    if (it == m_dialogs.end())
        return;
    // The dialog is inside its own signal: it goes once control has left it.
    it->release()->deleteLater();
    m_dialogs.erase(it);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_open;
    }
    m_changed.notify_all();
    if (closed)
        closed();
}

std::size_t SendDialogs::OpenCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

bool SendDialogs::WaitUntilNoneOpen() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_ending || m_open == 0; });
    return !m_ending;
}

void SendDialogs::EndAll() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    // Ending a dialog closes it, which takes it off the list: work on a copy.
    std::vector<FaxDialog*> open;
    for (const auto& dialog : m_dialogs)
        open.push_back(dialog.get());
    for (FaxDialog* dialog : open)
        dialog->EndForShutdown();
    m_dialogs.clear();
    // The event loop has ended: the closed dialogs are deleted here, not by a later loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace qp
