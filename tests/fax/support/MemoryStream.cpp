#include "tests/fax/support/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace qp::test {

std::string MemoryStreamScript::Written() const {
    std::string all;
    for (const std::string& write : writes)
        all += write;
    return all;
}

IoResult MemoryStream::Read(char* buffer, std::size_t capacity) {
    MemoryStreamScript& s = *m_script;
    if (s.aborted)
        return {IoStatus::Closed, 0, 0};
    if (s.position >= s.incoming.size())
        return {s.afterIncoming, 0, s.readError};
    std::size_t take = std::min(capacity, s.incoming.size() - s.position);
    if (s.readChunk != 0)
        take = std::min(take, s.readChunk);
    std::memcpy(buffer, s.incoming.data() + s.position, take);
    s.position += take;
    return {IoStatus::Ok, take, 0};
}

IoResult MemoryStream::Write(const char* data, std::size_t size) {
    MemoryStreamScript& s = *m_script;
    if (s.failWriteNumber != 0 && static_cast<int>(s.writes.size()) + 1 == s.failWriteNumber)
        return {IoStatus::Failed, 0, s.writeError};
    s.writes.emplace_back(data, size);
    return {IoStatus::Ok, size, 0};
}

IoResult MemoryStream::EndSending() {
    MemoryStreamScript& s = *m_script;
    s.sendingEnded = true;
    s.incoming += s.verdict;
    if (s.onEndSending)
        s.onEndSending();
    return {};
}

Connection MemoryConnector::Connect(const std::string& requestedHost, int requestedPort) {
    ++connects;
    host = requestedHost;
    port = requestedPort;
    if (onConnect)
        onConnect();
    Connection connection;
    if (failSocket) {
        connection.failedAt = ConnectStep::Socket;
        connection.error = 24;
        return connection;
    }
    if (connectError != 0) {
        connection.failedAt = ConnectStep::Connect;
        connection.error = connectError;
        return connection;
    }
    connection.stream = std::make_unique<MemoryStream>(script);
    return connection;
}

} // namespace qp::test
