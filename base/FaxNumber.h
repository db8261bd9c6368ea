#pragma once

#include <string>

namespace qp {

// The recipient number as the user typed it, checked and reduced to what is sent: digits, and ";"
// between several numbers. `message` is the text to show when the number is refused.
struct FaxNumberCheck {
    std::string number;
    std::string message;
    bool Ok() const { return message.empty(); }
};

// Trims the text, drops the usual separators (blank . - ( )), then requires at least ten
// characters, and only digits and ";". The length test comes first, so "abc" is "too short".
FaxNumberCheck CheckFaxNumber(const std::string& typed);

// The number as the recipient history keeps it: ten characters read as "(AAA) BBB-CCCC", any other
// length unchanged. It normalises back to the same number.
std::string HistoryEntryFor(const std::string& number);

} // namespace qp
