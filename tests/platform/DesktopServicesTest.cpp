// The desktop's services as this program meets them on D-Bus, each impersonated by the test on a
// bus of its own: the notification service and NetworkManager.
#include "platform/DesktopNotifications.h"
#include "platform/NetworkState.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/PrivateSessionBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

namespace {

using qp::test::PumpUntil;

// One program's connection to the test's bus; the name says whose. Each is new, as Qt would
// otherwise hand out again one made for an earlier test's bus.
QDBusConnection Connect(const qp::test::PrivateSessionBus& bus, const QString& name) {
    static int made = 0;
    return QDBusConnection::connectToBus(QString::fromStdString(bus.Address()),
                                         name + QString::number(++made));
}

// A service on the bus under its well-known name: it answers calls to one object with `answer`
// (false: the method is unknown) and sends signals from that object.
class BusService final : public QDBusVirtualObject {
public:
    using Answer = std::function<bool(const QDBusMessage& call, QDBusMessage& reply)>;

    BusService(QDBusConnection bus, const QString& name, const QString& path, Answer answer)
        : m_bus(std::move(bus)), m_name(name), m_path(path), m_answer(std::move(answer)) {
        m_registered = m_bus.registerVirtualObject(path, this) && m_bus.registerService(name);
    }
    ~BusService() override {
        m_bus.unregisterService(m_name);
        m_bus.unregisterObject(m_path);
    }

    bool Registered() const { return m_registered; }
    void Signal(const QString& interface, const QString& name, const QVariantList& args) {
        QDBusMessage signal = QDBusMessage::createSignal(m_path, interface, name);
        signal.setArguments(args);
        m_bus.send(signal);
    }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        QDBusMessage reply = call.createReply();
        if (!m_answer(call, reply))
            return false;
        connection.send(reply);
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

private:
    QDBusConnection m_bus;
    QString m_name;
    QString m_path;
    Answer m_answer;
    bool m_registered = false;
};

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const qp::DesktopNotifications::Sender kSender{"Quill Post", "quillpost", "quillpost"};

class DesktopServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_bus.Missing().empty())
            GTEST_SKIP() << m_bus.Missing();
    }

    // A notification service with `capabilities` that shows everything, or refuses everything.
    std::unique_ptr<BusService> StartNotificationService(const QStringList& capabilities,
                                                         bool refuses = false) {
        auto service = std::make_unique<BusService>(
            Connect(m_bus, QStringLiteral("notification-service")), kNotifications,
            kNotificationsPath,
            [this, capabilities, refuses](const QDBusMessage& call, QDBusMessage& reply) {
                if (call.member() == QLatin1String("GetCapabilities")) {
                    reply << capabilities;
                    return true;
                }
                if (call.member() != QLatin1String("Notify"))
                    return false;
                m_shown.push_back(call.arguments());
                reply =
                    refuses
                        ? call.createErrorReply(QStringLiteral("org.example.Refused"),
                                                QStringLiteral("no"))
                        : call.createReply(QVariant(static_cast<unsigned>(40 + m_shown.size())));
                return true;
            });
        EXPECT_TRUE(service->Registered());
        return service;
    }

    qp::test::PrivateSessionBus m_bus;
    QDBusConnection m_client = Connect(m_bus, QStringLiteral("client"));
    // The arguments of each Notify call: application, id, icon, title, body, actions, hints.
    std::vector<QVariantList> m_shown;
};

