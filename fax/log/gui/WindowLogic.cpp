#include "fax/log/gui/WindowLogic.h"

#include "fax/log/Resend.h"
#include "platform/OutsideText.h"

#include <QDateTime>
#include <QString>

namespace qp::window {
namespace {

// Outside words (a server's reply, a typed name) on one line, never read as markup or controls.
// Line ends become blanks first: a reply of several lines reads as one, not as "?" marks.
std::string OneLine(const std::string& text) {
    return ShownAsText(QString::fromStdString(text).simplified().toStdString());
}

std::string TriesSuffix(int tries) {
    // One row a fax: a fax that took more than one try says how many.
    return tries > 1 ? " (" + std::to_string(tries) + " tries)" : std::string();
}

bool Unsent(outbox::State state) {
    return state == outbox::State::Sending || state == outbox::State::Waiting ||
           state == outbox::State::NeedsAttention;
}

} // namespace

std::string LogTime(std::int64_t secondsSinceEpoch) {
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        .toStdString();
}

std::string OutboxStateText(const outbox::Item& item, std::int64_t now) {
    // `tries` counts the tries made; the one under way or ahead is the next.
    const std::string next = std::to_string(item.tries + 1);
    switch (item.state) {
    case outbox::State::Sending:
        return "Sending, try " + next;
    case outbox::State::Waiting: {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(item.nextTry);
        const bool today = at.date() == QDateTime::fromSecsSinceEpoch(now).date();
        const QString format = today ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm");
        return "Waiting, try " + next + " at " + at.toString(format).toStdString();
    }
    case outbox::State::NeedsAttention:
        return "Needs attention";
    case outbox::State::Sent:
        return "Sent" + TriesSuffix(item.tries);
    case outbox::State::SentUnconfirmed:
        return "Sent, not confirmed" + TriesSuffix(item.tries);
    }
    return {};
}

std::string SentStateText(const faxlog::Record& record) {
    const std::string tries = TriesSuffix(record.tries);
    switch (record.outcome) {
    case faxlog::Outcome::Sent:
        return "Sent" + tries;
    case faxlog::Outcome::NotConfirmed:
        // The server never said it kept the fax: sending it again is the user's choice.
        return "Sent, not confirmed" + tries;
    case faxlog::Outcome::Failed: {
        const std::string message = OneLine(record.message);
        return "Failed" + tries + (message.empty() ? std::string() : ": " + message);
    }
    case faxlog::Outcome::NotSent:
        break;
    }
    return "Not sent" + tries;
}

std::vector<Row> OutboxRows(const std::vector<outbox::Item>& items, std::int64_t now) {
    std::vector<Row> rows;
    for (const outbox::Item& item : items) {
        faxlog::Record recipient;
        recipient.typed = item.typed;
        recipient.dialled = item.dialled;
        rows.push_back({item.id, LogTime(item.queuedAt),
                        OneLine(faxlog::ResendRecipient(recipient)), item.pages,
                        OutboxStateText(item, now), OneLine(item.reason)});
    }
    return rows;
}

std::vector<Row> SentRows(const std::vector<faxlog::Entry>& entries) {
    std::vector<Row> rows;
    for (const faxlog::Entry& entry : entries) {
        const faxlog::Record& record = entry.record;
        rows.push_back({entry.id, LogTime(record.time), OneLine(faxlog::ResendRecipient(record)),
                        record.pages, SentStateText(record), ShownAsText(record.message)});
    }
    return rows;
}

std::set<Command> EnabledCommands(const Selection& selection) {
    if (selection.sent) {
        std::set<Command> commands{Command::View, Command::SendAgain, Command::Delete};
        if (selection.sent->hasReport)
            commands.insert(Command::Report);
        return commands;
    }
    if (!selection.queued)
        return {};
    switch (selection.queued->state) {
    case outbox::State::Waiting:
    case outbox::State::NeedsAttention:
        return {Command::View, Command::RetryNow, Command::Discard};
    case outbox::State::Sending:
        // The try under way owns the fax until it ends.
        return {Command::View};
    case outbox::State::Sent:
    case outbox::State::SentUnconfirmed:
        // On its way into the log, where it is sent again, if at all, by the user.
        return {Command::View};
    }
    return {};
}

int WaitingCount(const std::vector<outbox::Item>& items) {
    int waiting = 0;
    for (const outbox::Item& item : items)
        waiting += Unsent(item.state) ? 1 : 0;
    return waiting;
}

std::string QuitQuestion(int waiting) {
    if (waiting <= 0)
        return {};
    const std::string faxes = waiting == 1
                                  ? "1 fax waits in the outbox; it goes"
                                  : std::to_string(waiting) + " faxes wait in the outbox; they go";
    return faxes + " out when Quill Post next starts. Quit Quill Post now?";
}

std::string AccountText(const std::string& login, const std::string& host) {
    if (login.empty())
        return "No fax message box configured";
    return "Message box " + OneLine(login) + " on " + (host.empty() ? "no server" : OneLine(host));
}

std::string PlainManualText(const std::string& formatted) {
    std::string plain;
    for (char c : formatted) {
        if (c == '\b') {
            // The struck-over character goes whole, all of its UTF-8 bytes.
            while (!plain.empty() && (static_cast<unsigned char>(plain.back()) & 0xC0) == 0x80)
                plain.pop_back();
            if (!plain.empty())
                plain.pop_back();
            continue;
        }
        plain += c;
    }
    return plain;
}

} // namespace qp::window
