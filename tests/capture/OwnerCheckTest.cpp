#include "capture/FaxMonitor.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qp::test::WriteFile;

TEST(OwnerCheckTest, OwnRegularFileCountsAndWhatIsNotOneDoesNot) {
    qp::test::TempDir dir;
    const std::string file = dir.File("fax.ps");
    WriteFile(file, "%!PS");
    EXPECT_TRUE(FaxMonitor::IsOwnedByThisUser(file));

    EXPECT_FALSE(FaxMonitor::IsOwnedByThisUser(dir.File("missing.ps")));
    EXPECT_FALSE(FaxMonitor::IsOwnedByThisUser(dir.Path()));

    // Anyone may plant a link in the shared folder; it must not lend them the target's owner.
    const std::string link = dir.File("link.ps");
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    EXPECT_FALSE(FaxMonitor::IsOwnedByThisUser(link));

    const std::string fifo = dir.File("fifo.ps");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(FaxMonitor::IsOwnedByThisUser(fifo));
}

TEST(OwnerCheckTest, AFileBeingWrittenIsNotOwnedUntilItIsClosed) {
    qp::test::TempDir dir;
    const std::string file = dir.File("fax.ps");
    WriteFile(file, "%!PS");
    const int writer = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const int reader = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(FaxMonitor::IsOwnedByThisUser(file));

    ::close(writer);
    // Readers do not matter.
    EXPECT_TRUE(FaxMonitor::IsOwnedByThisUser(file));
    ::close(reader);
}

TEST(OwnerCheckTest, AnotherUsersFileIsNotOwned) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    qp::test::TempDir dir;
    const std::string file = dir.File("fax.ps");
    WriteFile(file, "%!PS");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(FaxMonitor::IsOwnedByThisUser(file));
}

} // namespace
