#include "cover/CoverPage.h"
#include "cover/PagePrinter.h"
#include "platform/TextLines.h"
#include "tests/cover/support/RecordingDevice.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

using qp::test::DeviceRecord;
using qp::test::RecordingDevice;

namespace {

constexpr int kTop = 417;         // 50 points at 600 dpi
constexpr int kLineAdvance = 142; // a 12-point line and 5 points of spacing at 600 dpi

class CoverPageTest : public ::testing::Test {
protected:
    static qp::CoverFields Fields(const std::string& to, const std::string& notes,
                                  const std::string& disclosure) {
        qp::CoverFields fields;
        fields.to = to;
        fields.notes = notes;
        fields.disclosure = disclosure;
        return fields;
    }
    void Draw(const qp::CoverFields& fields, const std::string& logoPath = "",
              RecordingDevice::Setup setup = {}) {
        CPagePrinter printer(RecordingDevice::Factory(m_record, std::move(setup)));
        qp::DrawCoverPage(printer, fields, logoPath);
    }
    int YOf(const std::string& text) const {
        const qp::test::DrawnText* found = m_record.Find(text);
        return found ? found->y : -1;
    }

    DeviceRecord m_record;
    qp::test::TempDir m_dir;
};

TEST_F(CoverPageTest, TheFieldLinesStartBelowTheLogoWhenThereIsOne) {
    qp::test::WriteFile(m_dir.File(".fx.cover.hdr"), "BM....");
    struct Case {
        std::string logo;
        int toY;
    };
    for (const Case& c : {Case{"", kTop + 200}, Case{m_dir.File("missing"), kTop + 200},
                          Case{m_dir.File(".fx.cover.hdr"), kTop + 900}}) {
        SCOPED_TRACE(c.logo);
        m_record = {};
        Draw(Fields("  Ann  ", "", ""), c.logo);
        EXPECT_EQ(YOf("To:"), c.toY);
        EXPECT_EQ(YOf("Ann"), c.toY);
        EXPECT_EQ(m_record.Find("Ann")->x, 350 + 500);
        EXPECT_EQ(m_record.Find("To:")->font.weight, 700);
        EXPECT_EQ(m_record.Find("Ann")->font.weight, 400);
        EXPECT_EQ(m_record.bitmaps.size(), c.toY == kTop + 900 ? 1u : 0u);
    }
    ASSERT_EQ(m_record.bitmaps.size(), 1u);
    EXPECT_EQ(m_record.bitmaps[0].y, kTop);
}

// The logo box is 4500 by 750 (90 points) at 600 dpi. On a page 6100 wide the text width is 5500
// and the box, centred in it, starts 500 right of the left margin: a logo at the margin or centred
// in the box would show.
TEST_F(CoverPageTest, ALogoKeepsItsShapeAtTheTopLeftOfTheBoxAndMovesNothingElse) {
    constexpr int kBoxX = 350 + 500, kBoxWidth = 4500, kBoxHeight = 750;
    qp::test::WriteFile(m_dir.File(".fx.cover.hdr"), "logo");
    auto drawWithLogo = [&](int width, int height) {
        m_record = {};
        RecordingDevice::Setup setup;
        setup.pageWidth = 6100;
        setup.bitmapWidth = width;
        setup.bitmapHeight = height;
        Draw(Fields("Ann", "Notes", "Confidential."), m_dir.File(".fx.cover.hdr"), setup);
        return m_record;
    };
    const DeviceRecord boxShaped = drawWithLogo(kBoxWidth, kBoxHeight);
    struct Case {
        const char* what;
        int width;
        int height;
    };
    for (const Case& c : {Case{"square", 400, 400}, Case{"wide", 3000, 100},
                          Case{"a line", 10000, 1}, Case{"tall", 50, 500}, Case{"tiny", 3, 2},
                          Case{"huge", 20000, 20000}, Case{"nearly the box", 601, 100}}) {
        SCOPED_TRACE(c.what);
        drawWithLogo(c.width, c.height);
        ASSERT_EQ(m_record.bitmaps.size(), 1u);
        const qp::test::DrawnBitmap& drawn = m_record.bitmaps[0];
        EXPECT_EQ(drawn.x, kBoxX);
        EXPECT_EQ(drawn.y, kTop);
        EXPECT_TRUE(drawn.width >= 1 && drawn.width <= kBoxWidth) << drawn.width;
        EXPECT_TRUE(drawn.height >= 1 && drawn.height <= kBoxHeight) << drawn.height;
        // As large as fits, the other side within a pixel of the logo's proportions.
        if (drawn.width == kBoxWidth)
            EXPECT_NEAR(drawn.height, std::max(1.0, 1.0 * kBoxWidth * c.height / c.width), 1.0);
        else
            EXPECT_NEAR(drawn.width, 1.0 * kBoxHeight * c.width / c.height, 1.0);
        EXPECT_TRUE(drawn.width == kBoxWidth || drawn.height == kBoxHeight);

        EXPECT_EQ(YOf("To:"), kTop + 900);
        ASSERT_EQ(m_record.texts.size(), boxShaped.texts.size());
        for (std::size_t i = 0; i < m_record.texts.size(); ++i)
            EXPECT_EQ(std::pair(m_record.texts[i].x, m_record.texts[i].y),
                      std::pair(boxShaped.texts[i].x, boxShaped.texts[i].y));
        EXPECT_EQ(m_record.ruleYs, boxShaped.ruleYs);
    }
}

TEST_F(CoverPageTest, EmptyFieldsStillTakeALineAndNotesKeepTheirEmptyLines) {
    Draw(Fields("", "a\r\n\r\nb", ""));
    const int to = kTop + 200;
    EXPECT_EQ(YOf("Re:"), to + kLineAdvance);
    EXPECT_EQ(YOf("From:"), to + 2 * kLineAdvance + 80);
    const int rule = to + 5 * kLineAdvance + 80 + 125;
    EXPECT_EQ(m_record.ruleYs, std::vector<int>{rule});
    const int notes = rule + 42 + 125;
    EXPECT_EQ(YOf("Notes:"), notes);
    EXPECT_EQ(m_record.TextsAt(notes + kLineAdvance), std::vector<std::string>{"a"});
    EXPECT_EQ(m_record.TextsAt(notes + 2 * kLineAdvance), std::vector<std::string>{""});
    EXPECT_EQ(m_record.TextsAt(notes + 3 * kLineAdvance), std::vector<std::string>{"b"});
}

TEST_F(CoverPageTest, TheDisclosureStartsWhereItsEstimatedLineCountPutsIt) {
    std::string twelve;
    for (int i = 0; i < 12; ++i)
        twelve += "Paragraph " + std::to_string(i) + "\r\n";
    const std::map<std::string, int> cases = {
        {"Confidential.", 5800}, {twelve, 4400}, {std::string(450, 'x'), 5400}};
    for (const auto& [disclosure, y] : cases) {
        SCOPED_TRACE(y);
        m_record = {};
        Draw(Fields("", "", disclosure));
        const std::string first = qp::TrimBlanks(disclosure).substr(0, 450);
        const std::string firstLine = first.substr(0, first.find("\r\n"));
        EXPECT_EQ(YOf(firstLine), y);
    }
}

TEST_F(CoverPageTest, LongNotesGoOnToASecondPageWhereTheDisclosureIsPlaced) {
    std::string notes;
    for (int i = 0; i < 50; ++i)
        notes += "Line " + std::to_string(i) + "\r\n";
    Draw(Fields("", notes, "Confidential."));
    EXPECT_EQ(m_record.pagesStarted, 2);
    EXPECT_EQ(m_record.pagesEnded, 2);
    ASSERT_NE(m_record.Find("Line 49"), nullptr);
    EXPECT_EQ(m_record.Find("Line 49")->page, 2);
    EXPECT_EQ(m_record.Find("Confidential.")->page, 2);
    EXPECT_EQ(YOf("Confidential."), 5800);
    EXPECT_TRUE(m_record.documentEnded);
}

} // namespace
