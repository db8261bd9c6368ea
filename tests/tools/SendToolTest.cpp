#include "base/DialRules.h"
#include "base/Job.h"
#include "base/Settings.h"
#include "fax/log/FaxLog.h"
#include "fax/outbox/OutboxRecord.h"
#include "fax/outbox/OutboxRoom.h"
#include "platform/ClientChannel.h"
#include "platform/InstanceLock.h"
#include "platform/Profile.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using qp::test::FaxdProcess;
using qp::test::ProgramRun;
using qp::test::ReadFile;
using qp::test::RunProgram;
using qp::test::TempDir;
using qp::test::WriteFile;
using namespace qp::settings;
using namespace std::chrono_literals;

namespace {

// quillpost-send run as a user would, with its own home and settings folder.
class SendToolTest : public ::testing::Test {
protected:
    SendToolTest() {
        std::filesystem::create_directories(m_dir.File("home"));
        std::filesystem::create_directories(m_dir.File("spool"));
        WriteFile(m_dir.File("doc.ps"), qp::test::TextPostScript(2));
    }

    void StoreAccount(const std::string& pin) {
        const qp::Profile profile(m_dir.File("config") + "/Tamarind Works/Quillpost.conf");
        profile.WriteString(kSection, kLogin.key, std::string("5550100"));
        profile.WriteString(kSection, kPin.key, pin);
        profile.WriteString(kSection, kHost.key, std::string("127.0.0.1"));
        profile.WriteInt(kSection, kPort.key, m_server.Port());
    }

    ProgramRun Send(std::vector<std::string> args, const std::string& tmpdir = "") {
        args.insert(args.begin(), QP_SEND_PROGRAM);
        return RunProgram(args, {{"HOME", m_dir.File("home")},
                                 {"XDG_CONFIG_HOME", m_dir.File("config")},
                                 {"XDG_DATA_HOME", m_dir.File("data")},
                                 {"QUILLPOST_COMMON_DIR", m_dir.File("spool")},
                                 {"TMPDIR", tmpdir.empty() ? m_dir.Path() : tmpdir},
                                 // No keyring: the user's own is never asked.
                                 {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
                                 {"XDG_RUNTIME_DIR", m_dir.File("run")}});
    }

    // The text Ghostscript finds on the pages of a PDF, each run of blanks and tabs one blank.
    static std::string PdfText(const std::string& pdf) {
        const std::string found = RunProgram({"gs", "-q", "-dNOPAUSE", "-dBATCH",
                                              "-sDEVICE=txtwrite", "-sOutputFile=-", pdf})
                                      .out;
        std::string text;
        for (char c : found) {
            const bool blank = c == ' ' || c == '\t';
            if (!blank || text.empty() || text.back() != ' ')
                text += blank ? ' ' : c;
        }
        return text;
    }

    std::string History() const { return ReadFile(m_dir.File("home") + "/.fx.hs"); }
    std::vector<qp::faxlog::Entry> Logged() const {
        return qp::faxlog::FaxLog(m_dir.File("data") + "/Quillpost/log").Entries();
    }

    TempDir m_dir;
    FaxdProcess m_server{m_dir.Path(), "5550100 2468\n"};
};

} // namespace

TEST_F(SendToolTest, DocumentIsConvertedUploadedAndTheRecipientRemembered) {
    StoreAccount("2468");
    const ProgramRun run =
        Send({"--to", " (555) 123-4567 ", "--resolution", "normal", m_dir.File("doc.ps")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Fax uploaded.\n");
    ASSERT_TRUE(m_server.WaitForLog("fax stored: box=5550100 to=5551234567"));

    const std::vector<std::string> images = m_server.Stored(".tif");
    ASSERT_EQ(images.size(), 1u);
    const std::vector<qp::test::TiffPage> pages = qp::test::ReadTiffPages(images[0]);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_FLOAT_EQ(pages[0].yResolution, 98.0f) << "--resolution normal";
    EXPECT_EQ(History(), "(555) 123-4567\r\n");

    // Its conversion is private: neither the shared work files nor its own folder are left.
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("spool")));
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find("quillpost-send."), std::string::npos);

