#include "platform/NetworkState.h"

#include "platform/DBusSignal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>

namespace qp {
namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kPath = QStringLiteral("/org/freedesktop/NetworkManager");
constexpr int kAnswerMs = 5000;

bool Connected(unsigned state) {
    return state >= NetworkState::kConnectedLocal;
}

} // namespace

NetworkState::NetworkState(std::function<void()> back)
    : NetworkState(std::move(back), QDBusConnection::systemBus()) {}

NetworkState::NetworkState(std::function<void()> back, QDBusConnection bus)
    : m_back(std::move(back)), m_context(std::make_unique<QObject>()) {
    if (!bus.isConnected())
        return;
    m_signal =
        std::make_unique<DBusSignal>(bus, kService, kPath, kService, QStringLiteral("StateChanged"),
                                     [this](const QDBusMessage& signal) {
                                         if (!signal.arguments().isEmpty())
                                             Changed(signal.arguments()[0].toUInt());
                                     });
    // Where the network already is, so that a change between two connected states, or the first
    // word of a NetworkManager started later, is told apart from a return.
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kService << QStringLiteral("State");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs), m_context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, m_context.get(), [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        // A signal heard meanwhile is newer than this answer.
        if (!reply.isError() && !m_state)
            m_state = reply.value().variant().toUInt();
    });
}

NetworkState::~NetworkState() = default;

bool NetworkState::Listening() const {
    return m_signal && m_signal->Listening();
}

void NetworkState::Changed(unsigned state) {
    const std::optional<unsigned> before = m_state;
    m_state = state;
    // Up from nothing, or from the local network to a wider one: a server that could not be
    // reached before may be now.
    if (Connected(state) && (!before || *before < state) && m_back)
        m_back();
}

} // namespace qp
