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

    static Outcome Success() { return Outcome{true, {}}; }
    static Outcome Failure(std::string message) { return Outcome{false, std::move(message)}; }
    static Outcome Stopped() { return Outcome{false, {}}; }

    explicit operator bool() const { return ok; }
};

} // namespace qp
