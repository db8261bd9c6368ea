#include "capture/Provisioning.h"

#include "tests/capture/FakePrintServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qp::test::ReadFile;
using qp::test::WriteFile;

std::string Ppd(const std::string& nickName) {
    return "*PPD-Adobe: \"4.3\"\n*ModelName: \"" + nickName + "\"\n*NickName: \"" + nickName +
           "\"\n";
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class ProvisioningTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "provisioning makes the port folder root's, which needs root";
    }
    ProvisioningTest() {
        std::filesystem::create_directory(m_dir.File("backend"));
        WriteFile(m_dir.File("backend/ipp"), "");
        WriteFile(m_dir.File("backend/quillpost"), "");
        WriteFile(m_dir.File("gs.ppd"), Ppd("TW PS Driver"));
        m_paths.backendFolder = m_dir.File("backend");
        m_paths.modelFolder = m_dir.File("share/model");
        m_paths.commonFolder = m_dir.File("spool");
        m_paths.ppdSources = {m_dir.File("gs.ppd")};
    }

    int Provision() {
        m_out.str("");
        return qp::ProvisionFaxPrinter(m_server, m_paths, m_out);
    }
    std::string Port() const { return m_paths.commonFolder + "/fax.ps"; }

    qp::test::TempDir m_dir;
    qp::ProvisionPaths m_paths;
    qp::test::FakePrintServer m_server;
    std::ostringstream m_out;
};

