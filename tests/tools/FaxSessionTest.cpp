#include "tools/faxd/FaxSession.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"
#include "tools/faxd/ClientText.h"
#include "tools/faxd/FaxServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <system_error>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using qp::test::FakeClock;
using qp::test::ReadFile;
using qp::test::TempDir;

namespace {

constexpr const char* kLogin = "login: 5550100\r\npass: 2468\r\n\r\n";
constexpr const char* kLoggedIn = "success: logged in\r\n\r\n";

std::string Header(const std::string& fields) {
    return "fax2\r\nto: 5551234567\r\n" + fields + "\r\n";
}

// One server session on one end of a socket pair; the test plays the client on the other end.
class FaxSessionTest : public ::testing::Test {
protected:
    FaxSessionTest() {
        std::string error;
        m_accounts = *qp::faxd::Accounts::Parse("5550100 2468\n5550111 1357\n", error);
        m_outbox.Prepare(error);
        m_context.idleTimeoutMs = 60'000;
        m_context.pause = [this](int, int ms) {
            m_clock.SleepMs(ms);
            return true;
        };
        NewConnection();
    }
    ~FaxSessionTest() override { CloseConnection(); }

    void NewConnection() {
        CloseConnection();
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            throw std::runtime_error("socketpair failed");
        m_client = pair[0];
        m_server = pair[1];
    }

    void CloseConnection() {
        if (m_client >= 0)
            ::close(m_client);
        if (m_server >= 0)
            ::close(m_server);
        m_client = m_server = -1;
    }

    // Sends everything the client has to say, lets the session run to its end, and returns what
    // the server answered.
    std::string Exchange(const std::string& clientBytes) {
        EXPECT_EQ(::send(m_client, clientBytes.data(), clientBytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(clientBytes.size()));
        ::shutdown(m_client, SHUT_WR);
        qp::faxd::RunSession(m_server, m_context);
        ::shutdown(m_server, SHUT_RDWR);
        std::string answer;
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(m_client, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<std::size_t>(n));
        return answer;
    }

    // Runs the session on a thread while the client sends one byte after another, never finishing;
    // true when the session gave up on the client while it was still sending.
    bool SessionEndsWhileTrickling(const std::string& opening) {
        ::send(m_client, opening.data(), opening.size(), MSG_NOSIGNAL);
        std::atomic<bool> ended{false};
        std::thread session([&] {
            qp::faxd::RunSession(m_server, m_context);
            ended = true;
        });
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!ended && std::chrono::steady_clock::now() < giveUp) {
            ::send(m_client, "x", 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const bool endedInTime = ended;
        ::shutdown(m_server, SHUT_RDWR);
        session.join();
        return endedInTime;
    }

    std::vector<std::string> Log() {
        std::lock_guard<std::mutex> lock(m_logMutex);
        return m_log;
    }

    std::vector<std::filesystem::path> OutboxFiles() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(m_outbox.Folder()))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    TempDir m_dir;
    qp::faxd::Accounts m_accounts;
    qp::faxd::Outbox m_outbox{m_dir.File("outbox")};
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
    std::function<void(const std::string&)> m_logLine = [this](const std::string& line) {
        std::lock_guard<std::mutex> lock(m_logMutex);
        m_log.push_back(line);
    };
    FakeClock m_clock;
    qp::faxd::LoginGuard m_logins{m_clock};
    qp::faxd::SessionContext m_context{m_accounts, m_outbox, m_logLine, m_logins, "192.0.2.7"};
    int m_client = -1;
    int m_server = -1;
};

// A whole quillpost-faxd server in this process on a free loopback port, served on a thread
// until the end of the scope.
class InProcessServer {
public:
    InProcessServer(const qp::faxd::Accounts& accounts, const qp::faxd::Outbox& outbox,
                    std::function<void(const std::string&)> log, qp::faxd::SessionLimits limits,
                    qp::Clock& clock, qp::faxd::ThreadStarter starter)
        : m_server(accounts, outbox, std::move(log), limits, clock, std::move(starter)) {
        std::string error;
        if (::pipe2(m_stop, O_CLOEXEC) != 0 || !m_server.Listen("127.0.0.1", 0, error))
            throw std::runtime_error("cannot start the server: " + error);
        const std::string bound = m_server.BoundAddress();
        m_port = std::stoi(bound.substr(bound.rfind(':') + 1));
        m_thread = std::thread([this] { m_server.Serve(m_stop[0]); });
    }
    ~InProcessServer() {
        (void)!::write(m_stop[1], "x", 1);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
        for (const int fd : m_clients)
            ::close(fd);
    }

