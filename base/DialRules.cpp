#include "base/DialRules.h"

#include "platform/Profile.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <cctype>

namespace qp {
namespace {

// The longest number the international plan allows, country code included (ITU-T E.164).
constexpr std::size_t kMostInternationalDigits = 15;
constexpr const char* kSeparators = " .-()";
constexpr std::size_t kMostQuoted = 20;

bool AllDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

FaxNumberCheck Refused(std::string message) {
    FaxNumberCheck check;
    check.message = std::move(message);
    return check;
}

// Why the line could not dial what is written after the number itself, if anything is: the
// first mark that is neither a digit nor a separator decides.
std::string ExtensionOrPause(const std::string& number) {
    const std::size_t end = number.find_first_not_of(std::string("+0123456789") + kSeparators);
    if (end == std::string::npos)
        return {};
    // Quoted back to the user: the plain characters of its start only, however long it is.
    std::string after = TrimBlanks(number.substr(end));
    const std::size_t plain =
        std::min<std::size_t>(kMostQuoted, std::find_if(after.begin(), after.end(), [](char c) {
                                               return c < ' ' || c > '~';
                                           }) - after.begin());
    if (plain < after.size())
        after = after.substr(0, plain) + "...";
    const std::string lowered = Lowered(after);
    if (lowered.starts_with('x') || lowered.starts_with("ext") || lowered.starts_with(";ext") ||
        lowered.starts_with(",ext"))
        return "The extension after the number (" + after +
               ") cannot be dialled: a fax goes to the number alone.";
    if (lowered.find_first_of(",;wp") == 0)
        return "The pause or second number after the number (\"" + after.substr(0, 1) +
               "\") cannot be dialled: a fax goes to one number alone.";
    return {};
}

} // namespace

FaxNumberCheck DialledNumber(const std::string& written, const DialRules& rules) {
    const std::string text = TrimBlanks(written);
    if (!text.starts_with('+'))
        return CheckFaxNumber(text);
    if (const std::string why = ExtensionOrPause(text); !why.empty())
        return Refused(why);
    if (rules.countryCode.empty() || !AllDigits(rules.countryCode) ||
        !AllDigits(rules.longDistancePrefix) || !AllDigits(rules.internationalPrefix))
        return Refused("The dial rules in the configuration (country code and prefixes) must be "
                       "digits.");

    std::string rest = text.substr(1);
    // "+44 (0)20 ...": the trunk digit is dialled only from inside the country.
    const std::size_t trunk = rest.find("(0)");
    if (trunk != std::string::npos) {
        std::string before = rest.substr(0, trunk);
        for (const char* separator = kSeparators; *separator != '\0'; ++separator)
            std::erase(before, *separator);
        if (!before.empty() && before.size() <= 3 && AllDigits(before))
            rest.erase(trunk, 3);
    }
    for (const char* separator = kSeparators; *separator != '\0'; ++separator)
        std::erase(rest, *separator);
    if (!AllDigits(rest))
        return CheckFaxNumber(text);
    if (rest.size() > kMostInternationalDigits)
        return Refused("An international number has at most " +
                       std::to_string(kMostInternationalDigits) + " digits after \"+\".");

    const std::string dialled =
        rest.starts_with(rules.countryCode)
            ? rules.longDistancePrefix + rest.substr(rules.countryCode.size())
            : rules.internationalPrefix + rest;
    return CheckFaxNumber(dialled);
}

DialRules LoadDialRules(const settings::Snapshot& stored) {
    using namespace settings;
    return DialRules{TrimBlanks(stored.Text(kCountryCode)),
                     TrimBlanks(stored.Text(kLongDistancePrefix)),
                     TrimBlanks(stored.Text(kInternationalPrefix))};
}

DialRules LoadDialRules(const Profile& profile) {
    return LoadDialRules(settings::ReadAll(profile));
}

std::vector<std::pair<std::string, std::string>> DialRulesEntries(const DialRules& rules) {
    using namespace settings;
    return {{kCountryCode.key, rules.countryCode},
            {kLongDistancePrefix.key, rules.longDistancePrefix},
            {kInternationalPrefix.key, rules.internationalPrefix}};
}

} // namespace qp
