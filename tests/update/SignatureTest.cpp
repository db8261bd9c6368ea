#include "platform/ReleaseTime.h"
#include "tests/update/support/UpdateFixture.h"
#include "update/Minisign.h"
#include "update/ServerManifest.h"
#include "update/UpdateCheck.h"
#include "update/UpdateRun.h"

#include <filesystem>

namespace {

using qp::test::ProgramRun;
using qp::test::RunProgram;
using qp::test::UpdateTest;

constexpr const char* kMinisign = "/usr/bin/minisign";

// A release built by quillpost-release from a small install folder, signed with a fresh minisign
// key whose public half the client trusts.
class SignedReleaseTest : public UpdateTest {
protected:
    qp::test::TempDir m_keys;
    qp::test::TempDir m_source;
    std::string m_manifest;

    void SetUp() override {
        if (!qp::FileExists(kMinisign))
            GTEST_SKIP() << "minisign is not installed";
        MakeKey("release");
        qp::test::WriteFile(m_source.File("quillpost"), "#!/bin/sh\nexit 0\n");
        qp::test::WriteFile(m_source.File("notes.txt"), "notes");
        // A name that cannot travel in a URL as it stands is left out.
        qp::test::WriteFile(m_source.File("read me#1.txt"), "unreachable");
        // The client's own update files are no part of a release.
        qp::test::WriteFile(m_source.File("faxmfst.txt"), "old=1\n");
        qp::test::WriteFile(m_source.File("quillpost-cpy"), "copy");
        const ProgramRun run = RunProgram({QP_RELEASE_PROGRAM, "--sign", m_keys.File("release.key"),
                                           m_source.Path(), m_release.Path()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        m_manifest = qp::test::ReadFile(m_release.File("faxmfst.txt"));
        std::filesystem::copy_file(m_keys.File("release.pub"),
                                   m_install.File("quillpost-release.pub"));
        Serve();
    }
    void MakeKey(const std::string& name) {
        const ProgramRun run = RunProgram({kMinisign, "-G", "-W", "-p", m_keys.File(name + ".pub"),
                                           "-s", m_keys.File(name + ".key")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
};

TEST_F(SignedReleaseTest, ReleaseListsEveryFileByHashAndItsSignatureVerifies) {
    EXPECT_EQ(m_manifest, "notes.txt=sha256:" + qp::Sha256Hex("notes") +
                              "\nquillpost=sha256:" + qp::Sha256Hex("#!/bin/sh\nexit 0\n") + "\n");
    EXPECT_EQ(qp::test::ReadFile(m_release.File("notes.txt")), "notes");
    EXPECT_FALSE(qp::FileExists(m_release.File("quillpost-cpy")));
    const ProgramRun check = RunProgram(
        {kMinisign, "-V", "-p", m_keys.File("release.pub"), "-m", m_release.File("faxmfst.txt")});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(qp::FetchServerManifestText(Host(), Folder()).text, m_manifest);
}

TEST_F(SignedReleaseTest, ClientAcceptsASignatureMadeByMinisign) {
    const ProgramRun sign = RunProgram(
        {kMinisign, "-S", "-s", m_keys.File("release.key"), "-m", m_release.File("faxmfst.txt")});
    ASSERT_EQ(sign.exitCode, 0) << sign.err;
    const qp::ServerManifestText fetched = qp::FetchServerManifestText(Host(), Folder());
    EXPECT_TRUE(fetched.outcome.ok) << fetched.outcome.reason;
    EXPECT_EQ(fetched.text, m_manifest);
}

TEST_F(SignedReleaseTest, UnverifiedManifestIsNotTakenAndSaysWhy) {
    MakeKey("other");
    const std::string signature = m_release.File("faxmfst.txt.minisig");
    struct Case {
        const char* what;
        std::function<void()> spoil; // on top of the cases before
        const char* reason;
    };
    const Case cases[] = {
        {"changed manifest",
         [&] { qp::test::WriteFile(m_release.File("faxmfst.txt"), m_manifest + "evil=1\n"); },
         "the manifest's signature is not valid"},
        {"missing signature", [&] { std::filesystem::remove(signature); },
         "the manifest's signature could not be fetched (the server answered 404 Not Found)"},
        {"signed by another key",
         [&] {
             RunProgram({kMinisign, "-S", "-s", m_keys.File("other.key"), "-m",
                         m_release.File("faxmfst.txt")});
         },
         "the manifest's signature is not valid"},
        {"broken trusted key",
         [&] { qp::test::WriteFile(m_install.File("quillpost-release.pub"), "garbage\n"); },
         "the trusted key quillpost-release.pub is unusable"},
    };
    for (const Case& c : cases) {
        c.spoil();
        const qp::ServerManifestText fetched = qp::FetchServerManifestText(Host(), Folder());
        EXPECT_FALSE(fetched.outcome.ok) << c.what;
        EXPECT_EQ(fetched.outcome.reason, c.reason) << c.what;
        EXPECT_EQ(fetched.text, "") << c.what;
    }
}

TEST_F(SignedReleaseTest, SignedEntryWithoutHashIsNotFetched) {
    qp::test::WriteFile(m_release.File("faxmfst.txt"), "notes.txt=2\n");
    const ProgramRun sign = RunProgram(
        {kMinisign, "-S", "-s", m_keys.File("release.key"), "-m", m_release.File("faxmfst.txt")});
    ASSERT_EQ(sign.exitCode, 0) << sign.err;
    qp::test::WriteFile(m_install.File("notes.txt"), "old");
    qp::test::RecordingView view;

    qp::ApplyUpdate(Host(), Folder(), view);

    EXPECT_EQ(
        m_user.messages.Texts(),
        (std::vector<std::string>{"Error downloading file.\n\nnotes.txt\n\nUpdate aborted."}));
    EXPECT_EQ(qp::test::ReadFile(m_install.File("notes.txt")), "old");
    EXPECT_FALSE(qp::FileExists(m_install.File("faxmfst.txt")));
}

// An old release served again must not put old files back: a signed manifest is taken only with
// a time under its signature that is neither before this build's release nor before the manifest
// applied last.
TEST_F(SignedReleaseTest, SignedManifestIsTakenOnlyWhenNotOlderThanTheBuildAndTheLastApplied) {
    const std::optional<qp::MinisignSecretKey> key =
        qp::ParseMinisignSecretKey(qp::test::ReadFile(m_keys.File("release.key")));
    ASSERT_TRUE(key.has_value());
    const auto at = [](std::uint64_t time) {
        return "timestamp:" + std::to_string(time) + "\tfile:faxmfst.txt\thashed";
    };
    constexpr std::uint64_t kBuild = qp::kReleaseTime;
    struct Case {
        const char* what;
        std::optional<std::string> applied; // trusted comment of the signature applied last
        std::string offered;                // trusted comment of the server's signature
        const char* refusal;                // none: the release is applied
    };
    const Case cases[] = {
        {"older than the build", std::nullopt, at(kBuild - 1),
         "the manifest is older than the program running"},
        {"as old as the build", std::nullopt, at(kBuild), nullptr},
        {"older than the last applied", at(kBuild + 100), at(kBuild + 99),
         "the manifest is older than the one applied last"},
        {"as old as the last applied", at(kBuild + 100), at(kBuild + 100), nullptr},
        {"newer than the last applied", at(kBuild + 100), at(kBuild + 101), nullptr},
        {"no time", std::nullopt, "file:faxmfst.txt\thashed",
         "the manifest's signature carries no time"},
        {"no time after a timed one", at(kBuild + 100), "file:faxmfst.txt",
         "the manifest's signature carries no time"},
        {"a time that is no number", std::nullopt, "timestamp:9e99\tfile:faxmfst.txt",
         "the manifest's signature carries no time"},
    };
    const std::string appliedPath = m_install.File("faxmfst.txt.minisig");
    for (const Case& c : cases) {
        for (const char* name : {"faxmfst.txt", "faxmfst.txt.minisig", "notes.txt", "quillpost"})
            std::filesystem::remove(m_install.File(name));
        if (c.applied)
            qp::test::WriteFile(appliedPath, qp::SignMinisign(*key, "earlier", *c.applied));
        const std::string offered = qp::SignMinisign(*key, m_manifest, c.offered);
        qp::test::WriteFile(m_release.File("faxmfst.txt.minisig"), offered);
        m_user.messages.Clear();
        qp::test::RecordingView view;

        qp::ApplyUpdate(Host(), Folder(), view);

        if (c.refusal) {
            EXPECT_EQ(m_user.messages.Texts(),
                      (std::vector<std::string>{std::string("The update was not applied: ") +
                                                c.refusal + "."}))
                << c.what;
            EXPECT_FALSE(qp::FileExists(m_install.File("notes.txt"))) << c.what;
            EXPECT_FALSE(qp::FileExists(m_install.File("faxmfst.txt"))) << c.what;
            EXPECT_EQ(qp::FileExists(appliedPath), c.applied.has_value()) << c.what;
        } else {
            EXPECT_EQ(m_user.messages.Texts(), (std::vector<std::string>{"Update completed."}))
                << c.what;
            EXPECT_EQ(qp::test::ReadFile(m_install.File("notes.txt")), "notes") << c.what;
            // The next release is measured against this one.
            EXPECT_EQ(qp::test::ReadFile(appliedPath), offered) << c.what;
        }
    }
}

TEST(ReleaseTool, RefusesAnIncompleteCommandLine) {
    EXPECT_EQ(RunProgram({QP_RELEASE_PROGRAM, "only-one-folder"}).exitCode, 2);
}

} // namespace
