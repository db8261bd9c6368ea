#include "shell/gui/PinField.h"

#include "base/AccountStore.h"

#include <QLabel>
#include <QLineEdit>
#include <algorithm>

namespace qp {
namespace {

constexpr int kNoteGap = 6;

QString UnreachableNote(UnreachablePin whenUnreachable) {
    const QString where = QString::fromLatin1(kPinInUnreachableKeyring);
    if (whenUnreachable == UnreachablePin::TypedForSession)
        return where + QStringLiteral(" A PIN typed here is used until Quillpost ends and is "
                                      "stored nowhere.");
    return where + QStringLiteral(" Change it in a session that can.");
}

// The note goes right below the field, across to the dialog's right margin; whatever lies below
// moves down as far as the note needs, and the fixed-size dialog grows by as much.
void ShowNoteBelow(QLineEdit& edit, const QString& text) {
    QWidget* form = edit.parentWidget();
    const QList<QWidget*> siblings = form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const int below = edit.geometry().bottom();
    int right = edit.geometry().right();
    int nextTop = form->height();
    for (const QWidget* sibling : siblings) {
        right = std::max(right, sibling->geometry().right());
        if (sibling->y() > below)
            nextTop = std::min(nextTop, sibling->y());
    }
    auto* note = new QLabel(text, form);
    note->setObjectName(QStringLiteral("pinNoteLabel"));
    note->setWordWrap(true);
    const int width = right - edit.x() + 1;
    const int height = note->heightForWidth(width);
    note->setGeometry(edit.x(), below + kNoteGap, width, height);
    const int room = std::max(0, note->geometry().bottom() + kNoteGap - nextTop + 1);
    for (QWidget* sibling : siblings)
        if (sibling->y() > below)
            sibling->move(sibling->x(), sibling->y() + room);
    note->show();
    QWidget* window = edit.window();
    window->setFixedSize(window->width(), window->height() + room);
}

void ShowKnownPin(const AccountStore& account, QLineEdit& edit, const std::string& pin,
                  UnreachablePin whenUnreachable) {
    edit.setText(QString::fromStdString(pin));
    edit.setPlaceholderText(QString());
    if (!account.PinUnreachable()) {
        edit.setEnabled(true);
        return;
    }
    const bool typed = whenUnreachable == UnreachablePin::TypedForSession;
    edit.setEnabled(typed);
    if (typed)
        edit.setPlaceholderText(QStringLiteral("PIN for this session"));
    ShowNoteBelow(edit, UnreachableNote(whenUnreachable));
}

} // namespace

PinField::PinField(AccountStore& account, QLineEdit& edit, UnreachablePin whenUnreachable,
                   const std::optional<std::string>& pin)
    : m_edit(&edit) {
    if (pin) {
        ShowKnownPin(account, edit, *pin, whenUnreachable);
        return;
    }
    edit.setEnabled(false);
    edit.setPlaceholderText(QStringLiteral("Reading the keyring..."));
    account.WhenPinKnown([&account, field = m_edit, whenUnreachable] {
        if (field)
            ShowKnownPin(account, *field, account.Get().pin, whenUnreachable);
    });
}

std::optional<std::string> PinField::Accepted() const {
    if (!m_edit || !m_edit->isEnabled())
        return std::nullopt;
    return m_edit->text().toStdString();
}

} // namespace qp
