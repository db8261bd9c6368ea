#pragma once

#include "platform/UniqueFd.h"

#include <optional>
#include <string>
#include <vector>

namespace qp {

inline constexpr const char* kJobBodyFile = "faxbody.ps";
inline constexpr const char* kJobCoverFile = "faxcover.pdf";
// A cover page kept in PostScript by an older log entry, restored as it was.
inline constexpr const char* kJobPostScriptCoverFile = "faxcover.ps";
inline constexpr const char* kJobImageFile = "fax.tif";
// The log entry of a fax that the log could not take when it ended, to be written at the next
// start before the job goes or is offered again.
inline constexpr const char* kJobPendingEntryFile = "log-entry";
// The cover sheet's To, Re and Notes of this fax alone (JobCoverText).
inline constexpr const char* kJobCoverTextFile = "faxcover.txt";
// The outbox's record of a fax it keeps: a folder holding one belongs to the outbox, which resumes
// it at the next start; it is never offered in a send dialog as left over.
inline constexpr const char* kJobOutboxStateFile = "outbox";

// One fax on its way: a folder of its own that holds its body (a printed document), its cover page
// and its image. Exactly one owner holds a job at a time, and only that owner touches the files;
// the folder stays locked while the job is held, so no other client takes it as left over.
class Job {
public:
    Job(std::string id, std::string folder, UniqueFd lock);
    Job(Job&&) noexcept = default;
    Job& operator=(Job&&) noexcept = default;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    const std::string& Id() const { return m_id; }
    const std::string& Folder() const { return m_folder; }
    std::string BodyFile() const { return File(kJobBodyFile); }
    // Where a cover page drawn for this fax goes.
    std::string CoverFile() const { return File(kJobCoverFile); }
    std::string PostScriptCoverFile() const { return File(kJobPostScriptCoverFile); }
    std::string CoverTextFile() const { return File(kJobCoverTextFile); }
    // The cover page the fax is made with: the drawn one, else one restored in PostScript; the
    // drawn one's name when there is none.
    std::string CoverInput() const;
    std::string FaxImage() const { return File(kJobImageFile); }
    std::string PendingEntryFile() const { return File(kJobPendingEntryFile); }
    std::string OutboxStateFile() const { return File(kJobOutboxStateFile); }
    // Whether the job holds anything to send.
    bool HasContent() const;

private:
    std::string File(const char* name) const { return m_folder + "/" + name; }

    std::string m_id;
    std::string m_folder;
    UniqueFd m_lock;
};

// The user's job folders: $XDG_DATA_HOME/Quillpost/jobs/<id>/, each private to the user. Ids sort
// in the order the jobs were created.
class JobStore {
public:
    explicit JobStore(std::string root);
    // The store in the user's data folder; an empty root (no home) makes every Create fail.
    static JobStore ForUser();

    // A new, empty job; nothing (with the reason in `error`) when its folder cannot be made.
    std::optional<Job> Create(std::string* error = nullptr) const;
    // Jobs whose owner went away before it finished them (the client was killed, the machine
    // went down, or the log could not take the fax's entry), oldest first. Folders another running
    // client holds are left alone; empty ones, which hold nothing to lose, are removed.
    // Folders the outbox keeps (with its record) are not among them.
    std::vector<Job> TakeLeftovers() const;
    // The folders the outbox keeps that no other client holds, oldest first.
    std::vector<Job> TakeOutboxJobs() const;
    // The ids of the folders the outbox keeps, held by a client or not, oldest first.
    std::vector<std::string> OutboxIds() const;
    // The job of this id when its folder is this user's and nobody holds it; nothing otherwise.
    std::optional<Job> Take(const std::string& id) const;
    // Removes the job's files and its folder; false when something stayed.
    static bool Remove(Job job);

    const std::string& Root() const { return m_root; }

private:
    bool EnsureRoot(std::string* error) const;
    // The ids of the store's folders, sorted (oldest first).
    std::vector<std::string> ListIds() const;

    std::string m_root;
};

} // namespace qp
