#pragma once

#include <optional>
#include <string>

namespace qp {

// The user's runtime folder: $XDG_RUNTIME_DIR, else /run/user/<uid> when it exists.
std::optional<std::string> UserRuntimeFolder();

// A lock that one process of a user holds at a time, kept in the user's runtime folder and given
// up when the object goes (or the process ends, however it ends).
class InstanceLock {
public:
    explicit InstanceLock(std::string name) : m_name(std::move(name)) {}
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False only when another process holds the lock; without a runtime folder nothing can be
    // told, and the caller goes on.
    bool TryAcquire();

private:
    std::string m_name;
    int m_fd = -1;
};

} // namespace qp
