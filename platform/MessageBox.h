#pragma once

#include <optional>
#include <string>

namespace qp {

// Caption of every message box the program shows.
inline constexpr const char* kAppName = "Quillpost";

enum class MessageIcon { Warning, Information, Error, Question, None };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    std::string text;
    MessageIcon icon = MessageIcon::Warning;
    MessageButtons buttons = MessageButtons::Ok;
    std::string caption; // empty: the application name
    // A Yes/No box (Yes is its default) may name what its answers do; empty: "Yes" and "No".
    std::string yesText{};
    std::string noText{};
    // The answer of a box nobody answered (the program ended while it waited, or before it
    // opened), for a question whose safe choice is neither of its buttons; unset: the safe button.
    std::optional<MessageAnswer> unanswered{};
};

// Where message boxes go: a real modal box in the GUI, a recorder in tests, stderr otherwise.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MessageAnswer Show(const MessageRequest& request) = 0;
};

// Shows a modal message box with caption "Quillpost" and waits for the answer. Callable from any
// thread; the installed sink decides how it reaches the user.
MessageAnswer ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::Warning,
                          MessageButtons buttons = MessageButtons::Ok);

// The same for a box with a caption of its own.
MessageAnswer ShowMessage(const MessageRequest& request);

// Installs the sink that ShowMessage uses; nullptr restores the stderr sink. Returns the old one.
MessageSink* SetMessageSink(MessageSink* sink);

// Writes each message to standard error and answers with the first button.
class StderrMessageSink final : public MessageSink {
public:
    MessageAnswer Show(const MessageRequest& request) override;
};

// Installs a sink for the lifetime of a scope (tests, command-line tools).
class ScopedMessageSink {
public:
    explicit ScopedMessageSink(MessageSink& sink) : m_previous(SetMessageSink(&sink)) {}
    ~ScopedMessageSink() { SetMessageSink(m_previous); }
    ScopedMessageSink(const ScopedMessageSink&) = delete;
    ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

private:
    MessageSink* m_previous;
};

} // namespace qp
