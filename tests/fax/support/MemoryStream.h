#pragma once

#include "fax/ByteStream.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qp::test {

// A connection whose server side is a script: what it sends is fixed in advance, what the client
// writes is recorded call by call.
struct MemoryStreamScript {
    std::string incoming;                      // bytes the server sends, in order
    std::size_t readChunk = 0;                 // at most this many bytes per read (0: no limit)
    IoStatus afterIncoming = IoStatus::Closed; // what a read sees once `incoming` is used up
    int readError = 0;                         // errno for Failed or TimedOut
    int failWriteNumber = 0;                   // the n-th write (1-based) fails; 0: none fails
    int writeError = 0;
    IoStatus drainStatus = IoStatus::Ok; // whether the server received every byte written
    int drainError = 0;
    std::vector<std::string> writes; // every write call's bytes
    std::size_t position = 0;
    // What the server says once the client has ended its sending side, and not before.
    std::string verdict;
    std::function<void()> onEndSending;
    bool sendingEnded = false;
    bool aborted = false; // reads see the end of the stream from then on

    std::string Written() const;
};

class MemoryStream final : public ByteStream {
public:
    explicit MemoryStream(std::shared_ptr<MemoryStreamScript> script)
        : m_script(std::move(script)) {}
    IoResult Read(char* buffer, std::size_t capacity) override;
    IoResult Write(const char* data, std::size_t size) override;
    void StartReply() override {}
    IoResult Drain() override { return {m_script->drainStatus, 0, m_script->drainError}; }
    IoResult EndSending() override;
    void Abort() override { m_script->aborted = true; }

private:
    std::shared_ptr<MemoryStreamScript> m_script;
};

// Hands out one scripted stream, or fails the way a socket or connect would.
class MemoryConnector final : public Connector {
public:
    std::shared_ptr<MemoryStreamScript> script = std::make_shared<MemoryStreamScript>();
    bool failSocket = false;
    int connectError = 0; // non-zero: the connect fails with it
    std::function<void()> onConnect;
    int connects = 0;
    std::string host;
    int port = 0;

    Connection Connect(const std::string& host, int port) override;
};

} // namespace qp::test
