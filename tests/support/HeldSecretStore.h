#pragma once

#include "platform/SecretStore.h"

#include <deque>
#include <string>
#include <utility>

namespace qp::test {

// A keyring that answers when the test says so: operations wait in `asked` ("read", "write PIN",
// "remove") until AnswerNext answers the oldest.
class HeldSecretStore final : public SecretStore {
public:
    std::deque<std::pair<std::string, SecretAnswer>> asked;

    void Read(SecretAnswer done) override { asked.emplace_back("read", std::move(done)); }
    void Write(const std::string& pin, SecretAnswer done) override {
        asked.emplace_back("write " + pin, std::move(done));
    }
    void Remove(SecretAnswer done) override { asked.emplace_back("remove", std::move(done)); }

    void AnswerNext(const SecretOutcome& outcome) {
        SecretAnswer done = std::move(asked.front().second);
        asked.pop_front();
        done(outcome);
    }
};

} // namespace qp::test
