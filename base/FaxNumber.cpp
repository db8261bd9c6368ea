#include "base/FaxNumber.h"

#include "platform/TextLines.h"
#include "platform/Utf8Text.h"

#include <algorithm>

namespace qp {
namespace {

constexpr std::size_t kMinimumNumberLength = 10;
constexpr const char* kSeparators = " .-()";

} // namespace

FaxNumberCheck CheckFaxNumber(const std::string& typed) {
    FaxNumberCheck check;
    std::string number = TrimBlanks(typed);
    for (const char* separator = kSeparators; *separator != '\0'; ++separator)
        number.erase(std::remove(number.begin(), number.end(), *separator), number.end());

    // Typed text arrives as UTF-8; the length rule counts characters, not bytes.
    if (CharacterCount(number) < kMinimumNumberLength) {
        check.message = "Fax phone number must be at least ten digits in length.";
        return check;
    }
    for (char c : number) {
        if ((c < '0' || c > '9') && c != ';') {
            check.message = "Invalid Fax To phone number (must be numeric only)";
            return check;
        }
    }
    check.number = number;
    return check;
}

std::string HistoryEntryFor(const std::string& number) {
    if (number.size() != 10)
        return number;
    return "(" + number.substr(0, 3) + ") " + number.substr(3, 3) + "-" + number.substr(6);
}

} // namespace qp
