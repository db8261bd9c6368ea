#include "fax/outbox/Outbox.h"

#include "fax/outbox/OutboxRoom.h"
#include "fax/outbox/RetrySchedule.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace qp::outbox {
namespace {

// The longest the thread sleeps before it looks at the schedule again, whatever is due.
constexpr std::chrono::seconds kLongestNap{60};

constexpr const char* kUnreadableRecord =
    "The outbox's record of this fax cannot be read; discard it or send it again from a dialog.";
constexpr const char* kSentUnconfirmed =
    "The fax was sent, but the fax server did not confirm that it received it.";

bool Older(const Record& a, const std::string& aId, const Record& b, const std::string& bId) {
    return std::tie(a.item.queuedAt, aId) < std::tie(b.item.queuedAt, bId);
}

} // namespace

Outbox::Outbox(JobStore store, Clock& clock, Services services)
    : m_store(std::move(store)), m_clock(clock), m_services(std::move(services)),
      m_wallBase(std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count()),
      m_clockBase(clock.Now()) {}

Outbox::~Outbox() {
    Stop();
}

bool Outbox::Start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable() || m_stop)
        return false;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    m_started = true;
    return true;
}

void Outbox::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_stopSource.request_stop();
    m_wake.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

std::int64_t Outbox::WallNow() const {
    return m_wallBase +
           std::chrono::duration_cast<std::chrono::seconds>(m_clock.Now() - m_clockBase).count();
}

std::int64_t Outbox::GiveUpSeconds() const {
    const int hours =
        m_services.giveUpHours ? m_services.giveUpHours() : kGiveUpHours.defaultNumber;
    return std::int64_t{std::max(hours, 1)} * 3600;
}

Item Outbox::ItemOf(const Fax& fax) const {
    Item item = fax.record.item;
    item.id = fax.job->Id();
    return item;
}

Outcome Outbox::Admit(Job& job, Record record, bool write) {
    record.item.id = job.Id();
    record.item.bytes = FolderFileBytes(job.Folder());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::uint64_t bytes = 0;
        for (const auto& [id, fax] : m_faxes)
            bytes += fax.record.item.bytes;
        if (const std::optional<std::string> full =
                NoRoomFor(m_faxes.size(), bytes, record.item.bytes))
            return Outcome::Failure(*full);
    }
    if (write && !WriteRecord(job.OutboxStateFile(), record)) {
        const int error = errno;
        RemoveFile(job.OutboxStateFile());
        return Outcome::Failure("The fax could not be kept in the outbox: " +
                                std::string(std::strerror(error)));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Fax fax;
        fax.record = std::move(record);
        fax.job = std::move(job);
        const std::string id = fax.job->Id();
        m_faxes.emplace(id, std::move(fax));
    }
    m_wake.notify_all();
    return Outcome::Success();
}

Outcome Outbox::Add(Job& job, Item fax) {
    if (!FileExists(job.FaxImage()))
        return Outcome::Failure("The fax has no image to send yet; please send it from its "
                                "dialog.");
    const std::int64_t now = WallNow();
    Record record;
    record.item = std::move(fax);
    record.item.state = State::Waiting;
    record.item.queuedAt = now;
    record.item.nextTry = now;
    if (record.item.tries > 0) {
        // The dialog's failure starts the schedule, as the outbox's own would.
        record.firstTry = now;
        record.streak = 1;
        record.item.nextTry = now + RetryDelaySeconds(record.item.lastKind, 1).value_or(0);
    }
    return Admit(job, std::move(record), true);
}

Outcome Outbox::Adopt(const std::string& id) {
    std::optional<Job> job = m_store.Take(id);
    if (!job) {
        // The thread's first look at the folders may have taken it: then it is in the outbox
        // already. That look reads only the records, so the wait for it is short.
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_started)
            m_wake.wait(lock, [this] { return m_loaded || m_stop; });
        if (m_faxes.contains(id))
            return Outcome::Success();
        return Outcome::Failure("The queued fax " + id + " is not in the outbox's folder.");
    }
    std::optional<Record> record = ReadRecord(job->OutboxStateFile());
    if (!record)
        return Outcome::Failure(kUnreadableRecord);
    return Admit(*job, std::move(*record), false);
}

std::vector<Item> Outbox::Items() const {
    std::vector<std::pair<const Fax*, std::string>> order;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [id, fax] : m_faxes)
        order.emplace_back(&fax, id);
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return Older(a.first->record, a.second, b.first->record, b.second);
    });
    std::vector<Item> items;
    items.reserve(order.size());
    for (const auto& [fax, id] : order)
        items.push_back(ItemOf(*fax));
    return items;
}

bool Outbox::Loaded() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_loaded;
}

