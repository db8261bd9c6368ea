#pragma once

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace qp {

class DBusSignal;

// NetworkManager's view of the machine's connectivity, heard on the system bus: says when the
// network comes back, so that work waiting for it can try at once. Silent where there is no
// system bus or no NetworkManager on it. Nothing here waits on the bus.
class NetworkState final {
public:
    // NetworkManager's states from which a server may be reachable: the local network only,
    // the site, and the whole internet.
    static constexpr unsigned kConnectedLocal = 50;
    static constexpr unsigned kConnectedSite = 60;
    static constexpr unsigned kConnectedGlobal = 70;

    // On the system bus. `back` runs on this object's thread when connectivity rises to one of
    // the connected states, and not after this object is gone.
    explicit NetworkState(std::function<void()> back);
    // On `bus`, for a program that keeps a bus of its own.
    NetworkState(std::function<void()> back, QDBusConnection bus);
    ~NetworkState();
    NetworkState(const NetworkState&) = delete;
    NetworkState& operator=(const NetworkState&) = delete;

    // False where no NetworkManager can be heard: without a bus nothing will ever be said.
    bool Listening() const;

private:
    void Changed(unsigned state);

    std::function<void()> m_back;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<DBusSignal> m_signal;
    // The last state heard; none until NetworkManager first answered or spoke.
    std::optional<unsigned> m_state;
};

} // namespace qp
