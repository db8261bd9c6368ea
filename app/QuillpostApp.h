#pragma once

#include "base/Outcome.h"
#include "fax/Account.h"
#include "fax/Upload.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/ProcessRunner.h"
#include "platform/Profile.h"
#include "platform/SecretStore.h"

#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace qp {
class StartupServices;
} // namespace qp

// The application object: the fax server account, the settings, the port file the printer writes,
// and the start-up sequence that picks the process's one job. The windows and threads of tray mode
// belong to the start-up services, which end them in order when the event loop ends.
class CQuillpostApp {
public:
    enum class StartOutcome {
        RunEventLoop, // tray mode: the caller runs the event loop
        Exit,         // a single-job mode finished: end the process with exit code 0
        Fail          // start-up could not go on: end without a window
    };

    // Computes the work-file paths; warns when the common folder is missing and goes on.
    // Takes ownership of the Qt application object, when the program has one. The PIN is kept in
    // `secrets` when given (the desktop's keyring), else in the settings file.
    explicit CQuillpostApp(std::string commandLine,
                           std::unique_ptr<QCoreApplication> qtApplication = nullptr,
                           qp::ProcessRunner& runner = qp::SystemProcessRunner(),
                           std::unique_ptr<qp::SecretStore> secrets = nullptr);
    ~CQuillpostApp();
    CQuillpostApp(const CQuillpostApp&) = delete;
    CQuillpostApp& operator=(const CQuillpostApp&) = delete;

    // The one application object of the process, for the pieces that reach it from anywhere.
    static CQuillpostApp* Instance();

    StartOutcome InitInstance(qp::StartupServices& services);
    // Start-up, then the event loop in tray mode, then the orderly end; returns the process's exit
    // code.
    int Run(qp::StartupServices& services);

    // The four profile operations over the per-user settings store. A null value deletes.
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) const;
    int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) const;
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const char* value) const;
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value) const;

    // Converts whichever of the cover and body files exist into the image with Ghostscript.
    // Blocks only the calling thread. A stop request ends the work early, as a failure without
    // words.
    qp::Outcome CreateFaxImage(const std::string& coverPath, const std::string& bodyPath,
                               const std::string& imagePath, int xDpi, int yDpi, int widthPx,
                               int heightPx, std::stop_token stop = {});
    // Uploads the fax image to the account's message box; succeeds once every byte arrived. Runs
    // on a worker: it first waits, for a while, for the PIN the keyring is still looking up.
    qp::Outcome UploadFax(const std::string& number, const std::string& email,
                          const std::string& imagePath, const qp::UploadProgress& progress,
                          qp::Connector& connector = qp::DefaultFaxConnector(),
                          std::stop_token stop = {});
    // Stores the fax viewer (or, without it, the desktop's opener) as the preview viewer when the
    // user has none.
    void SetDefaultViewer();

    // The account from the settings; the PIN follows from the keyring when it is kept there.
    void ReadSettings();
    qp::AccountSettings Account() const;
    void SetAccount(const qp::AccountSettings& account);
    void SetHost(const std::string& host);

    // The PIN the configuration dialogs accepted: used from now on, and kept in the keyring when
    // the desktop has one, else in the settings file. Called on the GUI thread.
    void SavePin(const std::string& pin);
    // False while the keyring has not yet answered the look-up that reading the settings began.
    bool PinKnown() const;
    // Runs `then` on the GUI thread once the PIN is known (at once when it is).
    void WhenPinKnown(std::function<void()> then);
    // For a worker that is about to use the account: waits, at most `bound`, for the PIN
    // look-up. A failure says why there is no PIN to use; never call it on the GUI thread.
    qp::Outcome WaitForPin(std::chrono::milliseconds bound, std::stop_token stop = {}) const;

    const std::string& CommandLine() const { return m_commandLine; }
    const qp::Profile& Profile() const { return m_profile; }
    // Starts Ghostscript and the preview viewer; a seam for tests.
    qp::ProcessRunner& Runner() const { return m_runner; }

    // Fixed once start-up has settled the port file, before the watcher starts; read-only after.
    std::string m_gsPath;
    // Where the printer puts this user's print jobs; each is moved from there into a job folder.
    std::string m_portFile;

    // Where "-bootstrap" looks for the installed program, in order.
    std::vector<std::string> m_installDirs{"/opt/quillpost/", "/usr/local/lib/quillpost/"};

private:
    // This user's port file for the printer's port "<common folder>/<port file name>".
    void SetPortFile(const std::string& port);
    void SettlePin(const qp::SecretOutcome& found);
    void RunBootstrap();

    std::unique_ptr<QCoreApplication> m_qtApplication;
    std::string m_commandLine;
    qp::ProcessRunner& m_runner;
    qp::Profile m_profile;
    // In the user's runtime folder; the tray client holds it for its whole life.
    qp::InstanceLock m_instanceLock{"quillpost.lock"};

    mutable std::mutex m_accountMutex;
    std::string m_host;
    int m_port = 0;
    std::string m_login;
    std::string m_pin;
    std::string m_notifyEmail;
    // While the keyring is asked for the PIN at start; a send waits on m_pinSettled meanwhile.
    bool m_pinPending = false;
    // Why the keyring could not give the PIN, when it could not.
    std::string m_pinProblem;
    std::vector<std::function<void()>> m_pinWaiters;
    mutable std::condition_variable_any m_pinSettled;
    // Last, so that it goes first: no answer of the keyring reaches a half-destroyed object.
    std::unique_ptr<qp::SecretStore> m_secrets;
};
