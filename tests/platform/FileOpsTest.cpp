#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using qp::test::ReadFile;
using qp::test::TempDir;
using qp::test::WriteFile;

TEST(FileOps, MoveNeverOverwritesAWaitingFile) {
    TempDir dir;
    WriteFile(dir.File("a"), "first");
    WriteFile(dir.File("b"), "second");
    EXPECT_FALSE(qp::MoveFileNoReplace(dir.File("a"), dir.File("b")));
    EXPECT_EQ(ReadFile(dir.File("b")), "second");
    EXPECT_EQ(ReadFile(dir.File("a")), "first");

    ASSERT_TRUE(qp::RemoveFile(dir.File("b")));
    EXPECT_TRUE(qp::MoveFileNoReplace(dir.File("a"), dir.File("b")));
    EXPECT_FALSE(qp::FileExists(dir.File("a")));
    EXPECT_EQ(ReadFile(dir.File("b")), "first");
}

TEST(FileOps, SizeAndRemovalOfMissingFiles) {
    TempDir dir;
    EXPECT_EQ(qp::FileSize(dir.File("none")), std::nullopt);
    EXPECT_FALSE(qp::RemoveFile(dir.File("none")));
    WriteFile(dir.File("empty"), "");
    EXPECT_EQ(qp::FileSize(dir.File("empty")), 0u);
}

TEST(FileOps, AtomicWriteReplacesWholeOrNotAtAll) {
    TempDir dir;
    WriteFile(dir.File("h"), "old");
    ASSERT_TRUE(qp::WriteFileAtomically(dir.File("h"), "new contents", 0600));
    EXPECT_EQ(ReadFile(dir.File("h")), "new contents");
    struct stat st {};
    ::stat(dir.File("h").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_FALSE(qp::WriteFileAtomically(dir.File("missing/h"), "x"));
    EXPECT_EQ(*qp::ReadWholeFile(dir.File("h")), "new contents");
}
