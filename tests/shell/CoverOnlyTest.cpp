#include "shell/CoverOnly.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using qp::test::WriteFile;

namespace {

class CoverOnlyTest : public ::testing::Test {
protected:
    // A work file that cannot be removed: a folder with something in it under its name.
    void Block(const std::string& path) {
        std::filesystem::create_directories(path);
        WriteFile(path + "/inside", "x");
    }
    bool Exists(const std::string& path) const { return qp::FileExists(path); }
    std::vector<std::string> Messages() const { return m_messages.Texts(); }

    qp::test::TempDir m_dir;
    qp::CoverOnlyFiles m_files{m_dir.File("faxcover.ps"), m_dir.File("faxbody.ps"),
                               m_dir.File("fax.tif")};
    qp::test::RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
    int m_dialogRuns = 0;
    std::function<void()> m_dialog = [this] { ++m_dialogRuns; };
};

TEST_F(CoverOnlyTest, WithNoWorkFilesTheSendDialogRunsStraightAway) {
    EXPECT_TRUE(qp::SendCoverOnly(m_files, m_dialog));
    EXPECT_EQ(m_dialogRuns, 1);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CoverOnlyTest, PriorFilesAreRemovedBeforeTheDialogSoItSendsTheCoverAlone) {
    WriteFile(m_files.coverFile, "old cover");
    WriteFile(m_files.bodyFile, "old body");
    WriteFile(m_files.faxImage, "old image");
    bool bodySeen = true;
    qp::SendCoverOnly(m_files,
                      [&] { bodySeen = Exists(m_files.bodyFile) || Exists(m_files.faxImage); });
    EXPECT_FALSE(bodySeen);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CoverOnlyTest, EachPriorFileThatStaysRefusesWithItsOwnMessage) {
    struct Case {
        std::string* blocked;
        const char* message;
    };
    const Case cases[] = {
        {&m_files.coverFile, "Unable to remove prior fax cover; cannot create new cover sheet only "
                             "fax at this time"},
        {&m_files.bodyFile, "Unable to remove prior fax body; cannot create new cover sheet only "
                            "fax at this time"},
        {&m_files.faxImage,
         "Unable to remove prior fax; cannot create new cover sheet only fax at this time"},
    };
    for (const Case& c : cases) {
        qp::test::TempDir dir;
        const std::string original = *c.blocked;
        *c.blocked = dir.File("blocked");
        Block(*c.blocked);
        m_messages.Clear();
        EXPECT_FALSE(qp::SendCoverOnly(m_files, m_dialog)) << c.message;
        EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(m_messages.Messages()[0].buttons, qp::MessageButtons::Ok);
        *c.blocked = original;
    }
    EXPECT_EQ(m_dialogRuns, 0);
}

TEST_F(CoverOnlyTest, ABodyFileThatAppearsMeanwhileIsNotTakenForThisFax) {
    WriteFile(m_files.faxImage, "old image");
    qp::WorkFileOps ops = qp::RealWorkFileOps();
    const auto remove = ops.remove;
    // The watcher delivers a new job just as the old image goes.
    ops.remove = [&](const std::string& path) {
        const bool removed = remove(path);
        if (path == m_files.faxImage)
            WriteFile(m_files.bodyFile, "new job");
        return removed;
    };
    EXPECT_FALSE(qp::SendCoverOnly(m_files, m_dialog, ops));
    EXPECT_EQ(Messages(),
              std::vector<std::string>{"Unable to remove prior fax; cannot create cover "
                                       "sheet only fax at this time"});
    EXPECT_EQ(m_dialogRuns, 0);
    EXPECT_EQ(qp::test::ReadFile(m_files.bodyFile), "new job");
}

TEST_F(CoverOnlyTest, CleanUpAfterTheDialogRemovesEveryWorkFile) {
    qp::SendCoverOnly(m_files, [&] {
        WriteFile(m_files.coverFile, "cover");
        WriteFile(m_files.faxImage, "image");
        WriteFile(m_files.bodyFile, "body");
    });
    EXPECT_FALSE(Exists(m_files.coverFile));
    EXPECT_FALSE(Exists(m_files.faxImage));
    EXPECT_FALSE(Exists(m_files.bodyFile));
}

TEST_F(CoverOnlyTest, CleanUpStopsAtTheFirstFileItCannotRemove) {
    // Cancelled before a cover sheet was made; a preview left its image.
    qp::SendCoverOnly(m_files, [&] { WriteFile(m_files.faxImage, "preview"); });
    EXPECT_TRUE(Exists(m_files.faxImage));
    EXPECT_TRUE(Messages().empty()) << "the clean-up is quiet";

    // The next run removes the leftover before the dialog.
    bool imageSeen = true;
    qp::SendCoverOnly(m_files, [&] {
        imageSeen = Exists(m_files.faxImage);
        WriteFile(m_files.coverFile, "cover");
        WriteFile(m_files.bodyFile, "body");
    });
    EXPECT_FALSE(imageSeen);
    EXPECT_FALSE(Exists(m_files.coverFile));
    EXPECT_TRUE(Exists(m_files.bodyFile)) << "the missing image ended the clean-up";
}

} // namespace
