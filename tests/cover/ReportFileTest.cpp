#include "cover/ReportFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// The report is a whole PDF of one page, the picture of page 1 in it.
TEST(ReportFileTest, TheReportIsAOnePagePdfWithPageOneInIt) {
    const qp::test::TempDir dir;
    const qp::Profile profile(dir.File("Quillpost.conf"));
    qp::TransmissionFacts facts;
    facts.answer = "success: queued";
    facts.firstPage = qp::GreyPicture::White(64, 83);
    const std::optional<std::string> pdf = qp::TransmissionReportPdf(facts, "8005551000", profile);
    ASSERT_TRUE(pdf);
    EXPECT_TRUE(pdf->starts_with("%PDF-"));
    EXPECT_EQ(Count(*pdf, "/Type /Page\n") + Count(*pdf, "/Type /Page\r"), 1u);
    EXPECT_EQ(Count(*pdf, "/Subtype /Image"), 1u);
}

} // namespace
