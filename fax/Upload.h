#pragma once

#include "base/Outcome.h"
#include "fax/Account.h"
#include "fax/ByteStream.h"
#include "fax/TcpConnector.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace qp {

// Told the image's size before the first byte goes out (position 0), then the running total of
// bytes handed to the connection after each block. Called on the uploading thread.
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

// Logs in to the account's fax message box, announces a fax to `number` and streams the image.
// Succeeds when the server accepted the announcement and received every image byte; a failure
// carries the message for the user. A stop request closes the connection, which ends the upload as
// a failure; it has a message only when the connection had already failed.
Outcome UploadFax(const AccountSettings& account, const std::string& number,
                  const std::string& email, const std::string& imagePath,
                  const UploadProgress& progress, Connector& connector = DefaultFaxConnector(),
                  std::stop_token stop = {});

} // namespace qp
