#include "fax/Viewer.h"
#include "base/Settings.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using qp::test::FakeRunner;
using qp::test::RecordingMessageSink;
using qp::test::TempDir;
using namespace qp::settings;

using Words = std::vector<std::string>;

TEST(ViewerWords, ParametersSplitLikeAShellWithoutExpansion) {
    EXPECT_EQ(qp::SplitShellWords(""), Words{});
    EXPECT_EQ(qp::SplitShellWords("  --a\t-b  "), (Words{"--a", "-b"}));
    EXPECT_EQ(qp::SplitShellWords("--title 'My Fax' \"a \\\"b\\\" \\x\""),
              (Words{"--title", "My Fax", "a \"b\" \\x"}));
    EXPECT_EQ(qp::SplitShellWords("a\\ b $HOME *.tif ~"), (Words{"a b", "$HOME", "*.tif", "~"}));
    EXPECT_EQ(qp::SplitShellWords("'' x\"\"y"), (Words{"", "xy"}));
    EXPECT_EQ(qp::SplitShellWords("'unclosed quote"), (Words{"unclosed quote"}));
    // A backslash before a line end joins the two lines, inside double quotes too.
    EXPECT_EQ(qp::SplitShellWords("\"a\\\nb\" c\\\nd"), (Words{"ab", "cd"}));
}

class ViewerTest : public ::testing::Test {
protected:
    TempDir m_dir;
    qp::Profile m_profile{m_dir.File("Quillpost.conf")};
    FakeRunner m_runner;
    RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
};

TEST_F(ViewerTest, ImagePathFollowsTheParametersAsOneWord) {
    m_profile.WriteString(kSection, kTiffViewer.key, std::string("/usr/bin/viewer"));
    m_profile.WriteString(kSection, kTiffViewerParams.key, std::string("--full 'screen 2'"));
    EXPECT_TRUE(qp::LaunchViewer(m_profile, "/spool dir/fax.tif", m_runner));
    EXPECT_EQ(m_runner.detached, (std::vector<Words>{{"/usr/bin/viewer", "--full", "screen 2",
                                                      "/spool dir/fax.tif"}}));

    m_profile.WriteString(kSection, kTiffViewerParams.key, std::string());
    EXPECT_TRUE(qp::LaunchViewer(m_profile, "/spool/fax.tif", m_runner));
    EXPECT_EQ(m_runner.detached.back(), (Words{"/usr/bin/viewer", "/spool/fax.tif"}));
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(ViewerTest, AViewerThatCannotStartIsNamed) {
    EXPECT_FALSE(qp::LaunchViewer(m_profile, "/spool/fax.tif", m_runner));
    EXPECT_TRUE(m_runner.detached.empty());
    EXPECT_EQ(m_messages.Texts(), Words{"Could not find viewer: "});

    m_messages.Clear();
    m_profile.WriteString(kSection, kTiffViewer.key, std::string("/nonexistent/viewer"));
    m_runner.detachedStarts = false;
    EXPECT_FALSE(qp::LaunchViewer(m_profile, "/spool/fax.tif", m_runner));
    EXPECT_EQ(m_messages.Texts(), Words{"Could not find viewer: /nonexistent/viewer"});
}

TEST_F(ViewerTest, TheFaxViewerIsPreferredToTheDesktopOpener) {
    const std::vector<std::string> candidates = qp::DefaultViewerCandidates();
    ASSERT_GE(candidates.size(), 2u);
    EXPECT_EQ(std::filesystem::path(candidates.front()).filename(), "quillpost-view");
    EXPECT_EQ(candidates.back(), qp::kDefaultViewerPath);

    const std::string installed = m_dir.File("quillpost-view");
    qp::test::WriteFile(installed, "#!/bin/sh\n");
    EXPECT_EQ(qp::FirstExistingFile({m_dir.File("absent"), installed, "/bin/sh"}), installed);
    EXPECT_EQ(qp::FirstExistingFile({m_dir.File("absent")}), "");

    // With none stored, the first that is installed here becomes the viewer, or none.
    qp::SetInstalledDefaultViewer(m_profile);
    EXPECT_EQ(m_profile.GetString(kSection, kTiffViewer.key, ""),
              qp::FirstExistingFile(candidates));
}

TEST_F(ViewerTest, DefaultIsStoredOnlyWhenNoneIsAndTheOpenerExists) {
    qp::SetDefaultViewer(m_profile, m_dir.File("no-opener"));
    EXPECT_EQ(m_profile.GetString(kSection, kTiffViewer.key, "absent"), "absent");
    EXPECT_EQ(m_profile.GetString(kSection, kTiffViewerParams.key, "absent"), "absent");

    const std::string opener = m_dir.File("xdg-open");
    qp::test::WriteFile(opener, "#!/bin/sh\n");
    qp::SetDefaultViewer(m_profile, opener);
    EXPECT_EQ(m_profile.GetString(kSection, kTiffViewer.key, ""), opener);
    EXPECT_EQ(m_profile.GetString(kSection, kTiffViewerParams.key, "absent"), "");

    // Whatever is stored stays, even a viewer that does not exist.
    m_profile.WriteString(kSection, kTiffViewer.key, std::string("/gone/viewer"));
    m_profile.WriteString(kSection, kTiffViewerParams.key, std::string("-x"));
    qp::SetDefaultViewer(m_profile, opener);
    EXPECT_EQ(m_profile.GetString(kSection, kTiffViewer.key, ""), "/gone/viewer");
    EXPECT_EQ(m_profile.GetString(kSection, kTiffViewerParams.key, ""), "-x");
    EXPECT_TRUE(m_messages.Texts().empty());
}
