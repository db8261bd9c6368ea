#include "tools/view/PageGeometry.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/TestSupport.h"
#include "tools/view/TiffDocument.h"

#include <gtest/gtest.h>

using namespace qp::view;

namespace {

// A Letter page as Ghostscript makes it at each of the three fax resolutions.
struct Resolution {
    const char* name;
    PageInfo page;
};
const Resolution kLetterPages[] = {
    {"normal", {1728, 1078, 204, 98}},
    {"fine", {1728, 2156, 204, 196}},
    {"high", {2550, 3300, 300, 300}},
};

TEST(PageGeometry, EveryResolutionShowsTheSamePaperShape) {
    for (const Resolution& r : kLetterPages) {
        SCOPED_TRACE(r.name);
        const SizeF inches = PageInches(r.page);
        EXPECT_NEAR(inches.width, 8.5, 0.05);
        EXPECT_NEAR(inches.height, 11.0, 0.01);
        const SizeF shown = ScreenSize(r.page, 100);
        EXPECT_NEAR(shown.width, 850, 5);
        EXPECT_NEAR(shown.height, 1100, 1);
        EXPECT_NEAR(FitWidthScale(r.page, 847), 100, 0.5);
        EXPECT_NEAR(FitPageScale(r.page, 1000, 550), 50, 0.1) << "the height limits";
    }
    // A Normal page's rows are drawn at about twice their stored height.
    const PageInfo& normal = kLetterPages[0].page;
    const SizeF shown = ScreenSize(normal, 204);
    EXPECT_DOUBLE_EQ(shown.width, 1728);
    EXPECT_NEAR(shown.height / normal.height, 204.0 / 98.0, 1e-9);
}

TEST(PageGeometry, MissingOrAbsurdResolutionsFallBackToSquarePixels) {
    EXPECT_DOUBLE_EQ(PageInches({1000, 500, 0, 200}).width, 5);
    EXPECT_DOUBLE_EQ(PageInches({1000, 500, 200, 1e9}).height, 2.5);
    EXPECT_DOUBLE_EQ(PageInches({1000, 500, 0, 0}).width, 5);
    EXPECT_DOUBLE_EQ(FitWidthScale({0, 0, 0, 0}, 800), kMinScale);
}

TEST(PageGeometry, ZoomStepsStayWithinBounds) {
    EXPECT_DOUBLE_EQ(ZoomedIn(100), 125);
    EXPECT_DOUBLE_EQ(ZoomedOut(125), 100);
    EXPECT_DOUBLE_EQ(ZoomedIn(kMaxScale), kMaxScale);
    EXPECT_DOUBLE_EQ(ZoomedOut(kMinScale), kMinScale);
}

TEST(TiffDocument, ReadsEveryPageAndRefusesWhatIsNoImage) {
    qp::test::TempDir dir;
    qp::test::WriteTiffPages(dir.File("fax.tif"), 3, 1728, 1078, 204, 98);
    const std::unique_ptr<TiffDocument> document = TiffDocument::Open(dir.File("fax.tif"));
    ASSERT_NE(document, nullptr);
    ASSERT_EQ(document->PageCount(), 3);
    EXPECT_DOUBLE_EQ(document->Page(2).yDpi, 98);
    const QImage page = document->Render(2);
    EXPECT_EQ(page.size(), QSize(1728, 1078));
    EXPECT_EQ(qGray(page.pixel(10, 10)), 0) << "the black band at the top";
    EXPECT_EQ(qGray(page.pixel(10, 1000)), 255);

    qp::test::WriteFile(dir.File("fake.tif"), "II*\0 not really an image");
    EXPECT_EQ(TiffDocument::Open(dir.File("fake.tif")), nullptr);
    EXPECT_EQ(TiffDocument::Open(dir.File("absent.tif")), nullptr);
}

TEST(PageCursor, MovesWithinThePagesOnly) {
    PageCursor cursor(3);
    EXPECT_FALSE(cursor.Previous());
    EXPECT_TRUE(cursor.Next());
    EXPECT_TRUE(cursor.Last());
    EXPECT_EQ(cursor.Current(), 2);
    EXPECT_FALSE(cursor.Next());
    EXPECT_FALSE(cursor.MoveTo(3));
    EXPECT_TRUE(cursor.First());
    EXPECT_EQ(cursor.Current(), 0);
    EXPECT_FALSE(PageCursor(0).Next());
}

} // namespace
