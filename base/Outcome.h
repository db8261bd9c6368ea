#pragma once

#include <string>
#include <utility>

namespace qp {

// Why a try failed, as far as it says whether trying again later may help: the outbox retries the
// passing kinds on a schedule of their own and hands every other failure to the user.
enum class FailureKind {
    None,          // no failure, or one that says nothing more (stopped, a local problem)
    CannotConnect, // the server could not be reached, or its name is not known
    Busy,          // the server said it is busy
    TimedOut,      // no answer within the limit, before the image went
    NotStored,     // a complete "error:" line after the image: the server could not keep it
    Refused,       // the server refused the login, the number or the fax before the image
};

// How a piece of work that can fail ended. A failure carries the words the user is to see; the
// caller shows them on its own thread and keeps them in the log. A failure with no words is work
// the user called off: there is nothing to tell.
struct Outcome {
    bool ok = false;
    std::string message;
    // Work that went but whose end the other side never acknowledged (a fax whose every byte the
    // server received, without its word that it kept it): a success, with words for the user.
    // Whoever cannot tell this apart takes it for success, so nothing is ever done twice.
    bool unconfirmed = false;
    // For a failure: its kind, when the work knows it.
    FailureKind kind = FailureKind::None;
    // For a success: the other side's own words on it, when it gave any (a fax server's
    // "success:" line), kept for the record.
    std::string answer{};

    static Outcome Success() { return Outcome{true, {}, false, FailureKind::None}; }
    static Outcome Answered(std::string answer) {
        return Outcome{true, {}, false, FailureKind::None, std::move(answer)};
    }
    static Outcome Failure(std::string message, FailureKind kind = FailureKind::None) {
        return Outcome{false, std::move(message), false, kind};
    }
    static Outcome Stopped() { return Outcome{false, {}, false, FailureKind::None}; }
    static Outcome Unconfirmed(std::string message) {
        return Outcome{true, std::move(message), true, FailureKind::None};
    }
    // A failure that trying again later may mend.
    bool Passing() const {
        return !ok && (kind == FailureKind::CannotConnect || kind == FailureKind::Busy ||
                       kind == FailureKind::TimedOut || kind == FailureKind::NotStored);
    }

    explicit operator bool() const { return ok; }
};

} // namespace qp
