#include "fax/outbox/OutboxRecord.h"

#include "platform/FileOps.h"
#include "platform/TextLines.h"

#include <charconv>
#include <initializer_list>
#include <limits>
#include <utility>

namespace qp::outbox {
namespace {

constexpr const char* kHeader = "quillpost-outbox 1";

template <typename Enum> struct Name {
    Enum value;
    const char* text;
};

constexpr Name<State> kStates[] = {{State::Sending, "sending"},
                                   {State::Waiting, "waiting"},
                                   {State::NeedsAttention, "attention"},
                                   {State::Sent, "sent"},
                                   {State::SentUnconfirmed, "unconfirmed"}};
constexpr Name<FailureKind> kKinds[] = {
    {FailureKind::None, "none"},           {FailureKind::CannotConnect, "connect"},
    {FailureKind::Busy, "busy"},           {FailureKind::TimedOut, "timeout"},
    {FailureKind::NotStored, "notstored"}, {FailureKind::Refused, "refused"}};
constexpr Name<Resolution> kResolutions[] = {
    {Resolution::Normal, "normal"}, {Resolution::Fine, "fine"}, {Resolution::High, "high"}};

template <typename Enum, std::size_t N> const char* NameOf(const Name<Enum> (&names)[N], Enum v) {
    for (const Name<Enum>& name : names) {
        if (name.value == v)
            return name.text;
    }
    return names[0].text;
}

template <typename Enum, std::size_t N>
bool ReadName(const Name<Enum> (&names)[N], const std::string& text, Enum& out) {
    for (const Name<Enum>& name : names) {
        if (text == name.text) {
            out = name.value;
            return true;
        }
    }
    return false;
}

template <typename Number> bool ReadNumber(const std::string& text, Number& out) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return false;
    out = value;
    return true;
}

bool ReadFlag(const std::string& text, bool& out) {
    if (text != "0" && text != "1")
        return false;
    out = text == "1";
    return true;
}

bool ReadValue(Record& record, const std::string& key, const std::string& raw, bool& hasState) {
    // One value to a line: the characters that would end or bend a line are kept as escapes.
    const std::string value = UnescapeLineBreaks(raw);
    Item& item = record.item;
    if (key == "state")
        return hasState = ReadName(kStates, value, item.state);
    if (key == "typed")
        return item.typed = value, true;
    if (key == "dialled")
        return item.dialled = value, true;
    if (key == "email")
        return item.email = value, true;
    if (key == "reason")
        return item.reason = value, true;
    if (key == "resolution")
        return ReadName(kResolutions, value, item.choices.resolution);
    if (key == "legal")
        return ReadFlag(value, item.choices.legal);
    if (key == "kind")
        return ReadName(kKinds, value, item.lastKind);
    if (key == "tries")
        return ReadNumber(value, item.tries);
    if (key == "pages")
        return ReadNumber(value, item.pages);
    if (key == "streak")
        return ReadNumber(value, record.streak);
    if (key == "queued")
        return ReadNumber(value, item.queuedAt);
    if (key == "next")
        return ReadNumber(value, item.nextTry);
    if (key == "first")
        return ReadNumber(value, record.firstTry);
    if (key == "allbytes")
        return ReadFlag(value, record.allBytesSent);
    if (key == "answer")
        return record.answer = value, true;
    // A later release's key: not ours to judge.
    return true;
}

} // namespace

std::string FormatRecord(const Record& record) {
    const Item& item = record.item;
    const std::pair<const char*, std::string> values[] = {
        {"state", NameOf(kStates, item.state)},
        {"typed", item.typed},
        {"dialled", item.dialled},
        {"email", item.email},
        {"resolution", NameOf(kResolutions, item.choices.resolution)},
        {"legal", item.choices.legal ? "1" : "0"},
        {"tries", std::to_string(item.tries)},
        {"pages", std::to_string(item.pages)},
        {"queued", std::to_string(item.queuedAt)},
        {"first", std::to_string(record.firstTry)},
        {"next", std::to_string(item.nextTry)},
        {"streak", std::to_string(record.streak)},
        {"kind", NameOf(kKinds, item.lastKind)},
        {"reason", item.reason},
        {"allbytes", record.allBytesSent ? "1" : "0"},
        {"answer", record.answer},
    };
    std::string text = std::string(kHeader) + "\n";
    for (const auto& [key, value] : values)
        text += std::string(key) + "=" + EscapeLineBreaks(value) + "\n";
    return text;
}

std::optional<Record> ParseRecord(const std::string& text) {
    if (text.size() > kMaxRecordBytes || !text.starts_with(std::string(kHeader) + "\n"))
        return std::nullopt;
    Record record;
    bool hasState = false;
    std::size_t at = std::char_traits<char>::length(kHeader) + 1;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        // A record cut off in its last line was not written whole.
        if (end == std::string::npos)
            return std::nullopt;
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            return std::nullopt;
        if (!ReadValue(record, line.substr(0, equals), line.substr(equals + 1), hasState))
            return std::nullopt;
    }
    if (!hasState)
        return std::nullopt;
    return record;
}

std::optional<Record> ReadRecord(const std::string& path) {
    const std::optional<std::string> text = ReadSmallFile(path, kMaxRecordBytes);
    if (!text)
        return std::nullopt;
    return ParseRecord(*text);
}

bool WriteRecord(const std::string& path, const Record& record) {
    return WriteFileAtomically(path, FormatRecord(record), 0600);
}

} // namespace qp::outbox
