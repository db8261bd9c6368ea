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
enum class Place { Both, Fallback, None };

struct Case {
    const char* what;
    Runtime runtime;
    Fallback fallback;
    Place expected;
};

const Case kCases[] = {
    {"the runtime folder too when it is the user's", Runtime::Own, Fallback::Missing, Place::Both},
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
        root, c.fallback == Fallback::NoHome ? std::nullopt : std::optional(fallback), uid, "desk"};

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
    std::vector<std::string> expected;
    if (c.expected == Place::Both)
        expected.push_back(runtime + "/quillpost.lock");
    expected.push_back(fallback + "/quillpost-desk.lock");
    EXPECT_EQ(first.Paths(), expected);
    EXPECT_EQ(second.Acquire(), Outcome::HeldElsewhere);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    struct stat st {};
    {
        ASSERT_EQ(::lstat(fallback.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, uid);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
    }
}

INSTANTIATE_TEST_SUITE_P(Places, InstanceLockTest, ::testing::ValuesIn(kCases),
                         qp::test::CaseName());

// Two machines that share a home, each with its own runtime folder, or one machine whose runtime
// folder appeared between two starts.
class InstanceLockStartsTest : public ::testing::Test {
protected:
    InstanceLockStartsTest() { std::filesystem::create_directories(m_dir.File("home")); }
    qp::LockFolders Machine(const std::string& host) {
        return {m_dir.File("run-" + host), m_dir.File("home/.cache/quillpost"), ::geteuid(), host};
    }
    static void MakeRuntimeFolder(const qp::LockFolders& folders) {
        std::filesystem::create_directories(folders.runtimeRoot + "/" +
                                            std::to_string(folders.uid));
        ::chmod((folders.runtimeRoot + "/" + std::to_string(folders.uid)).c_str(), 0700);
    }

    qp::test::TempDir m_dir;
};

TEST_F(InstanceLockStartsTest, ARuntimeFolderThatAppearsLaterLetsNoSecondClientIn) {
    const qp::LockFolders desk = Machine("desk");
    std::filesystem::create_directories(desk.runtimeRoot);
    qp::InstanceLock first("quillpost.lock", desk);
    ASSERT_EQ(first.Acquire(), Outcome::Acquired);
    MakeRuntimeFolder(desk);
    qp::InstanceLock second("quillpost.lock", desk);
    EXPECT_EQ(second.Acquire(), Outcome::HeldElsewhere);
}

TEST_F(InstanceLockStartsTest, AHomeSharedBetweenMachinesHoldsOneLockForEach) {
    const qp::LockFolders desk = Machine("desk");
    const qp::LockFolders lab = Machine("lab");
    MakeRuntimeFolder(desk);
    MakeRuntimeFolder(lab);
    qp::InstanceLock onDesk("quillpost.lock", desk);
    qp::InstanceLock onLab("quillpost.lock", lab);
    qp::InstanceLock againOnLab("quillpost.lock", lab);
    EXPECT_EQ(onDesk.Acquire(), Outcome::Acquired);
    EXPECT_EQ(onLab.Acquire(), Outcome::Acquired);
    EXPECT_EQ(againOnLab.Acquire(), Outcome::HeldElsewhere);
}

} // namespace