bool Outbox::Ask(const std::string& id, bool Fax::*request) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_faxes.find(id);
        if (found == m_faxes.end())
            return false;
        found->second.*request = true;
    }
    m_wake.notify_all();
    return true;
}

bool Outbox::RetryNow(const std::string& id) {
    return Ask(id, &Fax::retryNow);
}

bool Outbox::Discard(const std::string& id) {
    return Ask(id, &Fax::discard);
}

void Outbox::BringForward() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bringForward = true;
    }
    m_wake.notify_all();
}

void Outbox::Wake() {
    m_wake.notify_all();
}

Outbox::Fax Outbox::MakeFax(Job job) const {
    Fax fax;
    std::optional<Record> record = ReadRecord(job.OutboxStateFile());
    if (!record) {
        // Kept, so that the user sees it and decides: it is not ours to throw away.
        record.emplace();
        record->item.state = State::NeedsAttention;
        record->item.reason = kUnreadableRecord;
    }
    record->item.bytes = FolderFileBytes(job.Folder());
    if (record->item.state == State::Sending) {
        // The client ended during a try. One whose every byte arrived must not go twice.
        if (record->allBytesSent) {
            record->item.state = State::SentUnconfirmed;
            record->item.reason = kSentUnconfirmed;
        } else {
            record->item.state = State::Waiting;
            record->item.nextTry = WallNow();
        }
    }
    fax.resumedSent = record->item.state == State::Sent;
    fax.record = std::move(*record);
    fax.job = std::move(job);
    return fax;
}

void Outbox::Load() {
    std::vector<Fax> found;
    for (Job& job : m_store.TakeOutboxJobs())
        found.push_back(MakeFax(std::move(job)));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Fax& fax : found) {
            const std::string id = fax.job->Id();
            m_faxes.emplace(id, std::move(fax));
        }
        m_loaded = true;
    }
    m_wake.notify_all();
}

void Outbox::Run() {
    Load();
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (Step(lock))
            continue;
        std::optional<std::int64_t> due;
        for (const auto& [id, fax] : m_faxes) {
            if (fax.record.item.state == State::Waiting)
                due = std::min(due.value_or(fax.record.item.nextTry), fax.record.item.nextTry);
        }
        if (!due) {
            m_wake.wait(lock);
            continue;
        }
        const std::chrono::seconds wait{
            std::clamp<std::int64_t>(*due - WallNow(), 0, kLongestNap.count())};
        if (wait.count() > 0)
            m_wake.wait_for(lock, wait);
    }
}

bool Outbox::Step(std::unique_lock<std::mutex>& lock) {
    const std::int64_t now = WallNow();
    std::vector<Event> arrived;
    for (auto& [id, fax] : m_faxes) {
        if (fax.announce) {
            fax.announce = false;
            arrived.push_back({Event::Kind::Changed, ItemOf(fax)});
        }
    }
    if (!arrived.empty()) {
        lock.unlock();
        Tell(arrived);
        lock.lock();
        return true;
    }
    for (auto& [id, fax] : m_faxes) {
        const State state = fax.record.item.state;
        if (fax.discard && (state == State::Waiting || state == State::NeedsAttention)) {
            Finish(fax, faxlog::Outcome::NotSent, lock);
            return true;
        }
        if (fax.retryNow) {
            fax.retryNow = false;
            if (state == State::Waiting || state == State::NeedsAttention) {
                if (state == State::NeedsAttention) {
                    // The user's word starts the days of trying anew.
                    fax.record.firstTry = 0;
                    fax.record.streak = 0;
                }
                fax.record.item.state = State::Waiting;
                fax.record.item.nextTry = now;
                Save(fax, lock);
            }
            return true;
        }
        if (state == State::Sent || state == State::SentUnconfirmed) {
            if (!fax.resumedSent || state == State::SentUnconfirmed) {
                const Event event{state == State::Sent ? Event::Kind::Delivered
                                                       : Event::Kind::NeedsAttention,
                                  ItemOf(fax)};
                lock.unlock();
                Tell({event});
                lock.lock();
            }
            Finish(fax,
                   state == State::Sent ? faxlog::Outcome::Sent : faxlog::Outcome::NotConfirmed,
                   lock);
            return true;
        }
    }
    if (m_bringForward) {
        m_bringForward = false;
        for (auto& [id, fax] : m_faxes) {
            if (fax.record.item.state == State::Waiting && fax.record.item.nextTry > now) {
                fax.record.item.nextTry = now;
                Save(fax, lock);
            }
        }
        return true;
    }
    Fax* next = nullptr;
    const std::string* nextId = nullptr;
    for (auto& [id, fax] : m_faxes) {
        if (fax.record.item.state != State::Waiting || fax.record.item.nextTry > now)
            continue;
        if (next == nullptr || Older(fax.record, id, next->record, *nextId)) {
            next = &fax;
            nextId = &id;
        }
    }
    if (next == nullptr)
        return false;
    Try(*next, lock);
    return true;
}

