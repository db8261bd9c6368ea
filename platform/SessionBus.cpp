#include "platform/SessionBus.h"

#include <QByteArray>
#include <QtGlobal>
#include <sys/stat.h>

namespace qp {

std::optional<std::string> MissingSessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return std::nullopt;
    // Without the variable both D-Bus libraries look for the user's bus in the runtime folder.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (!runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &st) == 0 &&
        S_ISSOCK(st.st_mode))
        return std::nullopt;
    return "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
}

} // namespace qp
