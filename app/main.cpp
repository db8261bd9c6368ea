#include "app/CommandLine.h"
#include "app/GuiStartup.h"
#include "app/QuillpostApp.h"
#include "platform/KeyringSecretStore.h"
#include "platform/MessageBox.h"
#include "platform/ProgramInfo.h"
#include "platform/gui/QtMessageSink.h"
#include "res/Features.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: quillpost [-configure | -log | -contacts | -cover | -bootstrap | -update -h:HOST]\n"
    "Without a switch the fax client starts in the notification area and opens the send\n"
    "dialog for every job printed to \"Quill Post\". While it runs, starting quillpost again\n"
    "(with or without -configure, -log, -contacts, -cover) asks the running client instead.\n"
    "  -configure    edit the message box account, then end\n"
    "  -log          show the fax log (view, resend, delete), then end\n"
    "  -contacts     show the address book (add, edit, import, export), then end\n"
    "  -cover        send a fax of a cover sheet only (starts the client when none runs)\n"
    "  -bootstrap    start the installed copy of the client, then end\n"
    "  -update -h:HOST  bring the program up to date from the update server HOST\n"
    "  --help, --version  (as the only argument) this text, the version\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before anything needs a display.
    if (qp::AnswerInfoRequest(argc, argv, "quillpost", kUsage))
        return 0;
    const std::string commandLine = qp::JoinArguments(argc, argv);
    if (!QUILLPOST_SELF_UPDATE && qp::ChooseStartMode(commandLine) == qp::StartMode::Update) {
        std::puts("Quillpost was installed as a package; updates come with the package manager.");
        return 0;
    }
    // The window system's connection takes these out of the environment as it is made.
    const char* startupId = std::getenv("DESKTOP_STARTUP_ID");
    const char* activationToken = std::getenv("XDG_ACTIVATION_TOKEN");
    std::string desktopStartupId = startupId != nullptr ? startupId : "";
    std::string desktopActivationToken = activationToken != nullptr ? activationToken : "";
    // The name the desktop shows for the program's windows; Qt would take the file name otherwise.
    QCoreApplication::setApplicationName(QString::fromLatin1(qp::kAppName));

    // Bootstrap only starts the installed copy, so it must work without a window system.
    std::unique_ptr<QCoreApplication> qtApplication;
    if (qp::ChooseStartMode(commandLine) == qp::StartMode::Bootstrap) {
        qtApplication = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        auto gui = std::make_unique<QApplication>(argc, argv);
        // The tray client has no main window; closing a dialog must not end it.
        QApplication::setQuitOnLastWindowClosed(false);
        qtApplication = std::move(gui);
        qp::InstallQtMessageSink();
    }

    // The PIN lives in the desktop's keyring where there is one, else in the settings file.
    CQuillpostApp app(commandLine, std::move(qtApplication), qp::SystemProcessRunner(),
                      std::make_unique<qp::KeyringSecretStore>());
    app.SetDesktopActivation(std::move(desktopStartupId), std::move(desktopActivationToken));
    qp::GuiStartupServices services(app.Account(), app.Runner());
    return app.Run(services);
}
