#include "app/QuillpostApp.h"

#include "app/CommandLine.h"
#include "app/StartupServices.h"
#include "base/Settings.h"
#include "base/WorkPaths.h"
#include "platform/ClientChannel.h"
#include "platform/CommonFolder.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/QuitSignals.h"
#include "platform/Sockets.h"

#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace {

constexpr const char* kProgramName = "quillpost";
constexpr const char* kPortFileName = "fax.ps";
constexpr const char* kHandOverDeclined =
    "Quillpost is already running for this user, but it cannot do this now. Try again once its "
    "open windows are closed.";
constexpr const char* kHandOverFailed =
    "Quillpost is already running for this user, but it did not answer. Try again in a moment, "
    "or quit it and start it again.";
} // namespace

CQuillpostApp::CQuillpostApp(std::string commandLine,
                             std::unique_ptr<QCoreApplication> qtApplication,
                             qp::ProcessRunner& runner, std::unique_ptr<qp::SecretStore> secrets,
                             std::vector<std::string> installDirs)
    : m_qtApplication(std::move(qtApplication)), m_commandLine(std::move(commandLine)),
      m_runner(runner), m_installDirs(std::move(installDirs)),
      m_account(qp::Profile(), std::move(secrets)) {
    // Without the folder the paths still name it, so nothing is ever found there until it exists;
    // the printer's queue may name another, so tray start-up tells only when that is missing too.
    SetPortFile(qp::CommonFolderPath() + "/" + kPortFileName);
}

void CQuillpostApp::SetPortFile(const std::string& port) {
    m_portFile = qp::UserPortFile(port, qp::CurrentLoginName());
    const std::string ownFolder = m_portFile.substr(0, m_portFile.rfind('/'));
    m_commonFolder = ownFolder.substr(0, ownFolder.rfind('/'));
    qp::EnsurePrivateFolder(ownFolder);
}

CQuillpostApp::~CQuillpostApp() = default;

bool CQuillpostApp::QuitRequested() const {
    return m_quitSignals && m_quitSignals->Requested();
}

int CQuillpostApp::Run(qp::StartupServices& services) {
    // A quit signal ends every event loop, which closes whatever modal window runs one; start-up
    // would go on after that window as after any other, so it asks for the request before each
    // step.
    m_quitSignals = std::make_unique<qp::QuitSignals>([] { QCoreApplication::exit(0); });
    int exitCode = 0;
    switch (InitInstance(services)) {
    case StartOutcome::Exit:
        break;
    case StartOutcome::Fail:
        exitCode = 1;
        break;
    case StartOutcome::Ended:
        m_channel.reset();
        services.Shutdown();
        break;
    case StartOutcome::RunEventLoop:
        if (QCoreApplication::instance() != nullptr && !QuitRequested())
            QCoreApplication::exec();
        // However the loop ended (the last window, a signal, the session's end), the work in
        // flight is stopped, logged and its job kept before the threads are joined.
        m_channel.reset();
        services.Shutdown();
        break;
    }
    m_quitSignals.reset();
    return exitCode;
}

CQuillpostApp::StartOutcome CQuillpostApp::InitInstance(qp::StartupServices& services) {
    if (!qp::StartSockets()) {
        qp::ShowMessage("Windows sockets initialization failed.");
        return StartOutcome::Fail;
    }

    const qp::StartMode mode = qp::ChooseStartMode(m_commandLine);
    switch (mode) {
    case qp::StartMode::Bootstrap:
        RunBootstrap();
        return StartOutcome::Exit;
    case qp::StartMode::Update:
        if (std::optional<std::string> host = qp::HostFromCommandLine(m_commandLine))
            m_account.SetHost(*host);
        else
            qp::ShowMessage("Error parsing host");
        services.RunUpdate(m_account.Get().host);
        return StartOutcome::Exit;
    default:
        break;
    }

    // Two clients of one user would both watch the same port file; a start while one runs asks
    // that one instead.
    const qp::InstanceLock::Outcome lock = m_instanceLock.Acquire();
    if (lock == qp::InstanceLock::Outcome::HeldElsewhere)
        return HandOver(mode);
    const bool tray = mode == qp::StartMode::Tray || mode == qp::StartMode::Cover;
    if (!tray) {
        // The windows of a single job run beside no client; a client starting meanwhile may
        // have the lock.
        m_instanceLock.Release();
        return StartSingleJob(mode, services);
    }
    if (lock == qp::InstanceLock::Outcome::NoPlace) {
        std::fputs("Quillpost cannot start: neither /run/user nor ~/.cache/quillpost can hold "
                   "its lock for this user alone.\n",
                   stderr);
        return StartOutcome::Fail;
    }
    return StartTray(services, mode == qp::StartMode::Cover);
}

