#include "tools/send/StoredCoverSheet.h"

#include "cover/CoverFieldsStore.h"
#include "cover/CoverLogo.h"
#include "cover/CoverPage.h"
#include "cover/PagePrinter.h"
#include "cover/PdfDevice.h"
#include "platform/FileOps.h"

namespace qp::send {

bool WriteStoredCoverSheet(const std::string& pdfPath) {
    {
        CPagePrinter printer(PdfFileDeviceFactory(pdfPath));
        DrawCoverPage(printer, LoadCoverFields(Profile()), UserLogoPaths().logo);
    }
    const std::optional<std::uint64_t> size = FileSize(pdfPath);
    return size && *size > 0;
}

} // namespace qp::send
