#include "platform/KeyringSecretStore.h"

#include "platform/SessionBus.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace qp {
namespace {

// The names under which a keyring that QtKeychain can use runs, or can be started, on the bus.
const char* const kKeyringNames[] = {"org.freedesktop.secrets", "org.kde.kwalletd6",
                                     "org.kde.kwalletd5"};
constexpr int kBusAnswerMs = 5000;

// One operation's single answer: the keyring's, or the time limit's, whichever comes first.
struct Pending {
    SecretAnswer done;
    bool answered = false;

    void Answer(const SecretOutcome& outcome) {
        if (answered)
            return;
        answered = true;
        done(outcome);
    }
};

using KeyringFound = std::function<void(const std::optional<std::string>& missing)>;

// Asks the bus daemon for one list of names and says whether a keyring is among them; a list
// that does not come counts as none.
void AskBusForKeyring(const QDBusConnection& bus, const char* method, QObject* context,
                      std::function<void(bool)> then) {
    const QString daemon = QStringLiteral("org.freedesktop.DBus");
    const QDBusMessage call = QDBusMessage::createMethodCall(
        daemon, QStringLiteral("/org/freedesktop/DBus"), daemon, QString::fromLatin1(method));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kBusAnswerMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, then = std::move(then)] {
                         watcher->deleteLater();
                         const QDBusPendingReply<QStringList> reply = *watcher;
                         bool found = false;
                         if (!reply.isError())
                             for (const char* name : kKeyringNames)
                                 found = found || reply.value().contains(QLatin1String(name));
                         then(found);
                     });
}

void FindKeyring(QObject* context, KeyringFound then) {
    if (std::optional<std::string> missing = MissingSessionBus()) {
        then(missing);
        return;
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        then("the session bus cannot be reached: " + bus.lastError().message().toStdString());
        return;
    }
    AskBusForKeyring(bus, "ListNames", context, [bus, context, then](bool running) {
        if (running) {
            then(std::nullopt);
            return;
        }
        AskBusForKeyring(bus, "ListActivatableNames", context, [then](bool startable) {
            if (startable)
                then(std::nullopt);
            else
                then(std::string("no keyring (Secret Service) on the session bus"));
        });
    });
}

SecretOutcome OutcomeOf(const QKeychain::Job& job, bool reading, bool writing,
                        const std::string& written) {
    const std::string reason = job.errorString().toStdString();
    switch (job.error()) {
    case QKeychain::NoError:
        if (reading)
            return SecretOutcome::Found(
                qobject_cast<const QKeychain::ReadPasswordJob*>(&job)->textData().toStdString());
        return writing ? SecretOutcome::Found(written) : SecretOutcome::NotFound();
    case QKeychain::EntryNotFound:
        // Removing what is not there leaves the keyring as asked.
        if (!writing)
            return SecretOutcome::NotFound();
        break;
    case QKeychain::NoBackendAvailable:
        return SecretOutcome::NoService(reason);
    default:
        break;
    }
    return SecretOutcome::Failed(reason.empty() ? "the keyring refused" : reason);
}

} // namespace

KeyringSecretStore::KeyringSecretStore(std::chrono::milliseconds bound)
    : m_bound(bound), m_context(std::make_unique<QObject>()) {}

KeyringSecretStore::~KeyringSecretStore() = default;

void KeyringSecretStore::Read(SecretAnswer done) {
    Start(Operation::Read, {}, std::move(done));
}

void KeyringSecretStore::Write(const std::string& pin, SecretAnswer done) {
    Start(Operation::Write, pin, std::move(done));
}

void KeyringSecretStore::Remove(SecretAnswer done) {
    Start(Operation::Remove, {}, std::move(done));
}

void KeyringSecretStore::Start(Operation operation, const std::string& pin, SecretAnswer done) {
    m_waiting.push_back([this, operation, pin, done = std::move(done)]() mutable {
        Run(operation, pin, std::move(done));
    });
    if (!m_running)
        RunNext();
}

void KeyringSecretStore::RunNext() {
    m_running = !m_waiting.empty();
    if (!m_running)
        return;
    std::function<void()> run = std::move(m_waiting.front());
    m_waiting.pop_front();
    run();
}

void KeyringSecretStore::Run(Operation operation, const std::string& pin, SecretAnswer done) {
    QObject* context = m_context.get();
    // The caller's answer may end the store, so the next operation starts from the event loop,
    // and only while the store is still there.
    auto pending = std::make_shared<Pending>(
        Pending{[this, context = QPointer<QObject>(context), done](const SecretOutcome& outcome) {
            done(outcome);
            if (context)
                QTimer::singleShot(0, context, [this] { RunNext(); });
        }});
    const long long seconds = std::chrono::ceil<std::chrono::seconds>(m_bound).count();
    QTimer::singleShot(m_bound, context, [pending, seconds] {
        pending->Answer(SecretOutcome::Failed("the keyring did not answer within " +
                                              std::to_string(seconds) + " seconds"));
    });
    FindKeyring(
        context, [operation, pin, pending, context](const std::optional<std::string>& missing) {
            if (missing) {
                pending->Answer(SecretOutcome::NoService(*missing));
                return;
            }
            const QString service = QString::fromLatin1(kService);
            QKeychain::Job* job = nullptr;
            if (operation == Operation::Read) {
                job = new QKeychain::ReadPasswordJob(service);
            } else if (operation == Operation::Write) {
                auto* write = new QKeychain::WritePasswordJob(service);
                write->setTextData(QString::fromStdString(pin));
                job = write;
            } else {
                job = new QKeychain::DeletePasswordJob(service);
            }
            job->setKey(QString::fromLatin1(kKey));
            // Never QtKeychain's plain-text file: without a keyring the PIN stays in our own 0600
            // settings file, where the user knows to look for it.
            job->setInsecureFallback(false);
            job->setAutoDelete(true);
            QObject::connect(job, &QKeychain::Job::finished, context,
                             [operation, pin, pending](QKeychain::Job* finished) {
                                 pending->Answer(OutcomeOf(*finished, operation == Operation::Read,
                                                           operation == Operation::Write, pin));
                             });
            job->start();
        });
}

} // namespace qp
