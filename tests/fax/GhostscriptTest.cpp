#include "base/WorkPaths.h"
#include "fax/Conversion.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/fax/support/UploadMessages.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <tiffio.h>

using qp::test::FakeClock;
using qp::test::ReadTiffPages;
using qp::test::RecordingMessageSink;
using qp::test::TempDir;
using qp::test::TiffPage;
using qp::test::WriteFile;

namespace {

class GhostscriptTest : public ::testing::Test {
protected:
    bool Convert(qp::Resolution resolution, bool legal,
                 const std::string& gsPath = qp::kGhostscriptPath) {
        return qp::test::Shown(qp::CreateFaxImage(gsPath, m_cover, m_body, m_image,
                                                  qp::ChooseConversionParams(resolution, legal),
                                                  qp::SystemProcessRunner()));
    }

    TempDir m_dir;
    std::string m_cover = m_dir.File("cover page.ps");
    std::string m_body = m_dir.File("body.ps");
    std::string m_image = m_dir.File("fax image.tif");
    FakeClock m_clock;
    RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
};

} // namespace

TEST_F(GhostscriptTest, TwoPageDocumentBecomesAFineG4Image) {
    WriteFile(m_body, qp::test::TextPostScript(2));
    ASSERT_TRUE(Convert(qp::Resolution::Fine, false))
        << ::testing::PrintToString(m_messages.Texts());
    const std::vector<TiffPage> pages = ReadTiffPages(m_image);
    ASSERT_EQ(pages.size(), 2u);
    for (const TiffPage& page : pages) {
        EXPECT_EQ(page.compression, COMPRESSION_CCITTFAX4);
        EXPECT_EQ(page.width, 1728u);
        EXPECT_EQ(page.height, 2172u);
        EXPECT_FLOAT_EQ(page.xResolution, 204.0f);
        EXPECT_FLOAT_EQ(page.yResolution, 196.0f);
        EXPECT_GT(page.ink, 0.0);
        EXPECT_LT(page.ink, 0.05);
    }
}

TEST_F(GhostscriptTest, CoverPagesComeFirstAndLegalHighIsLonger) {
    WriteFile(m_cover, qp::test::BlackPagePostScript());
    WriteFile(m_body, qp::test::TextPostScript(2));
    ASSERT_TRUE(Convert(qp::Resolution::High, true))
        << ::testing::PrintToString(m_messages.Texts());
    const std::vector<TiffPage> pages = ReadTiffPages(m_image);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].width, 2592u);
    EXPECT_EQ(pages[0].height, 4200u);
    EXPECT_FLOAT_EQ(pages[0].xResolution, 300.0f);
    EXPECT_GT(pages[0].ink, 0.9);
    EXPECT_LT(pages[1].ink, 0.05);
    EXPECT_LT(pages[2].ink, 0.05);
}

TEST_F(GhostscriptTest, MissingProgramAndErrorExitAreReported) {
    WriteFile(m_body, qp::test::TextPostScript(1));
    EXPECT_FALSE(Convert(qp::Resolution::Normal, false, m_dir.File("no-gs")));
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{"Could not find ghostscript: " + m_dir.File("no-gs")});

    m_messages.Clear();
    WriteFile(m_body, "%!PS\nthis_is_not_an_operator\n");
    EXPECT_FALSE(Convert(qp::Resolution::Normal, false));
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"Unable to create fax: 1"});
    EXPECT_TRUE(m_clock.Sleeps().empty());
}
