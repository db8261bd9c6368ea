#include "platform/DesktopNotifications.h"

#include "platform/DBusSignal.h"
#include "platform/SessionBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace qp {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// A service that does not answer within this long counts as none; the user is told otherwise.
constexpr int kAnswerMs = 5000;
// The service's key for a click on the notification itself.
const QString kDefaultAction = QStringLiteral("default");
// Clicks remembered for notifications the service never said were closed; the oldest go first.
constexpr std::size_t kRememberedClicks = 64;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A body for a service that reads markup in it: the text shown as it is, so that a server's reply
// or a name in it can neither format the notification nor make it load a link or a picture.
QString MarkupEscaped(const std::string& text) {
    QString escaped;
    for (const QChar c : Text(text)) {
        if (c == u'&')
            escaped += QStringLiteral("&amp;");
        else if (c == u'<')
            escaped += QStringLiteral("&lt;");
        else if (c == u'>')
            escaped += QStringLiteral("&gt;");
        else
            escaped += c;
    }
    return escaped;
}

// Runs `answered` with the reply to `call` on `context`'s thread, or not at all once `context`
// is gone.
template <typename Reply>
void Ask(const QDBusConnection& bus, const QDBusMessage& call, QObject* context,
         std::function<void(const Reply&)> answered) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, answered = std::move(answered)] {
                         watcher->deleteLater();
                         answered(Reply(*watcher));
                     });
}

} // namespace

DesktopNotifications::DesktopNotifications(Sender sender)
    : DesktopNotifications(std::move(sender), MissingSessionBus() ? QDBusConnection(QString())
                                                                  : QDBusConnection::sessionBus()) {
}

DesktopNotifications::DesktopNotifications(Sender sender, QDBusConnection bus)
    : m_sender(std::move(sender)), m_context(std::make_unique<QObject>()) {
    if (!bus.isConnected())
        return;
    m_bus = bus;
    m_invoked = std::make_unique<DBusSignal>(bus, kService, kPath, kService,
                                             QStringLiteral("ActionInvoked"),
                                             [this](const QDBusMessage& signal) {
                                                 const QVariantList args = signal.arguments();
                                                 if (args.size() == 2)
                                                     Invoked(args[0].toUInt(), args[1].toString());
                                             });
    m_closed = std::make_unique<DBusSignal>(
        bus, kService, kPath, kService, QStringLiteral("NotificationClosed"),
        [this](const QDBusMessage& signal) {
            if (!signal.arguments().isEmpty())
                m_clicks.erase(signal.arguments().constFirst().toUInt());
        });
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::Notify(const std::string& title, const std::string& body,
                                  std::function<void()> clicked, std::function<void()> unseen) {
    if (!m_bus) {
        if (unseen)
            unseen();
        return;
    }
    // Asked anew each time: the service may have been replaced by one that can do otherwise.
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                             QStringLiteral("GetCapabilities"));
    Ask<QDBusPendingReply<QStringList>>(
        *m_bus, call, m_context.get(),
        [this, title, body, clicked = std::move(clicked),
         unseen = std::move(unseen)](const QDBusPendingReply<QStringList>& reply) mutable {
            if (reply.isError()) {
                if (unseen)
                    unseen();
                return;
            }
            const bool withActions = clicked && reply.value().contains(QStringLiteral("actions"));
            const QString shown = reply.value().contains(QStringLiteral("body-markup"))
                                      ? MarkupEscaped(body)
                                      : Text(body);
            Raise(title, shown, withActions, std::move(clicked), std::move(unseen));
        });
}

void DesktopNotifications::Raise(const std::string& title, const QString& body, bool withActions,
                                 std::function<void()> clicked, std::function<void()> unseen) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QStringList actions =
        withActions ? QStringList{kDefaultAction, QStringLiteral("Open")} : QStringList{};
    QVariantMap hints;
    if (!m_sender.desktopEntry.empty())
        hints.insert(QStringLiteral("desktop-entry"), Text(m_sender.desktopEntry));
    call << Text(m_sender.appName) << 0u << Text(m_sender.icon) << Text(title) << body << actions
         << hints << -1;
    Ask<QDBusPendingReply<unsigned>>(
        *m_bus, call, m_context.get(),
        [this, withActions, clicked = std::move(clicked),
         unseen = std::move(unseen)](const QDBusPendingReply<unsigned>& reply) {
            if (reply.isError()) {
                if (unseen)
                    unseen();
                return;
            }
            if (!withActions)
                return;
            if (m_clicks.size() >= kRememberedClicks)
                m_clicks.erase(m_clicks.begin());
            m_clicks[reply.value()] = clicked;
        });
}

void DesktopNotifications::Invoked(unsigned id, const QString& action) {
    if (action != kDefaultAction)
        return;
    const auto found = m_clicks.find(id);
    if (found == m_clicks.end())
        return;
    const std::function<void()> clicked = std::move(found->second);
    m_clicks.erase(found);
    clicked();
}

} // namespace qp
