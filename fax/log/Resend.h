#pragma once

#include "fax/log/FaxLog.h"

#include <string>

namespace qp::faxlog {

inline constexpr const char* kResendBusyMessage =
    "Another fax is being prepared. Send or cancel it, then resend this one.";
inline constexpr const char* kResendCopyFailedMessage =
    "Unable to restore the logged fax; it cannot be resent at this time.";

// The work files a resend fills: the send dialog converts and uploads from these.
struct ResendFiles {
    std::string bodyFile;
    std::string coverFile;
    std::string faxImage;
};

// Puts the entry's body, cover and image back as the work files, so that the normal send dialog
// sends it again. A body work file already there belongs to another fax in progress: nothing is
// touched and the user is told. False, after a message, when the fax can't be put back.
bool PutBackWorkFiles(const Entry& entry, const ResendFiles& files);

// Removes the work files once the resend's dialog has closed.
void RemoveWorkFiles(const ResendFiles& files);

// What the send dialog's recipient box starts with: the number as it was sent, in the history's
// form; the typed text when no valid number was sent.
std::string ResendRecipient(const Record& record);

} // namespace qp::faxlog
