// The channel between later starts of the program and the user's running client: requests go
// through and back, strangers and hostile peers are turned away without stalling it, a socket
// left by an ended client is replaced only by the lock's holder, and a folder too deep for a
// socket's address still has a channel.
#include "platform/ClientChannel.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using qp::ChannelAddress;
using qp::ChannelRequest;
using qp::HandOver;

// The client side blocks, so it runs beside the event loop that serves it.
template <typename Work> auto WhileServing(Work work) {
    auto done = std::async(std::launch::async, work);
    while (done.wait_for(5ms) != std::future_status::ready)
        QCoreApplication::processEvents();
    return done.get();
}

// A socket file that nobody listens on any more, as a killed client leaves it.
void LeaveStaleSocket(const std::string& path) {
    const qp::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
}

// A raw connection to the server, for requests no program of ours would send.
qp::UniqueFd RawConnection(const std::string& path) {
    qp::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Everything the server sends until it closes the connection.
std::string ReadToEnd(int fd) {
    return WhileServing([fd] {
        std::string text;
        char buffer[256];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    });
}

class ClientChannelTest : public ::testing::Test {
protected:
    ChannelAddress Address(const std::string& folder) const {
        return qp::UserChannelAddress(
            qp::LockFolders{m_root.File("run"), folder, ::geteuid(), "desk"});
    }

    qp::ChannelServer::Handler Recording(bool take = true) {
        return [this, take](const ChannelRequest& request) {
            m_taken.push_back(request);
            return take;
        };
    }

    qp::test::TempDir m_root;
    std::vector<ChannelRequest> m_taken;
};

TEST_F(ClientChannelTest, EachRequestReachesTheClientWithTheDesktopsTokensAndItsAnswerComesBack) {
    const ChannelAddress address = Address(m_root.Path());
    EXPECT_EQ(address.path, m_root.File("quillpost-desk.sock"));
    bool take = true;
    qp::ChannelServer server(address, [&](const ChannelRequest& request) {
        m_taken.push_back(request);
        return take;
    });
    ASSERT_TRUE(server.Listening());
    EXPECT_EQ(server.ListeningOn(), address.path);

    const ChannelRequest requests[] = {
        {"show", "", "desk-startup_TIME42", ""},
        {"log", "", "", "wl-token-1"},
        {"cover", "", "id", "token"},
        {"queue", "20261207-1", "", ""},
    };
    for (const ChannelRequest& request : requests) {
        SCOPED_TRACE(request.command);
        m_taken.clear();
        EXPECT_EQ(WhileServing([&] { return qp::SendRequest(address, request); }), HandOver::Taken);
        ASSERT_EQ(m_taken.size(), 1u);
        EXPECT_EQ(m_taken[0], request);
    }
    take = false;
    EXPECT_EQ(WhileServing([&] { return qp::SendRequest(address, requests[0]); }),
              HandOver::Declined);
}

TEST_F(ClientChannelTest, ALineBreakingFieldCannotSmuggleASecondFieldOrRequest) {
    const ChannelRequest sly{"queue", "1\tactivation-token=x\nshow", "", ""};
    const std::string line = qp::FormatRequest(sly);
    EXPECT_EQ(line, "queue\tjob=1activation-token=xshow\n");
    const std::optional<ChannelRequest> parsed = qp::ParseRequest(line.substr(0, line.size() - 1));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->job, "1activation-token=xshow");
    EXPECT_TRUE(parsed->activationToken.empty());
    for (const char* notARequest : {"", "Show", "show\tcolour=red", "sh ow", "show\tjob"})
        EXPECT_FALSE(qp::ParseRequest(notARequest)) << notARequest;
}

