#include "cover/PpdPageLayout.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

const qp::PpdPageLayout kDriverLetter{"Letter", 612, 792, 18, 18, 594, 774, 600};

TEST(PpdPageLayoutTest, TheDriversPpdGivesLetterWithItsImageableAreaAndIsBuiltIn) {
    const std::string ppd = qp::test::ReadFile(QP_SOURCE_PPD);
    EXPECT_EQ(qp::PageLayoutFromPpd(ppd), kDriverLetter);
    EXPECT_EQ(qp::DriverPpdText(), ppd);
    EXPECT_EQ(qp::DriverPageLayout(), kDriverLetter);
}

struct PpdCase {
    const char* what;
    std::string ppd;
    std::optional<qp::PpdPageLayout> layout;
};
void PrintTo(const PpdCase& c, std::ostream* out) {
    *out << c.what;
}

const std::string kLegal = "*DefaultPageSize: Legal\n"
                           "*PaperDimension Letter/US Letter: \"612 792\"\n"
                           "*PaperDimension Legal/US Legal: \"612 1008\"\n"
                           "*ImageableArea Legal/US Legal: \"12.5 14 600 994.25\"\n";
const qp::PpdPageLayout kLegalLayout{"Legal", 612, 1008, 12.5, 14, 600, 994.25, 600};

std::string LetterWith(const std::string& dimension, const std::string& area) {
    return "*DefaultPageSize: Letter\n*PaperDimension Letter: \"" + dimension +
           "\"\n*ImageableArea Letter: \"" + area + "\"\n";
}

class PpdCases : public ::testing::TestWithParam<PpdCase> {};

TEST_P(PpdCases, OnlyAWholeDefaultPageIsTaken) {
    EXPECT_EQ(qp::PageLayoutFromPpd(GetParam().ppd), GetParam().layout);
}

INSTANTIATE_TEST_SUITE_P(
    PpdPageLayoutTest, PpdCases,
    ::testing::Values(
        PpdCase{"the default size picks its own entries", kLegal, kLegalLayout},
        PpdCase{"CR LF lines, comments, garbage and a resolution",
                "*% comment: *DefaultPageSize: Letter\r\n\x01\xff*:\r\n*\r\n"
                "*PaperDimension Legal\r\n*DefaultResolution: 300x300dpi\r\n" +
                    kLegal,
                qp::PpdPageLayout{"Legal", 612, 1008, 12.5, 14, 600, 994.25, 300}},
        PpdCase{"a resolution out of range or uneven is passed over",
                "*DefaultResolution: 100000dpi\n*DefaultResolution: 300x600dpi\n" + kLegal,
                kLegalLayout},
        PpdCase{"an entry inside a multi-line quoted value is not one",
                "*DefaultPageSize: Legal\n*PaperDimension Legal: \"612 1008\"\n"
                "*JCLBegin: \"line one\n*ImageableArea Legal: \"0 0 1 1\"\n"
                "*ImageableArea Legal: \"12.5 14 600 994.25\"\n",
                kLegalLayout},
        PpdCase{"the first readable entry counts",
                kLegal + "*DefaultPageSize: Letter\n*ImageableArea Legal: \"0 0 612 1008\"\n",
                kLegalLayout},
        PpdCase{"empty", "", std::nullopt},
        PpdCase{"no default size",
                "*PaperDimension Letter: \"612 792\"\n*ImageableArea Letter: \"18 18 594 774\"\n",
                std::nullopt},
        PpdCase{"no paper dimension for the default size",
                "*DefaultPageSize: A4\n*PaperDimension Letter: \"612 792\"\n"
                "*ImageableArea A4: \"18 18 577 824\"\n",
                std::nullopt},
        PpdCase{"three numbers for an area", LetterWith("612 792", "18 18 594"), std::nullopt},
        PpdCase{"five numbers for an area", LetterWith("612 792", "18 18 594 774 1"), std::nullopt},
        PpdCase{"words for numbers", LetterWith("612 792", "18 18 wide 774"), std::nullopt},
        PpdCase{"a number run into a word", LetterWith("612pt 792", "18 18 594 774"), std::nullopt},
        PpdCase{"not a finite number", LetterWith("inf 792", "18 18 594 774"), std::nullopt},
        PpdCase{"an area beyond the paper", LetterWith("612 792", "18 18 700 774"), std::nullopt},
        PpdCase{"an area upside down", LetterWith("612 792", "18 774 594 18"), std::nullopt},
        PpdCase{"a negative area", LetterWith("612 792", "-18 18 594 774"), std::nullopt},
        PpdCase{"a page larger than PDF allows", LetterWith("612 20000", "18 18 594 774"),
                std::nullopt},
        PpdCase{"unquoted numbers",
                "*DefaultPageSize: Letter\n*PaperDimension Letter: 612 792\n"
                "*ImageableArea Letter: \"18 18 594 774\"\n",
                std::nullopt},
        PpdCase{"more text than a PPD holds",
                LetterWith("612 792", "18 18 594 774") + std::string(qp::kMaxPpdBytes, '\n'),
                std::nullopt}),
    qp::test::CaseName());

TEST(PpdPageLayoutTest, TheFallbackIsLetterAQuarterInchIn) {
    EXPECT_EQ(qp::PageLayoutFromPpd(LetterWith("612 792", "18 18 594 774")),
              qp::FallbackPageLayout());
}

} // namespace
