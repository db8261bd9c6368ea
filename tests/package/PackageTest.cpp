#include "platform/CommonFolder.h"
#include "platform/Version.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/package/Commands.h"
#include "tests/package/RuntimeDepends.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileOpens.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using qp::test::HaveCommand;
using qp::test::ProgramRun;
using qp::test::RunProgram;

// One entry of "dpkg-deb -c": mode, owner and, for a link, its target.
struct Entry {
    std::string mode;
    std::string owner;
    std::string linkTarget;
};

std::map<std::string, Entry> ParseContents(const std::string& listing) {
    std::map<std::string, Entry> entries;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        Entry entry;
        std::string size, date, time, path, arrow;
        fields >> entry.mode >> entry.owner >> size >> date >> time >> path >> arrow >>
            entry.linkTarget;
        entries[path] = entry;
    }
    return entries;
}

// The ctest fixture "package_build" packs the tree once for all of these tests.
class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveCommand("dpkg-deb"))
            GTEST_SKIP() << "dpkg-deb is not installed";
        ASSERT_TRUE(std::filesystem::exists(s_deb))
            << s_deb << " is made by the ctest fixture package_build";
    }

    static std::string Deb(const std::string& option, const std::string& field = "") {
        std::vector<std::string> argv{"dpkg-deb", option, s_deb};
        if (!field.empty())
            argv.push_back(field);
        const ProgramRun run = RunProgram(argv);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run.out;
    }
    static std::string Field(const std::string& name) { return Deb("--field", name); }

    static inline const std::string s_deb = QP_TEST_PACKAGE;
};

TEST_F(PackageTest, FilesLieWhereTheSystemLooksWithTheirModesAndOwners) {
    const std::map<std::string, Entry> entries = ParseContents(Deb("--contents"));
    const std::string program = "-rwxr-xr-x", data = "-rw-r--r--", link = "lrwxrwxrwx";
    const std::map<std::string, Entry> wanted{
        {"./opt/quillpost/quillpost", {program, "root/root", ""}},
        {"./opt/quillpost/quillpost-send", {program, "root/root", ""}},
        {"./opt/quillpost/quillpost-faxd", {program, "root/root", ""}},
        {"./opt/quillpost/quillpost-provision", {program, "root/root", ""}},
        {"./usr/bin/quillpost", {link, "root/root", "/opt/quillpost/quillpost"}},
        {"./usr/bin/quillpost-send", {link, "root/root", "/opt/quillpost/quillpost-send"}},
        {"./usr/bin/quillpost-faxd", {link, "root/root", "/opt/quillpost/quillpost-faxd"}},
        {"./usr/sbin/quillpost-provision",
         {link, "root/root", "/opt/quillpost/quillpost-provision"}},
        // cupsd runs a backend as root only when nobody else may read or run it.
        {"./usr/lib/cups/backend/quillpost", {"-rwx------", "root/root", ""}},
        {"./usr/share/ppd/quillpost/gs.ppd", {data, "root/root", ""}},
        {"./usr/share/applications/quillpost.desktop", {data, "root/root", ""}},
        {"./usr/share/icons/hicolor/scalable/apps/quillpost.svg", {data, "root/root", ""}},
        {"./etc/xdg/autostart/quillpost.desktop", {data, "root/root", ""}},
        {"./usr/share/doc/quillpost/copyright", {data, "root/root", ""}},
        {"./usr/share/doc/quillpost/changelog.gz", {data, "root/root", ""}},
    };
    for (const auto& [path, entry] : wanted) {
        SCOPED_TRACE(path);
        const auto found = entries.find(path);
        ASSERT_NE(found, entries.end());
        EXPECT_EQ(found->second.mode, entry.mode);
        EXPECT_EQ(found->second.linkTarget, entry.linkTarget);
    }
    // Every manual page of the tree, compressed, in its section.
    for (const auto& page : std::filesystem::directory_iterator(QP_MAN_DIR)) {
        const std::string name = page.path().filename().string();
        const std::string installed =
            "./usr/share/man/man" + name.substr(name.size() - 1) + "/" + name + ".gz";
        EXPECT_EQ(entries.count(installed), 1u) << installed;
    }
    for (const auto& [path, entry] : entries) {
        SCOPED_TRACE(path);
        EXPECT_EQ(entry.owner, "root/root");
        // Nothing where only the local administrator installs.
        EXPECT_NE(path.rfind("./usr/local", 0), 0u);
    }
}

