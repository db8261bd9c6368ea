#include "platform/FileOps.h"
#include "platform/UniqueFd.h"
#include "tests/support/PlainFileSystem.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

namespace {

// Takes at most `chunk` bytes a call into a pipe, is interrupted by a signal on every
// `interruptEvery`-th call, and takes nothing more once `refuseAfter` bytes went.
struct PipeWriter {
    std::size_t chunk;
    int interruptEvery;
    std::size_t refuseAfter;
    int calls = 0;
};
PipeWriter* g_writer = nullptr;

ssize_t WriteThroughFake(int fd, const void* data, std::size_t size) {
    PipeWriter& w = *g_writer;
    if (++w.calls % w.interruptEvery == 0) {
        errno = EINTR;
        return -1;
    }
    size = std::min({size, w.chunk, w.refuseAfter});
    if (size == 0)
        return 0;
    w.refuseAfter -= size;
    return ::write(fd, data, size);
}

} // namespace

TEST(WriteAllToFd, PartialAndInterruptedWritesStillDeliverEverythingInOrder) {
    std::string data;
    for (int i = 0; i < 1000; ++i)
        data += static_cast<char>('a' + i % 26);
    const PipeWriter cases[] = {{4096, 1000, SIZE_MAX},
                                {7, 1000, SIZE_MAX},
                                {7, 2, SIZE_MAX},
                                {1, 3, SIZE_MAX},
                                {7, 2, 500}};
    for (PipeWriter writer : cases) {
        const std::size_t limit = std::min(writer.refuseAfter, data.size());
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        g_writer = &writer;
        const bool ok = qp::WriteAllToFd(fds[1], data, WriteThroughFake);
        const int error = errno;
        ::close(fds[1]);
        const qp::UniqueFd readEnd(fds[0]);
        EXPECT_EQ(qp::ReadAllFromFd(readEnd.Get()), data.substr(0, limit));
        EXPECT_EQ(ok, limit == data.size()) << writer.chunk << "/" << writer.interruptEvery;
        // A descriptor that stops taking bytes halfway is an I/O error, not a success.
        if (!ok) {
            EXPECT_EQ(error, EIO);
        }
    }
}

TEST(CopyBetweenFds, SaysWhichEndFailedAndStopsBeyondTheLimit) {
    TempDir dir;
    WriteFile(dir.File("ten"), "0123456789");
    ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);
    const struct {
        const char* from;
        int outFlags;
        std::uint64_t maxBytes;
        qp::CopyOutcome outcome;
        int error;
    } cases[] = {
        {"ten", O_WRONLY, UINT64_MAX, qp::CopyOutcome::Copied, 0},
        {"ten", O_WRONLY, 10, qp::CopyOutcome::Copied, 0},
        {"ten", O_WRONLY, 9, qp::CopyOutcome::ReadFailed, EFBIG},
        {"ten", O_RDONLY, UINT64_MAX, qp::CopyOutcome::WriteFailed, EBADF},
        {"folder", O_WRONLY, UINT64_MAX, qp::CopyOutcome::ReadFailed, EISDIR},
    };
    for (const auto& c : cases) {
        WriteFile(dir.File("out"), "");
        const qp::UniqueFd in(::open(dir.File(c.from).c_str(), O_RDONLY));
        const qp::UniqueFd out(::open(dir.File("out").c_str(), c.outFlags));
        const qp::CopyOutcome outcome = qp::CopyBetweenFds(in.Get(), out.Get(), c.maxBytes);
        const int error = errno;
        EXPECT_EQ(outcome, c.outcome) << c.from << " " << c.maxBytes;
        if (outcome == qp::CopyOutcome::Copied) {
            EXPECT_EQ(ReadFile(dir.File("out")), "0123456789");
        } else {
            EXPECT_EQ(error, c.error) << c.from;
        }
    }
}

namespace {

enum class Kind { File, Folder };
enum class Target { Free, File, EmptyFolder, FullFolder };

// Puts a file or folder holding `marker` at `path`.
void Make(Kind kind, const std::string& path, const std::string& marker) {
    if (kind == Kind::File) {
        WriteFile(path, marker);
        return;
    }
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    WriteFile(path + "/marker", marker);
}

std::string Marker(Kind kind, const std::string& path) {
    return kind == Kind::File ? ReadFile(path) : ReadFile(path + "/marker");
}

} // namespace

