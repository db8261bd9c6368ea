#include "tools/faxd/FaxSession.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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
        m_accounts = *qp::faxd::Accounts::Parse("5550100 2468\n", error);
        m_outbox.Prepare(error);
        m_context.idleTimeoutMs = 60'000;
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
    qp::faxd::SessionContext m_context{m_accounts, m_outbox, [this](const std::string& line) {
                                           std::lock_guard<std::mutex> lock(m_logMutex);
                                           m_log.push_back(line);
                                       }};
    int m_client = -1;
    int m_server = -1;
};

} // namespace

TEST_F(FaxSessionTest, MalformedAnnouncementsAreRefusedAndNothingIsStored) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {Header("content-length: 268435457\r\n"), "error: bad content-length"},
        {Header("content-length: 99999999999999999999\r\n"), "error: bad content-length"},
        {Header("content-length: -1\r\n"), "error: bad content-length"},
        {Header("content-length: 12abc\r\n"), "error: bad content-length"},
        {Header(""), "error: bad content-length"},
        {"fax2\r\ncontent-length: 4\r\n\r\nII*\0", "error: no recipient"},
        {"fax3\r\nto: 5551234567\r\ncontent-length: 4\r\n\r\nII*\0", "error: unknown command"},
    };
    for (const auto& [announcement, refusal] : cases) {
        NewConnection();
        EXPECT_EQ(Exchange(kLogin + announcement), kLoggedIn + refusal + "\r\n\r\n")
            << announcement;
    }
    EXPECT_TRUE(OutboxFiles().empty());
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
        Exchange(std::string(kLogin) + "fax2\r\nto: 555\x1b[2J1234567\r\n" +
                 "email: me@example.com\rbox: 1\r\nfilename: ../../escaped.tif\r\n" +
                 "content-length: " + std::to_string(image.size()) + "\r\n\r\n" + image);
    EXPECT_EQ(answer, std::string(kLoggedIn) + "success: send 9 bytes\r\n\r\n");

    const std::vector<std::filesystem::path> files = OutboxFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].extension(), ".tif");
    EXPECT_EQ(files[1].filename().string().rfind("fax-", 0), 0u);
    EXPECT_EQ(ReadFile(files[1]), image);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("escaped.tif")));
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() + "/../escaped.tif"));

    const std::string record = ReadFile(files[0]);
    EXPECT_NE(record.find("to: 555?[2J1234567\n"), std::string::npos) << record;
    EXPECT_NE(record.find("email: me@example.com?box: 1\n"), std::string::npos) << record;
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].find('\x1b'), std::string::npos);
}

TEST_F(FaxSessionTest, ATricklingClientIsDroppedAtTheTimeLimits) {
    m_context.headerTimeLimitMs = 300;
    EXPECT_TRUE(SessionEndsWhileTrickling("login: 5550100\r\npass: "));
    EXPECT_TRUE(Log().empty());

    NewConnection();
    m_context.headerTimeLimitMs = 60'000;
    m_context.imageTimeLimitMs = 300;
    EXPECT_TRUE(SessionEndsWhileTrickling(std::string(kLogin) +
                                          Header("content-length: 100000\r\n") + "II*"));
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].rfind("fax incomplete:", 0), 0u) << Log()[0];
    // The partial image is not left behind.
    EXPECT_TRUE(OutboxFiles().empty());
}
