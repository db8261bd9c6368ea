#include "cover/CoverFile.h"

#include "cover/PagePrinter.h"
#include "cover/PdfDevice.h"

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace qp {
namespace {

// Draws the page through a descriptor that is ours alone: the name beside it may lie in a folder
// others can write to.
bool DrawInto(int fd, const CoverFields& fields, const std::string& logoPath) {
    QFile output;
    if (!output.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return false;
    {
        CPagePrinter printer(PdfDeviceFactory(output));
        DrawCoverPage(printer, fields, logoPath);
    }
    // The writer reports no failed write of its own; the file does, and an empty one is no page.
    return output.flush() && output.error() == QFileDevice::NoError && output.size() > 0;
}

} // namespace

bool DrawCoverFile(const CoverFields& fields, const std::string& logoPath,
                   const std::string& pdfPath) {
    if (pdfPath.empty())
        return false;
    // mkstemp makes it readable by this user alone.
    std::string temp = pdfPath + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool drawn = DrawInto(fd, fields, logoPath);
    drawn = ::close(fd) == 0 && drawn;
    if (drawn && std::rename(temp.c_str(), pdfPath.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

} // namespace qp
