#include "base/WorkPaths.h"
#include "fax/Conversion.h"
#include "tests/fax/support/Outcomes.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <tiffio.h>
#include <unistd.h>

using qp::Outcome;
using qp::test::ReadTiffPages;
using qp::test::TempDir;
using qp::test::TiffPage;
using qp::test::WriteFile;

namespace {

// Whether a program this process started is running.
bool ChildRunning() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = qp::test::ReadFile(entry.path() / "stat");
        const std::size_t end = stat.rfind(')');
        if (end == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(end + 1));
        char state = 0;
        int parent = 0;
        if (fields >> state >> parent && parent == ::getpid())
            return true;
    }
    return false;
}

class GhostscriptTest : public ::testing::Test {
protected:
    Outcome Convert(qp::Resolution resolution, bool legal, std::stop_token stop = {}) {
        return qp::CreateFaxImage(qp::kGhostscriptPath, m_cover, m_body, m_image,
                                  qp::ChooseConversionParams(resolution, legal),
                                  qp::SystemProcessRunner(), std::move(stop));
    }

    TempDir m_dir;
    std::string m_cover = m_dir.File("cover page.ps");
    std::string m_body = m_dir.File("body.ps");
    std::string m_image = m_dir.File("fax image.tif");
};

} // namespace

TEST_F(GhostscriptTest, TwoPageDocumentBecomesAFineG4Image) {
    WriteFile(m_body, qp::test::TextPostScript(2));
    ASSERT_EQ(Convert(qp::Resolution::Fine, false), Outcome::Success());
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
    ASSERT_EQ(Convert(qp::Resolution::High, true), Outcome::Success());
    const std::vector<TiffPage> pages = ReadTiffPages(m_image);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].width, 2592u);
    EXPECT_EQ(pages[0].height, 4200u);
    EXPECT_FLOAT_EQ(pages[0].xResolution, 300.0f);
    EXPECT_GT(pages[0].ink, 0.9);
    EXPECT_LT(pages[1].ink, 0.05);
    EXPECT_LT(pages[2].ink, 0.05);
}

// Ghostscript is ended when the conversion is called off, and the user is told nothing.
TEST_F(GhostscriptTest, AConversionThatWouldNeverEndStopsWhenCalledOff) {
    WriteFile(m_body, "%!PS\n{ } loop\n");
    std::stop_source stop;
    std::thread caller([&stop] {
        EXPECT_TRUE(qp::test::WaitUntil(ChildRunning));
        stop.request_stop();
    });
    EXPECT_EQ(Convert(qp::Resolution::Fine, false, stop.get_token()), Outcome::Stopped());
    caller.join();
}
