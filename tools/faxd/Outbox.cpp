#include "tools/faxd/Outbox.h"

#include "platform/FileOps.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::faxd {
namespace {

std::atomic<unsigned> g_sequence{0};

// The names of new files last only once their folder is synced too.
bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

std::string CompactUtcTime() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
    return text;
}

} // namespace

bool HasTiffSignature(const char* bytes, std::size_t size) {
    return size >= 4 &&
           (std::memcmp(bytes, "II*\0", 4) == 0 || std::memcmp(bytes, "MM\0*", 4) == 0);
}

std::string UtcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string FormatRecord(const FaxRecord& record) {
    return "box: " + record.box + "\n" + "to: " + record.to + "\n" + "email: " + record.email +
           "\n" + "notifyemail: " + record.notifyEmail + "\n" +
           "size: " + std::to_string(record.size) + "\n" + "time: " + record.time + "\n";
}

bool Outbox::Prepare(std::string& error) const {
    std::error_code ec;
    const std::filesystem::path folder(m_folder);
    if (folder.has_parent_path())
        std::filesystem::create_directories(folder.parent_path(), ec);
    ::mkdir(m_folder.c_str(), kOutboxMode);
    struct stat status {};
    if (::stat(m_folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        error = "cannot use outbox folder " + m_folder;
        return false;
    }
    // The faxes and their recipients are nobody else's business; an existing folder is not made
    // private behind its owner's back, as it may be shared on purpose.
    if ((status.st_mode & 077) != 0) {
        error =
            "outbox folder " + m_folder + " is open to other users; make it private (chmod 700)";
        return false;
    }
    return true;
}

int Outbox::CreateIncoming(std::string& path) const {
    std::string pattern = m_folder + "/.incoming-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0)
        path = pattern;
    return fd;
}

std::optional<std::string> Outbox::Store(const std::string& incomingPath,
                                         const FaxRecord& record) const {
    std::string metaTemp = m_folder + "/.meta-XXXXXX";
    const int fd = ::mkostemp(metaTemp.data(), O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const std::string text = FormatRecord(record);
    const bool written = WriteAllToFd(fd, text) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
        ::unlink(metaTemp.c_str());
        return std::nullopt;
    }

    // A hard link claims a name only when it is free, so concurrent faxes never overwrite one
    // another; the metadata claims the name before the image appears under it.
    const std::string time = CompactUtcTime();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char sequence[16];
        std::snprintf(sequence, sizeof sequence, "%04u", g_sequence.fetch_add(1) % 10000);
        const std::string stem = m_folder + "/fax-" + time + "-" + sequence;
        if (::link(metaTemp.c_str(), (stem + ".meta").c_str()) != 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        const std::string image = stem + ".tif";
        if (::link(incomingPath.c_str(), image.c_str()) != 0) {
            const bool taken = errno == EEXIST;
            ::unlink((stem + ".meta").c_str());
            if (taken)
                continue;
            break;
        }
        ::unlink(metaTemp.c_str());
        ::unlink(incomingPath.c_str());
        if (!SyncFolder(m_folder)) {
            ::unlink(image.c_str());
            ::unlink((stem + ".meta").c_str());
            return std::nullopt;
        }
        return image;
    }
    ::unlink(metaTemp.c_str());
    return std::nullopt;
}

} // namespace qp::faxd