TEST(FileOps, AMoveTakesOnlyAFreeNameAndLastsOnEveryFileSystem) {
    using qp::test::Refusals;
    const Refusals native{false, false, false};
    const Refusals nfs{true, false, false};   // no flag, but links
    const Refusals fuse{true, true, false};   // neither
    const Refusals sticky{true, false, true}; // links, but the source stays on unlink
    const struct {
        const char* what;
        Refusals fs;
        Kind kind;
        Target target;
        bool moved;
        bool byOpenFolders = false; // else by paths
    } cases[] = {
        {"file to a free name", native, Kind::File, Target::Free, true},
        {"folder to a free name", native, Kind::Folder, Target::Free, true},
        {"file onto a file", native, Kind::File, Target::File, false},
        {"folder onto an empty folder", native, Kind::Folder, Target::EmptyFolder, false},
        {"nfs: file to a free name", nfs, Kind::File, Target::Free, true},
        {"nfs: folder to a free name", nfs, Kind::Folder, Target::Free, true},
        {"nfs: folder onto an empty folder", nfs, Kind::Folder, Target::EmptyFolder, false},
        {"nfs: folder onto a full folder", nfs, Kind::Folder, Target::FullFolder, false},
        {"nfs: file onto a file", nfs, Kind::File, Target::File, false},
        {"nfs: file onto an empty folder", nfs, Kind::File, Target::EmptyFolder, false},
        {"fuse: file to a free name", fuse, Kind::File, Target::Free, true},
        {"fuse: folder to a free name", fuse, Kind::Folder, Target::Free, true},
        {"fuse: file onto a file", fuse, Kind::File, Target::File, false},
        {"unlink refused: file to a free name", sticky, Kind::File, Target::Free, true},
        {"fuse, open folders: file", fuse, Kind::File, Target::Free, true, true},
        {"fuse, open folders: folder onto a file", fuse, Kind::Folder, Target::File, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ASSERT_EQ(::mkdir(dir.File("from").c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(dir.File("to").c_str(), 0700), 0);
        const std::string from = dir.File("from/job");
        const std::string to = dir.File("to/job");
        Make(c.kind, from, "mine");
        if (c.target == Target::File)
            WriteFile(to, "theirs");
        else if (c.target == Target::EmptyFolder)
            ASSERT_EQ(::mkdir(to.c_str(), 0700), 0);
        else if (c.target == Target::FullFolder)
            Make(Kind::Folder, to, "theirs");
        qp::test::ForgetSyncs();

        bool moved = false;
        int error = 0;
        {
            const qp::UniqueFd fromFolder(::open(dir.File("from").c_str(), O_RDONLY | O_DIRECTORY));
            const qp::UniqueFd toFolder(::open(dir.File("to").c_str(), O_RDONLY | O_DIRECTORY));
            const qp::test::ScopedPlainFileSystem fs(c.fs);
            if (c.byOpenFolders) {
                error = qp::RenameNoReplace(fromFolder.Get(), "job", toFolder.Get(), "job");
                moved = error == 0;
            } else {
                moved = qp::MoveFileNoReplace(from, to);
                error = errno;
            }
        }
        EXPECT_EQ(moved, c.moved);
        // Reported moved means the source is gone, and reported not moved means it is still
        // there, whole.
        EXPECT_NE(qp::FileExists(from), moved);
        if (moved) {
            EXPECT_EQ(Marker(c.kind, to), "mine");
            EXPECT_TRUE(qp::test::WasSynced(to)) << "flushed before it was published";
            EXPECT_TRUE(qp::test::WasSynced(dir.File("to"))) << "the new name is on disk";
        } else {
            EXPECT_EQ(error, EEXIST);
            EXPECT_EQ(Marker(c.kind, from), "mine");
            if (c.target == Target::EmptyFolder) {
                EXPECT_TRUE(std::filesystem::is_empty(to));
            } else if (c.target != Target::Free) {
                EXPECT_EQ(Marker(c.target == Target::File ? Kind::File : Kind::Folder, to),
                          "theirs");
            }
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("to")),
                                std::filesystem::directory_iterator()),
                  c.target == Target::Free && !moved ? 0 : 1)
            << "no claim is left behind";
    }
}

TEST(FileOps, ConcurrentMoversOnAFileSystemWithoutTheFlagNeverShareAName) {
    TempDir dir;
    constexpr int kMovers = 8;
    for (int i = 0; i < kMovers; ++i)
        Make(Kind::Folder, dir.File("entry" + std::to_string(i)), std::to_string(i));
    const qp::test::ScopedPlainFileSystem fs;
    std::vector<std::thread> movers;
    std::atomic<int> won{0};
    for (int i = 0; i < kMovers; ++i)
        movers.emplace_back([&, i] {
            if (qp::MoveFileNoReplace(dir.File("entry" + std::to_string(i)), dir.File("taken")))
                ++won;
        });
    for (std::thread& mover : movers)
        mover.join();
    EXPECT_EQ(won, 1);
    int left = 0;
    for (int i = 0; i < kMovers; ++i)
        left += qp::FileExists(dir.File("entry" + std::to_string(i))) ? 1 : 0;
    EXPECT_EQ(left, kMovers - 1);
}

TEST(FileOps, WhatIsWrittenOrSyncedInPlaceLastsWithItsFolder) {
    TempDir dir;
    qp::test::ForgetSyncs();
    ASSERT_TRUE(qp::WriteFileAtomically(dir.File("contacts.vcf"), "BEGIN:VCARD"));
    EXPECT_TRUE(qp::test::WasSynced(dir.File("contacts.vcf")));
    EXPECT_TRUE(qp::test::WasSynced(dir.Path()));

    WriteFile(dir.File("settings.conf"), "[Quillpost]");
    qp::test::ForgetSyncs();
    ASSERT_TRUE(qp::SyncFileAndFolder(dir.File("settings.conf")));
    EXPECT_TRUE(qp::test::WasSynced(dir.File("settings.conf")));
    EXPECT_TRUE(qp::test::WasSynced(dir.Path()));
    EXPECT_FALSE(qp::SyncFileAndFolder(dir.File("none")));
}