CQuillpostApp::StartOutcome CQuillpostApp::StartSingleJob(qp::StartMode mode,
                                                          qp::StartupServices& services) {
    m_account.Read();
    switch (mode) {
    case qp::StartMode::Configure:
        services.RunInitialConfig();
        return StartOutcome::Exit;
    case qp::StartMode::Log:
        // The log window stays, with any fax sent again from it, until the last of them closes.
        return services.RunFaxLog() ? StartOutcome::RunEventLoop : StartOutcome::Exit;
    default:
        return services.RunContacts() ? StartOutcome::RunEventLoop : StartOutcome::Exit;
    }
}

CQuillpostApp::StartOutcome CQuillpostApp::HandOver(qp::StartMode mode) {
    qp::ChannelRequest request;
    request.command = qp::ChannelCommand(mode).value_or("show");
    request.startupId = m_startupId;
    request.activationToken = m_activationToken;
    // The client takes its lock before it listens: one still starting is given time.
    const qp::HandOver outcome =
        qp::SendRequestPatiently(qp::UserChannelAddress(), request, *m_clock);
    if (outcome == qp::HandOver::Taken)
        return StartOutcome::Exit;
    // Started from a menu there is no terminal to read standard error.
    std::fputs("Quillpost is already running for this user.\n", stderr);
    qp::ShowMessage(outcome == qp::HandOver::Declined ? kHandOverDeclined : kHandOverFailed);
    return StartOutcome::Fail;
}

CQuillpostApp::StartOutcome CQuillpostApp::StartTray(qp::StartupServices& services,
                                                     bool coverOnly) {
    const std::function<void()> steps[] = {
        [&] {
            m_account.Read();
            services.CreateTrayWindow();
            // From here on a later start hands its request over; those that came before waited.
            if (QCoreApplication::instance() != nullptr)
                m_channel = std::make_unique<qp::ChannelServer>(
                    qp::UserChannelAddress(), [&services](const qp::ChannelRequest& request) {
                        return services.TakeRequest(request);
                    });
        },
        [&] {
            // The printer's port names the common folder and the port file's name in each user's
            // folder.
            const std::string port = services.FindFaxPrinterPort();
            if (port.size() > 4)
                SetPortFile(port);
            std::error_code error;
            if (!std::filesystem::is_directory(m_commonFolder, error))
                qp::ShowMessage("Unable to retrieve directory for processing faxes");
        },
        [&] { services.SetDefaultViewer(); },
        [&] {
            // First use: the account must be entered before any print job can be captured.
            if (qp::settings::ReadText(Profile(), qp::settings::kLogin).empty())
                services.RunPreferences();
        },
        [&] { services.StartWatcher(m_portFile); },
        [&] {
            if (coverOnly)
                services.TakeRequest(
                    qp::ChannelRequest{"cover", {}, m_startupId, m_activationToken});
        },
    };
    // A step may take a while or show a window; a quit request that came meanwhile is the end.
    for (const std::function<void()>& step : steps) {
        if (QuitRequested())
            return StartOutcome::Ended;
        step();
    }
    return StartOutcome::RunEventLoop;
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
