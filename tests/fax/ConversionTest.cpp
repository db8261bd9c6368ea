#include "fax/Conversion.h"
#include "platform/FileOps.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/fax/support/UploadMessages.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <functional>
#include <gtest/gtest.h>

using qp::test::FakeClock;
using qp::test::FakeRunner;
using qp::test::RecordingMessageSink;
using qp::test::TempDir;
using qp::test::WriteFile;

namespace {

class ConversionTest : public ::testing::Test {
protected:
    ConversionTest() { m_runner.onRun = qp::test::WriteGhostscriptOutput; }

    bool Convert(qp::Resolution resolution = qp::Resolution::Fine, bool legal = false) {
        return qp::test::Shown(qp::CreateFaxImage("/usr/bin/gs", m_cover, m_body, m_image,
                                                  qp::ChooseConversionParams(resolution, legal),
                                                  m_runner));
    }

    TempDir m_dir;
    // Blanks in the paths must not split them.
    std::string m_cover = m_dir.File("fax cover.ps");
    std::string m_body = m_dir.File("fax body.ps");
    std::string m_image = m_dir.File("fax image.tif");
    FakeRunner m_runner;
    FakeClock m_clock;
    RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
};

} // namespace

TEST_F(ConversionTest, FineLetterWithCoverAndBody) {
    WriteFile(m_cover, "%!PS\n");
    WriteFile(m_body, "%!PS\n");
    EXPECT_TRUE(Convert());
    ASSERT_EQ(m_runner.waited.size(), 1u);
    EXPECT_EQ(m_runner.waited[0],
              (std::vector<std::string>{"/usr/bin/gs", "-sDEVICE=tiffg4", "-r204x196", "-q",
                                        "-dNOPAUSE", "-dBATCH", "-g1728x2172",
                                        "-sOutputFile=" + m_image, m_cover, m_body}));
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(ConversionTest, OnlyTheInputsThatExistFollowTheOutput) {
    WriteFile(m_body, "%!PS\n");
    EXPECT_TRUE(Convert());
    ASSERT_EQ(m_runner.waited.back().size(), 9u);
    EXPECT_EQ(m_runner.waited.back().back(), m_body);

    qp::RemoveFile(m_body);
    WriteFile(m_cover, "%!PS\n");
    EXPECT_TRUE(Convert());
    ASSERT_EQ(m_runner.waited.back().size(), 9u);
    EXPECT_EQ(m_runner.waited.back().back(), m_cover);
}

TEST_F(ConversionTest, LegalSizeMakesOnlyThePageLonger) {
    WriteFile(m_body, "%!PS\n");
    Convert(qp::Resolution::Normal, true);
    EXPECT_EQ(m_runner.waited.back()[2], "-r204x98");
    EXPECT_EQ(m_runner.waited.back()[6], "-g1728x1372");
    Convert(qp::Resolution::High, true);
    EXPECT_EQ(m_runner.waited.back()[2], "-r300x300");
    EXPECT_EQ(m_runner.waited.back()[6], "-g2592x4200");
}

TEST_F(ConversionTest, FailuresAreShownAndNothingWaits) {
    EXPECT_FALSE(Convert());
    EXPECT_TRUE(m_runner.waited.empty());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"No cover or body to create fax"});

    WriteFile(m_body, "%!PS\n");
    m_messages.Clear();
    m_runner.result = qp::ProcessResult{false, 2, false, -1};
    EXPECT_FALSE(Convert());
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{"Could not find ghostscript: /usr/bin/gs"});

    m_messages.Clear();
    m_runner.result = qp::ProcessResult{true, 0, true, 1};
    EXPECT_FALSE(Convert());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"Unable to create fax: 1"});
    EXPECT_EQ(m_messages.Messages()[0].icon, qp::MessageIcon::Warning);
    EXPECT_TRUE(m_clock.Sleeps().empty());
}

// An empty image and one that is no TIFF are sent through the dialog (StandInGhostscriptTest).
TEST_F(ConversionTest, AnythingButAFreshFaxImageFailsTheConversion) {
    WriteFile(m_body, "%!PS\n");
    struct Case {
        const char* what;
        std::function<void()> ghostscript;
        const char* message;
    };
    const Case cases[] = {
        {"nothing written", [] {}, "Unable to create fax: the image was not written"},
        {"no pages", [&] { qp::test::WriteTiffPages(m_image, 0); },
         "Unable to create fax: the image is not a TIFF file"},
        {"not Group 4", [&] { qp::test::WriteTiffPages(m_image, 2, 5); },
         "Unable to create fax: the image is not CCITT Group 4"},
    };
    for (const Case& c : cases) {
        // A good image from before must never pass for this conversion's.
        qp::test::WriteTiffPages(m_image, 1);
        m_runner.onRun = [&](const std::vector<std::string>&) { c.ghostscript(); };
        m_messages.Clear();
        EXPECT_FALSE(Convert()) << c.what;
        EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{c.message}) << c.what;
    }
}
