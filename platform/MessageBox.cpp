#include "platform/MessageBox.h"

#include <atomic>
#include <cstdio>

namespace qp {
namespace {

StderrMessageSink g_stderrSink;
std::atomic<MessageSink*> g_sink{nullptr};
thread_local const std::function<bool()>* t_quietWhen = nullptr;

MessageAnswer FirstButton(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
        return MessageAnswer::Yes;
    }
    return MessageAnswer::Ok;
}

} // namespace

MessageAnswer StderrMessageSink::Show(const MessageRequest& request) {
    std::fprintf(stderr, "%s: %s\n", kAppName, request.text.c_str());
    std::fflush(stderr);
    return FirstButton(request.buttons);
}

MessageSink* SetMessageSink(MessageSink* sink) {
    return g_sink.exchange(sink);
}

QuietMessagesWhen::QuietMessagesWhen(std::function<bool()> quiet)
    : m_quiet(std::move(quiet)), m_previous(t_quietWhen) {
    t_quietWhen = &m_quiet;
}

QuietMessagesWhen::~QuietMessagesWhen() {
    t_quietWhen = m_previous;
}

MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) {
    if (t_quietWhen != nullptr && (*t_quietWhen)())
        return FirstButton(buttons);
    MessageSink* sink = g_sink.load();
    if (sink == nullptr)
        sink = &g_stderrSink;
    return sink->Show(MessageRequest{text, icon, buttons});
}

} // namespace qp
