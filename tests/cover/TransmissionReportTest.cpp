#include "cover/TransmissionReport.h"
#include "cover/PagePrinter.h"
#include "tests/cover/support/RecordingDevice.h"

#include <gtest/gtest.h>

using qp::test::DeviceRecord;
using qp::test::RecordingDevice;

namespace {

constexpr int kValueColumn = 350 + 1100;

// The words of the page as drawn end to end through a PDF are the send tool's test; here, where
// they go.
class TransmissionReportTest : public ::testing::Test {
protected:
    TransmissionReportTest() {
        m_facts.fromBox = "8005551000";
        m_facts.answer = "success: job 42\n(fax.example, port 7541)";
        m_facts.firstPage = qp::GreyPicture::White(640, 880);
    }
    void Draw() {
        CPagePrinter printer(RecordingDevice::Factory(m_record));
        qp::DrawTransmissionReport(printer, m_facts);
    }

    qp::TransmissionFacts m_facts;
    DeviceRecord m_record;
};

TEST_F(TransmissionReportTest, AnAnswerOfSeveralLinesKeepsToItsColumnAndEmptySenderFieldsGo) {
    Draw();
    const qp::test::DrawnText* label = m_record.Find("Server's answer:");
    const qp::test::DrawnText* second = m_record.Find("(fax.example, port 7541)");
    ASSERT_TRUE(label && second);
    EXPECT_EQ(m_record.TextsAt(label->y).back(), "success: job 42");
    EXPECT_EQ(second->x, kValueColumn);
    EXPECT_GT(second->y, label->y);
    for (const char* unset : {"From:", "Fax:", "Phone:"})
        EXPECT_FALSE(m_record.Find(unset)) << unset;
    EXPECT_TRUE(m_record.Find("Message box:"));
    EXPECT_EQ(m_record.pagesStarted, 1);
}

TEST_F(TransmissionReportTest, PageOneIsDrawnBesideItsLabelWithItsProportionsOrSaidToBeMissing) {
    Draw();
    ASSERT_EQ(m_record.bitmaps.size(), 1u);
    const qp::test::DrawnBitmap& page = m_record.bitmaps.front();
    EXPECT_EQ(page.y, m_record.Find("Page 1:")->y);
    EXPECT_EQ(page.x, kValueColumn);
    // 330 points at 600 dpi high, as wide as a page of that shape is, and on the paper.
    EXPECT_EQ(page.height, 2750);
    EXPECT_EQ(page.width, 2000);
    EXPECT_LE(page.y + page.height, RecordingDevice::Setup{}.pageHeight);

    m_record = {};
    m_facts.firstPage.reset();
    Draw();
    EXPECT_TRUE(m_record.bitmaps.empty());
    EXPECT_EQ(m_record.Find("(the fax image could not be read)")->x, kValueColumn);
}

} // namespace
