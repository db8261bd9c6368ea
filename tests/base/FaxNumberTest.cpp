#include "base/FaxNumber.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kTooShort = "Fax phone number must be at least ten digits in length.";
constexpr const char* kNotNumeric = "Invalid Fax To phone number (must be numeric only)";

TEST(FaxNumber, SeparatorsAndOuterBlanksGoTenDigitsGetTheHistoryForm) {
    for (const char* typed : {"  (555) 123-4567  ", "555.123.4567", "\t555 123 4567\r\n"}) {
        const qp::FaxNumberCheck check = qp::CheckFaxNumber(typed);
        ASSERT_TRUE(check.Ok()) << typed;
        EXPECT_EQ(check.number, "5551234567") << typed;
        EXPECT_EQ(qp::HistoryEntryFor(check.number), "(555) 123-4567");
    }
    // An entry picked from the history list goes back to the digits it came from.
    EXPECT_EQ(qp::CheckFaxNumber("(555) 123-4567").number, "5551234567");
}

TEST(FaxNumber, LengthIsTestedBeforeTheCharacters) {
    EXPECT_EQ(qp::CheckFaxNumber("555-1234").message, kTooShort);
    EXPECT_EQ(qp::CheckFaxNumber("abc").message, kTooShort);
    EXPECT_EQ(qp::CheckFaxNumber("").message, kTooShort);
    // Ten characters, not ten digits, pass the length test.
    EXPECT_EQ(qp::CheckFaxNumber("555123456x").message, kNotNumeric);
    // Blanks inside count only once removed; a tab inside is not removed.
    EXPECT_EQ(qp::CheckFaxNumber("555\t1234567").message, kNotNumeric);
}

TEST(FaxNumber, OnlyDigitsAndSemicolonsAreSent) {
    EXPECT_EQ(qp::CheckFaxNumber("+1 555 123 4567").message, kNotNumeric);
    const qp::FaxNumberCheck hyphens = qp::CheckFaxNumber("1-555-123-4567");
    ASSERT_TRUE(hyphens.Ok());
    EXPECT_EQ(hyphens.number, "15551234567");
    EXPECT_EQ(qp::HistoryEntryFor(hyphens.number), "15551234567");

    const qp::FaxNumberCheck two = qp::CheckFaxNumber("5551234567;5557654321");
    ASSERT_TRUE(two.Ok());
    EXPECT_EQ(two.number, "5551234567;5557654321");
    EXPECT_EQ(qp::HistoryEntryFor(two.number), two.number);

    // Letters outside ASCII fail, and count as one character each in the length test.
    EXPECT_EQ(qp::CheckFaxNumber("555123456\xC3\xA9").message, kNotNumeric);
    EXPECT_EQ(qp::CheckFaxNumber("55512345\xC3\xA9").message, kTooShort);
}

} // namespace
