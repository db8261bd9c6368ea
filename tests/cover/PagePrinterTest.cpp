#include "cover/PagePrinter.h"
#include "tests/cover/support/RecordingDevice.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using qp::test::DeviceRecord;
using qp::test::RecordingDevice;

namespace {

constexpr int kCharWidth = RecordingDevice::kCharWidth;
// A 600 dpi page 5100 wide; margins 350 and 250 leave a text width of 4500 (450 characters).
constexpr int kLeft = 350;
constexpr int kRight = 250;
constexpr int kTextWidth = 5100 - kLeft - kRight;
constexpr int kTopPoints = 50;
constexpr int kTop = 417;        // 50 points at 600 dpi
constexpr int kLineHeight = 100; // a 12-point font at 600 dpi
constexpr int kSpacing = 42;     // 5 points at 600 dpi
constexpr int kOffset = 500;

class PagePrinterTest : public ::testing::Test {
protected:
    // A page printer on a recording device, with the cover page's margins, spacing and font.
    void Open(bool canStretch = true) {
        RecordingDevice::Setup setup;
        setup.canStretch = canStretch;
        m_printer = std::make_unique<CPagePrinter>(RecordingDevice::Factory(m_record, setup));
        m_printer->SetLineSpacing(5);
        ASSERT_EQ(m_printer->OpenPrinterDC("Quill Post", 1), 0);
        ASSERT_EQ(m_printer->BeginDocument(), 0);
        m_set = m_printer->AddFontSet("Arial", 12, 16);
        ASSERT_EQ(m_printer->BeginPage(), 0);
        m_printer->SetMargins(kTopPoints, 20, kLeft, kRight);
    }
    static std::string Words(int characters) {
        std::string text;
        while (static_cast<int>(text.size()) < characters)
            text += "word" + std::to_string(text.size() % 10) + " ";
        return text.substr(0, static_cast<std::size_t>(characters));
    }
    std::string Joined() const {
        std::string all;
        for (const auto& text : m_record.texts)
            all += text.text;
        return all;
    }

