#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // A pipe with no writer is no file to read, and reading it must not wait for one.
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    EXPECT_EQ(qp::ReadWholeFile(dir.File("pipe")), std::nullopt);
}

TEST(FileOps, AMoveToAnotherFileSystemCopiesFlushesAndRemovesTheSource) {
    TempDir dir;
    struct stat here {};
    struct stat shm {};
    if (::stat(dir.Path().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
        here.st_dev == shm.st_dev)
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    const std::string source = "/dev/shm/qp-move-" + std::to_string(::getpid());
    const std::string body(300000, 'j');
    WriteFile(source, body);
    ::chmod(source.c_str(), 0600);

    WriteFile(dir.File("taken"), "waiting");
    EXPECT_FALSE(qp::MoveFileNoReplace(source, dir.File("taken")));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(dir.File("taken")), "waiting");
    EXPECT_EQ(ReadFile(source), body);

    const std::string pipe = source + ".pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(qp::MoveFileNoReplace(pipe, dir.File("pipe")));
    EXPECT_FALSE(qp::FileExists(dir.File("pipe")));
    ::unlink(pipe.c_str());

    ASSERT_TRUE(qp::MoveFileNoReplace(source, dir.File("moved")));
    EXPECT_FALSE(qp::FileExists(source));
    EXPECT_EQ(ReadFile(dir.File("moved")), body);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("moved").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
