#include "platform/MessageBox.h"

#include <atomic>
#include <cstdio>

namespace qp {
namespace {

StderrMessageSink g_stderrSink;
std::atomic<MessageSink*> g_sink{nullptr};

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
    std::fprintf(stderr, "%s: %s\n", request.caption.empty() ? kAppName : request.caption.c_str(),
                 request.text.c_str());
    std::fflush(stderr);
    return FirstButton(request.buttons);
}

MessageSink* SetMessageSink(MessageSink* sink) {
    return g_sink.exchange(sink);
}

MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) {
    return ShowMessage(MessageRequest{text, icon, buttons, {}, {}, {}, {}});
}

MessageAnswer ShowMessage(const MessageRequest& request) {
    MessageSink* sink = g_sink.load();
    if (sink == nullptr)
        sink = &g_stderrSink;
    return sink->Show(request);
}

} // namespace qp