TEST_F(PackageTest, ControlFieldsNameThePackageAndWhatItNeeds) {
    EXPECT_EQ(Field("Package"), "quillpost\n");
    EXPECT_EQ(Field("Version"), QP_VERSION "\n");
    EXPECT_EQ(Field("Architecture"), "amd64\n");
    const std::string depends = Field("Depends");
    // Named by hand, and found by scanning the programs' libraries.
    for (const char* package :
         {"ghostscript", "cups-daemon", "cups-filters", "libcups2", "libqt6widgets6", "libstdc++6",
          "libqt6keychain1", "libsecret-1-0", "libqt6svg6"})
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
}

// Every library and plugin the packed client loads is covered by the package's Depends: owned by
// a package that Depends names, or that those need in turn (Pre-Depends and Depends, any
// alternative, any installed provider of a virtual name), or by an Essential package. A plugin Qt
// loads by name (the SVG icon engine) or a library loaded with dlopen is found by no library scan,
// so Depends must name its package by hand. The client runs from the package's own files with no
// display (the offscreen platform, which comes with the same package as the desktop ones) until a
// printed fax has opened its send dialog, which reads the recipient history as it opens: by then
// it has set up its icon, its windows and their plugins.
TEST_F(PackageTest, EveryLibraryThePackedClientLoadsIsCoveredByDepends) {
    if (!HaveCommand("dpkg-query"))
        GTEST_SKIP() << "dpkg-query is not installed";
    namespace fs = std::filesystem;
    qp::test::TempDir packed, user;
    ASSERT_EQ(RunProgram({"dpkg-deb", "-x", s_deb, packed.Path()}).exitCode, 0);
    const std::string spool = user.File("spool/" + qp::CurrentLoginName());
    for (const std::string& folder : {user.File("run"), spool}) {
        fs::create_directories(folder);
        ::chmod(folder.c_str(), 0700);
    }
    fs::create_directories(user.File("config/Tamarind Works"));
    qp::test::WriteFile(user.File("config/Tamarind Works/Quillpost.conf"),
                        "[Quillpost]\nln=5550100\nps=2468\nhost=127.0.0.1\nport=7541\n");
    qp::test::WriteFile(user.File(".fx.hs"), "(555) 010-0199\r\n");
    const qp::test::FileOpens historyReads(user.File(".fx.hs"));
    qp::test::LoggedProcess client({packed.File("opt/quillpost/quillpost")},
                                   {{"HOME", user.Path()},
                                    {"XDG_CONFIG_HOME", user.File("config")},
                                    {"XDG_DATA_HOME", user.File("data")},
                                    {"XDG_RUNTIME_DIR", user.File("run")},
                                    {"QUILLPOST_COMMON_DIR", user.File("spool")},
                                    {"QT_QPA_PLATFORM", "offscreen"},
                                    {"CUPS_SERVER", user.File("no-cupsd.sock")},
                                    {"DBUS_SESSION_BUS_ADDRESS", std::nullopt}});
    qp::test::WriteFile(spool + "/fax.ps.new", qp::test::TextPostScript(1));
    fs::rename(spool + "/fax.ps.new", spool + "/fax.ps");
    ASSERT_TRUE(historyReads.WaitForOne()) << "no send dialog opened:\n"
                                           << [&] {
                                                  std::string log;
                                                  for (const std::string& line : client.Log())
                                                      log += line + "\n";
                                                  return log;
                                              }();
    const std::set<std::string> loaded = qp::test::LoadedSharedObjects(client.Pid());
    // An orderly end, which also ends the conversion the dialog started.
    client.End(SIGTERM, std::chrono::seconds(5));

    const std::set<std::string> covered = qp::test::CoveredPackages(Field("Depends"));
    std::size_t checked = 0;
    for (const auto& [file, owners] : qp::test::OwningPackages(loaded)) {
        SCOPED_TRACE(file);
        if (file.rfind(packed.Path(), 0) == 0)
            continue;
        ASSERT_FALSE(owners.empty()) << "no package owns it";
        EXPECT_TRUE(std::any_of(owners.begin(), owners.end(),
                                [&](const std::string& owner) { return covered.count(owner); }))
            << *owners.begin() << " is not covered by Depends: " << Field("Depends");
        ++checked;
    }
    // Qt, its plugins and the C++ runtime at least.
    EXPECT_GT(checked, 20u);
}