    // A connection from `source`, one of the loopback addresses 127.0.0.0/8.
    int Connect(const char* source = "127.0.0.1") {
        m_clients.push_back(qp::test::ConnectToLoopback(m_port, source));
        return m_clients.back();
    }

private:
    qp::faxd::FaxServer m_server;
    int m_stop[2] = {-1, -1};
    int m_port = 0;
    std::thread m_thread;
    std::vector<int> m_clients;
};

// What the server sends before it ends the connection or goes quiet (bounded generously).
std::string Received(int fd, const std::string& enough) {
    std::string received;
    char buffer[256];
    pollfd entry{fd, POLLIN, 0};
    while (received.find(enough) == std::string::npos && ::poll(&entry, 1, 20'000) > 0) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return received + "<closed>";
        received.append(buffer, static_cast<std::size_t>(n));
    }
    return received;
}

} // namespace

// A body that is no TIFF image is read whole before it is refused.
TEST_F(FaxSessionTest, WhatIsNoFaxIsRefusedAndNothingIsStored) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {Header("content-length: 268435457\r\n"), "error: bad content-length"},
        {Header("content-length: 99999999999999999999\r\n"), "error: bad content-length"},
        {Header("content-length: -1\r\n"), "error: bad content-length"},
        {Header("content-length: 12abc\r\n"), "error: bad content-length"},
        {Header(""), "error: bad content-length"},
        {"fax2\r\ncontent-length: 4\r\n\r\nII*\0", "error: no recipient"},
        {"fax2\r\nto: 555 123 4567\r\ncontent-length: 4\r\n\r\nII*\0", "error: bad recipient"},
        {"fax2\r\nto: ;\r\ncontent-length: 4\r\n\r\nII*\0", "error: bad recipient"},
        {"fax3\r\nto: 5551234567\r\ncontent-length: 4\r\n\r\nII*\0", "error: unknown command"},
        {Header("content-length: 18\r\n") + "%PDF-1.4 not a fax",
         "success: send 18 bytes\r\n\r\nerror: not a TIFF image"},
    };
    for (const auto& [announcement, refusal] : cases) {
        NewConnection();
        EXPECT_EQ(Exchange(kLogin + announcement), kLoggedIn + refusal + "\r\n\r\n")
            << announcement;
    }
    EXPECT_TRUE(OutboxFiles().empty());
    EXPECT_EQ(Log().back().rfind("fax rejected: box=5550100 to=5551234567 ", 0), 0u)
        << Log().back();
}

TEST_F(FaxSessionTest, OverlongLinesAndEndlessHeadersEndTheSessionUnanswered) {
    EXPECT_EQ(Exchange(std::string(qp::faxd::kMaxLineLength + 1, 'l') + "\r\n\r\n"), "");

    NewConnection();
    std::string endless = std::string(kLogin) + "fax2\r\n";
    for (std::size_t i = 0; i <= qp::faxd::kMaxHeaderLines; ++i)
        endless += "x-pad: " + std::to_string(i) + "\r\n";
    EXPECT_EQ(Exchange(endless + "\r\n"), kLoggedIn);
    EXPECT_TRUE(OutboxFiles().empty());
}

