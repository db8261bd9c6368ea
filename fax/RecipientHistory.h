#pragma once

#include "platform/Clock.h"
#include "platform/UserFolders.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qp {

inline constexpr const char* kHistoryFileName = ".fx.hs";
// Taken by every writer of the history (send dialogs, quillpost-send) around its read, merge and
// replace; a file of its own, since the history itself is replaced by rename.
inline constexpr const char* kHistoryLockFileName = ".fx.hs.lock";
inline constexpr std::size_t kMaxHistoryEntries = 20;

// The history file's lines, trimmed, in file order: every line is taken, empty ones included.
std::vector<std::string> ParseHistory(const std::string& contents);
// Every entry followed by CR LF.
std::string FormatHistory(const std::vector<std::string>& entries);
// Puts `entry` first after a successful send: no change when it is first already (false), else
// it moves up, its other copies go, and a 21st entry falls off.
bool AddToHistory(std::vector<std::string>& entries, const std::string& entry);

// The recipient history, most recent first, kept in ".fx.hs" in the user's profile folder. Several
// dialogs and quillpost-send may save to it while their lives overlap: each save merges into the
// file as it is then, so that no one's entry is lost.
class RecipientHistory {
public:
    using FolderFinder = std::function<std::optional<std::string>()>;

    enum class SaveResult {
        Unchanged,   // the entry was first already: the file is not rewritten
        Saved,       // the file holds the new list
        NoFolder,    // the profile folder could not be found: nothing written
        WriteFailed, // the file could not be written: the old file is left as it was
        Busy         // another writer held the history too long: the file is left as it was
    };

    // How long a save waits for another writer to finish with the history. A writer holds it for
    // one read and one write of a small file; one that holds it longer is stuck or hostile, and
    // the send that is saving must not wait on it.
    static constexpr std::chrono::milliseconds kLockWait{2000};
    static constexpr int kLockPollMs = 50;

    explicit RecipientHistory(FolderFinder findFolder = UserProfileFolder,
                              Clock& clock = SystemClock());

    // Replaces the list with the file's lines; a missing or unreadable file gives an empty list.
    void LoadHistory();
    // Under the history's lock: reads the file anew, puts `entry` first in it (AddToHistory) and
    // replaces the file. The list loaded before is left alone, so a save may run on another
    // thread than the one that shows the list.
    SaveResult SaveHistory(const std::string& entry) const;
    const std::vector<std::string>& Entries() const { return m_entries; }

private:
    FolderFinder m_findFolder;
    Clock* m_clock;
    std::vector<std::string> m_entries;
};

} // namespace qp
