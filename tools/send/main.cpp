// quillpost-send: sends one PostScript or PDF document as a fax from the command line, the way the
// send dialog would, for scripts and machines without a desktop.
#include "platform/KeyringSecretStore.h"
#include "platform/ProgramInfo.h"
#include "tools/send/SendCommand.h"

#include <QGuiApplication>
#include <iostream>

int main(int argc, char** argv) {
    if (qp::AnswerInfoRequest(argc, argv, "quillpost-send", qp::send::UsageText().c_str()))
        return 0;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<qp::send::SendOptions> options = qp::send::ParseSendArguments(args, error);
    if (!options) {
        std::cerr << "quillpost-send: " << error << "\n" << qp::send::UsageText();
        return 2;
    }
    if (options->help) {
        std::cout << qp::send::UsageText();
        return 0;
    }
    // The cover page and the transmission report are drawn with Qt's fonts, which need a GUI
    // application but no display; the keyring is asked over D-Bus through it too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication qt(argc, argv);
    qp::KeyringSecretStore secrets;
    return qp::send::RunSend(*options, secrets);
}
