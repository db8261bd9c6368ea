#pragma once

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace qp {

// Owns a file descriptor and closes it at the end of the scope. Header-only and libc-only.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = other.Release();
        }
        return *this;
    }

    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }
    // The close of a written file can be where a full disk shows: 0 or its errno.
    int Close() {
        const int result = ::close(std::exchange(m_fd, -1));
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

} // namespace qp
