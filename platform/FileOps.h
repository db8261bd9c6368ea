#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qp {

// Size of a file whose status can be read, else nothing.
std::optional<std::uint64_t> FileSize(const std::string& path);
bool FileExists(const std::string& path);

// Deletes a file; false when it did not exist or could not be removed.
bool RemoveFile(const std::string& path);

// Renames a file, failing (EEXIST) when the new name is already taken, as a move of a work file
// must never overwrite another job. Between file systems it copies, flushes and then removes the
// source. Sets errno on failure.
bool MoveFileNoReplace(const std::string& from, const std::string& to);

// Copies the regular file `from` into the new file `to` (which must not exist; `mode` its
// permission bits), in the kernel where the file systems allow, and flushes it. On failure the new
// file is removed again and errno says why.
bool CopyFileNew(const std::string& from, const std::string& to, unsigned mode = 0600);

// Replaces `path` with `contents` atomically: a temporary file in the same folder, flushed, then
// renamed over. On failure the old file is untouched. `mode` is the new file's permission bits.
bool WriteFileAtomically(const std::string& path, const std::string& contents,
                         unsigned mode = 0644);

// Writes all of `data` to an open descriptor, retrying short writes; false (errno set) on error.
bool WriteAllToFd(int fd, std::string_view data);

// Whole contents of a file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Everything left to read from an open descriptor; nothing (errno set) on a read error, or with
// EFBIG once more than `maxBytes` came.
std::optional<std::string> ReadAllFromFd(int fd, std::size_t maxBytes = SIZE_MAX);

} // namespace qp
