#include "cover/CoverFieldsStore.h"

#include "app/Settings.h"

#include <array>
#include <utility>
#include <vector>

namespace qp {
namespace {

using FieldEntry = std::pair<const char*, std::string CoverFields::*>;
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
    for (const auto& [entry, member] : kFieldEntries)
        fields.*member = profile.GetString(settings::kSection, entry, "");
    return fields;
}

void SaveCoverFields(const Profile& profile, const CoverFields& fields) {
    // One write, not seven: the cover sheet's OK stores them on the GUI thread.
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& [entry, member] : kFieldEntries)
        values.emplace_back(entry, fields.*member);
    profile.WriteStrings(settings::kSection, values);
}

} // namespace qp
