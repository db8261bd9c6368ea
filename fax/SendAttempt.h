#pragma once

#include "base/Outcome.h"
#include "fax/SendSettings.h"

#include <string>

// What one try at sending a fax comes to, as the send dialog, quillpost-send and the fax log know
// it.
namespace qp::faxlog {

// NotConfirmed: the server received every byte of the fax but never said that it kept it. It
// counts as sent (never offered again by itself); the user may resend it from the log.
enum class Outcome { Sent, Failed, NotSent, NotConfirmed };

// Whether the server has the fax, confirmed or not: such a fax is never offered again as unsent.
inline bool WasSent(Outcome outcome) {
    return outcome == Outcome::Sent || outcome == Outcome::NotConfirmed;
}

// One press of Send (or the command-line send), or a send dialog closed without sending.
struct SendAttempt {
    std::string typed;
    std::string dialled;
    SendChoices choices;
    Outcome outcome = Outcome::NotSent;
    std::string message;
    // Whether the fax image belongs to this attempt (it was converted for it and offered).
    bool imageMade = false;
    // How many times Send was pressed for this fax, this attempt included.
    int tries = 0;
    // The server's words on a fax it took ("success: ..."); empty when it gave none.
    std::string answer{};
    // For a failed try: whether trying again later may help.
    qp::FailureKind kind = qp::FailureKind::None;
    // The address the server was asked to mail the fax to as well; set on a fax handed over to be
    // sent later, which goes there again.
    std::string email{};
};

// A logged fax whose files could not be copied back for sending again.
inline constexpr const char* kResendCopyFailedMessage =
    "Unable to restore the logged fax; it cannot be resent at this time.";

} // namespace qp::faxlog
