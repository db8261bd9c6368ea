#include "fax/Conversion.h"
#include "platform/FileOps.h"
#include "tests/fax/support/Outcomes.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <functional>
#include <gtest/gtest.h>

using qp::Outcome;
using qp::test::FakeRunner;
using qp::test::TempDir;
using qp::test::WriteFile;

namespace {

class ConversionTest : public ::testing::Test {
protected:
    ConversionTest() { m_runner.onRun = qp::test::WriteGhostscriptOutput; }

    Outcome Convert() {
        return qp::CreateFaxImage("/usr/bin/gs", m_cover, m_body, m_image,
                                  qp::ChooseConversionParams(qp::Resolution::Fine, false),
                                  m_runner);
    }

    TempDir m_dir;
    // Blanks in the paths must not split them.
    std::string m_cover = m_dir.File("fax cover.ps");
    std::string m_body = m_dir.File("fax body.ps");
    std::string m_image = m_dir.File("fax image.tif");
    FakeRunner m_runner;
};

} // namespace

TEST_F(ConversionTest, FineLetterWithCoverAndBody) {
    WriteFile(m_cover, "%!PS\n");
    WriteFile(m_body, "%!PS\n");
    EXPECT_EQ(Convert(), Outcome::Success());
    ASSERT_EQ(m_runner.waited.size(), 1u);
    EXPECT_EQ(m_runner.waited[0],
              (std::vector<std::string>{"/usr/bin/gs", "-sDEVICE=tiffg4", "-r204x196", "-q",
                                        "-dNOPAUSE", "-dBATCH", "-g1728x2172",
                                        "-sOutputFile=" + m_image, m_cover, m_body}));
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

TEST_F(ConversionTest, FailuresAreToldAndNothingWaits) {
    EXPECT_EQ(Convert(), Outcome::Failure("No cover or body to create fax"));
    EXPECT_TRUE(m_runner.waited.empty());

    WriteFile(m_body, "%!PS\n");
    m_runner.result = qp::ProcessResult{false, 2, false, -1};
    EXPECT_EQ(Convert(), Outcome::Failure("Could not find ghostscript: /usr/bin/gs"));
    m_runner.result = qp::ProcessResult{true, 0, true, 1};
    EXPECT_EQ(Convert(), Outcome::Failure("Unable to create fax: 1"));
}

TEST_F(ConversionTest, AnythingButAFreshFaxImageFailsTheConversion) {
    WriteFile(m_body, "%!PS\n");
    struct Case {
        const char* what;
        std::function<void()> ghostscript;
        const char* message;
    };
    const Case cases[] = {
        {"nothing written", [] {}, "Unable to create fax: the image was not written"},
        {"an empty file", [&] { WriteFile(m_image, ""); },
         "Unable to create fax: the image is empty"},
        {"no pages", [&] { qp::test::WriteTiffPages(m_image, 0); },
         "Unable to create fax: the image is not a TIFF file"},
        {"not Group 4", [&] { qp::test::WriteTiffPages(m_image, 2, 5); },
         "Unable to create fax: the image is not CCITT Group 4"},
    };
    for (const Case& c : cases) {
        // A good image from before must never pass for this conversion's.
        qp::test::WriteTiffPages(m_image, 1);
        m_runner.onRun = [&](const std::vector<std::string>&) { c.ghostscript(); };
        EXPECT_EQ(Convert(), Outcome::Failure(c.message)) << c.what;
    }
}