TEST_F(PackageTest, MaintainerScriptsAreExecutableAndParse) {
    qp::test::TempDir control;
    ASSERT_EQ(RunProgram({"dpkg-deb", "-e", s_deb, control.Path()}).exitCode, 0);
    for (const char* script : {"preinst", "postinst", "prerm", "postrm"}) {
        SCOPED_TRACE(script);
        struct stat st {};
        ASSERT_EQ(::stat(control.File(script).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0755u);
        const ProgramRun check = RunProgram({"sh", "-n", control.File(script)});
        EXPECT_EQ(check.exitCode, 0) << check.err;
    }
    // Kept through an upgrade when the administrator changed it; gone with a purge.
    EXPECT_EQ(qp::test::ReadFile(control.File("conffiles")),
              "/etc/xdg/autostart/quillpost.desktop\n");
}

// The package's prerm, run on its own with the client's installed path pointing at a stand-in:
// removing or upgrading the package ends the running clients by that path, and no other program
// whose process bears the same name (the CUPS backend does).
TEST_F(PackageTest, PrermEndsTheRunningClientsButNothingElseOfTheirName) {
    qp::test::TempDir control, dir;
    ASSERT_EQ(RunProgram({"dpkg-deb", "-e", s_deb, control.Path()}).exitCode, 0);
    std::string prerm = qp::test::ReadFile(control.File("prerm"));
    const std::string installed = "client=/opt/quillpost/quillpost\n";
    const std::size_t at = prerm.find(installed);
    ASSERT_NE(at, std::string::npos) << prerm;
    const std::string client = dir.File("quillpost"), other = dir.File("backend/quillpost");
    prerm.replace(at, installed.size(), "client=" + client + "\n");
    qp::test::WriteFile(dir.File("prerm"), prerm);
    std::filesystem::create_directory(dir.File("backend"));
    for (const std::string& copy : {client, other})
        std::filesystem::copy_file("/bin/sleep", copy);

    for (const char* action : {"remove", "upgrade"}) {
        SCOPED_TRACE(action);
        // posix_spawn returns once the child runs the program, so the prerm finds it.
        pid_t pids[2] = {-1, -1};
        for (int i = 0; i < 2; ++i) {
            std::string path = i == 0 ? client : other, seconds = "60";
            char* argv[] = {path.data(), seconds.data(), nullptr};
            ASSERT_EQ(::posix_spawn(&pids[i], argv[0], nullptr, nullptr, argv, environ), 0);
        }
        // A CUPS that cannot be reached: "remove" leaves this machine's printers alone.
        const ProgramRun run = RunProgram({"sh", dir.File("prerm"), action},
                                          {{"CUPS_SERVER", dir.File("no-cups.sock")}});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        int status[2] = {0, 0};
        pid_t ended[2];
        for (int i = 0; i < 2; ++i) {
            ended[i] = ::waitpid(pids[i], &status[i], WNOHANG);
            if (ended[i] == 0) {
                ::kill(pids[i], SIGKILL);
                ::waitpid(pids[i], nullptr, 0);
            }
        }
        EXPECT_EQ(ended[0], pids[0]) << "the client was told to end";
        EXPECT_TRUE(WIFSIGNALED(status[0]) && WTERMSIG(status[0]) == SIGTERM) << status[0];
        EXPECT_EQ(ended[1], 0) << "the other program runs on";
    }
}

TEST_F(PackageTest, LintianFindsNoErrors) {
    if (!HaveCommand("lintian"))
        GTEST_SKIP() << "lintian is not installed (scripts/deps installs it)";
    const ProgramRun run = RunProgram({"lintian", "--fail-on", "error", s_deb});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("E: "), std::string::npos) << run.out;
}

} // namespace
