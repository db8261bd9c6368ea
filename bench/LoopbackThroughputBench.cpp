// The upload over a real loopback connection against the plainest sender that speaks the same
// protocol: read the image in 256 KiB blocks and write each one straight to the socket. The
// "ratio" counter is the upload's throughput over the plain sender's, measured in the same run.
#include "bench/BenchImage.h"
#include "fax/Upload.h"
#include "platform/MessageBox.h"
#include "platform/Sockets.h"
#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Seconds = std::chrono::duration<double>;

constexpr std::size_t kPlainBlockSize = 256 * 1024;

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Accepts one client per round, lets it log in, takes its header and swallows the image.
class Receiver {
public:
    Receiver() : m_fd(qp::test::ListenOnLoopback(m_port)) {}
    ~Receiver() { ::close(m_fd); }
    int Port() const { return m_port; }

    // One client on a thread of its own; join it to know the whole image has arrived.
    std::thread ServeOne() {
        return std::thread([this] {
            const int client = ::accept(m_fd, nullptr, nullptr);
            qp::test::ReadBlock(client);
            const std::string loggedIn = "success: logged in\r\n\r\n";
            SendAll(client, loggedIn.data(), loggedIn.size());
            const std::string header = qp::test::ReadBlock(client);
            const std::size_t at = header.find("content-length: ");
            std::uint64_t left = std::stoull(header.substr(at + 16));
            const std::string accepted = "success: send data\r\n\r\n";
            SendAll(client, accepted.data(), accepted.size());
            std::vector<char> sink(kPlainBlockSize);
            while (left > 0) {
                const ssize_t n = ::recv(client, sink.data(), sink.size(), 0);
                if (n <= 0)
                    break;
                left -= static_cast<std::uint64_t>(n);
            }
            ::close(client);
        });
    }

private:
    int m_port = 0;
    int m_fd = -1;
};

void PlainSend(int port, const std::string& image, std::uint64_t size) {
    const int fd = qp::test::ConnectToLoopback(port);
    const std::string login = "login: 5550100\r\npass: 2468\r\n\r\n";
    SendAll(fd, login.data(), login.size());
    qp::test::ReadBlock(fd);
    const std::string header = qp::FaxHeader("5551234567", "", "", size);
    SendAll(fd, header.data(), header.size());
    qp::test::ReadBlock(fd);
    const int file = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> block(kPlainBlockSize);
    ssize_t n = 0;
    while ((n = ::read(file, block.data(), block.size())) > 0)
        SendAll(fd, block.data(), static_cast<std::size_t>(n));
    ::close(file);
    ::close(fd);
}

template <typename Send> double TimedRound(Receiver& receiver, Send send) {
    const auto start = std::chrono::steady_clock::now();
    std::thread server = receiver.ServeOne();
    send();
    server.join();
    return Seconds(std::chrono::steady_clock::now() - start).count();
}

void BM_LoopbackUploadAgainstPlainSender(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    const std::string image = qp::bench::ImageOfSize(size);
    qp::StartSockets();
    qp::StderrMessageSink sink;
    qp::ScopedMessageSink scoped(sink);
    Receiver receiver;
    const qp::AccountSettings account{"127.0.0.1", receiver.Port(), "5550100", "2468", ""};
    double uploadSeconds = 0;
    double plainSeconds = 0;
    bool plainFirst = false;
    for (auto _ : state) {
        // Taking turns at going first keeps warm caches from favouring either.
        const auto plain = [&] {
            plainSeconds += TimedRound(receiver, [&] { PlainSend(receiver.Port(), image, size); });
        };
        if (plainFirst)
            plain();
        const double upload = TimedRound(receiver, [&] {
            const bool ok =
                qp::UploadFax(account, "5551234567", "", image, [](std::uint64_t, std::uint64_t) {
                }).ok;
            if (!ok)
                state.SkipWithError("upload failed");
        });
        if (!plainFirst)
            plain();
        plainFirst = !plainFirst;
        uploadSeconds += upload;
        state.SetIterationTime(upload);
    }
    const double bytes = static_cast<double>(size) * static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["upload_MiB/s"] = bytes / uploadSeconds / (1 << 20);
    state.counters["plain_MiB/s"] = bytes / plainSeconds / (1 << 20);
    state.counters["ratio"] = plainSeconds / uploadSeconds;
    std::remove(image.c_str());
}
BENCHMARK(BM_LoopbackUploadAgainstPlainSender)
    ->Arg(16 << 20)
    ->Arg(200 << 20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
