#pragma once

#include "cover/CoverPage.h"
#include "platform/Profile.h"

#include <string>

namespace qp {

// The cover sheet's values, as typed: untrimmed, multi-line ones with CR LF line breaks. From,
// Fax, Phone and the disclosure are the user's for every fax, in the settings store ("cvrfrom",
// "cvrfax", "cvrphn", "cvrdisc"; absent ones read as empty). To, Re and Notes belong to one fax
// and are kept in its job's file `faxTextFile` (JobCoverText), never in the settings, which other
// faxes read.
//
// The shared four, with To, Re and Notes empty.
CoverFields LoadSharedCoverFields(const Profile& profile);
// The shared four and this fax's own three.
CoverFields LoadCoverFields(const Profile& profile, const std::string& faxTextFile);
// Writes the shared four in one go and this fax's three to its file; false when the fax's file
// could not be written.
bool SaveCoverFields(const Profile& profile, const std::string& faxTextFile,
                     const CoverFields& fields);

} // namespace qp