    DeviceRecord m_record;
    std::unique_ptr<CPagePrinter> m_printer;
    int m_set = -1;
};

TEST_F(PagePrinterTest, EmptyTextMovesDownOneLineOfTheLetterA) {
    Open();
    m_printer->PrintText(m_set, "", CPagePrinter::PT_LEFT, 0);
    EXPECT_EQ(m_printer->Pen(), kTop + kLineHeight + kSpacing);
    ASSERT_EQ(m_record.texts.size(), 1u);
    EXPECT_EQ(m_record.texts[0].text, "");
}

TEST_F(PagePrinterTest, TextThatFitsTheWidthExactlyStaysOnOneLine) {
    Open();
    const std::string text(kTextWidth / kCharWidth, 'x');
    m_printer->PrintText(m_set, text, CPagePrinter::PT_LEFT, 0);
    ASSERT_EQ(m_record.texts.size(), 1u);
    EXPECT_EQ(m_record.texts[0].text, text);
}

TEST_F(PagePrinterTest, WordsBreakAtTheLastSpaceAndEveryLineStartsAtTheOffset) {
    Open();
    const std::string text = Words(kTextWidth / kCharWidth * 3 / 2);
    m_printer->PrintText(m_set, text, CPagePrinter::PT_LEFT, kOffset);
    ASSERT_EQ(m_record.texts.size(), 2u);
    const std::string& first = m_record.texts[0].text;
    // The chunk that reached the width ends at character 450; the break is its last space.
    const std::string chunk = text.substr(0, kTextWidth / kCharWidth);
    EXPECT_EQ(first, chunk.substr(0, chunk.rfind(' ') + 1));
    EXPECT_EQ(first + m_record.texts[1].text, text);
    for (const auto& line : m_record.texts)
        EXPECT_EQ(line.x, kLeft + kOffset);
    EXPECT_EQ(m_record.texts[1].y, kTop + kLineHeight + kSpacing);
}

TEST_F(PagePrinterTest, AWordLongerThanTheBreakDistanceIsCutMidWordButNeverMidCharacter) {
    std::string accented;
    for (int i = 0; i < 600; ++i)
        accented += "\u00e9";
    // The last space lies 30 characters before the end of the first chunk.
    const std::string spaced = std::string(420, 'a') + " " + std::string(200, 'b');
    for (const auto& [text, firstLength] :
         {std::pair{spaced, std::size_t{450}}, std::pair{accented, std::size_t{900}}}) {
        m_record = {};
        Open();
        m_printer->PrintText(m_set, text, CPagePrinter::PT_LEFT, 0);
        ASSERT_EQ(m_record.texts.size(), 2u);
        EXPECT_EQ(m_record.texts[0].text, text.substr(0, firstLength));
        EXPECT_EQ(m_record.texts[1].text, text.substr(firstLength));
    }
}

TEST_F(PagePrinterTest, LongTextLosesNoWordWhenBreaksMakeMoreLinesThanItsWidthSuggests) {
    Open();
    // Two widths by measure, but breaking at spaces needs a third line.
    std::string text;
    for (int i = 0; text.size() < 2 * kTextWidth / kCharWidth; ++i)
        text += std::string(18, static_cast<char>('a' + i % 26)) + " ";
    text.resize(2 * kTextWidth / kCharWidth);
    m_printer->PrintText(m_set, text, CPagePrinter::PT_LEFT, 0);
    EXPECT_EQ(m_record.texts.size(), 3u);
    EXPECT_EQ(Joined(), text);
}

TEST_F(PagePrinterTest, ALineThatWouldPassTheBottomMarginStartsANewPageAtTheTop) {
    for (int flags : {CPagePrinter::PT_LEFT, CPagePrinter::PT_NOADVANCE}) {
        SCOPED_TRACE(flags);
        m_record = {};
        Open();
        // Bottom of the line plus spacing lands one unit below page height less bottom margin.
        m_printer->SetY(6600 - 20 - kLineHeight - kSpacing + 1);
        m_printer->PrintText(m_set, "late line", flags, 0);
        ASSERT_EQ(m_record.texts.size(), 1u);
        EXPECT_EQ(m_record.texts[0].page, 2);
        EXPECT_EQ(m_record.texts[0].y, kTop);
        EXPECT_EQ(m_record.pagesEnded, 1);
    }
}

TEST_F(PagePrinterTest, FontSetsStopAtTenAndTheRuleAndFontsUseTheDeviceDpi) {
    Open();
    for (int i = 1; i < CPagePrinter::kMaxFontSets; ++i)
        EXPECT_EQ(m_printer->AddFontSet("Arial", 10, 14), i);
    EXPECT_EQ(m_printer->AddFontSet("Arial", 10, 14), -1);

    m_printer->SelectFontStyle(m_set, CPagePrinter::kBold);
    m_printer->PrintText(m_set, "Bold", CPagePrinter::PT_NOADVANCE, 0);
    // Every font asks for a fixed pitch, whatever face it names.
    EXPECT_EQ(m_record.texts.back().font, (qp::FontSpec{"Arial", kLineHeight, 700, true}));
    m_printer->DrawRule(0);
    EXPECT_EQ(m_record.ruleYs, std::vector<int>{kTop});
    EXPECT_EQ(m_printer->Pen(), kTop + kSpacing);
}

TEST_F(PagePrinterTest, TheBitmapBoxIsCentredAndDrawnOnlyWhereTheDeviceCanStretch) {
    qp::test::TempDir dir;
    qp::test::WriteFile(dir.File("logo.bmp"), "BM");
    for (bool canStretch : {true, false}) {
        SCOPED_TRACE(canStretch);
        m_record = {};
        Open(canStretch);
        m_printer->LoadBitmapFile(dir.File("logo.bmp"));
        const int result = m_printer->DrawBitmap(CPagePrinter::PT_CENTER, 4500, 90, 0);
        if (canStretch) {
            EXPECT_EQ(result, 0);
            ASSERT_EQ(m_record.bitmaps.size(), 1u);
            EXPECT_EQ(m_record.bitmaps[0].x, kLeft + (kTextWidth / 2 - 4500 / 2));
            EXPECT_EQ(m_record.bitmaps[0].y, kTop);
            EXPECT_EQ(m_record.bitmaps[0].height, 750); // 90 points at 600 dpi
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_TRUE(m_record.bitmaps.empty());
        }
        EXPECT_EQ(m_printer->Pen(), kTop);
    }
}

} // namespace
