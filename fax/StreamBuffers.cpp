#include "fax/StreamBuffers.h"

#include "platform/TextLines.h"

#include <algorithm>

namespace qp {
namespace {

// Only the first line of a reply is judged; the caps keep a babbling server from eating memory.
constexpr std::size_t kMaxKeptLineLength = 64 * 1024;
constexpr std::size_t kMaxKeptReplyLines = 256;

} // namespace

BufferedWriter::BufferedWriter(ByteStream& stream, std::size_t capacity)
    : m_stream(stream), m_capacity(capacity) {
    m_pending.reserve(capacity);
}

IoResult BufferedWriter::Write(const char* data, std::size_t size) {
    IoResult result;
    while (size > 0) {
        if (m_pending.size() == m_capacity) {
            result = Flush();
            if (!result.Ok())
                return result;
        }
        const std::size_t take = std::min(size, m_capacity - m_pending.size());
        m_pending.append(data, take);
        data += take;
        size -= take;
    }
    return result;
}

IoResult BufferedWriter::Flush() {
    if (m_pending.empty())
        return {};
    IoResult result = m_stream.Write(m_pending.data(), m_pending.size());
    m_pending.clear();
    return result;
}

LineReader::LineReader(ByteStream& stream, std::size_t capacity)
    : m_stream(stream), m_buffer(capacity) {}

IoResult LineReader::NextByte(char& byte) {
    if (m_begin == m_end) {
        IoResult result = m_stream.Read(m_buffer.data(), m_buffer.size());
        if (!result.Ok())
            return result;
        m_begin = 0;
        m_end = result.bytes;
    }
    byte = m_buffer[m_begin++];
    return {IoStatus::Ok, 1, 0};
}

LineResult LineReader::ReadLine() {
    LineResult result;
    bool any = false;
    for (;;) {
        char byte = 0;
        IoResult read = NextByte(byte);
        if (read.status == IoStatus::Closed) {
            if (!any)
                result.status = IoStatus::Closed;
            result.endedByStream = true;
            return result;
        }
        if (!read.Ok())
            return {read.status, {}, read.error};
        any = true;
        if (byte == '\n')
            return result;
        if (byte == '\r') {
            char following = 0;
            read = NextByte(following); // belongs to the line end, whatever it is
            if (read.Ok() || read.status == IoStatus::Closed)
                return result;
            return {read.status, {}, read.error};
        }
        if (result.line.size() < kMaxKeptLineLength)
            result.line += byte;
    }
}

Reply ReadReply(LineReader& reader) {
    Reply reply;
    for (;;) {
        LineResult line = reader.ReadLine();
        reply.endedByStream = line.endedByStream;
        if (line.status == IoStatus::Closed)
            return reply;
        if (line.status != IoStatus::Ok) {
            reply.status = line.status;
            reply.error = line.error;
            return reply;
        }
        std::string trimmed = TrimBlanks(line.line);
        if (trimmed.empty())
            return reply;
        if (reply.lines.size() < kMaxKeptReplyLines)
            reply.lines.push_back(std::move(trimmed));
    }
}

} // namespace qp
