#include "tests/update/support/UpdateFixture.h"
#include "update/Minisign.h"
#include "update/ServerManifest.h"
#include "update/UpdateCheck.h"

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

TEST_F(SignedReleaseTest, ReleaseSignedBeforeTheAppliedOneIsNotTaken) {
    qp::test::RecordingView view;
    qp::ApplyUpdate(Host(), Folder(), view);
    ASSERT_EQ(m_user.messages.Texts(), (std::vector<std::string>{"Update completed."}));
    EXPECT_EQ(qp::test::ReadFile(m_install.File("notes.txt")), "notes");
    // An old release, its signature made long before the applied one's.
    qp::test::WriteFile(m_release.File("notes.txt"), "old notes");
    qp::test::WriteFile(m_release.File("faxmfst.txt"),
                        "notes.txt=sha256:" + qp::Sha256Hex("old notes") + "\n");
    const ProgramRun sign =
        RunProgram({kMinisign, "-S", "-s", m_keys.File("release.key"), "-t",
                    "timestamp:1\tfile:faxmfst.txt\thashed", "-m", m_release.File("faxmfst.txt")});
    ASSERT_EQ(sign.exitCode, 0) << sign.err;

    EXPECT_EQ(qp::FetchServerManifestText(Host(), Folder()).outcome.reason,
              "the manifest is older than the one applied last");
    EXPECT_FALSE(qp::IsUpdateAvailable(Host(), Folder()).available);
}

TEST(ReleaseTool, RefusesAnIncompleteCommandLine) {
    EXPECT_EQ(RunProgram({QP_RELEASE_PROGRAM, "only-one-folder"}).exitCode, 2);
}

} // namespace
