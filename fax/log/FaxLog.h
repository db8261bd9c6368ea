#pragma once

#include "base/TransmissionFacts.h"
#include "fax/SendAttempt.h"
#include "fax/SendSettings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qp::faxlog {

const char* OutcomeText(Outcome outcome);

// What one send attempt, or one send dialog closed without sending, leaves behind.
struct Record {
    std::int64_t time = 0; // seconds since the epoch
    std::string typed;     // the recipient as the user typed it
    std::string dialled;   // the number that was sent to the server; empty when none was valid
    int pages = 0;
    Resolution resolution = Resolution::Fine;
    bool legal = false;
    std::uint64_t size = 0; // bytes of the fax image
    Outcome outcome = Outcome::NotSent;
    std::string message; // what the user was told when it failed
    int tries = 0;       // presses of Send for this fax; 0 in entries from before they were counted
    // The server's words on a sent fax; empty in entries from before they were kept.
    std::string answer{};
};

// The record as the entry's "record" file holds it, one "key=value" line each; and back. Line
// ends and backslashes in values are escaped, so a message of several lines stays one value.
std::string FormatRecord(const Record& record);
std::optional<Record> ParseRecord(const std::string& text);

// The files an entry keeps; a path that is empty or names no file is left out.
struct EntryFiles {
    std::string body;
    std::string cover;
    std::string image;
};

// One stored entry: its folder in the log and which of the files it holds.
struct Entry {
    std::string id;
    std::string folder;
    Record record;
    bool hasBody = false;
    bool hasCover = false;
    bool hasImage = false;
    // A transmission report, kept with a sent fax's entry.
    bool hasReport = false;
    std::uint64_t bytes = 0;

    std::string BodyPath() const;
    // The cover page as a PDF, or as PostScript for an entry that kept it so.
    std::string CoverPath() const;
    bool CoverIsPostScript() const;
    std::string ImagePath() const;
    std::string ReportPath() const;
};

// How the files of a new entry are written; tests put in one that fails part way.
class EntryWriter {
public:
    virtual ~EntryWriter() = default;
    // Creates `to` (mode 0600) with `bytes`, or with the contents of the file `from`.
    virtual bool Write(const std::string& to, const std::string& bytes) = 0;
    virtual bool Copy(const std::string& from, const std::string& to) = 0;
};

EntryWriter& DefaultEntryWriter();

// Draws the transmission report of a sent fax: the PDF's bytes, or nothing when it could not be
// drawn.
using ReportDrawer = std::function<std::optional<std::string>(const TransmissionFacts&)>;

struct Retention {
    std::size_t maxEntries = 200;
    std::uint64_t maxBytes = 500ull * 1024 * 1024;
};

// The user's sent-fax log: one folder per entry, named so that names sort oldest first. A new
// entry is built in a hidden folder and renamed into place, so a reader never sees half of one.
class FaxLog {
public:
    explicit FaxLog(std::string folder = DefaultFolder(),
                    EntryWriter& writer = DefaultEntryWriter(), Retention retention = {});

    // $XDG_DATA_HOME/Quillpost/log, else ~/.local/share/Quillpost/log; empty without a home.
    static std::string DefaultFolder();

    // Stores a new entry, on disk when this returns, and then trims the log to the retention
    // limits, oldest first; the new entry itself is always kept. The new entry's id, or nothing
    // when it could not be stored, with the reason in `failure` ("<where>: <why>").
    std::optional<std::string> Add(const Record& record, const EntryFiles& files,
                                   std::string* failure = nullptr);
    // From now on a sent fax's new entry holds its transmission report, drawn by `drawer` from the
    // record and the entry's image. A report that cannot be drawn or written is left out; the
    // entry is stored all the same.
    void KeepReports(ReportDrawer drawer) { m_drawReport = std::move(drawer); }
    // Newest first; folders without a readable record are skipped.
    std::vector<Entry> Entries() const;
    std::optional<Entry> Find(const std::string& id) const;
    bool Remove(const std::string& id);

    const std::string& Folder() const { return m_folder; }

private:
    // Empty when the folder is there for the log, else why not.
    std::string EnsureFolder() const;
    std::vector<std::string> EntryIds() const;
    void Trim(const std::string& keep);
    void RemoveStaleScratch() const;
    void WriteReport(const Record& record, const std::string& scratch);

    std::string m_folder;
    EntryWriter& m_writer;
    Retention m_retention;
    ReportDrawer m_drawReport;
};

} // namespace qp::faxlog
