#include "fax/TcpConnector.h"
#include "fax/Upload.h"
#include "platform/Sockets.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/UploadMessages.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using qp::test::FaxdProcess;
using qp::test::ReadBlock;
using qp::test::ReadFile;
using qp::test::RecordingMessageSink;
using qp::test::TempDir;
using qp::test::WriteFile;

using qp::test::kLoginFailed;

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

// Reads the image the header announced, then waits for the client to hang up.
bool ReadAllUntilHangUp(int fd) {
    char sink[65536];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {
    }
    return true;
}

// Everything a server says to a client that sends `bytes` and then ends its sending side.
std::string Conversation(int port, const std::string& bytes) {
    const int fd = qp::test::ConnectToLoopback(port);
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    std::string said;
    char buffer[4096];
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, 20'000) > 0) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        said.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return said;
}

class LoopbackUploadTest : public ::testing::Test {
protected:
    LoopbackUploadTest() {
        qp::StartSockets();
        m_account = {"127.0.0.1", 0, "5550100", "2468", ""};
    }

    bool Upload(qp::Connector& connector = qp::DefaultFaxConnector(),
                const std::string& number = "5551234567") {
        return qp::test::Shown(qp::UploadFax(m_account, number, "", m_image, nullptr, connector));
    }

    TempDir m_dir;
    std::string m_image = m_dir.File("fax.tif");
    qp::AccountSettings m_account;
    RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
};

} // namespace

