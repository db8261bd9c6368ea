#include "fax/Upload.h"

#include "fax/StreamBuffers.h"
#include "platform/FileOps.h"
#include "platform/OutsideText.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace qp {
namespace {

constexpr const char* kSuccessMark = "success:";
constexpr const char* kBusyMark = "error: server busy";

bool Accepted(const Reply& reply) {
    return !reply.lines.empty() && reply.lines.front().find(kSuccessMark) != std::string::npos;
}

bool Begins(const Reply& reply, const char* mark) {
    return !reply.lines.empty() && reply.lines.front().starts_with(mark);
}

bool ContainsAt(const std::string& address) {
    return address.find('@') != std::string::npos;
}

Outcome FileError(const std::string& imagePath) {
    return Outcome::Failure("Error accessing fax file: " + imagePath);
}

// The server as the user named it, for the line that says where a failure happened.
struct Peer {
    std::string host;
    int port = 0;

    std::string Where() const {
        return "(" + ShownAsText(host) + ", port " + std::to_string(port) + ")";
    }
};

// A message with its number, and below it the system's words for the number and where it
// happened: "Could not connect to fax server: 111" + "Connection refused (host, port 7541)".
Outcome Explained(const std::string& message, int error, const Peer& peer,
                  FailureKind kind = FailureKind::CannotConnect) {
    return Outcome::Failure(
        message + std::to_string(error) + "\n" + std::strerror(error) + " " + peer.Where(), kind);
}

// Silence longer than a phase waits for is not a refusal of any kind: it says so, with the limit.
Outcome NoAnswerWithin(int limitMs, const Peer& peer) {
    return Outcome::Failure("The fax server did not answer within " +
                                std::to_string(limitMs / 1000) + " seconds.\n" + peer.Where(),
                            FailureKind::TimedOut);
}

// A connection that breaks or stalls after it was opened.
Outcome ConnectionLost(const Peer& peer, const IoResult& result) {
    if (result.status == IoStatus::TimedOut)
        return NoAnswerWithin(kReplyTimeoutMs, peer);
    return Explained("Lost the connection to the fax server: ", result.error, peer);
}

// A reply that never came: the server closed without a word.
Outcome NoResponse(const Peer& peer) {
    return Outcome::Failure("Did not receive a response to the fax upload.\n" + peer.Where(),
                            FailureKind::CannotConnect);
}

// The server had every byte of the fax but never said whether it kept it: sending it again could
// deliver it twice, so it counts as sent, with a warning.
Outcome NotConfirmed(const Peer& peer) {
    return Outcome::Unconfirmed("The fax was sent, but the fax server did not confirm that it "
                                "received it.\n" +
                                peer.Where());
}

// Why the login did not let us in: a server that is full, one that hung up without a word, or a
// refused message box number or PIN.
Outcome LoginRefused(const Reply& reply, const Peer& peer) {
    if (Begins(reply, kBusyMark))
        return Outcome::Failure("The fax server is busy. Please try again later.\n" + peer.Where(),
                                FailureKind::Busy);
    // A server going down hangs up on everyone: that is no word on this account.
    if (reply.lines.empty() && reply.endedByStream)
        return Outcome::Failure(
            "The fax server closed the connection before answering the login.\n" + peer.Where(),
            FailureKind::CannotConnect);
    return Outcome::Failure("Login failed due to an invalid username or password.\r\n\r\nPlease "
                            "check your login and password in the configuration.",
                            FailureKind::Refused);
}

// A value with a line break would end its protocol line early and let the rest pass for lines
// of its own, such as a second recipient; the name of the first such value, or nothing.
const char* ValueWithLineBreak(const AccountSettings& account, const std::string& email) {
    const std::pair<const char*, const std::string*> values[] = {
        {"message box number", &account.login},
        {"PIN", &account.pin},
        {"e-mail address", &email},
        {"notification e-mail address", &account.notifyEmail},
    };
    for (const auto& [name, value] : values) {
        if (value->find_first_of("\r\n") != std::string::npos)
            return name;
    }
    return nullptr;
}

// One reply, which has to be complete within the connection's reply limit.
Reply AwaitReply(ByteStream& stream, LineReader& reader) {
    stream.StartReply();
    return ReadReply(reader);
}

// The server's word once it has the whole image, on the first line it says: a line that begins
// with "success:" is success, any other line fails the upload with that line. A server that
// closes without a byte is one that never answers here, and it took the fax. Anything else (a
// line not finished in time, silence, a broken connection, a stop) leaves the fax sent but not
// confirmed: every byte had arrived.
Outcome AwaitVerdict(ByteStream& stream, LineReader& reader, const Peer& peer,
                     const std::stop_token& stop) {
    if (!stream.EndSending().Ok())
        return NotConfirmed(peer);
    const LineResult first = reader.ReadLine();
    // A stop cuts the connection, which looks like the server closing it: a line only the end of
    // the stream ended may be our own cut.
    const bool cut = stop.stop_requested() && first.endedByStream;
    if (first.status == IoStatus::Ok && !cut) {
        const std::string line = TrimBlanks(first.line);
        if (line.starts_with(kSuccessMark))
            return Outcome::Answered(ShownAsText(line));
        // The server had the whole fax and could not keep it: it may manage later.
        if (!line.empty())
            return Outcome::Failure("Fax upload failed: " + ShownAsText(line),
                                    FailureKind::NotStored);
    }
    if (first.status == IoStatus::Closed && !stop.stop_requested())
        return Outcome::Success();
    return NotConfirmed(peer);
}

Outcome SendImage(std::ifstream& image, std::uint64_t size, ByteStream& stream,
                  const std::string& imagePath, const UploadProgress& progress, const Peer& peer) {
    std::vector<char> block(kImageBlockSize);
    std::uint64_t total = 0;
    // Exactly the announced length goes out: a file that changed in between must not make the
    // server read into the next fax or wait for bytes that never come.
    while (total < size) {
        const std::uint64_t want = std::min<std::uint64_t>(block.size(), size - total);
        image.read(block.data(), static_cast<std::streamsize>(want));
        if (static_cast<std::uint64_t>(image.gcount()) != want) {
            return FileError(imagePath);
        }
        const IoResult written = stream.Write(block.data(), static_cast<std::size_t>(want));
        if (!written.Ok())
            return ConnectionLost(peer, written);
        const std::uint64_t end = total + want;
        while (total < end) {
            total = std::min<std::uint64_t>(total + kProgressStep, end);
            // The whole size is told only once the server has it all, below.
            if (progress && total < size)
                progress(total, size);
        }
    }
    // A server may take the header and then hang up without reading; a small image fits in the
    // socket buffers, so only the peer's receipt of every byte tells that it arrived.
    const IoResult drained = stream.Drain();
    if (!drained.Ok())
        return ConnectionLost(peer, drained);
    if (progress && size > 0)
        progress(size, size);
    return Outcome::Success();
}

// The exchange on an open connection, from the login block to the server's word on the fax.
Outcome Deliver(ByteStream& stream, const AccountSettings& account, const std::string& number,
                const std::string& email, const std::string& imagePath, std::uint64_t size,
                const UploadProgress& progress, const std::stop_token& stop) {
    const Peer peer{account.host, account.port};
    BufferedWriter writer(stream);
    LineReader reader(stream);

    IoResult written =
        writer.Write("login: " + account.login + "\r\n" + "pass: " + account.pin + "\r\n" + "\r\n");
    if (written.Ok())
        written = writer.Flush();
    if (!written.Ok())
        return ConnectionLost(peer, written);

    Reply reply = AwaitReply(stream, reader);
    if (reply.status == IoStatus::Failed)
        return ConnectionLost(peer, {reply.status, 0, reply.error});
    // A server that never finishes its reply is silent, which says nothing about the login.
    if (reply.status == IoStatus::TimedOut)
        return NoAnswerWithin(kReplyTimeoutMs, peer);
    if (!Accepted(reply) || Begins(reply, kBusyMark))
        return LoginRefused(reply, peer);

    written = writer.Write(FaxHeader(number, email, account.notifyEmail, size));
    if (written.Ok())
        written = writer.Flush();
    if (!written.Ok())
        return ConnectionLost(peer, written);

    reply = AwaitReply(stream, reader);
    if (reply.status == IoStatus::TimedOut)
        return NoAnswerWithin(kReplyTimeoutMs, peer);
    if (reply.status != IoStatus::Ok)
        return ConnectionLost(peer, {reply.status, 0, reply.error});
    if (reply.lines.empty())
        return NoResponse(peer);
    if (!Accepted(reply))
        return Outcome::Failure("Fax upload failed: " + ShownAsText(reply.lines.front()),
                                Begins(reply, kBusyMark) ? FailureKind::Busy
                                                         : FailureKind::Refused);

    if (progress)
        progress(0, size);
    std::ifstream image(imagePath, std::ios::binary);
    if (!image)
        return FileError(imagePath);
    const Outcome sent = SendImage(image, size, stream, imagePath, progress, peer);
    if (!sent)
        return sent;
    return AwaitVerdict(stream, reader, peer, stop);
}

} // namespace