// The body is plain text however the service reads it: a server's reply in it cannot format it
// or make the service load a link or a picture.
TEST_F(DesktopServicesTest,
       ANotificationGoesToTheServiceAndItsClickRunsOnlyWhereActionsAreOffered) {
    const std::string body = "Fax to <img src=\"x\"> & co sent";
    struct Case {
        const char* what;
        QStringList capabilities;
        bool clickable;
        std::string shown;
    };
    const Case cases[] = {
        {"a service with actions", {QStringLiteral("body"), QStringLiteral("actions")}, true, body},
        {"a service without actions", {QStringLiteral("body")}, false, body},
        {"a service that reads markup",
         {QStringLiteral("body"), QStringLiteral("body-markup")},
         false,
         "Fax to &lt;img src=\"x\"&gt; &amp; co sent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_shown.clear();
        auto service = StartNotificationService(c.capabilities);
        qp::DesktopNotifications notifications(kSender, m_client);
        int clicks = 0, unseen = 0;
        notifications.Notify(
            "Quill Post", body, [&] { ++clicks; }, [&] { ++unseen; });
        ASSERT_TRUE(PumpUntil([&] { return !m_shown.empty(); }));
        EXPECT_EQ(m_shown[0][3].toString(), QStringLiteral("Quill Post"));
        EXPECT_EQ(m_shown[0][4].toString().toStdString(), c.shown);
        // Lists arrive still marshalled at an object without a type of its own.
        EXPECT_EQ(qdbus_cast<QStringList>(m_shown[0][5]).contains(QStringLiteral("default")),
                  c.clickable);
        if (c.clickable) {
            // Another program's notification clicked, then ours, until ours has been heard: the
            // service's answer naming it may still be on its way.
            service->Signal(kNotifications, QStringLiteral("ActionInvoked"),
                            {7u, QStringLiteral("default")});
            EXPECT_TRUE(PumpUntil([&] {
                service->Signal(kNotifications, QStringLiteral("ActionInvoked"),
                                {41u, QStringLiteral("default")});
                return clicks > 0;
            }));
            // Heard once, however often the service says it.
            notifications.Notify("Quill Post", "Fax to 5550101 sent", [&] { clicks += 10; }, {});
            EXPECT_TRUE(PumpUntil([&] {
                service->Signal(kNotifications, QStringLiteral("ActionInvoked"),
                                {42u, QStringLiteral("default")});
                return clicks >= 10;
            }));
            EXPECT_EQ(clicks, 11);
        }
        EXPECT_EQ(unseen, 0);
    }
}

TEST_F(DesktopServicesTest, ANotificationNoServiceShowsTakesTheOtherWayOnce) {
    struct Case {
        const char* what;
        bool service;
        bool connected;
    };
    const Case cases[] = {
        {"no service on the bus", false, true},
        {"a service that refuses it", true, true},
        {"no bus at all", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto service =
            c.service ? StartNotificationService({QStringLiteral("actions")}, true) : nullptr;
        qp::DesktopNotifications notifications(
            kSender, c.connected ? m_client : QDBusConnection(QStringLiteral("none")));
        int clicks = 0, unseen = 0;
        notifications.Notify(
            "Quill Post", "Fax to 5550100 sent", [&] { ++clicks; }, [&] { ++unseen; });
        EXPECT_TRUE(PumpUntil([&] { return unseen > 0; }));
        EXPECT_EQ(unseen, 1);
        EXPECT_EQ(clicks, 0);
    }
}

TEST_F(DesktopServicesTest, TheNetworkComingBackIsToldOnceForEachRiseToAConnectedState) {
    const QString name = QStringLiteral("org.freedesktop.NetworkManager");
    // NetworkManager's own answers to questions are not needed: it is heard by its signals.
    BusService manager(Connect(m_bus, QStringLiteral("network-manager")), name,
                       QStringLiteral("/org/freedesktop/NetworkManager"),
                       [](const QDBusMessage&, QDBusMessage&) { return false; });
    ASSERT_TRUE(manager.Registered());
    struct Case {
        const char* what;
        std::vector<unsigned> states;
        int backs;
    };
    const Case cases[] = {
        {"disconnected, then connected", {20, 40, 70}, 1},
        {"from the local network to the internet", {20, 50, 70}, 2},
        {"connectivity falling", {70, 60, 50, 20}, 1},
        {"never connected", {20, 40, 20}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int backs = 0;
        qp::NetworkState network([&] { ++backs; }, m_client);
        EXPECT_TRUE(network.Listening());
        for (unsigned state : c.states)
            manager.Signal(name, QStringLiteral("StateChanged"), {state});
        // A return after them all shows that each one before it was heard.
        manager.Signal(name, QStringLiteral("StateChanged"), {20u});
        manager.Signal(name, QStringLiteral("StateChanged"), {70u});
        ASSERT_TRUE(PumpUntil([&] { return backs > c.backs; }));
        EXPECT_EQ(backs, c.backs + 1);
    }
    EXPECT_FALSE(qp::NetworkState([] {}, QDBusConnection(QStringLiteral("none"))).Listening());
}

} // namespace
