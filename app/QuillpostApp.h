#pragma once

#include "app/CommandLine.h"
#include "base/AccountStore.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/ProcessRunner.h"
#include "platform/SecretStore.h"

#include <QCoreApplication>
#include <memory>
#include <string>
#include <vector>

namespace qp {
class ChannelServer;
class QuitSignals;
class StartupServices;
} // namespace qp

// The application object: the command line, the account, the port file the printer writes, and
// the start-up sequence that picks the process's one job. The windows and threads of tray mode
// belong to the start-up services, which end them in order when the event loop ends.
class CQuillpostApp {
public:
    enum class StartOutcome {
        RunEventLoop, // tray mode: the caller runs the event loop
        Exit,         // a single-job mode finished: end the process with exit code 0
        Fail,         // start-up could not go on: end without a window
        Ended         // a quit request came during start-up: the orderly end, exit code 0
    };

    // Computes the port file in the common folder, whether or not that exists yet. Takes
    // ownership of the Qt application object, when the program has one. The PIN is kept in
    // `secrets` when given (the desktop's keyring), else in the settings file. "-bootstrap" looks
    // for the installed program in `installDirs`, in order.
    explicit CQuillpostApp(std::string commandLine,
                           std::unique_ptr<QCoreApplication> qtApplication = nullptr,
                           qp::ProcessRunner& runner = qp::SystemProcessRunner(),
                           std::unique_ptr<qp::SecretStore> secrets = nullptr,
                           std::vector<std::string> installDirs = {"/opt/quillpost/",
                                                                   "/usr/local/lib/quillpost/"});
    ~CQuillpostApp();
    CQuillpostApp(const CQuillpostApp&) = delete;
    CQuillpostApp& operator=(const CQuillpostApp&) = delete;

    // What the desktop gave this start so that a window it opens may take the focus: its startup
    // id (DESKTOP_STARTUP_ID) and activation token (XDG_ACTIVATION_TOKEN), read before the window
    // system's connection takes them out of the environment. Passed on with a hand-over.
    void SetDesktopActivation(std::string startupId, std::string activationToken) {
        m_startupId = std::move(startupId);
        m_activationToken = std::move(activationToken);
    }

    // What a hand-over waits by while the running client is still starting; a seam for tests.
    void SetHandOverClock(qp::Clock& clock) { m_clock = &clock; }

    StartOutcome InitInstance(qp::StartupServices& services);
    // Start-up, then the event loop in tray mode, then the orderly end; returns the process's exit
    // code. A quit signal (logout, shutdown, Ctrl+C) ends it in order, exit code 0, at any point:
    // a modal window open then is closed, and start-up takes no further step.
    int Run(qp::StartupServices& services);

    const std::string& CommandLine() const { return m_commandLine; }
    qp::AccountStore& Account() { return m_account; }
    const qp::AccountStore& Account() const { return m_account; }
    const qp::Profile& Profile() const { return m_account.Settings(); }
    // Starts Ghostscript and the preview viewer; a seam for tests.
    qp::ProcessRunner& Runner() const { return m_runner; }
    // Where the printer puts this user's print jobs; each is moved from there into a job folder.
    // Settled by start-up before the watcher starts.
    const std::string& PortFile() const { return m_portFile; }

private:
    // This user's port file for the printer's port "<common folder>/<port file name>".
    void SetPortFile(const std::string& port);
    void RunBootstrap();
    StartOutcome StartTray(qp::StartupServices& services, bool coverOnly);
    // "-configure", "-log", "-contacts" with no client running: their window alone.
    StartOutcome StartSingleJob(qp::StartMode mode, qp::StartupServices& services);
    // Another process holds the lock: the request goes to it, or the user is told why not.
    StartOutcome HandOver(qp::StartMode mode);
    bool QuitRequested() const;

    std::unique_ptr<QCoreApplication> m_qtApplication;
    std::string m_commandLine;
    qp::ProcessRunner& m_runner;
    std::vector<std::string> m_installDirs;
    std::string m_portFile;
    // The folder the port file's own folder lies in.
    std::string m_commonFolder;
    // In the user's runtime folder; the tray client holds it for its whole life.
    qp::InstanceLock m_instanceLock{"quillpost.lock"};
    qp::AccountStore m_account;
    // Requests of later starts, from the tray window's creation to the orderly end.
    std::unique_ptr<qp::ChannelServer> m_channel;
    std::string m_startupId;
    std::string m_activationToken;
    qp::Clock* m_clock = &qp::SystemClock();
    // From the start of Run to its end.
    std::unique_ptr<qp::QuitSignals> m_quitSignals;
};
