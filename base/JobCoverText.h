#pragma once

#include <string>

namespace qp {

// What the cover sheet says about one fax alone: its To, Re and Notes, as typed (multi-line
// Notes with CR LF breaks). They live in the fax's job folder, beside its cover page, so that no
// other fax ever shows them and a job offered again keeps them.
struct JobCoverText {
    std::string to;
    std::string re;
    std::string notes;
    bool operator==(const JobCoverText&) const = default;
};

// The text kept beside the cover page `coverFile` of a job.
std::string CoverTextFileBeside(const std::string& coverFile);

// The job's text; all empty when the file is missing, unreadable, too large or not a plain file.
JobCoverText ReadJobCoverText(const std::string& path);
// Replaces the file atomically; false, with the old file left, when it cannot be written.
bool WriteJobCoverText(const std::string& path, const JobCoverText& text);

} // namespace qp
