#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace qp {

// Size of a file whose status can be read, else nothing.
std::optional<std::uint64_t> FileSize(const std::string& path);
bool FileExists(const std::string& path);

// Deletes a file; false when it did not exist or could not be removed.
bool RemoveFile(const std::string& path);

// Moves the file or folder `from` in the open folder `fromFolder` to `to` in `toFolder`
// (AT_FDCWD for a path) unless `to` exists: 0, EEXIST when it does, else errno. Where the file
// system has no no-replace rename (NFS, ecryptfs, some FUSE), the free name is claimed first (an
// empty folder, or a file created exclusively) and the rename takes the claim's place, so two
// writers never take one name. What is moved is flushed before, and the folder it lands in synced
// after: a published name lasts through a crash.
int RenameNoReplace(int fromFolder, const char* from, int toFolder, const char* to);

// The same by paths, failing (EEXIST) when the new name is already taken, as a move of a work
// file or a log entry must never overwrite another. Between file systems a file is copied,
// flushed, and only then is the source removed. Sets errno on failure.
bool MoveFileNoReplace(const std::string& from, const std::string& to);

// Flushes a file written by other means (a library's own save) and syncs its folder, so that it
// lasts as it stands. Sets errno on failure.
bool SyncFileAndFolder(const std::string& path);

// Which end of a copy between descriptors failed.
enum class CopyOutcome { Copied, ReadFailed, WriteFailed };

// Copies all that is left to read from `in` to `out`: in the kernel where the file systems allow
// (copy_file_range), else through a buffer. On failure errno says why; more than `maxBytes` to
// read fails reading, with EFBIG.
CopyOutcome CopyBetweenFds(int in, int out, std::uint64_t maxBytes = UINT64_MAX);

// Copies the regular file `from` into the new file `to` (which must not exist; `mode` its
// permission bits), in the kernel where the file systems allow, and flushes it. On failure the new
// file is removed again and errno says why.
bool CopyFileNew(const std::string& from, const std::string& to, unsigned mode = 0600);

// Replaces `path` with `contents` atomically: a temporary file in the same folder, flushed, then
// renamed over, and the folder synced. On failure the old file is untouched. `mode` is the new
// file's permission bits.
bool WriteFileAtomically(const std::string& path, const std::string& contents,
                         unsigned mode = 0644);

// The same with a copy of what is left to read from `in` as the contents, at most `maxBytes` of
// it (EFBIG beyond).
bool ReplaceWithCopy(int in, const std::string& path, unsigned mode,
                     std::uint64_t maxBytes = UINT64_MAX);

// One write(2), or what stands in for it on a descriptor that needs another call (send(2) with
// flags on a socket).
using SomeWriter = ssize_t (*)(int fd, const void* data, std::size_t size);
ssize_t WriteSome(int fd, const void* data, std::size_t size);

// Writes all of `data` to an open descriptor, a part at a time and again after a signal; false
// (errno set, EIO when the descriptor takes nothing more) on error.
bool WriteAllToFd(int fd, std::string_view data, SomeWriter writeSome = WriteSome);

// Whole contents of a file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Contents of a small file kept in a folder others may plant things in: a regular file reached
// without following a link, of at most `maxBytes`; nothing for anything else.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes);

// Bytes of the regular files directly in `folder` (links are not followed); 0 when it cannot be
// listed.
std::uint64_t FolderFileBytes(const std::string& folder);

// Everything left to read from an open descriptor; nothing (errno set) on a read error, or with
// EFBIG once more than `maxBytes` came.
std::optional<std::string> ReadAllFromFd(int fd, std::size_t maxBytes = SIZE_MAX);

} // namespace qp
