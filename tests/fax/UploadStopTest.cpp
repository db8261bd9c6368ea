// A stop request ends an upload wherever it waits. The time limits here are an hour long, so an
// upload that did not stop would hold the test until ctest gives up on it.
#include "fax/TcpConnector.h"
#include "fax/Upload.h"
#include "platform/Sockets.h"
#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <stop_token>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using qp::test::WaitUntil;

constexpr int kHourMs = 3'600'000;
constexpr int kSynSent = 0x02;
constexpr int kEstablished = 0x01;

// Whether the kernel lists a loopback TCP socket whose local (or, with `remote`, peer) port is
// `port`, in `state`, with at least `received` bytes waiting to be read.
bool SocketListed(int port, bool remote, int state, unsigned received = 0) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, peer, queues;
        int listedState = 0;
        fields >> slot >> local >> peer >> std::hex >> listedState >> queues;
        const std::string& address = remote ? peer : local;
        const int listedPort = std::stoi(address.substr(address.find(':') + 1), nullptr, 16);
        const unsigned rxQueue =
            static_cast<unsigned>(std::stoul(queues.substr(queues.find(':') + 1), nullptr, 16));
        if (listedPort == port && listedState == state && rxQueue >= received)
            return true;
    }
    return false;
}

// A loopback listener that never accepts: with a backlog of 0 its queue holds one connection, and
// the handshake of the next one is left unanswered.
struct SilentListener {
    SilentListener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            ::listen(fd, 0) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
            throw std::runtime_error("cannot listen on loopback");
        port = ntohs(local.sin_port);
    }
    // Takes the one place in the queue.
    void Fill() {
        filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        peer.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::connect(filler, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0)
            throw std::runtime_error("cannot fill the queue");
    }
    ~SilentListener() {
        if (filler >= 0)
            ::close(filler);
        ::close(fd);
    }
    int fd = -1;
    int filler = -1;
    int port = 0;
};

} // namespace

TEST(UploadStop, AStopRequestEndsTheWaitForTheHandshakeAndForTheLoginReply) {
    qp::StartSockets();
    qp::test::TempDir dir;
    const std::string image = dir.File("fax.tif");
    qp::test::WriteFile(image, std::string("II*\0", 4) + std::string(4096, 'x'));
    qp::test::RecordingMessageSink messages;
    qp::ScopedMessageSink sink(messages);
    qp::TcpConnector connector({kHourMs, kHourMs});

    for (const bool handshake : {true, false}) {
        SCOPED_TRACE(handshake ? "handshake" : "login reply");
        SilentListener server;
        if (handshake)
            server.Fill();
        std::stop_source stop;
        bool uploaded = true;
        std::thread upload([&] {
            uploaded = qp::UploadFax({"127.0.0.1", server.port, "5550100", "2468", ""},
                                     "5551234567", "", image, nullptr, connector, stop.get_token());
        });
        // The upload waits: its handshake is listed unanswered, or its login lies unread.
        EXPECT_TRUE(WaitUntil([&] {
            return handshake ? SocketListed(server.port, true, kSynSent)
                             : SocketListed(server.port, false, kEstablished, 1);
        }));
        stop.request_stop();
        upload.join();
        EXPECT_FALSE(uploaded);
    }
}
