#include "contacts/TextMatch.h"

#include "platform/TextLines.h"

#include <QString>
#include <algorithm>

namespace qp::contacts {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsWordCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

Match Find(std::string_view typed, std::string_view field, bool wordStarts) {
    if (typed.empty())
        return Match::None;
    Match best = Match::None;
    for (std::size_t at = field.find(typed); at != std::string_view::npos;
         at = field.find(typed, at + 1)) {
        if (at == 0 || (wordStarts && !IsWordCharacter(field[at - 1])))
            return Match::Prefix;
        best = Match::Infix;
    }
    return best;
}

} // namespace

std::string CaseFolded(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .toCaseFolded()
        .toStdString();
}

Match FindFolded(std::string_view foldedTyped, std::string_view foldedField) {
    return Find(foldedTyped, foldedField, true);
}

std::string DigitsOf(std::string_view text) {
    std::string digits;
    for (char c : text) {
        if (IsDigit(c))
            digits += c;
    }
    return digits;
}

bool LooksLikeNumber(std::string_view text) {
    bool digit = false;
    for (char c : text) {
        digit = digit || IsDigit(c);
        if (!IsDigit(c) && std::string_view(" \t.-()+;").find(c) == std::string_view::npos)
            return false;
    }
    return digit;
}

Match FindDigits(std::string_view typedDigits, std::string_view numberDigits) {
    return Find(typedDigits, numberDigits, false);
}

ContactMatcher::ContactMatcher(std::string_view typed)
    : m_folded(CaseFolded(TrimBlanks(std::string(typed)))),
      m_digits(LooksLikeNumber(typed) ? DigitsOf(typed) : std::string()) {}

Match ContactMatcher::InText(std::string_view text) const {
    return FindFolded(m_folded, CaseFolded(text));
}

Match ContactMatcher::InNumber(std::string_view number) const {
    return m_digits.empty() ? Match::None : FindDigits(m_digits, DigitsOf(number));
}

Match ContactMatcher::InContact(const Contact& contact) const {
    Match best = std::min(InText(contact.name), InText(contact.organisation));
    for (const PhoneNumber& number : contact.numbers)
        best = std::min(best, InNumber(number.number));
    return best;
}

} // namespace qp::contacts
