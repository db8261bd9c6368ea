#pragma once

#include "fax/ByteStream.h"

#include <string>
#include <vector>

namespace qp {

inline constexpr std::size_t kStreamBufferSize = 4096;

// Collects small writes so that the connection sees writes of up to the buffer's size.
class BufferedWriter {
public:
    explicit BufferedWriter(ByteStream& stream, std::size_t capacity = kStreamBufferSize);
    IoResult Write(const char* data, std::size_t size);
    IoResult Write(const std::string& text) { return Write(text.data(), text.size()); }
    IoResult Flush();

private:
    ByteStream& m_stream;
    std::size_t m_capacity;
    std::string m_pending;
};

struct LineResult {
    IoStatus status = IoStatus::Ok; // Ok: `line` holds a line; Closed: the stream ended first
    std::string line;
    int error = 0;
    // No line end came: the end of the stream ended the line, which may be our own cut.
    bool endedByStream = false;
};

// Reads lines of a server reply: a line ends at LF, or at CR together with the byte after it; a
// last line cut off by the end of the stream still counts. Every byte but the line end is kept,
// NUL included, so that a line is judged on all it says. A line not finished when the stream
// times out or fails is dropped.
class LineReader {
public:
    explicit LineReader(ByteStream& stream, std::size_t capacity = kStreamBufferSize);
    LineResult ReadLine();

private:
    // The next byte, reading more when the buffer is empty.
    IoResult NextByte(char& byte);

    ByteStream& m_stream;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

struct Reply {
    IoStatus status = IoStatus::Ok; // Ok also when the stream ended the reply
    std::vector<std::string> lines;
    int error = 0;
    // The end of the stream ended the reply, not an empty line.
    bool endedByStream = false;
};

// One reply: trimmed lines up to an empty line (not kept) or the end of the stream.
Reply ReadReply(LineReader& reader);

} // namespace qp