// Neither port paths nor driver names ignore letter case: a port and a driver that differ in it
// only are others.
TEST_F(ProvisioningTest, FirstRunAddsPortDriverAndPrinter) {
    const struct {
        const char* what;
        std::function<void()> prepare;
    } cases[] = {
        {"an empty server", [] {}},
        {"a port and a driver in other letter case",
         [this] {
             m_server.queues = {{"Other", "quillpost:" + m_dir.Path() + "/SPOOL/FAX.PS"}};
             std::filesystem::create_directories(m_paths.modelFolder);
             WriteFile(m_paths.modelFolder + "/other.ppd", Ppd("tw ps driver"));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_paths.modelFolder);
        m_server = {};
        c.prepare();
        EXPECT_EQ(Provision(), 0);
        EXPECT_EQ(m_out.str(), "Monitor already exists: quillpost\n"
                               "Port added: " +
                                   Port() +
                                   "\n"
                                   "Printer driver directory: " +
                                   m_paths.modelFolder +
                                   "\n"
                                   "Printer driver added: TW PS Driver\n"
                                   "Printer added: Quill_Post\n"
                                   "Printer closed after creation.\n");
        // Only root may change the folder; each user's jobs go into a private folder inside.
        EXPECT_EQ(ModeOf(m_paths.commonFolder), 0755u);
        EXPECT_EQ(ReadFile(m_paths.modelFolder + "/gs.ppd"), Ppd("TW PS Driver"));
        ASSERT_EQ(m_server.added.size(), 1u);
        EXPECT_EQ(m_server.added[0].name, "Quill_Post");
        EXPECT_EQ(m_server.added[0].info, "Quill Post");
        EXPECT_EQ(m_server.added[0].deviceUri, "quillpost:" + Port());
        EXPECT_EQ(m_server.added[0].ppdPath, m_paths.modelFolder + "/gs.ppd");
        EXPECT_EQ(m_server.added[0].opPolicy, "authenticated");
    }
}

TEST_F(ProvisioningTest, SecondRunKeepsWhatExistsAndReplacesThePrinter) {
    ASSERT_EQ(Provision(), 0);
    WriteFile(m_dir.File("gs.ppd"), Ppd("TW PS Driver") + "*% newer\n");

    EXPECT_EQ(Provision(), 0);
    EXPECT_EQ(m_out.str(), "Monitor already exists: quillpost\n"
                           "Port already exists: " +
                               Port() +
                               "\n"
                               "Driver already exists: TW PS Driver\n"
                               "Printer driver directory: " +
                               m_paths.modelFolder +
                               "\n"
                               "Printer added: Quill_Post\n"
                               "Printer closed after creation.\n");
    EXPECT_EQ(m_server.deletes, 1);
    EXPECT_EQ(m_server.added.size(), 2u);
    EXPECT_EQ(m_server.queues.size(), 1u);
    EXPECT_EQ(ReadFile(m_paths.modelFolder + "/gs.ppd"), Ppd("TW PS Driver"));
}

TEST_F(ProvisioningTest, APortSeveralQueuesPrintToIsReportedOnce) {
    m_server.queues = {{"Office_Fax", "quillpost:" + Port()}, {"Spare_Fax", "quillpost:" + Port()}};
    EXPECT_EQ(Provision(), 0);
    const std::string out = m_out.str();
    const std::string line = "Port already exists: " + Port() + "\n";
    ASSERT_NE(out.find(line), std::string::npos) << out;
    EXPECT_EQ(out.find(line, out.find(line) + 1), std::string::npos) << out;
}

TEST_F(ProvisioningTest, AnInstalledDriverIsUsedUnderItsOwnFileName) {
    std::filesystem::create_directories(m_paths.modelFolder);
    WriteFile(m_paths.modelFolder + "/tw-fax.ppd", Ppd("TW PS Driver"));
    EXPECT_EQ(Provision(), 0);
    EXPECT_NE(m_out.str().find("Driver already exists: TW PS Driver\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_paths.modelFolder + "/gs.ppd"));
    ASSERT_EQ(m_server.added.size(), 1u);
    EXPECT_EQ(m_server.added[0].ppdPath, m_paths.modelFolder + "/tw-fax.ppd");
}

TEST_F(ProvisioningTest, ThePortFolderIsMadeOrMendedWhetherThePortIsNewOrNot) {
    struct Case {
        const char* what;
        bool portExists;
        bool folderExists;
        mode_t mode;
        uid_t owner;
        std::string lines;
    };
    const std::string folder = m_paths.commonFolder;
    const std::string added = "Port added: " + Port() + "\n";
    const std::string exists = "Port already exists: " + Port() + "\n";
    const std::string owner = "Common folder owner set to root: " + folder + "\n";
    const std::string mode = "Common folder mode set to 0755: " + folder + "\n";
    const Case cases[] = {
        {"new port, folder open to all", false, true, 01777, 0, mode + added},
        {"new port, folder of a user", false, true, 0755, 65534, owner + added},
        {"existing port, folder right", true, true, 0755, 0, exists},
        {"existing port, folder missing", true, false, 0, 0,
         exists + "Common folder created: " + folder + "\n"},
        {"existing port, folder wrong", true, true, 0777, 65534, exists + owner + mode},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder);
        if (c.folderExists) {
            std::filesystem::create_directory(folder);
            ASSERT_EQ(::chown(folder.c_str(), c.owner, c.owner), 0);
            ::chmod(folder.c_str(), c.mode);
        }
        m_server.queues.clear();
        if (c.portExists)
            m_server.queues = {{"Quill_Post", "quillpost:" + Port()}};
        EXPECT_EQ(Provision(), 0) << c.what;
        // The port's lines stand between the monitor's and the driver's.
        const std::string out = m_out.str();
        const std::size_t from = out.find('\n') + 1;
        const std::size_t to = std::min(out.find("Driver already"), out.find("Printer driver"));
        EXPECT_EQ(out.substr(from, to - from), c.lines) << c.what;
        struct stat st {};
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << c.what;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << c.what;
        EXPECT_EQ(st.st_uid, 0u) << c.what;
        EXPECT_EQ(st.st_mode & 07777, 0755u) << c.what;
    }
}

// What others planted while the folder was open to all: each is moved aside, the real user folder
// stays, and lost+found becomes root's alone without overwriting what it already holds.
TEST_F(ProvisioningTest, LeftoversInTheCommonFolderAreMovedIntoLostAndFound) {
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr)
        GTEST_SKIP() << "needs the account nobody";
    const uid_t other = nobody->pw_uid;
    enum Kind { kFile, kLink, kFolder };
    struct Entry {
        const char* name;
        Kind kind;
        uid_t owner;
        const char* reason; // nullptr: stays
        const char* placed;
    };
    const Entry entries[] = {
        {"fax.ps", kFile, other, "not a folder", "fax.ps.1"},
        {"mail", kLink, 0, "a link", "mail"},
        {"nobody", kFolder, other, nullptr, nullptr},
        {"qp-no-such-user", kFolder, 0, "no such user", "qp-no-such-user"},
        {"root", kFolder, other, "not the user's", "root"},
    };
    const std::string spool = m_paths.commonFolder;
    const std::string lost = spool + "/lost+found";
    const std::string target = m_dir.File("elsewhere");
    std::filesystem::create_directories(lost + "/fax.ps");
    std::filesystem::create_directory(target);
    ::chmod(lost.c_str(), 0755);
    ::chmod(spool.c_str(), 01777);
    std::string lines = "Common folder mode set to 0755: " + spool + "\n";
    for (const Entry& e : entries) {
        const std::string path = spool + "/" + e.name;
        if (e.kind == kFile)
            WriteFile(path, "planted");
        else if (e.kind == kLink)
            std::filesystem::create_directory_symlink(target, path);
        else
            std::filesystem::create_directory(path);
        ASSERT_EQ(::lchown(path.c_str(), e.owner, e.owner), 0) << e.name;
        if (e.reason != nullptr)
            lines += std::string("Common folder entry moved aside, ") + e.reason + ": " + path +
                     " -> " + lost + "/" + e.placed + "\n";
    }

    EXPECT_EQ(Provision(), 0);
    const std::string out = m_out.str();
    const std::size_t from = out.find('\n') + 1;
    EXPECT_EQ(out.substr(from, out.find("Port added") - from), lines);
    for (const Entry& e : entries) {
        struct stat st {};
        const std::string left = spool + "/" + e.name;
        const std::string placed = lost + "/" + (e.placed ? e.placed : "");
        EXPECT_EQ(::lstat(left.c_str(), &st) == 0, e.reason == nullptr) << e.name;
        if (e.reason == nullptr)
            continue;
        ASSERT_EQ(::lstat(placed.c_str(), &st), 0) << e.name;
        EXPECT_EQ(S_ISLNK(st.st_mode), e.kind == kLink) << e.name;
        EXPECT_EQ(st.st_uid, e.owner) << e.name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(lost + "/fax.ps"));
    EXPECT_TRUE(std::filesystem::is_empty(target)) << "nothing goes where a link points";
    struct stat st {};
    ASSERT_EQ(::lstat(lost.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // A lost+found planted as a link is a leftover like any other, and a real one takes its place.
    std::filesystem::remove_all(lost);
    std::filesystem::create_directory_symlink(target, lost);
    EXPECT_EQ(Provision(), 0);
    EXPECT_NE(m_out.str().find("Common folder entry moved aside, a link: " + lost + " -> " + lost +
                               "/lost+found\n"),
              std::string::npos)
        << m_out.str();
    ASSERT_EQ(::lstat(lost.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(std::filesystem::is_empty(target));
}

TEST_F(ProvisioningTest, TheBackendMustBeThere) {
    std::filesystem::remove(m_dir.File("backend/quillpost"));
    EXPECT_EQ(Provision(), 1300002);
    EXPECT_EQ(m_out.str(), "Port monitor 'quillpost' does not exist\n");
    EXPECT_FALSE(std::filesystem::exists(m_paths.commonFolder));
    EXPECT_TRUE(m_server.added.empty());

    m_paths.backendFolder = m_dir.File("no-such-folder");
    EXPECT_EQ(Provision(), 1000002);
    EXPECT_EQ(m_out.str(), "Unable to retrieve print port monitors: 2");
}

TEST_F(ProvisioningTest, PortFailuresStopWithTheirCodes) {
    m_paths.commonFolder = "relative/spool";
    EXPECT_EQ(Provision(), 2100022);
    EXPECT_EQ(m_out.str(), "Monitor already exists: quillpost\n"
                           "Error getting common documents folder path\n");

    m_paths.commonFolder = m_dir.File("missing/spool");
    EXPECT_EQ(Provision(), 2100002);
    EXPECT_EQ(m_out.str(), "Monitor already exists: quillpost\n"
                           "Failed to get handle to monitor 'quillpost': 2\n");

    m_paths.commonFolder = m_dir.File("gs.ppd");
    EXPECT_EQ(Provision(), 2500020);
    EXPECT_EQ(m_out.str(), "Monitor already exists: quillpost\n"
                           "Failed to add port: ERROR_INVALID_DATA\n");

    m_paths.commonFolder = m_dir.File("gs.ppd/spool");
    EXPECT_EQ(Provision(), 2100020);

    m_paths.commonFolder = m_dir.File("spool");
    m_server.listStatus = 1283;
    EXPECT_EQ(Provision(), 2001283);
    EXPECT_EQ(m_out.str(), "Monitor already exists: quillpost\n"
                           "Unable to retrieve print port monitors: 1283");
    EXPECT_TRUE(m_server.added.empty());
}

TEST_F(ProvisioningTest, DriverFailuresStopWithTheirCodes) {
    const std::string head = "Monitor already exists: quillpost\nPort added: " + Port() + "\n";

    WriteFile(m_dir.File("share"), "not a folder");
    EXPECT_EQ(Provision(), 3000020);
    EXPECT_EQ(m_out.str(), head + "Unable to retrieve print drivers: 20");
    std::filesystem::remove(m_dir.File("share"));

    const std::string folderLine = "Printer driver directory: " + m_paths.modelFolder + "\n";
    m_paths.ppdSources = {m_dir.File("none.ppd")};
    EXPECT_EQ(Provision(), 3200002);
    EXPECT_EQ(m_out.str().substr(m_out.str().find("Printer driver directory")),
              folderLine + "Failed to copy ppd file: 2\n");
    ASSERT_EQ(::mkfifo(m_dir.File("pipe.ppd").c_str(), 0600), 0);
    m_paths.ppdSources = {m_dir.File("pipe.ppd")};
    EXPECT_EQ(Provision(), 3200022);

    WriteFile(m_dir.File("other.ppd"), Ppd("Some Other Printer"));
    m_paths.ppdSources = {m_dir.File("none.ppd"), m_dir.File("other.ppd")};
    EXPECT_EQ(Provision(), 3500022);
    EXPECT_EQ(m_out.str().substr(m_out.str().find("Printer driver directory")),
              folderLine + "Failed to add printer driver: 22\n");
    EXPECT_TRUE(m_server.added.empty());
}

TEST_F(ProvisioningTest, FallsBackToTheNextPpdSource) {
    m_paths.ppdSources = {m_dir.File("none.ppd"), m_dir.File("gs.ppd")};
    EXPECT_EQ(Provision(), 0);
    EXPECT_EQ(ReadFile(m_paths.modelFolder + "/gs.ppd"), Ppd("TW PS Driver"));
}

// An old printer that merely could not be deleted stays and counts as ready; one that the server
// will not let this user replace, like a new one it refuses, is a failure.
TEST_F(ProvisioningTest, PrinterThatStaysOrCannotBeAdded) {
    const struct {
        const char* what;
        bool queueThere;
        int deleteStatus;
        int addStatus;
        int result;
        const char* lastLine;
    } cases[] = {
        {"not deleted", true, 1280, 0, 0, "Printer already exists: Quill_Post\n"},
        {"deletion forbidden", true, 1025, 0, 4201025, "Failed to add printer: 1025\n"},
        {"deletion not authorized", true, 1027, 0, 4201027, "Failed to add printer: 1027\n"},
        {"new one refused", false, 0, 1027, 4201027, "Failed to add printer: 1027\n"},
        {"new one failed", false, 0, 1030, 4201030, "Failed to add printer: 1030\n"},
    };
    std::filesystem::create_directories(m_paths.modelFolder);
    WriteFile(m_paths.modelFolder + "/gs.ppd", Ppd("TW PS Driver"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_server.queues.clear();
        if (c.queueThere)
            m_server.queues = {{"Quill_Post", "quillpost:/old/fax.ps"}};
        m_server.deleteStatus = c.deleteStatus;
        m_server.addStatus = c.addStatus;
        m_server.added.clear();
        EXPECT_EQ(Provision(), c.result);
        const std::string out = m_out.str();
        EXPECT_EQ(out.substr(out.find("Printer driver directory")),
                  "Printer driver directory: " + m_paths.modelFolder + "\n" + c.lastLine);
        EXPECT_EQ(m_server.added.size(), c.queueThere ? 0u : 1u);
    }
}

TEST(ProvisionPathsTest, FollowTheCupsEnvironmentAndTheCommonFolder) {
    {
        qp::test::ScopedEnv serverBin("CUPS_SERVERBIN", "/opt/cups/lib");
        qp::test::ScopedEnv dataDir("CUPS_DATADIR", "/opt/cups/share");
        qp::test::ScopedEnv common("QUILLPOST_COMMON_DIR", "/srv/fax");
        const qp::ProvisionPaths paths = qp::DefaultProvisionPaths();
        EXPECT_EQ(paths.backendFolder, "/opt/cups/lib/backend");
        EXPECT_EQ(paths.modelFolder, "/opt/cups/share/model");
        EXPECT_EQ(paths.commonFolder, "/srv/fax");
        ASSERT_EQ(paths.ppdSources.size(), 2u);
        EXPECT_EQ(paths.ppdSources[0], "gs.ppd");
    }
    qp::test::ScopedEnv serverBin("CUPS_SERVERBIN", std::nullopt);
    qp::test::ScopedEnv dataDir("CUPS_DATADIR", std::nullopt);
    const qp::ProvisionPaths paths = qp::DefaultProvisionPaths();
    EXPECT_EQ(paths.backendFolder, "/usr/lib/cups/backend");
    EXPECT_EQ(paths.modelFolder, "/usr/share/cups/model");
}

} // namespace
