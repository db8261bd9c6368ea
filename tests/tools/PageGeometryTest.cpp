#include "tools/view/PageGeometry.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/TestSupport.h"
#include "tools/view/TiffDocument.h"

#include <gtest/gtest.h>
#include <tiffio.h>

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
    // Each pixel is the average of those it covers: the black band takes the top tenth (107 of
    // 1078 rows); never decoded larger than the page.
    struct Render {
        QSize asked;
        QSize decoded;
        int top;
        int bottom;
    };
    const Render renders[] = {
        {{4000, 4000}, {1728, 1078}, 0, 255},
        {{432, 539}, {432, 539}, 0, 255},
        {{1, 1078}, {1, 1078}, 0, 255},
        {{1728, 1}, {1728, 1}, 230, 230},
    };
    for (const Render& r : renders) {
        const QImage page = document->Render(2, r.asked);
        ASSERT_EQ(page.size(), r.decoded) << r.asked.width() << "x" << r.asked.height();
        EXPECT_EQ(qGray(page.pixel(0, 0)), r.top) << r.decoded.width();
        EXPECT_EQ(qGray(page.pixel(page.width() - 1, page.height() - 1)), r.bottom);
    }
    EXPECT_TRUE(document->Render(2, QSize(1728, 1078), 1024 * 1024).isNull())
        << "more than the budget";

    qp::test::WriteFile(dir.File("fake.tif"), "II*\0 not really an image");
    EXPECT_EQ(TiffDocument::Open(dir.File("fake.tif")), nullptr);
    EXPECT_EQ(TiffDocument::Open(dir.File("absent.tif")), nullptr);
}

// A page is decoded whole only up to the limit; beyond it, at most as shown and never above the
// limit, whatever the zoom.
TEST(PageGeometry, LargePagesAreDecodedNoLargerThanShownAndTheLimit) {
    constexpr std::uint64_t kLimit = 64u << 20;
    struct Case {
        const char* what;
        PageInfo page;
        PixelSize shown;
        PixelSize decoded;
    };
    const Case cases[] = {
        {"a fax page whole", {2550, 3300, 300, 300}, {200, 260}, {2550, 3300}},
        {"a large page as shown", {10000, 10000, 200, 200}, {800, 800}, {800, 800}},
        {"a large page zoomed in", {20000, 10000, 200, 200}, {60000, 30000}, {11585, 5791}},
        {"a thread of a page", {1, 100'000'000, 200, 200}, {1, 5'000'000}, {1, 5'000'000}},
        {"a thread zoomed in", {1, 100'000'000, 200, 200}, {6, 600'000'000}, {1, 16'777'216}},
    };
    for (const Case& c : cases) {
        const PixelSize decoded = DecodeSize(c.page, c.shown, kLimit);
        EXPECT_EQ(decoded.width, c.decoded.width) << c.what;
        EXPECT_EQ(decoded.height, c.decoded.height) << c.what;
        EXPECT_LE(GreyBytes(decoded), kLimit) << c.what;
    }
}

// Pages in layouts other than a fax's: grey of 8 and 16 bits, RGB, a palette of 4 bits, and tiles
// (which only libtiff's whole-page decoding reads). 16 x 20 pixels, the top 5 rows black.
TEST(TiffDocument, ReadsPagesOfEveryCommonLayout) {
    struct Layout {
        const char* what;
        std::uint16_t bits;
        std::uint16_t samples;
        std::uint16_t photometric;
        bool tiled;
    };
    const Layout layouts[] = {
        {"grey 8", 8, 1, PHOTOMETRIC_MINISBLACK, false},
        {"grey 16", 16, 1, PHOTOMETRIC_MINISBLACK, false},
        {"RGB", 8, 3, PHOTOMETRIC_RGB, false},
        {"palette 4", 4, 1, PHOTOMETRIC_PALETTE, false},
        {"tiles", 8, 1, PHOTOMETRIC_MINISBLACK, true},
    };
    constexpr std::uint32_t kWidth = 16;
    constexpr std::uint32_t kHeight = 20;
    qp::test::TempDir dir;
    for (const Layout& l : layouts) {
        const std::string path = dir.File("page.tif");
        TIFF* tiff = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tiff, nullptr);
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, l.bits);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, l.samples);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, l.photometric);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        std::vector<std::uint16_t> map(16, 0);
        map[15] = 0xFFFF;
        if (l.photometric == PHOTOMETRIC_PALETTE)
            TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
        const std::size_t rowBytes = kWidth * l.samples * l.bits / 8;
        // Every sample of a white row has all its bits set, palette entry 15 included.
        std::vector<std::uint8_t> page(rowBytes * kHeight, 0xFF);
        std::fill_n(page.begin(), rowBytes * 5, 0);
        if (l.tiled) {
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
            for (std::uint32_t y = 0; y < kHeight; y += 16) {
                std::vector<std::uint8_t> tile(16 * 16, 0xFF);
                for (std::uint32_t row = 0; row < 16 && y + row < kHeight; ++row)
                    std::copy_n(&page[(y + row) * rowBytes], rowBytes, &tile[row * 16]);
                TIFFWriteTile(tiff, tile.data(), 0, y, 0, 0);
            }
        } else {
            for (std::uint32_t y = 0; y < kHeight; ++y)
                TIFFWriteScanline(tiff, &page[y * rowBytes], y, 0);
        }
        TIFFClose(tiff);

        const auto document = TiffDocument::Open(path);
        ASSERT_NE(document, nullptr) << l.what;
        const QImage image = document->Render(0, QSize(8, 10));
        ASSERT_EQ(image.size(), QSize(8, 10)) << l.what;
        EXPECT_EQ(qGray(image.pixel(7, 1)), 0) << l.what;
        EXPECT_EQ(qGray(image.pixel(0, 2)), 128) << l.what << ": half black, half white";
        EXPECT_EQ(qGray(image.pixel(7, 9)), 255) << l.what;
    }
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
