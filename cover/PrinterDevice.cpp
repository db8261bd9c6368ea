#include "cover/PrinterDevice.h"

#include "cover/PainterDevice.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace qp {
namespace {

constexpr int kDriverDpi = 600;

// The printer must exist before the painter device is given it.
struct PrinterHolder {
    QPrinter printer{QPrinter::HighResolution};
};

class PrinterDevice final : private PrinterHolder, public PainterDevice {
public:
    explicit PrinterDevice(const QPrinterInfo& info) : PainterDevice(printer) {
        printer.setPrinterName(info.printerName());
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setResolution(kDriverDpi);
        printer.setPageSize(info.defaultPageSize());
        printer.setCopyCount(1);
    }
    explicit PrinterDevice(const std::string& path) : PainterDevice(printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(path));
        printer.setResolution(kDriverDpi);
        printer.setPageSize(QPageSize(QPageSize::Letter));
    }
};

QString QueueName(const std::string& printerName) {
    return QString::fromStdString(printerName).replace(QLatin1Char(' '), QLatin1Char('_'));
}

} // namespace

DrawingDeviceFactory FaxPrinterDeviceFactory() {
    return [](const std::string& printerName) -> std::unique_ptr<DrawingDevice> {
        const QPrinterInfo info = QPrinterInfo::printerInfo(QueueName(printerName));
        if (info.isNull())
            return nullptr;
        return std::make_unique<PrinterDevice>(info);
    };
}

DrawingDeviceFactory PrinterFileDeviceFactory(const std::string& path) {
    return [path](const std::string&) -> std::unique_ptr<DrawingDevice> {
        return std::make_unique<PrinterDevice>(path);
    };
}

} // namespace qp
