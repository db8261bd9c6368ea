#include "update/UpdateRun.h"
#include "tests/update/support/UpdateFixture.h"
#include "update/HttpFetch.h"
#include "update/Minisign.h"

#include <atomic>
#include <filesystem>

namespace {

using qp::test::RecordingView;
using qp::test::UpdateTest;
using Strings = std::vector<std::string>;

class UpdateRunTest : public UpdateTest {
protected:
    RecordingView m_view;

    void SetUp() override { m_runner.replaceError = 0; }
    // The relaunch succeeds, so the run does not come back.
    void Run() {
        EXPECT_THROW(qp::RunUpdate(Host(), Folder(), m_view, m_clock, m_runner),
                     qp::test::ProcessReplaced);
    }
};

TEST_F(UpdateRunTest, NothingNewFetchesOnlyTheManifestAndRelaunchesTheClient) {
    Publish("faxmfst.txt", "a.txt=1\r\nb.txt=2\n");
    Install("faxmfst.txt", "b.txt=2\na.txt=1\n");
    Serve();

    Run();

    EXPECT_EQ(m_view.states,
              (Strings{"Retrieving number of files to update...", "Updating 0 files."}));
    EXPECT_EQ(m_view.ranges, (std::vector<int>{0, 0}));
    EXPECT_EQ(m_view.shown, 1);
    EXPECT_EQ(m_view.hidden, 1);
    EXPECT_EQ(m_clock.Sleeps(), (std::vector<int>{3000}));
    EXPECT_EQ(m_server->Requests(), (Strings{"GET /faxmfst.txt 200", "GET /faxmfst.txt 200"}));
    const auto messages = m_user.messages.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Update completed.");
    EXPECT_EQ(messages[0].caption, "Update Complete");
    // The local copy is the server's, as delivered.
    EXPECT_EQ(Installed("faxmfst.txt"), "a.txt=1\r\nb.txt=2\n");
    ASSERT_EQ(m_runner.replaced.size(), 1u);
    EXPECT_EQ(m_runner.replaced[0].first, m_install.File("quillpost"));
    EXPECT_EQ(m_runner.replaced[0].second, (Strings{"quillpost"}));
}

TEST_F(UpdateRunTest, ClientThatCannotBeStartedAgainIsReported) {
    Publish("faxmfst.txt", "a.txt=1\n");
    Install("faxmfst.txt", "a.txt=1\n");
    Serve();
    m_runner.replaceError = ENOENT;

    EXPECT_EQ(qp::RunUpdate(Host(), Folder(), m_view, m_clock, m_runner), 0);

    EXPECT_EQ(m_user.messages.Texts(),
              (Strings{"Update completed.",
                       "Unable to restart Quillpost\n\nCannot start quillpost\n\nError code: 2"}));
}

TEST_F(UpdateRunTest, FetchesEveryNewEntryInOrderKeepingModes) {
    const std::string script = "#!/bin/sh\necho new\n";
    const std::string manifest =
        "same.txt=1\nold.txt=2\nold.txt=3\ntool.sh=sha256:" + qp::Sha256Hex(script) +
        "\ndata.bin=x\n";
    Publish("faxmfst.txt", manifest);
    Publish("same.txt", "same");
    Publish("old.txt", "new text");
    Publish("tool.sh", script);
    Publish("data.bin", "data");
    Install("faxmfst.txt", "same.txt=1\nold.txt=1\n");
    Install("old.txt", "old text");
    std::filesystem::permissions(m_install.File("old.txt"), std::filesystem::perms(0600));
    // A temporary name taken by a link: the link goes, the file it names stays as it was.
    qp::test::TempDir elsewhere;
    qp::test::WriteFile(elsewhere.File("victim"), "victim");
    std::filesystem::create_symlink(elsewhere.File("victim"), m_install.File("old.txt.tmp"));
    Serve();

    Run();

    EXPECT_EQ(m_server->Requests(),
              (Strings{"GET /faxmfst.txt 200", "GET /old.txt 200", "GET /old.txt 200",
                       "GET /tool.sh 200", "GET /data.bin 200", "GET /faxmfst.txt 200"}));
    EXPECT_EQ(m_view.states.back(), "Updating 4 files.");
    EXPECT_EQ(m_view.ranges, (std::vector<int>{0, 4}));
    EXPECT_EQ(m_view.files.back(), "Downloading: data.bin");
    EXPECT_EQ(m_view.filesDone, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_GT(m_view.partial, 0) << "the bar moves while a file arrives";
    EXPECT_EQ(Installed("old.txt"), "new text");
    EXPECT_EQ(ModeOf("old.txt"), 0600u);
    EXPECT_EQ(qp::test::ReadFile(elsewhere.File("victim")), "victim");
    EXPECT_FALSE(qp::FileExists(m_install.File("old.txt.tmp")));
    EXPECT_EQ(Installed("tool.sh"), script);
    EXPECT_EQ(ModeOf("tool.sh"), 0755u);
    EXPECT_EQ(ModeOf("data.bin"), 0644u);
    EXPECT_EQ(Installed("faxmfst.txt"), manifest);
    EXPECT_EQ(m_user.messages.Texts(), (Strings{"Update completed."}));
    // Neither a staged file nor a replaced one stays behind.
    EXPECT_EQ(InstalledNames(), (Strings{"data.bin", "faxmfst.txt", "old.txt", "tool.sh"}));
}

struct AbortCase {
    const char* what;
    std::string entries; // after those of added.txt and a.txt, which arrive whole
    std::string message;
    Strings requests;          // after the manifest's
    bool published = true;     // whether the server has the new keep.txt
    bool keepIsFolder = false; // a folder that no file may replace
    // ctest lists the case by its name, not by its bytes.
    friend void PrintTo(const AbortCase& c, std::ostream* out) { *out << c.what; }
};

class UpdateAbortTest : public UpdateRunTest, public ::testing::WithParamInterface<AbortCase> {};

// A release goes in whole or not at all: whatever step fails, the files fetched before it (a new
// one and a changed one) are not put in place, and nothing staged or kept aside stays behind.
TEST_P(UpdateAbortTest, AbortsLeavingTheInstallAsItWas) {
    const AbortCase& c = GetParam();
    const std::string localManifest = "a.txt=1\nkeep.txt=1\n";
    Publish("faxmfst.txt", "added.txt=1\na.txt=2\n" + c.entries);
    Publish("added.txt", "added");
    Publish("a.txt", "new a");
    if (c.published)
        Publish("keep.txt", "new");
    Install("faxmfst.txt", localManifest);
    Install("a.txt", "old a");
    if (c.keepIsFolder)
        std::filesystem::create_directory(m_install.File("keep.txt"));
    else
        Install("keep.txt", "old");
    Serve();

    Run();

    Strings requests{"GET /faxmfst.txt 200"};
    requests.insert(requests.end(), c.requests.begin(), c.requests.end());
    EXPECT_EQ(m_server->Requests(), requests);
    EXPECT_EQ(m_user.messages.Texts(), (Strings{c.message}));
    EXPECT_EQ(InstalledNames(), (Strings{"a.txt", "faxmfst.txt", "keep.txt"}));
    EXPECT_EQ(Installed("a.txt"), "old a");
    if (!c.keepIsFolder) {
        EXPECT_EQ(Installed("keep.txt"), "old");
    }
    EXPECT_EQ(Installed("faxmfst.txt"), localManifest);
    // Whatever happened, the client is started again.
    EXPECT_EQ(m_runner.replaced.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateAbortTest,
    ::testing::Values(
        AbortCase{"missing version after other new entries",
                  "keep.txt=2\nbroken\n",
                  "Error downloading file.\n\nbroken (missing version number)\n\nUpdate aborted.",
                  {}},
        AbortCase{"404",
                  "keep.txt=2\nnever.txt=1\n",
                  "Error downloading file.\n\nkeep.txt\n\nUpdate aborted.",
                  {"GET /added.txt 200", "GET /a.txt 200", "GET /keep.txt 404"},
                  false},
        AbortCase{"wrong hash",
                  "keep.txt=sha256:" + std::string(64, '0') + "\n",
                  "Error downloading file.\n\nkeep.txt\n\nUpdate aborted.",
                  {"GET /added.txt 200", "GET /a.txt 200", "GET /keep.txt 200"}},
        AbortCase{"path out of the folder",
                  "../x=1\nkeep.txt=2\n",
                  "Error downloading file.\n\n../x\n\nUpdate aborted.",
                  {"GET /added.txt 200", "GET /a.txt 200"}},
        AbortCase{"the manifest as an entry",
                  "faxmfst.txt=2\nkeep.txt=2\n",
                  "Error downloading file.\n\nfaxmfst.txt\n\nUpdate aborted.",
                  {"GET /added.txt 200", "GET /a.txt 200"}},
        // Everything arrived; the last file cannot take its place after the others did.
        AbortCase{
            "file that cannot be replaced",
            "keep.txt=2\n",
            "Error downloading file.\n\nkeep.txt\n\nUpdate aborted.",
            {"GET /added.txt 200", "GET /a.txt 200", "GET /keep.txt 200", "GET /faxmfst.txt 200"},
            true,
            true}),
    qp::test::CaseName());

TEST_F(UpdateRunTest, AnAbortedRunIsRepeatedByTheNextOne) {
    const std::string manifest = "a.txt=2\nb.txt=2\n";
    Publish("faxmfst.txt", manifest);
    Publish("a.txt", "new a");
    Install("faxmfst.txt", "a.txt=1\nb.txt=1\n");
    Serve();

    Run();
    EXPECT_EQ(m_user.messages.Texts(),
              (Strings{"Error downloading file.\n\nb.txt\n\nUpdate aborted."}));
    EXPECT_FALSE(qp::FileExists(m_install.File("a.txt")));

    Publish("b.txt", "new b");
    m_user.messages.Clear();
    Run();
    EXPECT_EQ(m_user.messages.Texts(), (Strings{"Update completed."}));
    EXPECT_EQ(
        m_server->Requests(),
        (Strings{"GET /faxmfst.txt 200", "GET /a.txt 200", "GET /b.txt 404", "GET /faxmfst.txt 200",
                 "GET /a.txt 200", "GET /b.txt 200", "GET /faxmfst.txt 200"}));
    EXPECT_EQ(Installed("faxmfst.txt"), manifest);
}

TEST_F(UpdateRunTest, ManifestThatCannotBeFetchedAgainKeepsTheLocalOne) {
    Publish("faxmfst.txt", "a.txt=2\n");
    Publish("a.txt", "new a");
    Install("faxmfst.txt", "a.txt=1\n");
    Install("a.txt", "old a");
    Serve({"--once", "faxmfst.txt"});

    Run();

    const auto messages = m_user.messages.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "Error performing update.\n\nUnable to update local file manifest.");
    EXPECT_EQ(messages[0].caption, "Quill Post");
    EXPECT_EQ(Installed("a.txt"), "old a");
    EXPECT_EQ(Installed("faxmfst.txt"), "a.txt=1\n");
}

TEST_F(UpdateRunTest, ManifestChangedDuringTheRunIsNotStored) {
    Publish("faxmfst.txt", "a.txt=2\n");
    Publish("a.txt", "new a");
    Install("faxmfst.txt", "a.txt=1\n");
    Serve();
    m_view.onFile = [this] { Publish("faxmfst.txt", "a.txt=3\n"); };

    Run();

    EXPECT_EQ(m_user.messages.Texts(),
              (Strings{"Error performing update.\n\nUnable to update local file manifest."}));
    EXPECT_EQ(InstalledNames(), (Strings{"faxmfst.txt"}));
    EXPECT_EQ(Installed("faxmfst.txt"), "a.txt=1\n");
}

// Called off once the first piece has arrived, the fetch ends there instead of taking the rest.
TEST_F(UpdateRunTest, CalledOffFetchEndsAtOnce) {
    Publish("slow.bin", std::string(6000, 'x'));
    Serve({"--slow", "slow.bin"});
    std::atomic<bool> cancel{false};
    const qp::CancelFetchesWhen calledOff(cancel);
    std::size_t received = 0;
    EXPECT_FALSE(qp::HttpGet("http://" + Host() + "/slow.bin", [&](std::string_view piece) {
        received += piece.size();
        cancel = true;
        return true;
    }));
    EXPECT_LT(received, 6000u);
}

TEST_F(UpdateRunTest, UnreachableServerChangesNothingAndSaysNothing) {
    Publish("a.txt", "new");
    Serve(); // no manifest: 404

    Run();

    EXPECT_TRUE(m_user.messages.Texts().empty());
    EXPECT_EQ(m_view.states, (Strings{"Retrieving number of files to update..."}));
    // The bar stays empty, never a busy indicator, while nothing is known.
    EXPECT_EQ(m_view.ranges, (std::vector<int>{0}));
    EXPECT_FALSE(qp::FileExists(m_install.File("faxmfst.txt")));
    EXPECT_EQ(m_runner.replaced.size(), 1u);
}

} // namespace
