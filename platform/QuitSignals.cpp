#include "platform/QuitSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qp {
namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};
std::atomic<int> g_writeFd{-1};
// Lock-free, so the handler may set it.
std::atomic<bool> g_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);
std::array<struct sigaction, kSignals.size()> g_previous{};

// Only async-signal-safe work here: the flag, and one byte into the pipe.
void OnSignal(int number) {
    const int saved = errno;
    g_requested = true;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (const int fd = g_writeFd.load(); fd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(fd, &byte, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(std::function<void()> onSignal) : m_onSignal(std::move(onSignal)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    g_writeFd = fds[1];
    g_requested = false;
    if (QCoreApplication::instance() != nullptr) {
        m_notifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
            unsigned char bytes[64];
            while (::read(m_readFd, bytes, sizeof bytes) > 0) {
            }
            if (m_onSignal)
                m_onSignal();
        });
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

bool QuitSignals::Requested() const {
    return g_requested;
}

QuitSignals::~QuitSignals() {
    if (m_readFd < 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    m_notifier.reset();
    ::close(g_writeFd.exchange(-1));
    ::close(m_readFd);
}

} // namespace qp