    const ProgramRun second = Send(
        {"--to", "15551234567", "--legal", "--cover", m_dir.File("doc.ps"), m_dir.File("doc.ps")});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    ASSERT_TRUE(m_server.WaitForLog("to=15551234567"));
    EXPECT_EQ(History(), "15551234567\r\n(555) 123-4567\r\n");

    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].record.dialled, "15551234567");
    EXPECT_TRUE(logged[0].record.legal);
    EXPECT_TRUE(logged[0].hasCover);
    EXPECT_EQ(logged[1].record.typed, " (555) 123-4567 ");
    EXPECT_EQ(logged[1].record.outcome, qp::faxlog::Outcome::Sent);
    EXPECT_EQ(ReadFile(logged[1].ImagePath()), ReadFile(images[0]));
}

// The stored shared fields make the page, in front, with To, Re and Notes given on the command
// line for this fax only.
TEST_F(SendToolTest, CoverSheetPutsThePageOfTheStoredFieldsInFrontWithThisFaxsOwn) {
    StoreAccount("2468");
    const qp::Profile profile(m_dir.File("config") + "/Tamarind Works/Quillpost.conf");
    profile.WriteString(kSection, kCoverFrom.key, std::string("Ann Example"));
    profile.WriteString(kSection, kCoverTo.key, std::string("Stored Name"));
    profile.WriteString(kSection, kCoverRe.key, std::string("Stored Subject"));
    profile.WriteString(kSection, kCoverNote.key, std::string("Stored note"));
    const ProgramRun run =
        Send({"--to", "5551234567", "--cover-sheet", "--to-name", "Zed Quillfeather", "--re",
              "Invoice 4471", "--note", "Line one\nLine two", m_dir.File("doc.ps")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(m_server.WaitForLog("fax stored"));
    const std::vector<std::string> images = m_server.Stored(".tif");
    ASSERT_EQ(images.size(), 1u);
    const std::vector<qp::test::TiffPage> pages = qp::test::ReadTiffPages(images[0]);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_GT(pages[0].ink, 0.0);

    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    const std::string page = PdfText(logged[0].CoverPath());
    for (const char* text :
         {"Ann Example", "Zed Quillfeather", "Invoice 4471", "Line one", "Line two"})
        EXPECT_NE(page.find(text), std::string::npos) << text << " in\n" << page;
    // The note's line break is one on the page.
    const std::size_t one = page.find("Line one");
    EXPECT_NE(page.find('\n', one), std::string::npos);
    EXPECT_LT(page.find('\n', one), page.find("Line two"));
    for (const char* text : {"Stored Name", "Stored Subject", "Stored note"})
        EXPECT_EQ(page.find(text), std::string::npos) << text << " in\n" << page;
    EXPECT_EQ(profile.GetString(kSection, kCoverTo.key, ""), "Stored Name");
    EXPECT_EQ(profile.GetString(kSection, kCoverNote.key, ""), "Stored note");

    // Stored To, Re and Notes are another fax's (a send dialog's): never this one's.
    const ProgramRun bare = Send({"--to", "5551234567", "--cover-sheet", m_dir.File("doc.ps")});
    ASSERT_EQ(bare.exitCode, 0) << bare.err;
    ASSERT_EQ(Logged().size(), 2u);
    const std::string barePage = PdfText(Logged()[0].CoverPath());
    EXPECT_NE(barePage.find("Ann Example"), std::string::npos) << barePage;
    for (const char* text : {"Stored Name", "Stored Subject", "Stored note", "Zed Quillfeather"})
        EXPECT_EQ(barePage.find(text), std::string::npos) << text << " in\n" << barePage;
}

// A sent fax's entry keeps its transmission report: who sent it to whom, and the server's words.
TEST_F(SendToolTest, ASentFaxLeavesATransmissionReportWithTheServersAnswer) {
    StoreAccount("2468");
    const qp::Profile profile(m_dir.File("config") + "/Tamarind Works/Quillpost.conf");
    profile.WriteString(kSection, kCoverFrom.key, std::string("Ann Example"));
    const ProgramRun run = Send({"--to", "(555) 123-4567", m_dir.File("doc.ps")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(m_server.WaitForLog("fax stored"));
    const std::vector<std::string> images = m_server.Stored(".tif");
    ASSERT_EQ(images.size(), 1u);

    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    ASSERT_TRUE(logged[0].hasReport);
    const std::string report = PdfText(logged[0].ReportPath());
    const std::string stored = std::filesystem::path(images[0]).filename().string();
    for (const std::string& text :
         {std::string("Fax Transmission Report"), std::string("Ann Example"),
          std::string("Message box: 5550100"), std::string("To: (555) 123-4567"),
          std::string("Number: 5551234567"), std::string("Pages: 2"), std::string("Tries: 1"),
          "Server's answer: success: stored " + stored})
        EXPECT_NE(report.find(text), std::string::npos) << text << " in\n" << report;
}

// Only what starts as PostScript or PDF is converted; anything else is refused before Ghostscript
// runs (no log entry), and what Ghostscript cannot read fails in one line of our own.
TEST_F(SendToolTest, DocumentsArePostScriptOrPdfAndAnythingElseIsRefusedInOneLine) {
    StoreAccount("2468");
    const std::string ps = qp::test::TextPostScript(2);
    auto file = [&](const std::string& contents) {
        return [this, contents](const std::string& path) { WriteFile(path, contents); };
    };
    auto pdf = [this](const std::string& path) {
        ASSERT_EQ(RunProgram({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite",
                              "-sOutputFile=" + path, m_dir.File("doc.ps")})
                      .exitCode,
                  0);
    };
    const std::string broken = m_dir.File("broken.pdf");
    WriteFile(broken, "%PDF-1.4\nnot a PDF at all\n");
    struct Case {
        const char* what;
        std::string name;
        std::function<void(const std::string&)> make;
        std::vector<std::string> before; // arguments before the document
        int exitCode;
        std::string says; // after "quillpost-send: <the named file> "
        std::string named;
        std::size_t logged;
    };
    const Case cases[] = {
        {"PostScript", "doc.ps", nullptr, {}, 0, "", "", 1},
        {"PDF", "doc.pdf", pdf, {}, 0, "", "", 1},
        {"printed with a PJL header",
         "printed.prn",
         file("\x1b%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n\x04" + ps),
         {},
         0,
         "",
         "",
         1},
        {"text", "notes.txt", file("Dear Ann,\n"), {}, 2, "is not PostScript or PDF", "", 0},
        {"PostScript behind a byte order mark",
         "bom.ps",
         file("\xef\xbb\xbf" + ps),
         {},
         2,
         "is not PostScript or PDF",
         "",
         0},
        {"empty", "empty.ps", file(""), {}, 2, "is empty, not PostScript or PDF", "", 0},
        {"folder",
         "folder.ps",
         [](const std::string& path) { std::filesystem::create_directory(path); },
         {},
         2,
         "is a folder, not PostScript or PDF",
         "",
         0},
        {"pipe",
         "pipe.ps",
         [](const std::string& path) { ::mkfifo(path.c_str(), 0600); },
         {},
         2,
         "is a pipe, not PostScript or PDF",
         "",
         0},
        {"broken PDF",
         "broken.pdf",
         nullptr,
         {},
         1,
         "could not be read as PostScript or PDF",
         "",
         1},
        {"broken PDF as the cover",
         "doc.ps",
         nullptr,
         {"--cover", broken},
         1,
         "could not be read as PostScript or PDF",
         broken,
         1},
        {"broken PDF behind a good cover",
         "broken.pdf",
         nullptr,
         {"--cover", m_dir.File("doc.ps")},
         1,
         "could not be read as PostScript or PDF",
         "",
         1},
    };
    std::size_t entries = 0;
    std::size_t uploads = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = m_dir.File(c.name);
        if (c.make)
            c.make(path);
        std::vector<std::string> args{"--to", "5551234567"};
        args.insert(args.end(), c.before.begin(), c.before.end());
        args.push_back(path);
        const ProgramRun run = Send(args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        if (c.exitCode == 0) {
            EXPECT_EQ(run.out, "Fax uploaded.\n");
            EXPECT_EQ(run.err, "Sending fax to server...\n");
            ++uploads;
        } else {
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, "quillpost-send: " + (c.named.empty() ? path : c.named) + " " +
                                   c.says + "\n");
        }
        entries += c.logged;
        EXPECT_EQ(Logged().size(), entries);
    }
    EXPECT_TRUE(m_server.WaitForLog("fax stored"));
    EXPECT_TRUE(qp::test::WaitUntil([&] { return m_server.Stored(".tif").size() == uploads; }));
    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged[0].record.outcome, qp::faxlog::Outcome::Failed);
    EXPECT_EQ(logged[0].record.message, broken + " could not be read as PostScript or PDF");
}

TEST_F(SendToolTest, FailuresPrintTheDialogsMessagesAndExitNonZero) {
    StoreAccount("0000");
    const ProgramRun refused = Send({"--to", "5551234567", m_dir.File("doc.ps")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("Login failed due to an invalid username or password."),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("Fax upload failed."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("home") + "/.fx.hs"));
    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].record.outcome, qp::faxlog::Outcome::Failed);
    EXPECT_EQ(logged[0].record.message.rfind("Login failed due to an invalid username", 0), 0u);
    EXPECT_TRUE(logged[0].hasImage);

    const ProgramRun shortNumber = Send({"--to", "555-1234", m_dir.File("doc.ps")});
    EXPECT_EQ(shortNumber.exitCode, 1);
    EXPECT_NE(shortNumber.err.find("Fax phone number must be at least ten digits in length."),
              std::string::npos);

    // An unusable TMPDIR stops the send; the current directory is no place for the fax image.
    for (const std::string& tmpdir : {m_dir.File("absent"), m_dir.File("doc.ps")}) {
        const ProgramRun noTemp = Send({"--to", "5551234567", m_dir.File("doc.ps")}, tmpdir);
        EXPECT_EQ(noTemp.exitCode, 1) << tmpdir;
        EXPECT_NE(
            noTemp.err.find("quillpost-send: the temporary folder " + tmpdir + " cannot be used: "),
            std::string::npos)
            << noTemp.err;
    }

    const ProgramRun missing = Send({"--to", "5551234567", m_dir.File("absent.ps")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(Send({"--to"}).exitCode, 2);
    EXPECT_TRUE(m_server.Stored(".tif").empty());
}

TEST_F(SendToolTest, AFaxTheLogCannotTakeIsSaidSoAndStillSent) {
    StoreAccount("2468");
    std::filesystem::create_directories(m_dir.File("data") + "/Quillpost");
    const std::string logFolder = m_dir.File("data") + "/Quillpost/log";
    WriteFile(logFolder, "a file where the log should be");
    const ProgramRun run = Send({"--to", "5551234567", m_dir.File("doc.ps")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("The fax was sent, but it could not be written to the fax log: " +
                           logFolder + ": Not a directory."),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(m_server.WaitForLog("fax stored: box=5550100 to=5551234567"));
}

TEST_F(SendToolTest, WithoutAKeyringThePinComesFromAFileOnlyYouCanRead) {
    StoreAccount("");
    const std::string pinFile = m_dir.File("pin");
    const std::string noKeyring =
        "quillpost-send: the PIN is not in the settings and no keyring can be reached here: no "
        "session bus (DBUS_SESSION_BUS_ADDRESS is not set); ";
    const struct {
        const char* what;
        const char* contents; // nullptr: no file
        unsigned mode;
        bool given;
        int exitCode;
        std::string err;
    } cases[] = {
        {"none given", nullptr, 0, false, 1, noKeyring + "give it with --pin-file FILE\n"},
        {"missing", nullptr, 0, true, 2,
         noKeyring + "taking it from " + pinFile + "\nquillpost-send: " + pinFile +
             ": No such file or directory\n"},
        {"others may read it", "2468\n", 0644, true, 2,
         noKeyring + "taking it from " + pinFile + "\nquillpost-send: " + pinFile +
             " is open to others (mode 0644); it must be 0600 or stricter\n"},
        {"yours alone", "2468\r\nsecond line\n", 0600, true, 0,
         noKeyring + "taking it from " + pinFile + "\nSending fax to server...\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(pinFile);
        if (c.contents) {
            WriteFile(pinFile, c.contents);
            ::chmod(pinFile.c_str(), c.mode);
        }
        std::vector<std::string> args{"--to", "5551234567", m_dir.File("doc.ps")};
        if (c.given)
            args.insert(args.begin(), {"--pin-file", pinFile});
        const ProgramRun run = Send(args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err, c.err);
    }
    ASSERT_TRUE(m_server.WaitForLog("fax stored: box=5550100 to=5551234567"));
    EXPECT_EQ(m_server.Stored(".tif").size(), 1u);
}

// A --to that is no number names a contact: exactly one match sends to its fax number (here its
// second TEL, the fax one), and several or none end the run with status 2 before anything is done.
TEST_F(SendToolTest, ToTakesAContactsNameWhenItIsNoNumber) {
    StoreAccount("2468");
    std::filesystem::create_directories(m_dir.File("data") + "/Quillpost");
    WriteFile(m_dir.File("data") + "/Quillpost/contacts.vcf",
              "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Alice Smith\r\nORG:Acme\r\n"
              "TEL;TYPE=voice:5559990000\r\nTEL;TYPE=fax:(555) 123-4567\r\nEND:VCARD\r\n"
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;Bob\r\nTEL:5552223333\r\nEND:VCARD\r\n");
    const struct {
        std::string to;
        int exitCode;
        std::string err;
    } cases[] = {
        {"alice smith", 0, "Fax to: Alice Smith (Acme), (555) 123-4567\n"},
        {"SMITH", 2,
         "quillpost-send: \"SMITH\" matches several contacts:\n"
         "  Alice Smith, Acme, (555) 123-4567\n  Bob Smith, 5552223333\n"},
        {"nobody\x1B[2J", 2, "quillpost-send: no contact matches \"nobody?[2J\"\n"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Send({"--to", c.to, m_dir.File("doc.ps")});
        EXPECT_EQ(run.exitCode, c.exitCode) << c.to;
        if (c.exitCode == 0) {
            EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
        } else {
            EXPECT_EQ(run.err, c.err);
        }
    }
    ASSERT_TRUE(m_server.WaitForLog("fax stored: box=5550100 to=5551234567"));
    EXPECT_EQ(m_server.Stored(".tif").size(), 1u);
    EXPECT_EQ(History(), "(555) 123-4567\r\n");
    ASSERT_EQ(Logged().size(), 1u);
    EXPECT_EQ(Logged()[0].record.typed, "(555) 123-4567");
}

// A number written with "+", a contact's or the command line's, is sent as the account's dial
// rules dial it: "+1 555 201 0001" from a line in country 1 with long-distance prefix 1 is the
// eleven digits 15552010001. The log keeps the number as written beside it.
TEST_F(SendToolTest, ToDialsNumbersWrittenWithPlusByTheAccountsRules) {
    StoreAccount("2468");
    std::filesystem::create_directories(m_dir.File("data") + "/Quillpost");
    WriteFile(m_dir.File("data") + "/Quillpost/contacts.vcf",
              "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Carol\r\nTEL;TYPE=fax:+1 555 201 0001\r\n"
              "END:VCARD\r\n");
    const ProgramRun contact = Send({"--to", "carol", m_dir.File("doc.ps")});
    ASSERT_EQ(contact.exitCode, 0) << contact.err;
    EXPECT_EQ(contact.err.rfind("Fax to: Carol, +1 555 201 0001\nDialled as 15552010001\n", 0), 0u)
        << contact.err;
    ASSERT_TRUE(m_server.WaitForLog("fax stored: box=5550100 to=15552010001"));

    const ProgramRun extension = Send({"--to", "+1 555 201 0001 x12", m_dir.File("doc.ps")});
    EXPECT_EQ(extension.exitCode, 1);
    EXPECT_NE(extension.err.find("The extension after the number (x12) cannot be dialled"),
              std::string::npos)
        << extension.err;

    qp::Profile(m_dir.File("config") + "/Tamarind Works/Quillpost.conf")
        .WriteStrings(kSection, qp::DialRulesEntries({"44", "0", "00"}));
    const ProgramRun british = Send({"--to", "+44 (0)20 7946 0000", m_dir.File("doc.ps")});
    ASSERT_EQ(british.exitCode, 0) << british.err;
    ASSERT_TRUE(m_server.WaitForLog("fax stored: box=5550100 to=02079460000"));

    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].record.typed + " " + logged[0].record.dialled,
              "+44 (0)20 7946 0000 02079460000");
    EXPECT_EQ(logged[1].record.typed + " " + logged[1].record.dialled,
              "+1 555 201 0001 15552010001");
}

// A server's reply reaches the terminal only as text (the rules are ShownAsText's): nothing in it
// can pass for the program's own "Fax uploaded.".
TEST_F(SendToolTest, AHostileServersReplyReachesTheTerminalOnlyAsText) {
    qp::test::LoopbackServer server;
    server.ServeOne([](int client) {
        qp::test::ReadBlock(client);
        const std::string login = "success: in\r\n\r\n";
        ::send(client, login.data(), login.size(), MSG_NOSIGNAL);
        qp::test::ReadBlock(client);
        const std::string refusal = "error: \033[2J\033[32mFax uploaded.\r\n\r\n";
        ::send(client, refusal.data(), refusal.size(), MSG_NOSIGNAL);
    });
    StoreAccount("2468");
    qp::Profile(m_dir.File("config") + "/Tamarind Works/Quillpost.conf")
        .WriteInt(kSection, kPort.key, server.Port());
    const ProgramRun run = Send({"--to", "5551234567", m_dir.File("doc.ps")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Fax upload failed: error: ?[2J?[32mFax uploaded."), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find('\033'), std::string::npos) << run.err;
}

// A server that takes every byte and then breaks the connection never said whether it kept the
// fax: the send counts as done, so that a script does not send it twice, and says so.
TEST_F(SendToolTest, AFaxTheServerNeverConfirmedEndsWithStatusZeroAndAWarning) {
    qp::test::LoopbackServer server;
    server.ServeOne([](int client) {
        for (const std::string reply : {"success: in\r\n\r\n", "success: send data\r\n\r\n"}) {
            qp::test::ReadBlock(client);
            ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        char sink[4096];
        while (::recv(client, sink, sizeof sink, 0) > 0) {
        }
        // Every byte is in; a reset instead of the server's word.
        const linger reset{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    });
    StoreAccount("2468");
    qp::Profile(m_dir.File("config") + "/Tamarind Works/Quillpost.conf")
        .WriteInt(kSection, kPort.key, server.Port());
    const ProgramRun run = Send({"--to", "5551234567", m_dir.File("doc.ps")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Fax sent, not confirmed.\n");
    EXPECT_NE(
        run.err.find("The fax was sent, but the fax server did not confirm that it received it."),
        std::string::npos)
        << run.err;
    EXPECT_EQ(History(), "(555) 123-4567\r\n");
    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].record.outcome, qp::faxlog::Outcome::NotConfirmed);
    EXPECT_TRUE(logged[0].hasImage) << "it can be resent from the log";
}

namespace {

// --queue talks to the client of the account's own lock folders, not the private ones of the test
// programs: while this holds the account's client lock, no client of the user runs, and a channel
// server made here stands in for one. The CLIENT tests take their turns, so none meets another.
class QueueToolTest : public SendToolTest {
protected:
    void SetUp() override {
        const qp::LockFolders testing = qp::UserLockFolders();
        qp::SetUserLockFoldersForTesting(std::nullopt);
        m_account = qp::UserLockFolders();
        qp::SetUserLockFoldersForTesting(testing);
        m_lock.emplace("quillpost.lock", m_account);
        if (m_lock->Acquire() != qp::InstanceLock::Outcome::Acquired)
            GTEST_SKIP() << "a Quill Post client of this user runs, or its lock has no place";
        StoreAccount("2468");
    }

    std::string JobFolder(const std::string& id) const {
        return m_dir.File("data") + "/Quillpost/jobs/" + id;
    }

    // The id from "Fax queued: <id>", the first line.
    static std::string QueuedId(const std::string& out) {
        const std::string lead = "Fax queued: ";
        if (!out.starts_with(lead) || out.find('\n') == std::string::npos)
            return {};
        return out.substr(lead.size(), out.find('\n') - lead.size());
    }

    qp::LockFolders m_account;
    std::optional<qp::InstanceLock> m_lock;
};

// The client side blocks, so it runs beside the event loop that serves the channel.
template <typename Work> auto WhileServing(Work work) {
    auto done = std::async(std::launch::async, work);
    while (done.wait_for(5ms) != std::future_status::ready)
        QCoreApplication::processEvents();
    return done.get();
}

} // namespace

TEST_F(QueueToolTest, WithNoClientTheConvertedFaxWaitsInTheOutboxFolderForTheNextStart) {
    const ProgramRun run = Send({"--to", "(555) 123-4567", "--queue", m_dir.File("doc.ps")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string id = QueuedId(run.out);
    ASSERT_FALSE(id.empty()) << run.out;
    EXPECT_EQ(run.out, "Fax queued: " + id +
                           "\nQuill Post is not running; the fax goes out when Quill Post next "
                           "runs.\n");

    const std::optional<qp::outbox::Record> record =
        qp::outbox::ReadRecord(JobFolder(id) + "/outbox");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->item.state, qp::outbox::State::Waiting);
    EXPECT_EQ(record->item.nextTry, 0) << "due at once";
    EXPECT_EQ(record->item.typed, "(555) 123-4567");
    EXPECT_EQ(record->item.dialled, "5551234567");
    EXPECT_EQ(record->item.pages, 2);
    // Converted here, once: the outbox sends this image.
    EXPECT_EQ(qp::test::ReadTiffPages(JobFolder(id) + "/fax.tif").size(), 2u);
    EXPECT_EQ(ReadFile(JobFolder(id) + "/faxbody.ps"), ReadFile(m_dir.File("doc.ps")));
    EXPECT_TRUE(m_server.Stored(".tif").empty()) << "nothing is uploaded now";
    EXPECT_TRUE(Logged().empty()) << "the outbox logs the fax when it leaves";
    EXPECT_EQ(History(), "(555) 123-4567\r\n");
}

TEST_F(QueueToolTest, ARunningClientIsToldTheJobAndTheCommandReturnsWithItsId) {
    int argc = 1;
    char name[] = "send_tool_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::vector<qp::ChannelRequest> taken;
    bool take = true;
    qp::ChannelServer client(qp::UserChannelAddress(m_account),
                             [&](const qp::ChannelRequest& request) {
                                 taken.push_back(request);
                                 return take;
                             });
    ASSERT_TRUE(client.Listening());

    const ProgramRun run = WhileServing([&] {
        return Send({"--to", "5551234567", "--queue", m_dir.File("doc.ps")});
    });
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string id = QueuedId(run.out);
    EXPECT_EQ(run.out, "Fax queued: " + id + "\nQuill Post sends it from its outbox.\n");
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].command, "queue");
    EXPECT_EQ(taken[0].job, id);
    EXPECT_TRUE(std::filesystem::exists(JobFolder(id) + "/outbox"));

    // A client that cannot take it leaves the fax in the folder, which a script is not to send
    // again: a warning, and status 0.
    take = false;
    const ProgramRun declined = WhileServing([&] {
        return Send({"--to", "5551234567", "--queue", "--cover", m_dir.File("doc.ps"),
                     m_dir.File("doc.ps")});
    });
    EXPECT_EQ(declined.exitCode, 0) << declined.err;
    const std::string kept = QueuedId(declined.out);
    EXPECT_NE(declined.err.find("the running Quill Post declined the fax; it waits in the outbox"),
              std::string::npos)
        << declined.err;
    EXPECT_TRUE(std::filesystem::exists(JobFolder(kept) + "/outbox"));
    // A given cover keeps its kind: the log and a later resend read it as PostScript.
    EXPECT_EQ(ReadFile(JobFolder(kept) + "/faxcover.ps"), ReadFile(m_dir.File("doc.ps")));
}

TEST_F(QueueToolTest, AFullOutboxRefusesTheFaxAndKeepsNothingOfIt) {
    const ProgramRun first = Send({"--to", "5551234567", "--queue", m_dir.File("doc.ps")});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    // Sparse: the outbox counts the files' sizes.
    ASSERT_EQ(::truncate((JobFolder(QueuedId(first.out)) + "/fax.tif").c_str(),
                         static_cast<off_t>(qp::outbox::kMaxBytes)),
              0);

    const ProgramRun full = Send({"--to", "5551234567", "--queue", m_dir.File("doc.ps")});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.out, "");
    EXPECT_EQ(full.err, "quillpost-send: The outbox is full: at most 100 faxes or 1 GiB may wait "
                        "in it. Please send this fax yourself, or try again once the outbox has "
                        "room.\n");
    EXPECT_EQ(qp::JobStore(m_dir.File("data") + "/Quillpost/jobs").OutboxIds().size(), 1u);
}