TEST_F(ClientChannelTest, ASocketLeftByAnEndedClientIsReplacedOnlyByTheLocksHolder) {
    const ChannelAddress address = Address(m_root.Path());
    LeaveStaleSocket(address.path);
    // A later start finds nobody and leaves the file alone: it does not hold the lock.
    EXPECT_EQ(qp::SendRequest(address, {"show", "", "", ""}), HandOver::NoClient);
    struct stat st {};
    ASSERT_EQ(::lstat(address.path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));

    {
        qp::ChannelServer holder(address, Recording());
        EXPECT_EQ(holder.ListeningOn(), address.path);
        EXPECT_EQ(WhileServing([&] {
                      return qp::SendRequest(address, {"log", "", "", ""});
                  }),
                  HandOver::Taken);
        ASSERT_EQ(::lstat(address.path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_NE(::lstat(address.path.c_str(), &st), 0) << "the holder takes its socket away";

    // What is not a socket is never removed: the holder listens elsewhere.
    qp::test::WriteFile(address.path, "keep");
    qp::ChannelServer holder(address, Recording());
    EXPECT_EQ(holder.ListeningOn(), "@" + address.abstractName);
    EXPECT_EQ(qp::test::ReadFile(address.path), "keep");
    EXPECT_EQ(WhileServing([&] {
                  return qp::SendRequest(address, {"log", "", "", ""});
              }),
              HandOver::Taken);
}

TEST_F(ClientChannelTest, AFolderTooDeepForASocketAddressStillHasAChannel) {
    const std::string deep = m_root.File(std::string(120, 'd'));
    const ChannelAddress address = Address(deep);
    EXPECT_GE(address.path.size(), sizeof(sockaddr_un::sun_path));
    EXPECT_NE(address.abstractName, Address(m_root.Path()).abstractName);
    qp::ChannelServer server(address, Recording());
    EXPECT_EQ(server.ListeningOn(), "@" + address.abstractName);
    EXPECT_EQ(WhileServing([&] {
                  return qp::SendRequest(address, {"contacts", "", "", ""});
              }),
              HandOver::Taken);
    ASSERT_EQ(m_taken.size(), 1u);
}

TEST_F(ClientChannelTest, AnotherUserIsTurnedAwayInBothDirections) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can start a process of another user";
    // The abstract name has no file permissions to keep strangers out: the uid checks must.
    const ChannelAddress address = Address(m_root.File(std::string(120, 'd')));
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    address.abstractName.copy(name.sun_path + 1, sizeof name.sun_path - 2);
    const auto size =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + address.abstractName.size());
    const auto* any = reinterpret_cast<const sockaddr*>(&name);
    {
        qp::ChannelServer server(address, Recording());
        const int child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(100);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::connect(fd, any, size) != 0 || ::send(fd, "show\n", 5, 0) != 5)
                ::_exit(101);
            char byte;
            // What the stranger was answered is its exit code: 0 for nothing.
            ::_exit(::recv(fd, &byte, 1, 0) > 0 ? 1 : 0);
        }
        const int status = WhileServing([child] {
            int result = 0;
            ::waitpid(child, &result, 0);
            return result;
        });
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the stranger was answered";
        EXPECT_TRUE(m_taken.empty());
    }

    // A stranger listening under the user's name hears nothing.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const int squatter = ::fork();
    if (squatter == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(fd, any, size) != 0 || ::listen(fd, 1) != 0)
            ::_exit(101);
        [[maybe_unused]] const ssize_t told = ::write(ready[1], "r", 1);
        const int peer = ::accept(fd, nullptr, nullptr);
        char byte;
        ::_exit(::recv(peer, &byte, 1, 0) > 0 ? 1 : 0);
    }
    ::close(ready[1]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(qp::SendRequest(address, {"show", "", "", "secret"}, 5s), HandOver::Failed);
    int status = 0;
    ::waitpid(squatter, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the stranger heard the request";
}

TEST_F(ClientChannelTest, OversizedOrNeverEndingRequestsDoNotStallTheClient) {
    const ChannelAddress address = Address(m_root.Path());
    qp::ChannelServer server(address, Recording(), 300ms);

    const qp::UniqueFd silent = RawConnection(address.path);
    ASSERT_EQ(::send(silent.Get(), "show", 4, 0), 4);
    const qp::UniqueFd flood = RawConnection(address.path);
    const std::string endless(qp::kMaxChannelRequest + 100, 'x');
    ASSERT_EQ(::send(flood.Get(), endless.data(), endless.size(), 0),
              static_cast<ssize_t>(endless.size()));

    // While both are open, a proper request is served.
    EXPECT_EQ(WhileServing([&] {
                  return qp::SendRequest(address, {"log", "", "", ""});
              }),
              HandOver::Taken);
    EXPECT_EQ(ReadToEnd(flood.Get()), "invalid\n");
    EXPECT_EQ(ReadToEnd(silent.Get()), "") << "closed once its time is up";
    ASSERT_EQ(m_taken.size(), 1u);
    EXPECT_EQ(m_taken[0].command, "log");
}

TEST_F(ClientChannelTest, AStartWaitsForAClientStillStartingOnlyUpToItsPatience) {
    const ChannelAddress address = Address(m_root.Path());
    qp::test::FakeClock clock;
    EXPECT_EQ(qp::SendRequestPatiently(address, {"show", "", "", ""}, clock, 10s),
              HandOver::NoClient);
    const std::vector<int> sleeps = clock.Sleeps();
    ASSERT_FALSE(sleeps.empty());
    int slept = 0;
    for (const int ms : sleeps)
        slept += ms;
    EXPECT_GE(slept, 10000);
    EXPECT_LT(slept, 10000 + sleeps.back() + 1);
}

} // namespace
