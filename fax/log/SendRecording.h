#pragma once

#include "fax/SendSettings.h"
#include "fax/log/FaxLog.h"
#include "platform/MessageBox.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace qp::faxlog {

// One press of Send (or the command-line send), or a send dialog closed without sending.
struct SendAttempt {
    std::string typed;
    std::string dialled;
    SendChoices choices;
    Outcome outcome = Outcome::NotSent;
    std::string message;
    // Whether the fax image belongs to this attempt (it was converted for it and offered).
    bool imageMade = false;
};

std::int64_t NowSeconds();

// The record of an attempt, with the pages and size of its image when it has one.
Record RecordFor(const SendAttempt& attempt, const std::string& imagePath, std::int64_t time);

// Stores the attempt with the files it was made from, the image only when it was made for it, and
// returns its record. A log that cannot be written loses the entry and nothing else.
Record RecordAttempt(FaxLog& log, const SendAttempt& attempt, const EntryFiles& files,
                     std::int64_t time = NowSeconds());

// What the desktop notification says about a send: "Fax sent to (555) 123-4567: 3 pages", or the
// message the failure showed.
std::string NotificationText(const Record& record);

// Passes every message box on to the sink that was installed before, and keeps the last text, so
// that a failure can be logged with the words the user saw.
class MessageCapture final : public MessageSink {
public:
    MessageCapture();
    ~MessageCapture() override;
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    MessageAnswer Show(const MessageRequest& request) override;
    std::string LastText() const;

private:
    MessageSink* m_previous;
    mutable std::mutex m_mutex;
    std::string m_last;
};

} // namespace qp::faxlog
