#pragma once

#include "fax/log/FaxLog.h"
#include "fax/outbox/OutboxItem.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

// What the Quill Post window shows and allows, as plain values: the widgets only put these on
// screen, so every rule here is testable without a window system.
namespace qp::window {

enum class List { Outbox, Sent };

enum class Command { View, Report, SendAgain, Delete, RetryNow, Discard };

// One row of either list, as its cells read.
struct Row {
    std::string id;
    std::string time;
    std::string recipient;
    int pages = 0;
    std::string state;
    std::string reason; // the outbox's last failure, or a sent fax's message
};

// The selected fax of one list; nothing selected is an empty selection.
struct Selection {
    std::optional<outbox::Item> queued;
    std::optional<faxlog::Entry> sent;
};

// "yyyy-MM-dd HH:mm:ss" in local time, as the log has always shown it.
std::string LogTime(std::int64_t secondsSinceEpoch);

// "Waiting, try 3 at 14:05": the next try's clock time, with its date when that is not the day
// of `now`.
std::string OutboxStateText(const outbox::Item& item, std::int64_t now);
// "Sent (2 tries)", "Failed: <message>" and the like.
std::string SentStateText(const faxlog::Record& record);

std::vector<Row> OutboxRows(const std::vector<outbox::Item>& items, std::int64_t now);
std::vector<Row> SentRows(const std::vector<faxlog::Entry>& entries);

// The commands that act on the selection; none without one.
std::set<Command> EnabledCommands(const Selection& selection);

// The outbox faxes Quit leaves behind: every one not yet sent.
int WaitingCount(const std::vector<outbox::Item>& items);
// Asked before Quit while faxes wait; empty when none does.
std::string QuitQuestion(int waiting);

// The status bar: whose message box, on which server.
std::string AccountText(const std::string& login, const std::string& host);

// A manual page as `man` prints it to a pipe, without the overstrikes that make bold and
// underlined letters on a terminal.
std::string PlainManualText(const std::string& formatted);

} // namespace qp::window
