#include "cover/CoverFieldsStore.h"

#include "base/JobCoverText.h"
#include "base/Settings.h"

#include <array>
#include <utility>
#include <vector>

namespace qp {
namespace {

using FieldEntry = std::pair<settings::Setting, std::string CoverFields::*>;
constexpr std::array<FieldEntry, 4> kSharedEntries{{
    {settings::kCoverFrom, &CoverFields::from},
    {settings::kCoverFax, &CoverFields::fax},
    {settings::kCoverPhone, &CoverFields::phone},
    {settings::kCoverDisclosure, &CoverFields::disclosure},
}};

} // namespace

CoverFields LoadSharedCoverFields(const Profile& profile) {
    CoverFields fields;
    const settings::Snapshot stored = settings::ReadAll(profile);
    for (const auto& [entry, member] : kSharedEntries)
        fields.*member = stored.Text(entry);
    return fields;
}

CoverFields LoadCoverFields(const Profile& profile, const std::string& faxTextFile) {
    CoverFields fields = LoadSharedCoverFields(profile);
    JobCoverText own = ReadJobCoverText(faxTextFile);
    fields.to = std::move(own.to);
    fields.re = std::move(own.re);
    fields.notes = std::move(own.notes);
    return fields;
}

bool SaveCoverFields(const Profile& profile, const std::string& faxTextFile,
                     const CoverFields& fields) {
    // One write, not four: the cover sheet's OK stores them on the GUI thread.
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& [entry, member] : kSharedEntries)
        values.emplace_back(entry.key, fields.*member);
    profile.WriteStrings(settings::kSection, values);
    return WriteJobCoverText(faxTextFile, JobCoverText{fields.to, fields.re, fields.notes});
}

} // namespace qp
