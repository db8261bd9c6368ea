#pragma once

#include "base/FaxNumber.h"
#include "base/Settings.h"

#include <string>
#include <utility>
#include <vector>

namespace qp {

// How the account's line reaches numbers written in international form ("+44 20 7946 0000"):
// the country it dials from and the prefixes it dials before a number of another area or another
// country. Each is digits only.
struct DialRules {
    std::string countryCode = "1";
    std::string longDistancePrefix = "1";
    std::string internationalPrefix = "011";

    bool operator==(const DialRules&) const = default;
};

namespace settings {
inline constexpr Setting kCountryCode{"countrycode", Kind::Text, "1"};
inline constexpr Setting kLongDistancePrefix{"longdistanceprefix", Kind::Text, "1"};
inline constexpr Setting kInternationalPrefix{"internationalprefix", Kind::Text, "011"};
} // namespace settings

// The number as it was written (in a contact, on a command line, in a print job) and what the line
// dials for it: `number` holds the digits (and ";" between several national numbers), or
// `message` says why it cannot be dialled.
//
// Text without a leading "+" goes by CheckFaxNumber unchanged. After a "+": the separators that
// check drops go, a "(0)" trunk digit right after the country code goes, then "+<country code>"
// becomes the long-distance prefix and the rest, any other "+" the international prefix and the
// rest; the result must pass CheckFaxNumber too. An extension ("x123", "ext.") or a pause or wait
// ("," "w" "p" ";") after a "+" number is refused: the fax line would dial it as part of the
// number.
FaxNumberCheck DialledNumber(const std::string& written, const DialRules& rules);

// The rules as the settings file holds them; a value missing there is its default.
DialRules LoadDialRules(const settings::Snapshot& stored);
DialRules LoadDialRules(const Profile& profile);
std::vector<std::pair<std::string, std::string>> DialRulesEntries(const DialRules& rules);

} // namespace qp
