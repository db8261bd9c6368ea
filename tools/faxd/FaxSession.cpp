#include "tools/faxd/FaxSession.h"

#include "platform/FileOps.h"
#include "platform/TextLines.h"
#include "tools/faxd/ClientText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qp::faxd {
namespace {

enum class ReadOutcome { Ok, Closed, Failed };

// An unknown box hears the same as a wrong PIN, after the same first delay.
constexpr const char* kLoginRefused = "error: invalid message box number or PIN";
constexpr const char* kNotTiffReply = "error: not a TIFF image";

// Reads the client's lines (CR LF, or a bare LF) and then the raw image through one buffer.
class SessionReader {
public:
    SessionReader(int fd, int idleTimeoutMs) : m_fd(fd), m_idleTimeoutMs(idleTimeoutMs) {}

    // Whatever is read from now on must arrive within `limitMs`.
    void LimitTo(int limitMs) { m_deadline = Clock::now() + std::chrono::milliseconds(limitMs); }

    ReadOutcome ReadLine(std::string& line) {
        line.clear();
        for (;;) {
            if (m_begin == m_end) {
                const ReadOutcome filled = Fill();
                if (filled != ReadOutcome::Ok)
                    return filled;
            }
            const char c = m_buffer[m_begin++];
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return ReadOutcome::Ok;
            }
            if (line.size() >= kMaxLineLength)
                return ReadOutcome::Failed;
            line += c;
        }
    }

    // Up to `capacity` bytes of the image, from the buffer first.
    ReadOutcome ReadSome(char* out, std::size_t capacity, std::size_t& got) {
        if (m_begin == m_end) {
            const ReadOutcome filled = Fill();
            if (filled != ReadOutcome::Ok)
                return filled;
        }
        got = std::min(capacity, m_end - m_begin);
        std::copy(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_begin),
                  m_buffer.begin() + static_cast<std::ptrdiff_t>(m_begin + got), out);
        m_begin += got;
        return ReadOutcome::Ok;
    }

private:
    using Clock = std::chrono::steady_clock;

    ReadOutcome Fill() {
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
            if (left <= 0)
                return ReadOutcome::Failed;
            pollfd entry{m_fd, POLLIN, 0};
            const int ready =
                ::poll(&entry, 1, static_cast<int>(std::min<long long>(m_idleTimeoutMs, left)));
            if (ready == 0)
                return ReadOutcome::Failed;
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return ReadOutcome::Failed;
            }
            const ssize_t n = ::recv(m_fd, m_buffer.data(), m_buffer.size(), 0);
            if (n > 0) {
                m_begin = 0;
                m_end = static_cast<std::size_t>(n);
                return ReadOutcome::Ok;
            }
            if (n == 0)
                return ReadOutcome::Closed;
            if (errno != EINTR && errno != EAGAIN)
                return ReadOutcome::Failed;
        }
    }

    int m_fd;
    int m_idleTimeoutMs;
    Clock::time_point m_deadline = Clock::time_point::max();
    std::vector<char> m_buffer = std::vector<char>(65536);
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

// A peer that has gone must not end the server with SIGPIPE.
ssize_t SendSome(int fd, const void* data, std::size_t size) {
    return ::send(fd, data, size, MSG_NOSIGNAL);
}

bool SendAll(int fd, const std::string& text) {
    return WriteAllToFd(fd, text, SendSome);
}

// Every reply is one line closed by an empty line, as clients read replies up to that.
bool Reply(int fd, const std::string& line) {
    return SendAll(fd, line + "\r\n\r\n");
}

// The word on a received fax is the last thing said: the client reads until the connection ends,
// so it ends at once rather than when the session is cleared away.
void LastReply(int fd, const std::string& line) {
    Reply(fd, line);
    ::shutdown(fd, SHUT_WR);
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "name: value" lines up to the empty line; false when the block is cut off or too long.
bool ReadFields(SessionReader& reader, std::map<std::string, std::string>& fields) {
    std::string line;
    for (std::size_t count = 0; count <= kMaxHeaderLines; ++count) {
        if (reader.ReadLine(line) != ReadOutcome::Ok)
            return false;
        if (TrimBlanks(line).empty())
            return true;
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos)
            fields[Lower(TrimBlanks(line.substr(0, colon)))] = TrimBlanks(line.substr(colon + 1));
    }
    return false;
}

