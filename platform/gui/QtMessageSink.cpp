#include "platform/gui/QtMessageSink.h"

#include "platform/gui/GuiThread.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QString>
#include <cstdio>

namespace qp {
namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    }
    return QMessageBox::Warning;
}

QMessageBox::StandardButtons ToQtButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    }
    return QMessageBox::Ok;
}

MessageAnswer FromQt(int button) {
    switch (button) {
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Ok;
    }
}

} // namespace

MessageAnswer QtMessageSink::Show(const MessageRequest& request) {
    // A box that is never shown (the program is ending) answers with its safe choice.
    MessageAnswer answer = request.unanswered                            ? *request.unanswered
                           : request.buttons == MessageButtons::YesNo    ? MessageAnswer::No
                           : request.buttons == MessageButtons::OkCancel ? MessageAnswer::Cancel
                                                                         : MessageAnswer::Ok;
    // Asked for by another thread, the box waits until no window's work is waiting to show its
    // result; asked for on the GUI thread, it belongs to whatever is running there now.
    const auto show = [&] {
        const QString caption = request.caption.empty() ? QString::fromLatin1(kAppName)
                                                        : QString::fromStdString(request.caption);
        QMessageBox box(ToQtIcon(request.icon), caption, QString::fromStdString(request.text),
                        ToQtButtons(request.buttons));
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.setTextFormat(Qt::PlainText);
        if (request.buttons == MessageButtons::YesNo) {
            box.setDefaultButton(QMessageBox::Yes);
            if (!request.yesText.empty())
                box.button(QMessageBox::Yes)->setText(QString::fromStdString(request.yesText));
            if (!request.noText.empty())
                box.button(QMessageBox::No)->setText(QString::fromStdString(request.noText));
        }
        const int button = box.exec();
        // A box closed by the program's end was answered by nobody: the safe choice stands.
        if (box.clickedButton() != nullptr)
            answer = FromQt(button);
    };
    if (IsGuiThread() && GuiRequestsAbandoned()) {
        // The orderly end runs: a box would hold it up, and the session may be going away.
        std::fprintf(stderr, "%s: %s\n", kAppName, request.text.c_str());
    } else if (IsGuiThread()) {
        show();
    } else
        RunOnGuiThreadWhenIdle(show);
    return answer;
}

void InstallQtMessageSink() {
    static QtMessageSink sink;
    SetMessageSink(&sink);
}

} // namespace qp
