#include "platform/InstanceLock.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Outcome = qp::InstanceLock::Outcome;

enum class Runtime { Missing, Own, OtherUsers, GroupWritable, Link };
enum class Fallback { Missing, OpenToAll, Link, NoHome };
enum class Place { Runtime, Fallback, None };

struct Case {
    const char* what;
    Runtime runtime;
    Fallback fallback;
    Place expected;
};

const Case kCases[] = {
    {"the runtime folder when it is the user's", Runtime::Own, Fallback::Missing, Place::Runtime},
    {"no runtime folder", Runtime::Missing, Fallback::Missing, Place::Fallback},
    {"a runtime folder of another user", Runtime::OtherUsers, Fallback::Missing, Place::Fallback},
    {"a runtime folder others may write to", Runtime::GroupWritable, Fallback::Missing,
     Place::Fallback},
    {"a link as runtime folder", Runtime::Link, Fallback::Missing, Place::Fallback},
    {"a fallback left open is closed", Runtime::Missing, Fallback::OpenToAll, Place::Fallback},
    {"a link as fallback", Runtime::Missing, Fallback::Link, Place::None},
    {"no home", Runtime::Missing, Fallback::NoHome, Place::None},
};

class InstanceLockTest : public ::testing::TestWithParam<Case> {
protected:
    qp::test::TempDir m_dir;
};

TEST_P(InstanceLockTest, OneHolderPerUserInOnePlaceWhateverTheEnvironmentSays) {
    const Case& c = GetParam();
    const uid_t uid = ::geteuid();
    if (c.runtime == Runtime::OtherUsers && uid != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    const std::string root = m_dir.File("run");
    const std::string runtime = root + "/" + std::to_string(uid);
    const std::string cache = m_dir.File("home/.cache");
    const std::string fallback = cache + "/quillpost";
    const std::string elsewhere = m_dir.File("elsewhere");
    std::filesystem::create_directories(root);
    std::filesystem::create_directories(m_dir.File("home"));
    std::filesystem::create_directory(elsewhere);
    ::chmod(elsewhere.c_str(), 0700);

    if (c.runtime == Runtime::Link) {
        std::filesystem::create_directory_symlink(elsewhere, runtime);
    } else if (c.runtime != Runtime::Missing) {
        ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
        ::chmod(runtime.c_str(), c.runtime == Runtime::GroupWritable ? 0770 : 0700);
    }
    if (c.runtime == Runtime::OtherUsers) {
        ASSERT_EQ(::chown(runtime.c_str(), 65534, 65534), 0);
    }
    if (c.fallback == Fallback::OpenToAll) {
        std::filesystem::create_directories(fallback);
        ::chmod(fallback.c_str(), 0777);
    } else if (c.fallback == Fallback::Link) {
        std::filesystem::create_directories(cache);
        std::filesystem::create_directory_symlink(elsewhere, fallback);
    }
    const qp::LockFolders folders{
        root, c.fallback == Fallback::NoHome ? std::nullopt : std::optional(fallback), uid};

    // Sessions of one user may each set their own runtime folder.
    std::optional<qp::test::ScopedEnv> session(std::in_place, "XDG_RUNTIME_DIR", m_dir.File("a"));
    qp::InstanceLock first("quillpost.lock", folders);
    const Outcome outcome = first.Acquire();
    session.emplace("XDG_RUNTIME_DIR", m_dir.File("b"));
    qp::InstanceLock second("quillpost.lock", folders);

    if (c.expected == Place::None) {
        EXPECT_EQ(outcome, Outcome::NoPlace);
        EXPECT_FALSE(second.TryAcquire()) << "never without a lock";
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere)) << "nothing where a link points";
        return;
    }
    ASSERT_EQ(outcome, Outcome::Acquired);
    EXPECT_EQ(first.Path(),
              (c.expected == Place::Runtime ? runtime : fallback) + "/quillpost.lock");
    EXPECT_EQ(second.Acquire(), Outcome::HeldElsewhere);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    struct stat st {};
    if (c.expected == Place::Fallback) {
        ASSERT_EQ(::lstat(fallback.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, uid);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
    }
}

INSTANTIATE_TEST_SUITE_P(Places, InstanceLockTest, ::testing::ValuesIn(kCases),
                         qp::test::CaseName());

} // namespace
