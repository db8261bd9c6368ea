#include "fax/FaxImageInfo.h"
#include "tests/support/TestSupport.h"

#include <cstdarg>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <tiffio.h>
#include <unistd.h>

namespace {

void Recorded(const char*, const char*, va_list) {}

// Reading an image on one thread leaves libtiff's process-wide handlers, which other threads use
// meanwhile (the viewer, other dialogs' work), as they are.
TEST(QuietTiff, AnImageBeingReadLeavesTheProcessWideHandlersAlone) {
    qp::test::TempDir dir;
    // A pipe in the image's place holds the reader inside libtiff until the test lets it go.
    const std::string image = dir.File("fax.tif");
    ASSERT_EQ(::mkfifo(image.c_str(), 0600), 0);
    const TIFFErrorHandler errorsBefore = TIFFSetErrorHandler(Recorded);
    const TIFFErrorHandler warningsBefore = TIFFSetWarningHandler(Recorded);

    int pages = -1;
    std::thread reader([&] { pages = qp::faxlog::CountTiffPages(image); });
    // Returns once the reader has opened the image; it then waits for the header.
    const int writer = ::open(image.c_str(), O_WRONLY | O_CLOEXEC);
    const TIFFErrorHandler errorsMeanwhile = TIFFSetErrorHandler(Recorded);
    const TIFFErrorHandler warningsMeanwhile = TIFFSetWarningHandler(Recorded);
    ::close(writer);
    reader.join();

    EXPECT_EQ(errorsMeanwhile, Recorded);
    EXPECT_EQ(warningsMeanwhile, Recorded);
    EXPECT_EQ(pages, 0);
    TIFFSetErrorHandler(errorsBefore);
    TIFFSetWarningHandler(warningsBefore);
}

} // namespace