TEST_F(FaxSessionTest, ClientTextNeverNamesAFileNorForgesALine) {
    const std::string image = std::string("II*\0", 4) + "pages";
    const std::string answer =
        Exchange(std::string(kLogin) + "fax2\r\nto: 5551234567\r\n" +
                 "email: me@example.com\rbox: 1\r\nfilename: ../../escaped.tif\r\n" +
                 "notifyemail: \x1b[2Jboss@example.com\xe2\x80\xa8to: 1\r\n" +
                 "content-length: " + std::to_string(image.size()) + "\r\n\r\n" + image);
    const std::vector<std::filesystem::path> files = OutboxFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(answer, std::string(kLoggedIn) + "success: send 9 bytes\r\n\r\n" +
                          "success: stored " + files[1].filename().string() + "\r\n\r\n");
    EXPECT_EQ(files[1].extension(), ".tif");
    EXPECT_EQ(files[1].filename().string().rfind("fax-", 0), 0u);
    EXPECT_EQ(ReadFile(files[1]), image);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("escaped.tif")));
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() + "/../escaped.tif"));

    const std::string record = ReadFile(files[0]);
    EXPECT_EQ(record.rfind("box: 5550100\nto: 5551234567\nemail: me@example.com?box: 1\n"
                           "notifyemail: ?[2Jboss@example.com?to: 1\nsize: 9\ntime: ",
                           0),
              0u)
        << record;
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].find('\x1b'), std::string::npos);

    // Nobody but the server's own user may look into the outbox.
    struct stat status {};
    ASSERT_EQ(::stat(m_outbox.Folder().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    for (const std::filesystem::path& file : files) {
        ASSERT_EQ(::stat(file.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u) << file;
    }
    const std::string shared = m_dir.File("shared");
    std::filesystem::create_directory(shared);
    ::chmod(shared.c_str(), 0755);
    std::string error;
    EXPECT_FALSE(qp::faxd::Outbox(shared).Prepare(error));
    EXPECT_NE(error.find("open to other users"), std::string::npos) << error;
}

TEST_F(FaxSessionTest, ATricklingClientIsDroppedAtTheTimeLimits) {
    struct Case {
        int qp::faxd::SessionContext::*limit;
        std::string opening;
        const char* logged; // the log line's beginning, or null for none
    };
    const Case cases[] = {
        {&qp::faxd::SessionContext::loginTimeLimitMs, "login: 5550100\r\npass: ", nullptr},
        {&qp::faxd::SessionContext::headerTimeLimitMs,
         std::string(kLogin) + "fax2\r\nto: ", nullptr},
        {&qp::faxd::SessionContext::imageTimeLimitMs,
         std::string(kLogin) + Header("content-length: 100000\r\n") + "II*", "fax incomplete:"},
    };
    for (const Case& c : cases) {
        NewConnection();
        m_context.loginTimeLimitMs = m_context.headerTimeLimitMs = m_context.imageTimeLimitMs =
            60'000;
        m_context.*c.limit = 300;
        const std::size_t logged = Log().size();
        EXPECT_TRUE(SessionEndsWhileTrickling(c.opening)) << c.opening;
        const std::vector<std::string> log = Log();
        ASSERT_EQ(log.size(), logged + (c.logged ? 1 : 0)) << c.opening;
        if (c.logged) {
            EXPECT_EQ(log.back().rfind(c.logged, 0), 0u) << log.back();
        }
    }
    // The partial image is not left behind.
    EXPECT_TRUE(OutboxFiles().empty());
}

TEST_F(FaxSessionTest, FailedLoginsAreAnsweredLaterAndLaterPerBoxUntilOneSucceeds) {
    const std::string refused = "error: invalid message box number or PIN\r\n\r\n";
    struct Attempt {
        const char* box;
        const char* pin;
        bool accepted;
        int heldMs; // how long the session waited before it answered
    };
    const Attempt attempts[] = {
        {"5550100", "0000", false, 2'000},
        {"5550100", "0000", false, 4'000},
        {"5550100", "0000", false, 8'000},
        {"5550100", "0000", false, 16'000},
        {"5550100", "0000", false, 32'000},
        {"5550100", "0000", false, 60'000},
        {"5550100", "0000", false, 60'000},
        // Another box is not slowed down, nor is a box that does not exist.
        {"5550111", "0000", false, 2'000},
        {"5559999", "0000", false, 2'000},
        // The owner still gets in, and that starts the box afresh.
        {"5550100", "2468", true, 0},
        {"5550100", "0000", false, 2'000},
    };
    for (const Attempt& a : attempts) {
        NewConnection();
        const std::size_t before = m_clock.Sleeps().size();
        const std::string answer =
            Exchange("login: " + std::string(a.box) + "\r\npass: " + a.pin + "\r\n\r\n");
        const std::string who = std::string(a.box) + " after " + std::to_string(a.heldMs);
        EXPECT_EQ(answer, a.accepted ? kLoggedIn : refused) << who;
        const std::vector<int> sleeps = m_clock.Sleeps();
        EXPECT_EQ(
            std::vector<int>(sleeps.begin() + static_cast<std::ptrdiff_t>(before), sleeps.end()),
            a.heldMs ? std::vector<int>{a.heldMs} : std::vector<int>{})
            << who;
    }
    EXPECT_EQ(Log().back(), "login refused: box=5550100 address=192.0.2.7 answered after 2 s");

    // A login while another's failure is still being held waits for the end of that delay, then
    // gets in: whoever fails on a box can make its owner wait, never keep the owner out.
    EXPECT_EQ(m_logins.RecordFailure("5550100"), 4'000);
    m_clock.SleepMs(1'000);
    NewConnection();
    EXPECT_EQ(Exchange(kLogin), kLoggedIn);
    EXPECT_EQ(m_clock.Sleeps().back(), 3'000);
}

TEST_F(FaxSessionTest, ConnectionsThatNeverLogInCannotKeepALoginOut) {
    // The first session thread cannot be started; the others can.
    std::atomic<int> starts{0};
    qp::faxd::ThreadStarter starter = [&starts](std::function<void()> body) {
        if (starts++ == 0)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    };
    std::size_t dropped = 0;
    {
        // Room for two logged-in sessions, whatever waits before login.
        InProcessServer server(m_accounts, m_outbox, m_logLine, qp::faxd::SessionLimits{2}, m_clock,
                               starter);
        EXPECT_EQ(Received(server.Connect(), kLoggedIn), "<closed>");
        // Ten addresses open all the idle connections they may, and a genuine client still
        // logs in, from an address of its own and from one of theirs, until the logged-in
        // sessions are all taken.
        for (int a = 2; a < 12; ++a) {
            const std::string source = "127.0.0." + std::to_string(a);
            for (std::size_t i = 0; i < qp::faxd::kMaxSessionsBeforeLoginPerAddress; ++i)
                server.Connect(source.c_str());
        }
        const std::pair<const char*, std::string> genuine[] = {
            {"127.0.0.1", kLoggedIn},
            {"127.0.0.5", kLoggedIn},
            {"127.0.0.1", "error: server busy, try again later\r\n\r\n"},
        };
        for (const auto& [source, answer] : genuine) {
            const int fd = server.Connect(source);
            ::send(fd, kLogin, std::strlen(kLogin), MSG_NOSIGNAL);
            EXPECT_EQ(Received(fd, answer), answer) << source;
        }
        for (const std::string& line : Log())
            dropped += line.rfind("connection dropped:", 0) == 0 ? 1 : 0;
    }
    // Only the share kept for sessions before login was left open, nothing else was turned away;
    // each later genuine client found the place the one before it left when it logged in.
    EXPECT_EQ(dropped, 80 + 1 - qp::faxd::kMaxSessionsBeforeLogin);
    std::vector<std::string> refusals;
    for (const std::string& line : Log()) {
        if (line.rfind("connection refused:", 0) == 0)
            refusals.push_back(line);
    }
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_NE(refusals[0].find("cannot start a session"), std::string::npos) << refusals[0];
}

TEST(ClientText, EveryNonPrintableCharacterIsReplaced) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"me@example.com", "me@example.com"},
        {"Z\xc3\xbcrich \xe2\x82\xac 5", "Z\xc3\xbcrich \xe2\x82\xac 5"}, // UTF-8 text stays
        {"a\tb\x7f\x1b", "a?b??"},
        {"a\xc2\x85"
         "b",
         "a?b"}, // NEXT LINE
        {"a\xe2\x80\xa8"
         "b\xe2\x80\xa9",
         "a?b?"}, // line and paragraph separators
        {"a\xe2\x80\xae"
         "b\xef\xbb\xbf",
         "a?b?"}, // direction override, BOM
        {"a\xff"
         "b\xc0\xaf"
         "c\xe2\x80",
         "a?b??c??"},            // not UTF-8, overlong, cut off
        {"\xed\xa0\x80", "???"}, // a surrogate
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(qp::faxd::Printable(text), shown) << text;

    for (const char* recipient : {"5551234567", "5551234567;15559876543"})
        EXPECT_TRUE(qp::faxd::IsRecipient(recipient)) << recipient;
    for (const char* recipient : {"", ";", "555 1234", "+15551234567", "555\xe2\x80\xa8"})
        EXPECT_FALSE(qp::faxd::IsRecipient(recipient)) << recipient;
}
