#include "update/UpdateCheck.h"
#include "app/CommandLine.h"
#include "tests/update/support/UpdateFixture.h"

#include <filesystem>

namespace {

using qp::MessageAnswer;
using qp::test::UpdateTest;
using Strings = std::vector<std::string>;

class UpdateCheckTest : public UpdateTest {
protected:
    int m_iconRemovals = 0;

    void SetUp() override {
        Publish("faxmfst.txt", "quillpost=2\n");
        Install("faxmfst.txt", "quillpost=1\n");
    }
    bool Check(bool silent) {
        return qp::CheckForUpdate(Host(), silent, m_runner, [this] { ++m_iconRemovals; });
    }
};

TEST_F(UpdateCheckTest, CopiesTheProgramAndStartsTheCopyInUpdateMode) {
    std::string program;
    for (int i = 0; i < 5000; ++i)
        program += static_cast<char>(i * 7 % 256);
    Install("quillpost", program);
    // An old copy that is a link: the link is replaced, the file it names stays as it was.
    qp::test::TempDir elsewhere;
    qp::test::WriteFile(elsewhere.File("victim"), "victim");
    std::filesystem::create_symlink(elsewhere.File("victim"), m_install.File("quillpost-cpy"));
    Serve();

    EXPECT_TRUE(Check(true));

    EXPECT_EQ(
        m_user.messages.Texts(),
        (Strings{"A Quill Post update is available\n\nWould you like to apply the update now?"}));
    EXPECT_EQ(m_user.messages.Messages()[0].icon, qp::MessageIcon::Question);
    EXPECT_EQ(Installed("quillpost-cpy"), program);
    EXPECT_FALSE(std::filesystem::is_symlink(m_install.File("quillpost-cpy")));
    EXPECT_EQ(qp::test::ReadFile(elsewhere.File("victim")), "victim");
    EXPECT_EQ(ModeOf("quillpost-cpy"), 0755u);
    EXPECT_EQ(m_iconRemovals, 1);
    ASSERT_EQ(m_runner.replaced.size(), 1u);
    EXPECT_EQ(m_runner.replaced[0].first, "./quillpost-cpy");
    const Strings& argv = m_runner.replaced[0].second;
    EXPECT_EQ(argv, (Strings{"quillpost-cpy", " -update ", "-h:" + Host()}));
    // The copy's start-up finds the switch and takes the host from its joined command line.
    std::vector<const char*> args;
    for (const std::string& arg : argv)
        args.push_back(arg.c_str());
    const std::string commandLine = qp::JoinArguments(static_cast<int>(args.size()), args.data());
    EXPECT_EQ(commandLine, " -update  -h:" + Host());
    EXPECT_EQ(qp::ChooseStartMode(commandLine), qp::StartMode::Update);
    EXPECT_EQ(qp::HostFromCommandLine(commandLine), Host());
}

struct CopyFailure {
    const char* what;
    std::function<void(const qp::test::TempDir&)> prepare;
    std::string message;
    // ctest lists the case by its name, not by its bytes.
    friend void PrintTo(const CopyFailure& c, std::ostream* out) { *out << c.what; }
};

class UpdateCheckFailureTest : public UpdateCheckTest,
                               public ::testing::WithParamInterface<CopyFailure> {};

TEST_P(UpdateCheckFailureTest, ReportsTheCauseAndStartsNothing) {
    GetParam().prepare(m_install);
    Serve();

    EXPECT_FALSE(Check(true));

    EXPECT_EQ(m_user.messages.Texts().back(), GetParam().message);
    EXPECT_EQ(m_iconRemovals, 0);
    EXPECT_TRUE(m_runner.replaced.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateCheckFailureTest,
    ::testing::Values(
        CopyFailure{"no program", [](const qp::test::TempDir&) {},
                    "Unable to start update\n\nCannot read quillpost\n\nError code: 2"},
        CopyFailure{"copy is a folder",
                    [](const qp::test::TempDir& dir) {
                        qp::test::WriteFile(dir.File("quillpost"), "program");
                        std::filesystem::create_directory(dir.File("quillpost-cpy"));
                    },
                    "Unable to start update\n\nCannot create quillpost-cpy\n\nError code: 1"}),
    qp::test::CaseName());

TEST_F(UpdateCheckTest, DeclinedUpdateDoesNothing) {
    Install("quillpost", "program");
    Serve();
    m_user.messages.SetNextAnswer(MessageAnswer::No);

    EXPECT_FALSE(Check(false));

    EXPECT_EQ(m_user.messages.Texts().size(), 1u);
    EXPECT_FALSE(qp::FileExists(m_install.File("quillpost-cpy")));
    EXPECT_EQ(m_iconRemovals, 0);
    EXPECT_TRUE(m_runner.replaced.empty());
}

TEST_F(UpdateCheckTest, NoUpdateIsReportedOnlyWhenAsked) {
    struct Case {
        const char* what;
        const char* serverManifest; // nullptr: the server has none
        bool silent;
        Strings messages;
    };
    const Case cases[] = {
        {"up to date, asked", "quillpost=1\n", false, {"Application is up to date"}},
        {"up to date, silent", "quillpost=1\n", true, {}},
        {"no manifest on the server", nullptr, false, {"Application is up to date"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(m_release.File("faxmfst.txt"));
        if (c.serverManifest != nullptr)
            Publish("faxmfst.txt", c.serverManifest);
        Serve();
        m_user.messages.Clear();
        EXPECT_FALSE(Check(c.silent)) << c.what;
        EXPECT_EQ(m_user.messages.Texts(), c.messages) << c.what;
        if (!c.messages.empty()) {
            EXPECT_EQ(m_user.messages.Messages()[0].icon, qp::MessageIcon::Information);
        }
    }
    EXPECT_TRUE(m_runner.replaced.empty());
}

} // namespace
