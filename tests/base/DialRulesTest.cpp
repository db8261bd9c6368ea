#include "base/DialRules.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kTooShort = "Fax phone number must be at least ten digits in length.";
constexpr const char* kNotNumeric = "Invalid Fax To phone number (must be numeric only)";
constexpr const char* kExtension = "The extension after the number (";
constexpr const char* kPause = "The pause or second number after the number (\"";

// What the line dials for a number as it is written, or the start of why it cannot: with the
// defaults (country 1, long-distance 1, international 011) and with a British line (44, 0, 00).
TEST(DialRules, NumbersAsWrittenAreDialledByTheRulesOrRefusedWithTheReason) {
    const qp::DialRules home;
    const qp::DialRules british{"44", "0", "00"};
    struct Case {
        const char* written;
        const qp::DialRules& rules;
        const char* dialled;
        const char* refused;
    };
    const Case cases[] = {
        // National numbers keep the number check's rules, lists included.
        {"(555) 201-0001", home, "5552010001", ""},
        {"5552010001;5552010002", home, "5552010001;5552010002", ""},
        {"555-0100", home, "", kTooShort},
        // "+" at home: the long-distance prefix and the rest.
        {"+1 555 201 0001", home, "15552010001", ""},
        {"+1 (555) 201-0001", home, "15552010001", ""},
        {"+44 20 7946 0000", british, "02079460000", ""},
        // The trunk digit after the country code is dialled only from inside the country.
        {"+44 (0)20 7946 0000", british, "02079460000", ""},
        {"+44(0)20 7946 0000", home, "011442079460000", ""},
        // Any other "+": the international prefix and every digit.
        {"+44 20 7946 0000", home, "011442079460000", ""},
        {"+1 555 201 0001", british, "0015552010001", ""},
        // What follows the number would be dialled as part of it.
        {"+1 555 201 0001 x123", home, "", kExtension},
        {"+1 555 201 0001 ext. 12", home, "", kExtension},
        {"+1-555-201-0001;ext=12", home, "", kExtension},
        {"+1 555 201 0001,,12", home, "", kPause},
        {"+1 555 201 0001 x1234567890123456789012\x1B[2J", home, "",
         "The extension after the number (x1234567890123456789...) cannot"},
        {"+1 555 201 0001;+1 555 201 0002", home, "", kPause},
        // Junk, too few and too many digits.
        {"+1 555 CALL NOW", home, "", kNotNumeric},
        {"++1 555 201 0001", home, "", kNotNumeric},
        {"+1 555 2010", home, "", kTooShort},
        {"+1 555 201 0001 2345 67", home, "", "An international number has at most 15 digits"},
        {"+44 20 7946 0000", qp::DialRules{"4a", "0", "00"}, "", "The dial rules"},
    };
    for (const Case& c : cases) {
        const qp::FaxNumberCheck check = qp::DialledNumber(c.written, c.rules);
        EXPECT_EQ(check.number, c.dialled) << c.written;
        EXPECT_TRUE(check.message.starts_with(c.refused)) << c.written << ": " << check.message;
        EXPECT_EQ(check.Ok(), *c.refused == '\0') << c.written;
    }
}

} // namespace
