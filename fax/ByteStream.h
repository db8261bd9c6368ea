#pragma once

#include <cstddef>
#include <memory>
#include <stop_token>
#include <string>

namespace qp {

enum class IoStatus {
    Ok,       // bytes moved
    Closed,   // the peer ended the stream: nothing more to read
    TimedOut, // the peer stayed silent for longer than we wait
    Failed    // the system reported an error (`error` holds errno)
};

struct IoResult {
    IoStatus status = IoStatus::Ok;
    std::size_t bytes = 0;
    int error = 0;
    bool Ok() const { return status == IoStatus::Ok; }
};

// A connection as far as the upload needs it: read what has arrived, write everything.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Waits for at least one byte and returns up to `capacity` of them.
    virtual IoResult Read(char* buffer, std::size_t capacity) = 0;
    // Hands over all `size` bytes, or fails.
    virtual IoResult Write(const char* data, std::size_t size) = 0;
    // The reads from now on make up one reply: however the peer spaces its bytes out, together
    // they must arrive within the stream's reply limit.
    virtual void StartReply() = 0;
    // Returns once the peer has received everything written, or fails when it hung up or reset
    // the connection first, or stayed silent for too long.
    virtual IoResult Drain() = 0;
    // Tells the peer that nothing more follows (our sending side is shut) and starts the wait for
    // its last word: what it still says must arrive within the stream's outcome limit.
    virtual IoResult EndSending() { return {}; }
    // Callable from another thread: ends the connection, so that a read or write waiting on it
    // returns at once and every later one fails.
    virtual void Abort() {}
};

// Opening a connection, in the two steps whose failures the user is told apart.
enum class ConnectStep { Socket, Lookup, Connect };

struct Connection {
    std::unique_ptr<ByteStream> stream; // null when the connection could not be made
    ConnectStep failedAt = ConnectStep::Connect;
    int error = 0; // errno of the failure
};

class Connector {
public:
    virtual ~Connector() = default;
    virtual Connection Connect(const std::string& host, int port) = 0;
    // The same, broken off (error ECANCELED) when `stop` is requested while it waits, by a
    // connector whose waits can be cut short.
    virtual Connection ConnectUnlessStopped(const std::string& host, int port,
                                            std::stop_token /*stop*/) {
        return Connect(host, port);
    }
};

} // namespace qp
