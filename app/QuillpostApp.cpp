#include "app/QuillpostApp.h"

#include "app/CommandLine.h"
#include "app/Settings.h"
#include "app/StartupServices.h"
#include "app/WorkPaths.h"
#include "fax/AccountPin.h"
#include "platform/CommonFolder.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/Sockets.h"

#include <QCoreApplication>
#include <atomic>
#include <cstdio>

namespace {
std::atomic<CQuillpostApp*> g_instance{nullptr};

constexpr const char* kProgramName = "quillpost";
constexpr const char* kPortFileName = "fax.ps";
} // namespace

CQuillpostApp::CQuillpostApp(std::string commandLine,
                             std::unique_ptr<QCoreApplication> qtApplication,
                             qp::ProcessRunner& runner, std::unique_ptr<qp::SecretStore> secrets)
    : m_qtApplication(std::move(qtApplication)), m_commandLine(std::move(commandLine)),
      m_runner(runner),
      m_secrets(secrets ? std::move(secrets) : std::make_unique<qp::NoSecretStore>()) {
    g_instance = this;
    std::optional<std::string> folder = qp::ExistingCommonFolder();
    if (!folder)
        qp::ShowMessage("Unable to retrieve directory for processing faxes");
    // Without the folder the paths still name it, so nothing is ever found there until it exists.
    SetPortFile(folder.value_or(qp::CommonFolderPath()) + "/" + kPortFileName);
    m_gsPath = qp::kGhostscriptPath;
}

void CQuillpostApp::SetPortFile(const std::string& port) {
    m_portFile = qp::UserPortFile(port, qp::CurrentLoginName());
    qp::EnsurePrivateFolder(m_portFile.substr(0, m_portFile.rfind('/')));
}

CQuillpostApp::~CQuillpostApp() {
    CQuillpostApp* self = this;
    g_instance.compare_exchange_strong(self, nullptr);
}

CQuillpostApp* CQuillpostApp::Instance() {
    return g_instance.load();
}

int CQuillpostApp::Run(qp::StartupServices& services) {
    switch (InitInstance(services)) {
    case StartOutcome::Exit:
        return 0;
    case StartOutcome::Fail:
        return 1;
    case StartOutcome::RunEventLoop:
        break;
    }
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::exec();
    // However the loop ended (the last window, a signal, the session's end), the work in flight
    // is stopped, logged and its job kept before the threads are joined.
    services.Shutdown(*this);
    return 0;
}

CQuillpostApp::StartOutcome CQuillpostApp::InitInstance(qp::StartupServices& services) {
    if (!qp::StartSockets()) {
        qp::ShowMessage("Windows sockets initialization failed.");
        return StartOutcome::Fail;
    }

    switch (qp::ChooseStartMode(m_commandLine)) {
    case qp::StartMode::Bootstrap:
        RunBootstrap();
        return StartOutcome::Exit;
    case qp::StartMode::Update:
        if (std::optional<std::string> host = qp::HostFromCommandLine(m_commandLine))
            SetHost(*host);
        else
            qp::ShowMessage("Error parsing host");
        services.RunUpdate(*this);
        return StartOutcome::Exit;
    case qp::StartMode::Configure:
        ReadSettings();
        services.RunInitialConfig(*this);
        return StartOutcome::Exit;
    case qp::StartMode::Log:
        ReadSettings();
        // The log window stays, with any fax sent again from it, until the last of them closes.
        return services.RunFaxLog(*this) ? StartOutcome::RunEventLoop : StartOutcome::Exit;
    case qp::StartMode::Contacts:
        ReadSettings();
        return services.RunContacts(*this) ? StartOutcome::RunEventLoop : StartOutcome::Exit;
    case qp::StartMode::Tray:
        break;
    }

    // Two clients of one user would both watch the same port file.
    switch (m_instanceLock.Acquire()) {
    case qp::InstanceLock::Outcome::Acquired:
        break;
    case qp::InstanceLock::Outcome::HeldElsewhere:
        std::fputs("Quillpost is already running for this user.\n", stderr);
        return StartOutcome::Exit;
    case qp::InstanceLock::Outcome::NoPlace:
        std::fputs("Quillpost cannot start: neither /run/user nor ~/.cache/quillpost can hold "
                   "its lock for this user alone.\n",
                   stderr);
        return StartOutcome::Fail;
    }

    ReadSettings();
    services.CreateTrayWindow(*this);

    // The printer's port names the common folder and the port file's name in each user's folder.
    const std::string port = services.FindFaxPrinterPort();
    if (port.size() > 4)
        SetPortFile(port);

    services.SetDefaultViewer(*this);

    // First use: the account must be entered before any print job can be captured.
    if (GetProfileString(qp::settings::kSection, qp::settings::kLogin, "").empty())
        services.RunPreferences(*this);

    services.StartWatcher(*this);
    return StartOutcome::RunEventLoop;
}

