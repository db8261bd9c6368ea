#include "cover/CoverFile.h"
#include "cover/PdfDevice.h"
#include "cover/PpdPageLayout.h"
#include "tests/support/TestSupport.h"

#include <QBuffer>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

int DeviceUnits(double points, int dpi) {
    return static_cast<int>(std::lround(points * dpi / 72));
}

// The page drawn is the one the driver's PPD describes: its paper as the PDF page, its imageable
// area as what the page printer lays out on.
TEST(CoverFileTest, ThePageIsTheDriversPaperWithItsImageableAreaToDrawOn) {
    const std::optional<qp::PpdPageLayout> page =
        qp::PageLayoutFromPpd(qp::test::ReadFile(QP_SOURCE_PPD));
    ASSERT_TRUE(page.has_value());

    QBuffer output;
    ASSERT_TRUE(output.open(QIODevice::WriteOnly));
    const std::unique_ptr<qp::DrawingDevice> device = qp::PdfDeviceFactory(output)("Quill Post");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->DpiY(), page->dpi);
    EXPECT_EQ(device->PageWidth(), DeviceUnits(page->right - page->left, page->dpi));
    EXPECT_EQ(device->PageHeight(), DeviceUnits(page->top - page->bottom, page->dpi));

    const qp::test::TempDir dir;
    const std::string cover = dir.File("faxcover.pdf");
    ASSERT_TRUE(qp::DrawCoverFile(qp::CoverFields{}, "", cover));
    const std::string pdf = qp::test::ReadFile(cover);
    const std::size_t box = pdf.find("/MediaBox [");
    ASSERT_NE(box, std::string::npos);
    double x = -1, y = -1, width = 0, height = 0;
    ASSERT_EQ(
        std::sscanf(pdf.c_str() + box, "/MediaBox [%lf %lf %lf %lf]", &x, &y, &width, &height), 4);
    EXPECT_EQ(std::vector<double>({x, y, width, height}),
              std::vector<double>({0, 0, page->width, page->height}));
    EXPECT_EQ(pdf.find("/MediaBox [", box + 1), std::string::npos) << "one page";
}

TEST(CoverFileTest, FailsWhereThereIsNoFolderToWriteIn) {
    const qp::test::TempDir dir;
    EXPECT_FALSE(qp::DrawCoverFile({}, "", dir.File("missing/faxcover.pdf")));
    EXPECT_FALSE(qp::DrawCoverFile({}, "", ""));
}

} // namespace
