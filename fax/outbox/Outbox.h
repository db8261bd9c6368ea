#pragma once

#include "base/Job.h"
#include "base/Outcome.h"
#include "fax/Recorded.h"
#include "fax/SendAttempt.h"
#include "fax/Upload.h"
#include "fax/outbox/OutboxItem.h"
#include "fax/outbox/OutboxRecord.h"
#include "fax/outbox/OutboxRoom.h"
#include "platform/Clock.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace qp::outbox {

struct Services {
    // One try at sending the fax's image to its dialled number, with the account as it is now.
    // Progress that reaches the image's size says the server has every byte.
    std::function<Outcome(const Item& fax, const std::string& imagePath, const UploadProgress&,
                          std::stop_token)>
        upload;
    // The fax's one log entry at its end; its job goes only once the entry is on disk.
    std::function<faxlog::Recorded(const faxlog::SendAttempt&, const Job&)> record;
    // Told on the outbox's thread.
    std::function<void(const Event&)> report;
    // Hours of trying before a fax needs the user, read at each failure; kGiveUpHours' default
    // when not given.
    std::function<int()> giveUpHours;
};

// The faxes the user left to be sent without a dialog. Each is a job folder with its record; the
// outbox is the one owner of those jobs while they are in it. Its own thread sends one fax at a
// time, the oldest due first, retries each on the schedule of its last failure's kind, tells of
// every change through `report`, and logs each fax once, when it leaves.
class Outbox {
public:
    Outbox(JobStore store, Clock& clock, Services services);
    // Stops the thread; the faxes stay on disk for the next start.
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Starts the thread, which first takes up every fax left in the store; returns at once. False
    // when the thread could not be started or runs already.
    bool Start();
    // Ends the thread at once, whatever it waits for (a try under way is cut and tried again at
    // the next start), and waits for it.
    void Stop();

    // Takes the job, lock included, from the caller, who keeps it when the outbox refuses it (the
    // outbox is full, the job has no image, its record could not be written). `fax` says whom to
    // send to and how; its tries and last failure (kind and message) are those of the dialog.
    Outcome Add(Job& job, Item fax);
    // Takes up a job folder whose record another program wrote (a fax queued without a client);
    // one that the outbox took up at its start is its own already.
    Outcome Adopt(const std::string& id);

    // The faxes as they are now, oldest first.
    std::vector<Item> Items() const;
    // Whether the faxes found at the start have all been read.
    bool Loaded() const;

    // The fax's next try comes now, even one that needs attention. False for an unknown id.
    bool RetryNow(const std::string& id);
    // Logs the fax as not sent and removes it (after a try under way). False for an unknown id.
    bool Discard(const std::string& id);
    // Something that stood in the way may have gone (the network is back, the account changed):
    // every waiting fax is due now.
    void BringForward();
    // Time may have jumped (a resumed machine): the schedule is looked at again.
    void Wake();

private:
    struct Fax {
        Record record;
        std::optional<Job> job;
        bool announce = true;     // not yet told of
        bool discard = false;     // the user discarded it
        bool retryNow = false;    // the user asked for a try now
        bool resumedSent = false; // found sent at the start: its delivery was told before
    };
    // Marks the fax for the thread to act on; false for an unknown id.
    bool Ask(const std::string& id, bool Fax::*request);
    void Run();
    void Load();
    Fax MakeFax(Job job) const;
    // One piece of due work, taken with the lock held; false when there is none.
    bool Step(std::unique_lock<std::mutex>& lock);
    void Try(Fax& fax, std::unique_lock<std::mutex>& lock);
    void Failed(Fax& fax, const Outcome& outcome, std::unique_lock<std::mutex>& lock);
    // Logs the fax as it ended and lets it go.
    void Finish(Fax& fax, faxlog::Outcome outcome, std::unique_lock<std::mutex>& lock);
    // Writes the fax's record and tells of the change, letting the lock go meanwhile.
    void Save(Fax& fax, std::unique_lock<std::mutex>& lock,
              std::optional<Event::Kind> also = std::nullopt);
    void Tell(const std::vector<Event>& events);
    Item ItemOf(const Fax& fax) const;
    Outcome Admit(Job& job, Record record, bool write);
    std::int64_t WallNow() const;
    std::int64_t GiveUpSeconds() const;

    const JobStore m_store;
    Clock& m_clock;
    const Services m_services;
    const std::int64_t m_wallBase;
    const Clock::TimePoint m_clockBase;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, Fax> m_faxes; // guarded by m_mutex; only the thread erases
    bool m_stop = false;                // guarded by m_mutex
    bool m_loaded = false;              // guarded by m_mutex
    bool m_started = false;             // guarded by m_mutex
    bool m_bringForward = false;        // guarded by m_mutex
    std::stop_source m_stopSource;
    std::thread m_thread;
};

} // namespace qp::outbox