TEST_F(LoopbackUploadTest, ServerStoresTheImageByteForByteWithItsRecord) {
    FaxdProcess server(m_dir.Path(), "# demo boxes\n5550100 2468\n5550199 1111\n");
    m_account.port = server.Port();
    m_account.notifyEmail = "boss@example.com";
    const std::string image = RandomTiff(300 * 1024, 1);
    WriteFile(m_image, image);

    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    const qp::Outcome outcome = qp::UploadFax(
        m_account, "5551234567", "me@example.com", m_image,
        [&](std::uint64_t position, std::uint64_t size) { progress.emplace_back(position, size); });
    ASSERT_TRUE(outcome) << outcome.message;
    const std::uint64_t size = image.size();
    EXPECT_EQ(progress.back(), std::make_pair(size, size));

    // The client waited for the server's word, which comes once the fax is on disk.
    const std::vector<std::string> images = server.Stored(".tif");
    const std::vector<std::string> records = server.Stored(".meta");
    ASSERT_EQ(images.size(), 1u);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(ReadFile(images[0]), image);
    const std::string record = ReadFile(records[0]);
    EXPECT_NE(record.find("box: 5550100\n"), std::string::npos) << record;
    EXPECT_NE(record.find("to: 5551234567\n"), std::string::npos) << record;
    EXPECT_NE(record.find("email: me@example.com\n"), std::string::npos) << record;
    EXPECT_NE(record.find("notifyemail: boss@example.com\n"), std::string::npos) << record;
    EXPECT_NE(record.find("size: " + std::to_string(image.size()) + "\n"), std::string::npos);
    EXPECT_NE(record.find("time: "), std::string::npos);

    // That word names the stored fax.
    const std::string again = RandomTiff(1000, 2);
    const std::string said =
        Conversation(server.Port(), "login: 5550100\r\npass: 2468\r\n\r\n" +
                                        qp::FaxHeader("5551234567", "", "", again.size()) + again);
    const std::string opening = "success: logged in\r\n\r\nsuccess: send 1004 bytes\r\n\r\n"
                                "success: stored ";
    ASSERT_EQ(said.rfind(opening, 0), 0u) << said;
    ASSERT_TRUE(said.ends_with(".tif\r\n\r\n")) << said;
    const std::string name = said.substr(opening.size(), said.size() - opening.size() - 4);
    EXPECT_EQ(ReadFile(server.Outbox() + "/" + name), again);
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(LoopbackUploadTest, ConcurrentClientsEachGetTheirOwnFax) {
    FaxdProcess server(m_dir.Path(), "5550100 2468\n");
    // A host name resolves to its first IPv4 address.
    m_account.host = "localhost";
    m_account.port = server.Port();
    std::vector<std::string> images;
    std::vector<std::thread> clients;
    std::vector<int> results(4, 0);
    for (int i = 0; i < 4; ++i) {
        images.push_back(RandomTiff(64 * 1024 + static_cast<std::size_t>(i), 10u + i));
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
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(server.WaitForLog("to=555123456" + std::to_string(i)));

    std::vector<std::string> stored;
    for (const std::string& path : server.Stored(".tif"))
        stored.push_back(ReadFile(path));
    std::sort(stored.begin(), stored.end());
    std::sort(images.begin(), images.end());
    EXPECT_EQ(stored, images);
}

TEST_F(LoopbackUploadTest, WrongPinAndNonTiffBodiesAreRefused) {
    FaxdProcess server(m_dir.Path(), "5550100 2468\n");
    m_account.port = server.Port();
    WriteFile(m_image, RandomTiff(1000, 2));
    m_account.pin = "0000";
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{kLoginFailed});
    EXPECT_TRUE(server.WaitForLog("login refused: box=5550100"));

    // Only the server can tell the body is no TIFF, once it has all of it, and it says so.
    m_account.pin = "2468";
    m_messages.Clear();
    WriteFile(m_image, "%PDF-1.4 not a fax");
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_messages.Texts(),
              std::vector<std::string>{"Fax upload failed: error: not a TIFF image"});
    EXPECT_TRUE(server.WaitForLog("fax rejected: box=5550100 to=5551234567"));
    EXPECT_TRUE(server.Stored(".tif").empty());
    EXPECT_TRUE(server.Stored(".meta").empty());
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(LoopbackUploadTest, AFaxTheServerCannotStoreIsNotTakenForSent) {
    if (!FaxdProcess::CanLimitOutbox(m_dir.Path()))
        GTEST_SKIP() << "no user namespaces here to give the server a small file system";
    FaxdProcess server(m_dir.Path(), "5550100 2468\n", 64 * 1024);
    m_account.port = server.Port();
    struct Case {
        std::size_t size;
        bool stored;
    };
    // The failed fax leaves nothing behind, so a small one still fits afterwards.
    for (const Case c : {Case{300 * 1024, false}, Case{8 * 1024, true}}) {
        WriteFile(m_image, RandomTiff(c.size, 7));
        m_messages.Clear();
        EXPECT_EQ(Upload(), c.stored) << c.size;
        EXPECT_EQ(
            m_messages.Texts(),
            c.stored
                ? std::vector<std::string>{}
                : std::vector<std::string>{"Fax upload failed: error: could not store the fax"})
            << c.size;
    }
    EXPECT_TRUE(server.WaitForLog("fax lost: box=5550100 to=5551234567 size=307204"));
    EXPECT_TRUE(server.WaitForLog("fax stored: box=5550100 to=5551234567 size=8196"));
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(LoopbackUploadTest, ServerThatClosesAfterTheHeader) {
    qp::test::LoopbackServer listener;
    std::string header;
    listener.ServeOne([&](int client) {
        ReadBlock(client);
        const std::string reply = "success: logged in\r\n\r\n";
        ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
        header = ReadBlock(client);
    });
    m_account.port = listener.Port();
    WriteFile(m_image, RandomTiff(100, 3));
    EXPECT_FALSE(Upload());
    EXPECT_EQ(qp::test::FirstLines(m_messages.Texts()),
              std::vector<std::string>{"Did not receive a response to the fax upload."});
    listener.Join();
    EXPECT_EQ(header, "fax2\r\nto: 5551234567\r\nfilename: fax.tif\r\ncontent-length: 104\r\n\r\n");
}

TEST_F(LoopbackUploadTest, SilentServerTimesOutInsteadOfHanging) {
    // The kernel completes the connection, but nobody ever accepts or answers it.
    qp::test::LoopbackServer listener;
    m_account.port = listener.Port();
    WriteFile(m_image, RandomTiff(100, 4));
    qp::TcpConnector impatient(qp::TcpTimeouts{2000, 300});
    EXPECT_FALSE(Upload(impatient));
    EXPECT_EQ(qp::test::FirstLines(m_messages.Texts()),
              std::vector<std::string>{qp::test::kNoAnswer});
}

TEST_F(LoopbackUploadTest, ConnectFailuresCarryTheSystemsCode) {
    WriteFile(m_image, RandomTiff(100, 5));
    const qp::test::RefusingPort refusing;
    m_account.port = refusing.Port();
    EXPECT_FALSE(Upload());
    m_account.host = "";
    EXPECT_FALSE(Upload());
    // A label longer than 63 characters can't be looked up, so no name server is asked.
    m_account.host = std::string(70, 'a') + ".invalid";
    EXPECT_FALSE(Upload());
    m_account.host = "127.0.0.1";
    m_account.port = 70000;
    EXPECT_FALSE(Upload());
    EXPECT_EQ(qp::test::FirstLines(m_messages.Texts()),
              (std::vector<std::string>{
                  "Could not connect to fax server: " + std::to_string(ECONNREFUSED),
                  "Could not connect to fax server: " + std::to_string(EINVAL),
                  "Could not connect to fax server: " + std::to_string(EINVAL),
                  "Could not connect to fax server: " + std::to_string(EINVAL),
              }));
}

TEST_F(LoopbackUploadTest, ServerStopsCleanlyWithAClientHalfWayThrough) {
    FaxdProcess server(m_dir.Path(), "5550100 2468\n");
    const int client = qp::test::ConnectToLoopback(server.Port());
    const std::string opening = "login: 5550100\r\npass: 2468\r\n\r\nfax2\r\nto: 5551234567\r\n"
                                "content-length: 1000\r\n\r\n" +
                                std::string("II*\0partial", 11);
    ::send(client, opening.data(), opening.size(), MSG_NOSIGNAL);
    EXPECT_EQ(ReadBlock(client), "success: logged in\r\n\r\n");
    EXPECT_EQ(ReadBlock(client), "success: send 1000 bytes\r\n\r\n");

    EXPECT_EQ(server.Stop(), 0);
    EXPECT_EQ(server.Log().back(), "stopped");
    EXPECT_TRUE(server.Stored(".tif").empty());
    ::close(client);
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
    const std::string loggedIn = "success: logged in\r\n\r\n";
    const std::string accepted = "success: send data\r\n\r\n";
    const std::string lost = "Lost the connection to the fax server: ";
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
        std::string message; // the whole message, or its beginning when it ends in ": "
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
        {"hangs up instead of reading the image",
         {loggedIn, accepted},
         [](int) { return true; },
         false,
         lost},
        {"reads the image", {loggedIn, accepted}, ReadAllUntilHangUp, true, ""},
        {"reads the image and keeps silent", {loggedIn, accepted}, silentAfterTheImage, true, ""},
        {"reads the image and cannot store it",
         {loggedIn, accepted},
         [](int fd) {
             ReadAllUntilHangUp(fd);
             const std::string notStored = "error: could not store the fax\r\n\r\n";
             return ::send(fd, notStored.data(), notStored.size(), MSG_NOSIGNAL) > 0;
         },
         false,
         "Fax upload failed: error: could not store the fax"},
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
        m_messages.Clear();
        EXPECT_EQ(Upload(impatient), behaviour.uploaded) << behaviour.name;
        clientReturned = true;
        listener.Join();
        EXPECT_TRUE(clientHungUp) << behaviour.name;
        const std::vector<std::string> texts = m_messages.Texts();
        if (behaviour.message.empty()) {
            EXPECT_TRUE(texts.empty()) << behaviour.name;
            continue;
        }
        ASSERT_EQ(texts.size(), 1u) << behaviour.name;
        const bool prefixOnly = behaviour.message.ends_with(": ");
        const std::string first = qp::test::FirstLines(texts)[0];
        EXPECT_EQ(prefixOnly ? first.substr(0, behaviour.message.size()) : first, behaviour.message)
            << behaviour.name;
    }
}
