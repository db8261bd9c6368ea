#include "cover/TransmissionReport.h"
#include "cover/PagePrinter.h"
#include "tests/cover/support/RecordingDevice.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using qp::test::DeviceRecord;
using qp::test::RecordingDevice;

namespace {

constexpr int kLeftMargin = 350;
constexpr int kValueColumn = kLeftMargin + 1100;

qp::TransmissionFacts SampleFacts() {
    qp::TransmissionFacts facts;
    facts.when = "2026-12-07 22:41:58 UTC";
    facts.status = "Sent";
    facts.fromBox = "8005551000";
    facts.fromName = "Tamarind Works";
    facts.toName = "Ann Example";
    facts.toNumber = "5551234567";
    facts.pages = 3;
    facts.resolution = "Fine (204x196)";
    facts.tries = 2;
    facts.answer = "success: job 42\n(fax.example, port 7541)";
    facts.firstPage = qp::GreyPicture::White(640, 880);
    return facts;
}

class TransmissionReportTest : public ::testing::Test {
protected:
    void Draw(const qp::TransmissionFacts& facts) {
        CPagePrinter printer(RecordingDevice::Factory(m_record));
        qp::DrawTransmissionReport(printer, facts);
    }
    // The values printed on the label's line and the lines after it in the value column, up to
    // the next label.
    std::vector<std::string> ValuesOf(const std::string& label) const {
        std::vector<std::string> values;
        bool inside = false;
        for (const qp::test::DrawnText& text : m_record.texts) {
            if (text.x == kLeftMargin)
                inside = text.text == label;
            else if (inside && text.x == kValueColumn)
                values.push_back(text.text);
        }
        return values;
    }

    DeviceRecord m_record;
};

TEST_F(TransmissionReportTest, EachFactStandsBesideItsLabelOnOnePage) {
    Draw(SampleFacts());
    using Lines = std::vector<std::string>;
    const std::pair<std::string, Lines> expected[] = {
        {"Date:", {"2026-12-07 22:41:58 UTC"}},
        {"Result:", {"Sent"}},
        {"From:", {"Tamarind Works"}},
        {"Message box:", {"8005551000"}},
        {"To:", {"Ann Example"}},
        {"Number:", {"5551234567"}},
        {"Pages:", {"3"}},
        {"Resolution:", {"Fine (204x196)"}},
        {"Tries:", {"2"}},
        {"Server's answer:", {"success: job 42", "(fax.example, port 7541)"}},
    };
    for (const auto& [label, values] : expected)
        EXPECT_EQ(ValuesOf(label), values) << label;
    // The sender's fax and phone are left out where the cover sheet has none.
    EXPECT_FALSE(m_record.Find("Fax:"));
    EXPECT_FALSE(m_record.Find("Phone:"));
    EXPECT_TRUE(m_record.Find("Fax Transmission Report"));
    EXPECT_EQ(m_record.pagesStarted, 1);
    EXPECT_TRUE(m_record.documentEnded);
}

TEST_F(TransmissionReportTest, PageOneIsDrawnReducedBesideItsLabelWithItsProportions) {
    Draw(SampleFacts());
    ASSERT_EQ(m_record.bitmaps.size(), 1u);
    const qp::test::DrawnBitmap& page = m_record.bitmaps.front();
    const qp::test::DrawnText* label = m_record.Find("Page 1:");
    ASSERT_TRUE(label);
    EXPECT_EQ(page.y, label->y);
    EXPECT_EQ(page.x, kValueColumn);
    // 330 points at 600 dpi high; as wide as a page of that shape is.
    EXPECT_EQ(page.height, 2750);
    EXPECT_EQ(page.width, 2000);
    EXPECT_LE(page.y + page.height, RecordingDevice::Setup{}.pageHeight);

    m_record = {};
    qp::TransmissionFacts unreadable = SampleFacts();
    unreadable.firstPage.reset();
    Draw(unreadable);
    EXPECT_TRUE(m_record.bitmaps.empty());
    EXPECT_EQ(ValuesOf("Page 1:"), std::vector<std::string>{"(the fax image could not be read)"});
}

} // namespace