std::string FaxHeader(const std::string& number, const std::string& email,
                      const std::string& notifyEmail, std::uint64_t contentLength) {
    std::string header = "fax2\r\n";
    header += "to: " + number + "\r\n";
    if (ContainsAt(email))
        header += "email: " + email + "\r\n";
    if (ContainsAt(notifyEmail))
        header += "notifyemail: " + notifyEmail + "\r\n";
    header += std::string("filename: ") + kAnnouncedFileName + "\r\n";
    header += "content-length: " + std::to_string(contentLength) + "\r\n";
    header += "\r\n";
    return header;
}

Outcome UploadFax(const AccountSettings& account, const std::string& number,
                  const std::string& email, const std::string& imagePath,
                  const UploadProgress& progress, Connector& connector, std::stop_token stop) {
    const std::optional<std::uint64_t> size = FileSize(imagePath);
    if (!size)
        return FileError(imagePath);

    if (const char* name = ValueWithLineBreak(account, email))
        return Outcome::Failure(
            std::string("The ") + name +
            " contains a line break.\n\nPlease correct it in the configuration.");

    Connection connection = connector.ConnectUnlessStopped(account.host, account.port, stop);
    if (!connection.stream) {
        if (stop.stop_requested())
            return Outcome::Stopped();
        const Peer peer{account.host, account.port};
        if (connection.failedAt == ConnectStep::Socket)
            return Explained("Failed to create socket: ", connection.error, peer,
                             FailureKind::None);
        if (connection.failedAt == ConnectStep::Lookup)
            return Outcome::Failure(
                "Could not connect to fax server: " + std::to_string(connection.error) +
                    "\nThe server's name or port is not known " + peer.Where(),
                FailureKind::CannotConnect);
        if (connection.error == ETIMEDOUT)
            return Outcome::Failure(NoAnswerWithin(kConnectTimeoutMs, peer).message,
                                    FailureKind::CannotConnect);
        return Explained("Could not connect to fax server: ", connection.error, peer);
    }
    ByteStream& stream = *connection.stream;
    const std::stop_callback abort(stop, [&stream] { stream.Abort(); });
    const Outcome outcome =
        Deliver(stream, account, number, email, imagePath, *size, progress, stop);
    // Whatever broke after a stop request is the cut connection, not something to tell the user.
    if (!outcome && stop.stop_requested())
        return Outcome::Stopped();
    return outcome;
}

Outcome UploadFax(const AccountStore& account, const std::string& number, const std::string& email,
                  const std::string& imagePath, const UploadProgress& progress,
                  Connector& connector, std::stop_token stop) {
    // A prompt to unlock the keyring may still be open; the user can send again once it is
    // answered.
    constexpr std::chrono::seconds kPinWait{10};
    if (Outcome pin = account.WaitForPin(kPinWait, stop); !pin)
        return pin;
    return UploadFax(account.Get(), number, email, imagePath, progress, connector, std::move(stop));
}

} // namespace qp
