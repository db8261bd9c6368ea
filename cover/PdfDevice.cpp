#include "cover/PdfDevice.h"

#include "cover/PainterDevice.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

namespace qp {
namespace {

constexpr int kDriverDpi = 600;
// The driver's imageable area starts 18 points in from every edge.
constexpr double kPrintableInsetPoints = 18.0;

struct WriterHolder {
    explicit WriterHolder(const QString& path) : writer(path) {}
    QPdfWriter writer;
};

class PdfDevice final : private WriterHolder, public PainterDevice {
public:
    explicit PdfDevice(const std::string& path)
        : WriterHolder(QString::fromStdString(path)), PainterDevice(writer) {
        writer.setResolution(kDriverDpi);
        const QMarginsF inset(kPrintableInsetPoints, kPrintableInsetPoints, kPrintableInsetPoints,
                              kPrintableInsetPoints);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, inset,
                                         QPageLayout::Point));
    }
};

} // namespace

DrawingDeviceFactory PdfFileDeviceFactory(const std::string& path) {
    return [path](const std::string&) -> std::unique_ptr<DrawingDevice> {
        return std::make_unique<PdfDevice>(path);
    };
}

} // namespace qp
