#include "fax/log/SendNotices.h"

#include "app/QuillpostApp.h"
#include "platform/GuiThread.h"
#include "shell/TrayIcon.h"

#include <sys/stat.h>
#include <unistd.h>

namespace qp::faxlog {

void RecordDialogAttempt(CQuillpostApp& app, const SendAttempt& attempt, CTrayIcon* tray,
                         FaxLog& log) {
    const Record record =
        RecordAttempt(log, attempt, {app.m_bodyFile, app.m_coverFile, app.m_faxImage});
    // The log may be written off the GUI thread; the icon lives on it.
    if (tray != nullptr && attempt.outcome != Outcome::NotSent)
        RunOnGuiThread([&] { tray->ShowBalloon(kNoticeTitle, NotificationText(record)); });
}

bool AnnounceWaitingJob(const std::string& portFile, CTrayIcon& tray) {
    struct stat st {};
    if (::stat(portFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
        st.st_uid != ::getuid())
        return false;
    return tray.ShowBalloon(kNoticeTitle, kWaitingJobText);
}

} // namespace qp::faxlog
