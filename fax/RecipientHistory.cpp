#include "fax/RecipientHistory.h"

#include "platform/FileOps.h"
#include "platform/TextLines.h"

#include <cstdlib>
#include <unistd.h>

namespace qp {
namespace {

// Phone numbers are the user's own business.
constexpr unsigned kHistoryFileMode = 0600;

std::string HistoryPath(const std::string& folder) {
    return folder + "/" + kHistoryFileName;
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

RecipientHistory::RecipientHistory(FolderFinder findFolder) : m_findFolder(std::move(findFolder)) {}

void RecipientHistory::LoadHistory() {
    m_entries.clear();
    const std::optional<std::string> folder = m_findFolder();
    if (!folder)
        return;
    if (std::optional<std::string> contents = ReadWholeFile(HistoryPath(*folder)))
        m_entries = ParseHistory(*contents);
}

RecipientHistory::SaveResult RecipientHistory::SaveHistory(const std::string& entry) {
    if (!AddToHistory(m_entries, entry))
        return SaveResult::Unchanged;
    const std::optional<std::string> folder = m_findFolder();
    if (!folder)
        return SaveResult::NoFolder;
    // A failed write must never cost the user the history they had.
    if (!WriteFileAtomically(HistoryPath(*folder), FormatHistory(m_entries), kHistoryFileMode))
        return SaveResult::WriteFailed;
    return SaveResult::Saved;
}

} // namespace qp
