#include "cover/CoverFieldsStore.h"

#include "app/Settings.h"

#include <array>
#include <utility>

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
    for (const auto& [entry, member] : kFieldEntries)
        profile.WriteString(settings::kSection, entry, fields.*member);
}

} // namespace qp
