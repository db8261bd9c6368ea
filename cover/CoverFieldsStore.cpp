#include "cover/CoverFieldsStore.h"

#include "base/Settings.h"

#include <array>
#include <utility>
#include <vector>

namespace qp {
namespace {

using FieldEntry = std::pair<settings::Setting, std::string CoverFields::*>;
constexpr std::array<FieldEntry, 7> kFieldEntries{{
    {settings::kCoverTo, &CoverFields::to},
    {settings::kCoverRe, &CoverFields::re},
    {settings::kCoverFrom, &CoverFields::from},
    {settings::kCoverFax, &CoverFields::fax},
    {settings::kCoverPhone, &CoverFields::phone},
    {settings::kCoverNote, &CoverFields::notes},
    {settings::kCoverDisclosure, &CoverFields::disclosure},
}};

} // namespace

CoverFields LoadCoverFields(const Profile& profile) {
    CoverFields fields;
    const settings::Snapshot stored = settings::ReadAll(profile);
    for (const auto& [entry, member] : kFieldEntries)
        fields.*member = stored.Text(entry);
    return fields;
}

void SaveCoverFields(const Profile& profile, const CoverFields& fields) {
    // One write, not seven: the cover sheet's OK stores them on the GUI thread.
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& [entry, member] : kFieldEntries)
        values.emplace_back(entry.key, fields.*member);
    profile.WriteStrings(settings::kSection, values);
}

} // namespace qp
