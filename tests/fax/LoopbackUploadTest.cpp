// The upload over real sockets: only what a socket adds to the exchange the upload tests play in
// memory (connecting, time limits, a peer that hangs up or floods, a stop while waiting) and a
// real quillpost-faxd storing what real clients send it.
#include "fax/TcpConnector.h"
#include "fax/Upload.h"
#include "platform/Sockets.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/Outcomes.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>

using qp::Outcome;
using qp::test::FaxdProcess;
using qp::test::FirstLine;
using qp::test::ReadBlock;
using qp::test::ReadFile;
using qp::test::TempDir;
using qp::test::WriteFile;

namespace {

std::string RandomTiff(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return std::string("II*\0", 4) + bytes;
}

// How long a hostile server keeps misbehaving before it gives up on the client hanging up.
constexpr auto kHostileServerCap = std::chrono::seconds(20);

// Keeps sending `unit` every `gapMs` until the client hangs up (true) or the cap runs out.
bool SendUntilHangUp(int fd, const std::string& unit, int gapMs) {
    const auto giveUp = std::chrono::steady_clock::now() + kHostileServerCap;
    char sink[4096];
    while (std::chrono::steady_clock::now() < giveUp) {
        if (::send(fd, unit.data(), unit.size(), MSG_NOSIGNAL) < 0)
            return true;
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, gapMs) > 0 && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) <= 0)
            return true;
    }
    return false;
}

// Reads whatever comes until the client hangs up.
bool ReadAllUntilHangUp(int fd) {
    char sink[65536];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {
    }
    return true;
}

class LoopbackUploadTest : public ::testing::Test {
protected:
    LoopbackUploadTest() {
        qp::StartSockets();
        m_account = {"127.0.0.1", 0, "5550100", "2468", ""};
    }

    Outcome Upload(qp::Connector& connector = qp::DefaultFaxConnector(),
                   std::stop_token stop = {}) {
        return qp::UploadFax(m_account, "5551234567", "", m_image, nullptr, connector,
                             std::move(stop));
    }

    TempDir m_dir;
    std::string m_image = m_dir.File("fax.tif");
    qp::AccountSettings m_account;
};

} // namespace

