#include "fax/RecipientHistory.h"

#include "platform/FileOps.h"
#include "platform/TextLines.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qp {
namespace {

// Phone numbers are the user's own business.
constexpr unsigned kHistoryFileMode = 0600;

std::string HistoryPath(const std::string& folder) {
    return folder + "/" + kHistoryFileName;
}

enum class LockResult { Held, Busy, Failed };

// Takes the history's lock within RecipientHistory::kLockWait. The lock file stays: removing it
// would let two writers lock two different files of one name.
LockResult LockHistory(const std::string& folder, Clock& clock, UniqueFd& lock) {
    lock =
        UniqueFd(::open((folder + "/" + kHistoryLockFileName).c_str(),
                        O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, kHistoryFileMode));
    if (lock.Get() < 0)
        return LockResult::Failed;
    const Clock::TimePoint giveUp = clock.Now() + RecipientHistory::kLockWait;
    while (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return LockResult::Failed;
        if (clock.Now() >= giveUp)
            return LockResult::Busy;
        clock.SleepMs(RecipientHistory::kLockPollMs);
    }
    return LockResult::Held;
}

} // namespace

std::vector<std::string> ParseHistory(const std::string& contents) {
    std::vector<std::string> entries = SplitTextLines(contents);
    for (std::string& entry : entries)
        entry = TrimBlanks(entry);
    return entries;
}

std::string FormatHistory(const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries)
        text += entry + "\r\n";
    return text;
}

bool AddToHistory(std::vector<std::string>& entries, const std::string& entry) {
    if (!entries.empty() && entries.front() == entry)
        return false;
    entries.insert(entries.begin(), entry);
    for (auto it = entries.begin() + 1; it != entries.end();) {
        if (*it == entry)
            it = entries.erase(it);
        else
            ++it;
    }
    // One save adds at most one entry, so only the 21st can be over the limit; a longer file
    // written by hand keeps its tail.
    if (entries.size() > kMaxHistoryEntries)
        entries.erase(entries.begin() + kMaxHistoryEntries);
    return true;
}

RecipientHistory::RecipientHistory(FolderFinder findFolder, Clock& clock)
    : m_findFolder(std::move(findFolder)), m_clock(&clock) {}

void RecipientHistory::LoadHistory() {
    m_entries.clear();
    const std::optional<std::string> folder = m_findFolder();
    if (!folder)
        return;
    if (std::optional<std::string> contents = ReadWholeFile(HistoryPath(*folder)))
        m_entries = ParseHistory(*contents);
}

RecipientHistory::SaveResult RecipientHistory::SaveHistory(const std::string& entry) const {
    const std::optional<std::string> folder = m_findFolder();
    if (!folder)
        return SaveResult::NoFolder;
    // Without the lock the file is left alone: this entry is lost rather than another writer's.
    UniqueFd lock(-1);
    switch (LockHistory(*folder, *m_clock, lock)) {
    case LockResult::Held:
        break;
    case LockResult::Busy:
        return SaveResult::Busy;
    case LockResult::Failed:
        return SaveResult::WriteFailed;
    }
    std::vector<std::string> entries;
    if (std::optional<std::string> contents = ReadWholeFile(HistoryPath(*folder)))
        entries = ParseHistory(*contents);
    if (!AddToHistory(entries, entry))
        return SaveResult::Unchanged;
    // A failed write must never cost the user the history they had.
    if (!WriteFileAtomically(HistoryPath(*folder), FormatHistory(entries), kHistoryFileMode))
        return SaveResult::WriteFailed;
    return SaveResult::Saved;
}

} // namespace qp
