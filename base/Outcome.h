#pragma once

#include <string>
#include <utility>

namespace qp {

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

    static Outcome Success() { return Outcome{true, {}, false}; }
    static Outcome Failure(std::string message) {
        return Outcome{false, std::move(message), false};
    }
    static Outcome Stopped() { return Outcome{false, {}, false}; }
    static Outcome Unconfirmed(std::string message) {
        return Outcome{true, std::move(message), true};
    }

    explicit operator bool() const { return ok; }
};

} // namespace qp
