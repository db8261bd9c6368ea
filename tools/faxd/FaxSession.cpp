#include "tools/faxd/FaxSession.h"

#include "tools/faxd/ClientText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qp::faxd {
namespace {

enum class ReadOutcome { Ok, Closed, Failed };

// A locked-out pair hears the same as a wrong PIN, so the lock tells a guesser nothing.
constexpr const char* kLoginRefused = "error: invalid message box number or PIN";

// Reads the client's lines (CR LF, or a bare LF) and then the raw image through one buffer.
class SessionReader {
public:
    SessionReader(int fd, int idleTimeoutMs) : m_fd(fd), m_idleTimeoutMs(idleTimeoutMs) {}

    // Whatever is read from now on must arrive within `limitMs`.
    void LimitTo(int limitMs) { m_deadline = Clock::now() + std::chrono::milliseconds(limitMs); }
    // The first line, when none has been read yet, must arrive within `limitMs`.
    void LimitFirstLineTo(int limitMs) {
        m_firstLineDeadline = Clock::now() + std::chrono::milliseconds(limitMs);
    }

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
                m_firstLineDeadline = Clock::time_point::max();
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
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                                  std::min(m_deadline, m_firstLineDeadline) - Clock::now())
                                  .count();
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
    Clock::time_point m_firstLineDeadline = Clock::time_point::max();
    std::vector<char> m_buffer = std::vector<char>(65536);
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

bool SendAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Every reply is one line closed by an empty line, as clients read replies up to that.
bool Reply(int fd, const std::string& line) {
    return SendAll(fd, line + "\r\n\r\n");
}

std::string Trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
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
        if (Trim(line).empty())
            return true;
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos)
            fields[Lower(Trim(line.substr(0, colon)))] = Trim(line.substr(colon + 1));
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

// Receives the image into a private file; the path of the complete file, or empty.
std::string ReceiveImage(SessionReader& reader, const SessionContext& context, std::uint64_t length,
                         bool& isTiff) {
    std::string path;
    const int fd = context.outbox.CreateIncoming(path);
    if (fd < 0)
        return {};
    std::vector<char> block(65536);
    std::uint64_t received = 0;
    char signature[4] = {};
    bool ok = true;
    while (ok && received < length) {
        std::size_t got = 0;
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), length - received));
        if (reader.ReadSome(block.data(), want, got) != ReadOutcome::Ok) {
            ok = false;
            break;
        }
        for (std::size_t i = 0; i < got && received + i < sizeof signature; ++i)
            signature[received + i] = block[i];
        for (std::size_t done = 0; ok && done < got;) {
            const ssize_t n = ::write(fd, block.data() + done, got - done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok)
                done += static_cast<std::size_t>(n);
        }
        received += got;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(path.c_str());
        return {};
    }
    isTiff = HasTiffSignature(
        signature, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof signature, received)));
    return path;
}

// Checks the box and PIN; a refusal is delayed, counted and logged. False when refused.
bool LogIn(int fd, const SessionContext& context, const std::string& box, const std::string& pin) {
    const std::string who = "box=" + Printable(box) + " address=" + context.address;
    // Only real boxes are counted: names made up by the client would only fill the memory.
    const bool known = context.accounts.Has(box);
    if (known && context.logins.LockedOut(box, context.address)) {
        context.logins.DelayFailure();
        Reply(fd, kLoginRefused);
        context.log("login refused: " + who + " locked out");
        return false;
    }
    if (context.accounts.Accepts(box, pin)) {
        context.logins.RecordSuccess(box, context.address);
        return Reply(fd, "success: logged in");
    }
    const bool lockedNow = known && context.logins.RecordFailure(box, context.address);
    context.logins.DelayFailure();
    Reply(fd, kLoginRefused);
    context.log("login refused: " + who);
    if (lockedNow)
        context.log("login locked out: " + who + " for " + std::to_string(kLockoutMs / 1000) +
                    " s after " + std::to_string(kMaxFailedLogins) + " failures");
    return false;
}

} // namespace

void RunSession(int fd, const SessionContext& context) {
    SessionReader reader(fd, context.idleTimeoutMs);
    reader.LimitTo(context.headerTimeLimitMs);
    reader.LimitFirstLineTo(context.firstLineTimeLimitMs);

    std::map<std::string, std::string> login;
    if (!ReadFields(reader, login))
        return;
    FaxRecord record;
    const std::string box = Field(login, "login");
    record.box = Printable(box);
    if (!LogIn(fd, context, box, Field(login, "pass")))
        return;

    std::string command;
    if (reader.ReadLine(command) != ReadOutcome::Ok)
        return;
    std::map<std::string, std::string> header;
    if (!ReadFields(reader, header))
        return;
    if (Trim(command) != "fax2") {
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

    bool isTiff = false;
    reader.LimitTo(context.imageTimeLimitMs);
    const std::string incoming = ReceiveImage(reader, context, length, isTiff);
    if (incoming.empty()) {
        context.log("fax incomplete: " + Describe(record));
        return;
    }
    if (!isTiff) {
        ::unlink(incoming.c_str());
        context.log("fax rejected: " + Describe(record) + " not a TIFF image");
        return;
    }
    record.time = UtcTimestamp();
    const std::optional<std::string> stored = context.outbox.Store(incoming, record);
    if (!stored) {
        ::unlink(incoming.c_str());
        context.log("fax lost: " + Describe(record) + " cannot store in outbox");
        return;
    }
    context.log("fax stored: " + Describe(record) + " file=" + *stored);
}

} // namespace qp::faxd
