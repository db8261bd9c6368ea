#pragma once

#include "base/Outcome.h"
#include "fax/SendSettings.h"

#include <cstdint>
#include <string>

// One fax in the outbox as the windows and notifications see it: a value, copied out of the
// outbox's own thread, never a reference into it.
namespace qp::outbox {

enum class State {
    Sending,         // a try is under way
    Waiting,         // waiting to retry at `nextTry`
    NeedsAttention,  // stopped trying; `reason` says why
    Sent,            // the server took it (it leaves the outbox once logged)
    SentUnconfirmed, // the server had every byte but never said it kept it; never retried
};

struct Item {
    std::string id;      // the job's id, which names its folder
    std::string typed;   // the recipient as the user typed or picked it
    std::string dialled; // the digits sent to the server
    std::string email;   // the recipient's e-mail address, when the server is to mail it too
    SendChoices choices;
    State state = State::Waiting;
    int tries = 0;             // tries made so far, the dialog's included
    std::int64_t queuedAt = 0; // seconds since the epoch: when the fax entered the outbox
    std::int64_t nextTry = 0;  // seconds since the epoch; meaningful while Waiting
    std::string reason;        // the last failure's message, or why it needs attention
    qp::FailureKind lastKind = qp::FailureKind::None; // the last failure's kind
    int pages = 0;
    std::uint64_t bytes = 0; // of the job's files, which count against the outbox's limit
};

// What the outbox tells the program about, as it happens; one event per change of a fax.
struct Event {
    enum class Kind {
        Changed,        // anything the window shows changed; `item` is the fax as it is now
        Delivered,      // sent after automatic retries (told once)
        GaveUp,         // retried until the limit of days and stopped (told once)
        NeedsAttention, // a failure that no retry mends (told once)
        Removed,        // left the outbox (sent and logged, or discarded)
    };
    Kind kind = Kind::Changed;
    Item item;
};

} // namespace qp::outbox