// Once the upload has returned, the server has the fax on disk: the client waits for its word.
TEST_F(LoopbackUploadTest, ConcurrentClientsEachGetTheirOwnFaxByteForByte) {
    FaxdProcess server(m_dir.Path(), "5550100 2468\n");
    // A host name resolves to its first IPv4 address.
    m_account.host = "localhost";
    m_account.port = server.Port();
    std::vector<std::string> images;
    std::vector<std::thread> clients;
    std::vector<int> results(4, 0);
    for (int i = 0; i < 4; ++i) {
        images.push_back(RandomTiff((i == 0 ? 300 : 64) * 1024 + static_cast<std::size_t>(i),
                                    10u + static_cast<unsigned>(i)));
        WriteFile(m_dir.File("fax" + std::to_string(i) + ".tif"), images.back());
    }
    for (int i = 0; i < 4; ++i) {
        clients.emplace_back([&, i] {
            results[i] = qp::UploadFax(m_account, "555123456" + std::to_string(i), "",
                                       m_dir.File("fax" + std::to_string(i) + ".tif"), nullptr)
                             .ok;
        });
    }
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(results, std::vector<int>(4, 1));

    std::vector<std::string> stored;
    for (const std::string& path : server.Stored(".tif"))
        stored.push_back(ReadFile(path));
    std::sort(stored.begin(), stored.end());
    std::sort(images.begin(), images.end());
    EXPECT_EQ(stored, images);
    EXPECT_EQ(server.Stored(".meta").size(), 4u);
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(LoopbackUploadTest, AFaxTheServerCannotStoreIsNotTakenForSent) {
    if (!FaxdProcess::CanLimitOutbox(m_dir.Path()))
        GTEST_SKIP() << "no user namespaces here to give the server a small file system";
    FaxdProcess server(m_dir.Path(), "5550100 2468\n", 64 * 1024);
    m_account.port = server.Port();
    struct Case {
        std::size_t size;
        Outcome outcome;
    };
    // The failed fax leaves nothing behind, so a small one still fits afterwards.
    for (const Case& c :
         {Case{300 * 1024, Outcome::Failure("Fax upload failed: error: could not store the fax")},
          Case{8 * 1024, Outcome::Success()}}) {
        WriteFile(m_image, RandomTiff(c.size, 7));
        EXPECT_EQ(Upload(), c.outcome) << c.size;
    }
    EXPECT_TRUE(server.WaitForLog("fax lost: box=5550100 to=5551234567 size=307204"));
    EXPECT_TRUE(server.WaitForLog("fax stored: box=5550100 to=5551234567 size=8196"));
    EXPECT_EQ(server.Stop(), 0);
}

// The kernel completes the connection, but nobody ever answers it: the reply's limit ends the
// wait, and a stop ends it sooner without a word for the user.
TEST_F(LoopbackUploadTest, ASilentServerTimesOutOrIsLeftWhenStopped) {
    WriteFile(m_image, RandomTiff(100, 4));
    {
        qp::test::LoopbackServer neverAccepting;
        m_account.port = neverAccepting.Port();
        qp::TcpConnector impatient(qp::TcpTimeouts{2000, 300});
        EXPECT_EQ(FirstLine(Upload(impatient).message), qp::test::kNoAnswer);
    }
    qp::test::LoopbackServer silent;
    std::promise<void> loginRead;
    silent.ServeOne([&loginRead](int client) {
        ReadBlock(client);
        loginRead.set_value();
        ReadAllUntilHangUp(client);
    });
    m_account.port = silent.Port();
    // A day to answer: only the stop can end this wait.
    qp::TcpConnector patient(qp::TcpTimeouts{2000, 24 * 3600 * 1000});
    std::stop_source stop;
    Outcome outcome = Outcome::Success();
    std::thread sender([&] { outcome = Upload(patient, stop.get_token()); });
    loginRead.get_future().wait();
    stop.request_stop();
    sender.join();
    EXPECT_EQ(outcome, Outcome::Stopped());
}

TEST_F(LoopbackUploadTest, ConnectFailuresCarryTheSystemsCode) {
    WriteFile(m_image, RandomTiff(100, 5));
    const qp::test::RefusingPort refusing;
    m_account.port = refusing.Port();
    std::vector<std::string> told{FirstLine(Upload().message)};
    m_account.host = "";
    told.push_back(FirstLine(Upload().message));
    // A label longer than 63 characters can't be looked up, so no name server is asked.
    m_account.host = std::string(70, 'a') + ".invalid";
    told.push_back(FirstLine(Upload().message));
    m_account.host = "127.0.0.1";
    m_account.port = 70000;
    told.push_back(FirstLine(Upload().message));
    EXPECT_EQ(told, (std::vector<std::string>{
                        "Could not connect to fax server: " + std::to_string(ECONNREFUSED),
                        "Could not connect to fax server: " + std::to_string(EINVAL),
                        "Could not connect to fax server: " + std::to_string(EINVAL),
                        "Could not connect to fax server: " + std::to_string(EINVAL),
                    }));
}

TEST_F(LoopbackUploadTest, HostileServersNeverHoldTheClientNorPassForSuccess) {
    std::atomic<bool> clientReturned{false};
    // Reads the image, which ends when the client ends its sending side, and says nothing.
    const auto silentAfterTheImage = [&clientReturned](int fd) {
        ReadAllUntilHangUp(fd);
        const auto giveUp = std::chrono::steady_clock::now() + kHostileServerCap;
        while (!clientReturned && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return clientReturned.load();
    };
    const std::string notConfirmed =
        "The fax was sent, but the fax server did not confirm that it received it.";
    const std::string loggedIn = "success: logged in\r\n\r\n";
    const std::string accepted = "success: send data\r\n\r\n";
    // Faster than the client reads, so that there is always more waiting for it.
    static const std::string kFlood = [] {
        std::string lines;
        for (int i = 0; i < 16384; ++i)
            lines += "more\r\n";
        return lines;
    }();
    struct Behaviour {
        const char* name;
        // What the server says before it turns hostile; a reply follows each block it reads.
        std::vector<std::string> replies;
        std::function<bool(int)> thenUntilHangUp;
        bool uploaded;
        std::string message; // the first line of the message, or its beginning when it ends in ": "
    };
    const std::vector<Behaviour> behaviours{
        {"endless login reply",
         {},
         [](int fd) { return SendUntilHangUp(fd, kFlood, 0); },
         false,
         qp::test::kNoAnswer},
        {"login reply one byte at a time",
         {},
         [](int fd) { return SendUntilHangUp(fd, "x", 50); },
         false,
         qp::test::kNoAnswer},
        {"endless fax reply",
         {loggedIn},
         [](int fd) { return SendUntilHangUp(fd, kFlood, 0); },
         false,
         qp::test::kNoAnswer},
        {"fax reply one byte at a time",
         {loggedIn},
         [](int fd) { return SendUntilHangUp(fd, "x", 50); },
         false,
         qp::test::kNoAnswer},
        {"hangs up after the header",
         {loggedIn},
         [](int) { return true; },
         false,
         "Did not receive a response to the fax upload."},
        {"hangs up instead of reading the image",
         {loggedIn, accepted},
         [](int) { return true; },
         false,
         "Lost the connection to the fax server: "},
        // Every byte arrived: whatever the server then fails to say, the fax went.
        {"reads the image and keeps silent",
         {loggedIn, accepted},
         silentAfterTheImage,
         true,
         notConfirmed},
    };
    WriteFile(m_image, RandomTiff(100, 6));
    qp::TcpConnector impatient(qp::TcpTimeouts{2000, 300, 300, 300});
    for (const Behaviour& behaviour : behaviours) {
        clientReturned = false;
        qp::test::LoopbackServer listener;
        bool clientHungUp = false;
        listener.ServeOne([&](int client) {
            for (const std::string& reply : behaviour.replies) {
                ReadBlock(client);
                ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
            if (behaviour.replies.size() < 2)
                ReadBlock(client);
            clientHungUp = behaviour.thenUntilHangUp(client);
        });
        m_account.port = listener.Port();
        const Outcome outcome = Upload(impatient);
        clientReturned = true;
        listener.Join();
        EXPECT_TRUE(clientHungUp) << behaviour.name;
        EXPECT_EQ(outcome.ok, behaviour.uploaded) << behaviour.name;
        const bool prefixOnly = behaviour.message.ends_with(": ");
        const std::string first = FirstLine(outcome.message);
        EXPECT_EQ(prefixOnly ? first.substr(0, behaviour.message.size()) : first, behaviour.message)
            << behaviour.name;
    }
}
