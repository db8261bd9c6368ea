#include "platform/SecretStore.h"

#include <QEventLoop>
#include <optional>

namespace qp {

SecretOutcome AwaitSecret(const std::function<void(SecretAnswer)>& start) {
    QEventLoop loop;
    std::optional<SecretOutcome> answer;
    start([&](const SecretOutcome& outcome) {
        answer = outcome;
        loop.quit();
    });
    // The store answers exactly once, so this ends; an application quit that ends every loop of
    // the thread only starts the wait again.
    while (!answer)
        loop.exec();
    return *answer;
}

} // namespace qp