void Outbox::Save(Fax& fax, std::unique_lock<std::mutex>& lock, std::optional<Event::Kind> also) {
    const Record record = fax.record;
    const std::string path = fax.job->OutboxStateFile();
    std::vector<Event> events{{Event::Kind::Changed, ItemOf(fax)}};
    if (also)
        events.push_back({*also, events.front().item});
    lock.unlock();
    // A record that cannot be written leaves the last one on disk, which the next start resumes:
    // at worst a fax waits again that was already tried, never one sent twice unseen.
    WriteRecord(path, record);
    Tell(events);
    lock.lock();
}

void Outbox::Tell(const std::vector<Event>& events) {
    if (!m_services.report)
        return;
    for (const Event& event : events)
        m_services.report(event);
}

void Outbox::Try(Fax& fax, std::unique_lock<std::mutex>& lock) {
    Record& record = fax.record;
    record.item.state = State::Sending;
    record.item.tries++;
    record.allBytesSent = false;
    if (record.firstTry == 0)
        record.firstTry = WallNow();
    const Item item = ItemOf(fax);
    const std::string image = fax.job->FaxImage();
    const std::string path = fax.job->OutboxStateFile();
    Save(fax, lock);
    const std::stop_token stop = m_stopSource.get_token();
    lock.unlock();
    bool told = false;
    const UploadProgress progress = [&](std::uint64_t position, std::uint64_t size) {
        if (told || size == 0 || position < size)
            return;
        told = true;
        Record sent;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            record.allBytesSent = true;
            sent = record;
        }
        WriteRecord(path, sent);
    };
    const Outcome outcome = m_services.upload ? m_services.upload(item, image, progress, stop)
                                              : Outcome::Failure("No way to send is set up.");
    lock.lock();
    if (outcome.ok) {
        record.item.state = outcome.unconfirmed ? State::SentUnconfirmed : State::Sent;
        record.item.reason = outcome.message;
        record.answer = outcome.answer;
        Save(fax, lock);
        return;
    }
    if (outcome.message.empty()) {
        // Cut by the end of the program: this try does not count.
        record.item.tries--;
        record.item.state = State::Waiting;
        record.item.nextTry = WallNow();
        Save(fax, lock);
        return;
    }
    Failed(fax, outcome, lock);
}

void Outbox::Failed(Fax& fax, const Outcome& outcome, std::unique_lock<std::mutex>& lock) {
    Record& record = fax.record;
    const std::int64_t now = WallNow();
    record.streak = record.item.lastKind == outcome.kind ? record.streak + 1 : 1;
    record.item.lastKind = outcome.kind;
    record.item.reason = outcome.message;
    const std::optional<std::int64_t> delay = RetryDelaySeconds(outcome.kind, record.streak);
    if (!delay) {
        record.item.state = State::NeedsAttention;
        Save(fax, lock, Event::Kind::NeedsAttention);
        return;
    }
    if (now + *delay > record.firstTry + GiveUpSeconds()) {
        record.item.state = State::NeedsAttention;
        Save(fax, lock, Event::Kind::GaveUp);
        return;
    }
    record.item.state = State::Waiting;
    record.item.nextTry = now + *delay;
    Save(fax, lock);
}

void Outbox::Finish(Fax& fax, faxlog::Outcome outcome, std::unique_lock<std::mutex>& lock) {
    const Item item = ItemOf(fax);
    faxlog::SendAttempt attempt;
    attempt.typed = item.typed;
    attempt.dialled = item.dialled;
    attempt.choices = item.choices;
    attempt.outcome = outcome;
    attempt.message = outcome == faxlog::Outcome::Sent ? std::string() : item.reason;
    attempt.imageMade = true;
    attempt.tries = item.tries;
    attempt.answer = fax.record.answer;
    // Taken out first: nobody else looks at it while it is logged.
    Job job = std::move(*fax.job);
    m_faxes.erase(item.id);
    lock.unlock();
    const faxlog::Recorded recorded =
        m_services.record ? m_services.record(attempt, job) : faxlog::Recorded{false, {}, {}};
    Event removed{Event::Kind::Removed, item};
    if (recorded.onDisk) {
        JobStore::Remove(std::move(job));
    } else {
        // The job keeps the entry the log could not take; without its record it is an ordinary
        // left-over job, whose entry the next start writes before it is done with.
        RemoveFile(job.OutboxStateFile());
        removed.item.reason = recorded.message;
    }
    Tell({removed});
    lock.lock();
}

} // namespace qp::outbox