std::string Field(const std::map<std::string, std::string>& fields, const std::string& name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

bool ParseLength(const std::string& text, std::uint64_t& length) {
    if (text.empty() || text.size() > 12)
        return false;
    length = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        length = length * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

std::string Describe(const FaxRecord& record) {
    return "box=" + record.box + " to=" + record.to + " size=" + std::to_string(record.size);
}

enum class Receipt { Complete, ClientGone, NotStored };

struct ReceivedImage {
    Receipt receipt = Receipt::ClientGone;
    std::string path; // the complete private file
    bool isTiff = false;
};

// Receives the image into a private file, synced to disk. When the outbox cannot take it, the
// rest is still read, so the client gets to hear that the fax was not stored.
ReceivedImage ReceiveImage(SessionReader& reader, const SessionContext& context,
                           std::uint64_t length) {
    ReceivedImage image;
    int fd = context.outbox.CreateIncoming(image.path);
    std::vector<char> block(65536);
    std::uint64_t received = 0;
    char signature[4] = {};
    bool readAll = true;
    while (received < length) {
        std::size_t got = 0;
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), length - received));
        if (reader.ReadSome(block.data(), want, got) != ReadOutcome::Ok) {
            readAll = false;
            break;
        }
        for (std::size_t i = 0; i < got && received + i < sizeof signature; ++i)
            signature[received + i] = block[i];
        if (fd >= 0 && !WriteAllToFd(fd, std::string_view(block.data(), got))) {
            ::close(fd);
            fd = -1;
        }
        received += got;
    }
    bool stored = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        stored = ::close(fd) == 0 && stored;
    if (!readAll || !stored) {
        if (!image.path.empty())
            ::unlink(image.path.c_str());
        image.path.clear();
        image.receipt = readAll ? Receipt::NotStored : Receipt::ClientGone;
        return image;
    }
    image.receipt = Receipt::Complete;
    image.isTiff = HasTiffSignature(
        signature, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof signature, received)));
    return image;
}

// Checks the box and PIN and answers. A refusal is logged and answered only after the box's
// delay; an attempt on a box whose delay is running waits for its end first. False when refused.
bool LogIn(int fd, const SessionContext& context, const std::string& box, const std::string& pin) {
    const std::string who = "box=" + Printable(box) + " address=" + context.address;
    // Only real boxes are counted: names made up by the client would only fill the memory.
    const bool known = context.accounts.Has(box);
    const int wait = known ? context.logins.WaitBeforeCheckMs(box) : 0;
    if (wait > 0 && !context.pause(fd, wait))
        return false;
    if (context.accounts.Accepts(box, pin)) {
        context.logins.RecordSuccess(box);
        if (!context.loggedIn()) {
            Reply(fd, "error: server busy, try again later");
            context.log("login refused: " + who + " all sessions busy");
            return false;
        }
        return Reply(fd, "success: logged in");
    }
    const int delay = known ? context.logins.RecordFailure(box) : kFirstFailedLoginDelayMs;
    context.log("login refused: " + who + " answered after " + std::to_string(delay / 1000) + " s");
    if (context.pause(fd, delay))
        Reply(fd, kLoginRefused);
    return false;
}

} // namespace

bool PauseOnConnection(int fd, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
                .count();
        if (left <= 0)
            return true;
        // Only a hang-up ends the wait early; bytes the client sends meanwhile stay unread.
        pollfd entry{fd, POLLRDHUP, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready > 0)
            return false;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

void RunSession(int fd, const SessionContext& context) {
    SessionReader reader(fd, context.idleTimeoutMs);
    reader.LimitTo(context.loginTimeLimitMs);

    std::map<std::string, std::string> login;
    if (!ReadFields(reader, login))
        return;
    FaxRecord record;
    const std::string box = Field(login, "login");
    record.box = Printable(box);
    if (!LogIn(fd, context, box, Field(login, "pass")))
        return;
    reader.LimitTo(context.headerTimeLimitMs);

    std::string command;
    if (reader.ReadLine(command) != ReadOutcome::Ok)
        return;
    std::map<std::string, std::string> header;
    if (!ReadFields(reader, header))
        return;
    if (TrimBlanks(command) != "fax2") {
        Reply(fd, "error: unknown command");
        return;
    }
    const std::string to = Field(header, "to");
    record.to = Printable(to);
    record.email = Printable(Field(header, "email"));
    record.notifyEmail = Printable(Field(header, "notifyemail"));
    std::uint64_t length = 0;
    if (to.empty()) {
        Reply(fd, "error: no recipient");
        context.log("fax refused: box=" + record.box + " no recipient");
        return;
    }
    if (!IsRecipient(to)) {
        Reply(fd, "error: bad recipient");
        context.log("fax refused: box=" + record.box + " to=" + record.to + " bad recipient");
        return;
    }
    if (!ParseLength(Field(header, "content-length"), length) || length > kMaxContentLength) {
        Reply(fd, "error: bad content-length");
        context.log("fax refused: box=" + record.box + " to=" + record.to + " bad content-length");
        return;
    }
    record.size = length;
    if (!Reply(fd, "success: send " + std::to_string(length) + " bytes"))
        return;

    reader.LimitTo(context.imageTimeLimitMs);
    const ReceivedImage image = ReceiveImage(reader, context, length);
    if (image.receipt == Receipt::ClientGone) {
        context.log("fax incomplete: " + Describe(record));
        return;
    }
    if (image.receipt == Receipt::Complete && !image.isTiff) {
        ::unlink(image.path.c_str());
        context.log("fax rejected: " + Describe(record) + " not a TIFF image");
        LastReply(fd, kNotTiffReply);
        return;
    }
    record.time = UtcTimestamp();
    const std::optional<std::string> stored = image.receipt == Receipt::Complete
                                                  ? context.outbox.Store(image.path, record)
                                                  : std::nullopt;
    if (!stored) {
        if (!image.path.empty())
            ::unlink(image.path.c_str());
        context.log("fax lost: " + Describe(record) + " cannot store in outbox");
        LastReply(fd, kNotStoredReply);
        return;
    }
    context.log("fax stored: " + Describe(record) + " file=" + *stored);
    LastReply(fd, kStoredReply + std::filesystem::path(*stored).filename().string());
}

} // namespace qp::faxd
