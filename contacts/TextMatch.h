#pragma once

#include "contacts/Contact.h"

#include <string>
#include <string_view>

namespace qp::contacts {

// How typed text is found in a name: at the start of the name or of one of its words, somewhere
// else inside it, or not at all. Better matches compare less.
enum class Match { Prefix, Infix, None };

// Text case-folded the Unicode way (QString::toCaseFolded), so that "STRASSE" finds "Straße" as
// "ÉMILE" finds "Émile"; the send dialog's box upper-cases what is typed.
std::string CaseFolded(std::string_view text);

// Where `foldedTyped` stands in `foldedField`, both case-folded; a word starts after any ASCII
// character that is not a letter or digit. Empty typed text matches nothing.
Match FindFolded(std::string_view foldedTyped, std::string_view foldedField);

// The digits of a number; "(555) 123-4567" is "5551234567".
std::string DigitsOf(std::string_view text);

// Typed text that can only be a number: digits, with the blanks and marks numbers are written
// with (". - ( ) + ;"), at least one digit.
bool LooksLikeNumber(std::string_view text);

// Where typed digits stand in a number's digits.
Match FindDigits(std::string_view typedDigits, std::string_view numberDigits);

// Typed text, folded once, looked for in contacts and numbers.
class ContactMatcher {
public:
    explicit ContactMatcher(std::string_view typed);

    // Blank typed text: it matches nothing.
    bool Empty() const { return m_folded.empty(); }
    // In a name or an organisation.
    Match InText(std::string_view text) const;
    // In a number, by its digits; only typed text that can only be a number finds one.
    Match InNumber(std::string_view number) const;
    // The best of the contact's name, organisation and numbers.
    Match InContact(const Contact& contact) const;

private:
    std::string m_folded;
    std::string m_digits;
};

} // namespace qp::contacts
