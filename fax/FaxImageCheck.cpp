#include "fax/FaxImageCheck.h"

#include "fax/QuietTiff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

namespace qp {

std::optional<std::string> FaxImageProblem(const std::string& path) {
    // O_NONBLOCK: something other than a file under the name must not stall the send.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "the image was not written";
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
        ::close(fd);
        return "the image is empty";
    }
    // Takes the descriptor over only when it succeeds.
    TIFF* tiff = OpenTiffQuietly(fd, path, "r");
    if (tiff == nullptr) {
        ::close(fd);
        return "the image is not a TIFF file";
    }
    std::optional<std::string> problem;
    int pages = 0;
    do {
        std::uint16_t compression = COMPRESSION_NONE;
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
        if (compression != COMPRESSION_CCITTFAX4) {
            problem = "the image is not CCITT Group 4";
            break;
        }
        ++pages;
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    if (!problem && pages == 0)
        problem = "the image has no pages";
    return problem;
}

} // namespace qp
