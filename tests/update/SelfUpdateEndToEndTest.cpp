// The whole self-update road under a real X server: a release built by quillpost-release from a
// newer build, served over HTTP, applied by "quillpost -update" with its progress window, and the
// client started anew in tray mode.
#include "platform/Profile.h"
#include "tests/update/support/UpdateFixture.h"
#include "update/Minisign.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;
using qp::test::LoggedProcess;
using qp::test::ProgramRun;
using qp::test::ReadFile;
using qp::test::RunProgram;
using qp::test::WriteFile;

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr const char* kImport = "/usr/bin/import";
constexpr const char* kMinisign = "/usr/bin/minisign";
constexpr auto kPollStep = std::chrono::milliseconds(200);
constexpr int kPollLimit = 150; // 30 s

// Polls until `done` holds, for at most kPollLimit steps.
bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < kPollLimit; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(kPollStep);
    }
    return false;
}

std::string CommandLineOf(int pid) {
    std::error_code ec;
    const std::string path = "/proc/" + std::to_string(pid) + "/cmdline";
    return fs::exists(path, ec) ? ReadFile(path) : std::string();
}

TEST(SelfUpdateEndToEnd, ReplacesTheFilesAndRestartsTheClientInTheTray) {
    for (const char* tool : {kXvfb, kXdotool, kImport, kMinisign}) {
        if (!qp::FileExists(tool))
            GTEST_SKIP() << tool << " is not installed";
    }
    qp::test::TempDir dir;
    const std::string install = dir.File("install");
    const std::string source = dir.File("newer");
    const std::string release = dir.File("release");
    // The client runs in another folder; it finds its release by where the program lies.
    const std::string elsewhere = dir.File("elsewhere");
    fs::create_directories(install);
    fs::create_directories(source);
    fs::create_directories(elsewhere);

    const std::string program = ReadFile(QP_QUILLPOST_PROGRAM);
    WriteFile(install + "/quillpost", program);
    fs::permissions(install + "/quillpost", fs::perms(0750));
    WriteFile(install + "/notes.txt", "old notes");
    WriteFile(install + "/faxmfst.txt", "notes.txt=sha256:" + qp::Sha256Hex("old notes") +
                                            "\nquillpost=sha256:" + qp::Sha256Hex(program) + "\n");
    // The newer build: the same program with other bytes at its end, and changed files.
    const std::string newer = program + "\n# newer build\n";
    WriteFile(source + "/quillpost", newer);
    WriteFile(source + "/notes.txt", "new notes");
    WriteFile(source + "/added.txt", "added");

    ASSERT_EQ(RunProgram({kMinisign, "-G", "-W", "-p", dir.File("release.pub"), "-s",
                          dir.File("release.key")})
                  .exitCode,
              0);
    fs::copy_file(dir.File("release.pub"), install + "/quillpost-release.pub");
    const ProgramRun built =
        RunProgram({QP_RELEASE_PROGRAM, "--sign", dir.File("release.key"), source, release});
    ASSERT_EQ(built.exitCode, 0) << built.err;

    // The restarted client finds an account, so it goes straight to the tray.
    const std::string config = dir.File("config");
    qp::Profile(config + "/Tamarind Works/Quillpost.conf")
        .WriteString("Quillpost", "ln", std::string("5550100"));

    LoggedProcess xvfb(
        {kXvfb, "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
    const std::optional<std::string> displayNumber = xvfb.WaitForLog("");
    ASSERT_TRUE(displayNumber.has_value());
    const std::string display = ":" + *displayNumber;
    qp::test::ReleaseServer server(release, {"--slow", "quillpost"});

    const std::map<std::string, std::optional<std::string>> env{
        {"DISPLAY", display},
        {"QT_QPA_PLATFORM", "xcb"},
        {"XDG_CONFIG_HOME", config},
        {"QUILLPOST_COMMON_DIR", dir.Path()},
        {"CUPS_SERVER", dir.File("no-cupsd.sock")}};
    LoggedProcess client({install + "/quillpost", "-update", "-h:" + server.Host()}, env,
                         elsewhere);

    // Inside the slow download of the program, the window shows the file and a moving bar.
    ASSERT_TRUE(WaitUntil([&] {
        for (const std::string& line : server.Requests())
            if (line == "GET /quillpost 200")
                return true;
        return false;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::string shot = (fs::current_path() / "self-update-progress.png").string();
    EXPECT_EQ(RunProgram({kImport, "-display", display, "-window", "root", shot}).exitCode, 0);
    std::cout << "progress window: " << shot << "\n";

    // "Update completed." waits for its OK; then the same process becomes the program started
    // anew with no switches.
    const std::string trayCommandLine = std::string("quillpost") + '\0';
    ASSERT_TRUE(WaitUntil([&] {
        if (CommandLineOf(client.Pid()) == trayCommandLine)
            return true;
        const std::string box =
            RunProgram({kXdotool, "search", "--name", "Update Complete"}, env).out;
        if (!box.empty()) {
            RunProgram({kXdotool, "windowfocus", box.substr(0, box.find('\n'))}, env);
            RunProgram({kXdotool, "key", "Return"}, env);
        }
        return false;
    })) << "the client was not started anew";
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(CommandLineOf(client.Pid()), trayCommandLine) << "the tray client keeps running";

    EXPECT_EQ(ReadFile(install + "/quillpost"), newer);
    EXPECT_EQ(fs::status(install + "/quillpost").permissions(), fs::perms(0750));
    EXPECT_EQ(ReadFile(install + "/notes.txt"), "new notes");
    EXPECT_EQ(ReadFile(install + "/added.txt"), "added");
    EXPECT_EQ(fs::status(install + "/added.txt").permissions(), fs::perms(0644));
    EXPECT_EQ(ReadFile(install + "/faxmfst.txt"), ReadFile(release + "/faxmfst.txt"));
    EXPECT_FALSE(qp::FileExists(install + "/quillpost.tmp"));
    EXPECT_FALSE(qp::FileExists(install + "/quillpost.old"));
    EXPECT_TRUE(fs::is_empty(elsewhere));
    client.Stop();
}

} // namespace
