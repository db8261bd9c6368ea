#include "cover/PdfDevice.h"

#include "cover/PainterDevice.h"
#include "cover/PpdPageLayout.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

namespace qp {
namespace {

QPageLayout DriverQPageLayout() {
    const PpdPageLayout& page = DriverPageLayout();
    // The PPD counts the imageable area from the lower left corner; margins count from each edge.
    const QMarginsF margins(page.left, page.height - page.top, page.width - page.right,
                            page.bottom);
    return QPageLayout(QPageSize(QSizeF(page.width, page.height), QPageSize::Point),
                       QPageLayout::Portrait, margins, QPageLayout::Point);
}

// The writer must exist before the painter device is given it.
struct WriterHolder {
    explicit WriterHolder(QIODevice& output) : writer(&output) {}
    QPdfWriter writer;
};

class PdfDevice final : private WriterHolder, public PainterDevice {
public:
    explicit PdfDevice(QIODevice& output) : WriterHolder(output), PainterDevice(writer) {
        writer.setResolution(DriverPageLayout().dpi);
        writer.setPageLayout(DriverQPageLayout());
    }
};

} // namespace

DrawingDeviceFactory PdfDeviceFactory(QIODevice& output) {
    return [&output](const std::string&) -> std::unique_ptr<DrawingDevice> {
        return std::make_unique<PdfDevice>(output);
    };
}

} // namespace qp
