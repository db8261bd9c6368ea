#include "app/CommandLine.h"
#include "app/GuiStartup.h"
#include "app/QuillpostApp.h"
#include "platform/MessageBox.h"
#include "platform/QtMessageSink.h"
#include "res/Features.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    const std::string commandLine = qp::JoinArguments(argc, argv);
    if (!QUILLPOST_SELF_UPDATE && qp::ChooseStartMode(commandLine) == qp::StartMode::Update) {
        std::puts("Quillpost was installed as a package; updates come with the package manager.");
        return 0;
    }
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

    CQuillpostApp app(commandLine, std::move(qtApplication));
    qp::GuiStartupServices services;
    return app.Run(services);
}
