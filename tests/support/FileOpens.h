#pragma once

#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace qp::test {

// Tells when a program opens a file: a sign, for a client that shows nothing outside itself, that
// it has come as far as the code that reads the file. The file must exist before the watch starts.
class FileOpens {
public:
    explicit FileOpens(const std::string& file) : m_fd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        ::inotify_add_watch(m_fd, file.c_str(), IN_OPEN);
    }
    ~FileOpens() { ::close(m_fd); }
    FileOpens(const FileOpens&) = delete;
    FileOpens& operator=(const FileOpens&) = delete;

    // Bounded generously: a sign, not a measure of time.
    bool WaitForOne() const {
        pollfd read{m_fd, POLLIN, 0};
        return ::poll(&read, 1, 30000) == 1;
    }

private:
    int m_fd;
};

} // namespace qp::test
