#pragma once

#include "platform/UserFolders.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qp {

inline constexpr const char* kHistoryFileName = ".fx.hs";
inline constexpr std::size_t kMaxHistoryEntries = 20;

// The history file's lines, trimmed, in file order: every line is taken, empty ones included.
std::vector<std::string> ParseHistory(const std::string& contents);
// Every entry followed by CR LF.
std::string FormatHistory(const std::vector<std::string>& entries);
// Puts `entry` first after a successful send: no change when it is first already (false), else
// it moves up, its other copies go, and a 21st entry falls off.
bool AddToHistory(std::vector<std::string>& entries, const std::string& entry);

// The recipient history, most recent first, kept in ".fx.hs" in the user's profile folder.
class RecipientHistory {
public:
    using FolderFinder = std::function<std::optional<std::string>()>;

    enum class SaveResult {
        Unchanged,  // the entry was first already: the file is not rewritten
        Saved,      // the file holds the new list
        NoFolder,   // the profile folder could not be found: nothing written
        WriteFailed // the file could not be written: the old file is left as it was
    };

    explicit RecipientHistory(FolderFinder findFolder = UserProfileFolder);

    // Replaces the list with the file's lines; a missing or unreadable file gives an empty list.
    void LoadHistory();
    SaveResult SaveHistory(const std::string& entry);
    const std::vector<std::string>& Entries() const { return m_entries; }

private:
    FolderFinder m_findFolder;
    std::vector<std::string> m_entries;
};

} // namespace qp
