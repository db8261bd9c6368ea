#pragma once

#include "base/Account.h"
#include "base/AccountStore.h"
#include "base/Outcome.h"
#include "fax/ByteStream.h"
#include "fax/TcpConnector.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace qp {

// Told the image's size before the first byte goes out (position 0), then the running total of
// bytes handed to the connection after each block; the image's size itself only once the server
// has received every byte, so that whoever keeps a fax knows it may no longer send it again.
// Called on the uploading thread.
using UploadProgress = std::function<void(std::uint64_t position, std::uint64_t size)>;

// The name every fax is announced under, whatever the image file is called.
inline constexpr const char* kAnnouncedFileName = "fax.tif";
// The kernel is handed the image in blocks this large, which is what makes a big image go out
// fast; progress still moves in the small steps it always has.
inline constexpr std::size_t kImageBlockSize = 256 * 1024;
inline constexpr std::size_t kProgressStep = 1024;

// The "fax2" announcement: recipient, the addresses that contain "@", file name, length.
std::string FaxHeader(const std::string& number, const std::string& email,
                      const std::string& notifyEmail, std::uint64_t contentLength);

// Logs in to the account's fax message box, announces a fax to `number` and streams the image,
// then ends its sending side and waits, within the connection's outcome limit, for the server's
// word on the fax. Succeeds when the server accepted the announcement, received every image byte
// and then said a line that begins with "success:", or closed without a byte, as servers that
// never answer there do; any other line fails the upload with that line. Once every byte has
// arrived, anything else (silence, a line cut off, a broken connection, a stop request) ends the
// upload as unconfirmed: sent, with the message that says so. A failure carries the message for
// the user and its kind: whether a later try may mend it. A stop request before then cuts the
// connection and ends the upload as stopped (a failure without words).
Outcome UploadFax(const AccountSettings& account, const std::string& number,
                  const std::string& email, const std::string& imagePath,
                  const UploadProgress& progress, Connector& connector = DefaultFaxConnector(),
                  std::stop_token stop = {});

// The same with the running program's account, once its PIN is known: a keyring that has not
// answered yet is waited for, a while, on the uploading thread.
Outcome UploadFax(const AccountStore& account, const std::string& number, const std::string& email,
                  const std::string& imagePath, const UploadProgress& progress,
                  Connector& connector = DefaultFaxConnector(), std::stop_token stop = {});

} // namespace qp
