#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qp::faxd {

// What is known about one received fax, kept beside it.
struct FaxRecord {
    std::string box;
    std::string to;
    std::string email;
    std::string notifyEmail;
    std::uint64_t size = 0;
    std::string time; // UTC, ISO 8601
};

// Only the server's own user may list the outbox; its files are private as mkstemp makes them.
inline constexpr unsigned kOutboxMode = 0700;

// The folder where received faxes wait for delivery. A fax appears there whole or not at all:
// "NAME.meta" first, then "NAME.tif", each renamed into place once complete; files whose names
// begin with "." are still arriving.
class Outbox {
public:
    explicit Outbox(std::string folder) : m_folder(std::move(folder)) {}

    // Creates the folder, private, when it is missing; refuses one that others may enter.
    bool Prepare(std::string& error) const;
    // A new private file to receive an image into; -1 on failure. The path is set on success.
    int CreateIncoming(std::string& path) const;
    // Moves a complete incoming image into place with its metadata, both synced to disk; the
    // final image path. On failure the incoming file is left to the caller.
    std::optional<std::string> Store(const std::string& incomingPath,
                                     const FaxRecord& record) const;

    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
};

// TIFF files begin with "II*\0" (little-endian) or "MM\0*" (big-endian).
bool HasTiffSignature(const char* bytes, std::size_t size);

std::string FormatRecord(const FaxRecord& record);
std::string UtcTimestamp();

} // namespace qp::faxd
