#pragma once

// A fax server connection that costs nothing, so that a benchmark measures the client's own work:
// every reply is a success, every write is taken at once.
#include "bench/BenchImage.h"
#include "fax/ByteStream.h"

#include <algorithm>
#include <memory>
#include <string>

namespace qp::bench {

class SinkStream final : public ByteStream {
public:
    IoResult Read(char* buffer, std::size_t capacity) override {
        // Each server turn is one success line followed by the empty line that ends the reply.
        static const std::string reply = "success: ok\r\n\r\n";
        std::size_t n = std::min(capacity, reply.size());
        reply.copy(buffer, n);
        return {IoStatus::Ok, n, 0};
    }
    IoResult Write(const char*, std::size_t size) override {
        written += size;
        ++writes;
        return {IoStatus::Ok, size, 0};
    }
    void StartReply() override {}
    IoResult Drain() override { return {}; }
    std::size_t written = 0;
    std::size_t writes = 0;
};

class SinkConnector final : public Connector {
public:
    Connection Connect(const std::string&, int) override {
        Connection connection;
        connection.stream = std::make_unique<SinkStream>();
        return connection;
    }
};

} // namespace qp::bench
