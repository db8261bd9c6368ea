#pragma once

#include "cover/CoverPage.h"
#include "platform/Profile.h"

namespace qp {

// The seven cover sheet values of the settings store ("cvrto" ... "cvrdisc"), as typed: untrimmed,
// multi-line ones with CR LF line breaks. Absent values read as empty.
CoverFields LoadCoverFields(const Profile& profile);
// Writes all seven, in the order of the dialog's fields.
void SaveCoverFields(const Profile& profile, const CoverFields& fields);

} // namespace qp
