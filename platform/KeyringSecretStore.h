#pragma once

#include "platform/SecretStore.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QObject;

namespace qp {

// The PIN in the desktop's Secret Service (GNOME Keyring, KWallet, KeePassXC) through QtKeychain,
// under service "Quillpost" and key "pin". One fixed key rather than one per message box: the
// settings hold one account, and a key named after the number would leave the old PIN behind in
// the keyring whenever the number changes.
//
// Before each operation the session bus is asked (without waiting on it) whether a keyring runs
// there or can be started, so a desktop without one (a plain X session, a login over SSH) answers
// NoService rather than a failure. Operations run one after the other in the order they were
// asked for. Use the store from the thread that made it; answers stop when it is destroyed.
class KeyringSecretStore final : public SecretStore {
public:
    static constexpr const char* kService = "Quillpost";
    static constexpr const char* kKey = "pin";

    // An operation with no answer within `bound` (say, an unlock prompt no one answers) ends as
    // Failed; the keyring's own late answer is then dropped.
    explicit KeyringSecretStore(std::chrono::milliseconds bound = std::chrono::minutes(2));
    ~KeyringSecretStore() override;
    KeyringSecretStore(const KeyringSecretStore&) = delete;
    KeyringSecretStore& operator=(const KeyringSecretStore&) = delete;

    void Read(SecretAnswer done) override;
    void Write(const std::string& pin, SecretAnswer done) override;
    void Remove(SecretAnswer done) override;

private:
    enum class Operation { Read, Write, Remove };
    void Start(Operation operation, const std::string& pin, SecretAnswer done);
    void RunNext();
    void Run(Operation operation, const std::string& pin, SecretAnswer done);

    std::chrono::milliseconds m_bound;
    // Time limits, bus questions and keyring answers belong to it, and end with the store.
    std::unique_ptr<QObject> m_context;
    // A write must not overtake the read or write asked for before it.
    std::deque<std::function<void()>> m_waiting;
    bool m_running = false;
};

} // namespace qp