void CQuillpostApp::ReadSettings() {
    // Read in the order "ln", "ps", "host", "port", "notifyemail".
    SetAccount(qp::LoadAccountSettings(m_profile));
    // The keyring may take a while (or a password prompt) to answer: the PIN comes when it does,
    // and whatever needs it meanwhile waits on its own thread.
    {
        std::lock_guard<std::mutex> lock(m_accountMutex);
        m_pinPending = true;
        m_pinProblem.clear();
    }
    qp::FindPin(*m_secrets, m_profile,
                [this](const qp::SecretOutcome& found) { SettlePin(found); });
    qp::MoveStoredPin(*m_secrets, m_profile);
}

void CQuillpostApp::SettlePin(const qp::SecretOutcome& found) {
    std::vector<std::function<void()>> waiters;
    {
        std::lock_guard<std::mutex> lock(m_accountMutex);
        // A PIN the user entered meanwhile is newer than the keyring's.
        if (!m_pinPending)
            return;
        m_pinPending = false;
        if (found.kind == qp::SecretOutcome::Kind::Found)
            m_pin = found.pin;
        if (found.kind == qp::SecretOutcome::Kind::Failed)
            m_pinProblem = found.reason;
        waiters.swap(m_pinWaiters);
    }
    m_pinSettled.notify_all();
    for (const std::function<void()>& waiter : waiters)
        waiter();
}

void CQuillpostApp::SavePin(const std::string& pin) {
    {
        std::lock_guard<std::mutex> lock(m_accountMutex);
        m_pin = pin;
        m_pinProblem.clear();
    }
    SettlePin(qp::SecretOutcome::Found(pin));
    qp::KeepPin(*m_secrets, m_profile, pin, [](const qp::SecretOutcome& kept) {
        if (kept.kind == qp::SecretOutcome::Kind::Failed)
            std::fprintf(stderr,
                         "Quillpost: the keyring did not take the PIN (%s); it is kept in the "
                         "settings file until the next start.\n",
                         kept.reason.c_str());
    });
}

bool CQuillpostApp::PinKnown() const {
    std::lock_guard<std::mutex> lock(m_accountMutex);
    return !m_pinPending;
}

void CQuillpostApp::WhenPinKnown(std::function<void()> then) {
    {
        std::lock_guard<std::mutex> lock(m_accountMutex);
        if (m_pinPending) {
            m_pinWaiters.push_back(std::move(then));
            return;
        }
    }
    then();
}

qp::Outcome CQuillpostApp::WaitForPin(std::chrono::milliseconds bound, std::stop_token stop) const {
    std::unique_lock<std::mutex> lock(m_accountMutex);
    if (!m_pinSettled.wait_for(lock, stop, bound, [this] { return !m_pinPending; })) {
        if (stop.stop_requested())
            return qp::Outcome::Stopped();
        return qp::Outcome::Failure(
            "The PIN is still being read from the keyring. If the keyring asks for its "
            "password, enter it, then send again.");
    }
    if (m_pin.empty() && !m_pinProblem.empty())
        return qp::Outcome::Failure("The PIN could not be read from the keyring: " + m_pinProblem);
    return qp::Outcome::Success();
}

void CQuillpostApp::RunBootstrap() {
    for (const std::string& dir : m_installDirs) {
        const std::string program = dir + kProgramName;
        if (!qp::FileExists(program))
            continue;
        // The installed copy runs from its own folder, with its program name as its only argument.
        m_runner.StartDetached({program}, dir);
        return;
    }
}

std::string CQuillpostApp::GetProfileString(const std::string& section, const std::string& entry,
                                            const std::string& defaultValue) const {
    return m_profile.GetString(section, entry, defaultValue);
}

int CQuillpostApp::GetProfileInt(const std::string& section, const std::string& entry,
                                 int defaultValue) const {
    return m_profile.GetInt(section, entry, defaultValue);
}

bool CQuillpostApp::WriteProfileString(const std::string& section, const std::string& entry,
                                       const char* value) const {
    if (value == nullptr)
        return m_profile.WriteString(section, entry, std::nullopt);
    return m_profile.WriteString(section, entry, std::string(value));
}

bool CQuillpostApp::WriteProfileInt(const std::string& section, const std::string& entry,
                                    int value) const {
    return m_profile.WriteInt(section, entry, value);
}

qp::AccountSettings CQuillpostApp::Account() const {
    std::lock_guard<std::mutex> lock(m_accountMutex);
    return qp::AccountSettings{m_host, m_port, m_login, m_pin, m_notifyEmail};
}

void CQuillpostApp::SetAccount(const qp::AccountSettings& account) {
    std::lock_guard<std::mutex> lock(m_accountMutex);
    m_host = account.host;
    m_port = account.port;
    m_login = account.login;
    m_pin = account.pin;
    m_notifyEmail = account.notifyEmail;
}

void CQuillpostApp::SetHost(const std::string& host) {
    std::lock_guard<std::mutex> lock(m_accountMutex);
    m_host = host;
}
