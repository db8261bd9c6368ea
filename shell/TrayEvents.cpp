#include "shell/TrayEvents.h"

namespace qp {

CommandEvent::CommandEvent(int commandId) : QEvent(EventType()), m_commandId(commandId) {}

QEvent::Type CommandEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type TaskbarCreatedEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace qp
