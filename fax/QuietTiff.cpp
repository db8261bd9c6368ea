#include "fax/QuietTiff.h"

#include <cstdarg>
#include <tiffio.h>

namespace qp {
namespace {

// Non-zero: reported, and not passed on to the process-wide handlers.
int Ignore(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

class QuietOptions {
public:
    QuietOptions() : m_options(TIFFOpenOptionsAlloc()) {
        if (m_options == nullptr)
            return;
        TIFFOpenOptionsSetErrorHandlerExtR(m_options, Ignore, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(m_options, Ignore, nullptr);
    }
    ~QuietOptions() { TIFFOpenOptionsFree(m_options); }
    QuietOptions(const QuietOptions&) = delete;
    QuietOptions& operator=(const QuietOptions&) = delete;

    TIFFOpenOptions* Get() const { return m_options; }

private:
    TIFFOpenOptions* m_options;
};

} // namespace

TIFF* OpenTiffQuietly(const std::string& path, const char* mode) {
    const QuietOptions options;
    return TIFFOpenExt(path.c_str(), mode, options.Get());
}

TIFF* OpenTiffQuietly(int fd, const std::string& name, const char* mode) {
    const QuietOptions options;
    return TIFFFdOpenExt(fd, name.c_str(), mode, options.Get());
}

} // namespace qp
