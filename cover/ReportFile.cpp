#include "cover/ReportFile.h"

#include "cover/CoverFieldsStore.h"
#include "cover/PagePrinter.h"
#include "cover/PdfDevice.h"
#include "cover/TransmissionReport.h"

#include <QBuffer>
#include <QByteArray>

namespace qp {

std::optional<std::string> TransmissionReportPdf(const TransmissionFacts& facts) {
    QByteArray bytes;
    QBuffer output(&bytes);
    if (!output.open(QIODevice::WriteOnly))
        return std::nullopt;
    {
        CPagePrinter printer(PdfDeviceFactory(output));
        DrawTransmissionReport(printer, facts);
    }
    output.close();
    // The writer reports no failure of its own: a document that never ended has no trailer.
    if (!bytes.startsWith("%PDF-") || !bytes.contains("%%EOF"))
        return std::nullopt;
    return bytes.toStdString();
}

std::optional<std::string> TransmissionReportPdf(TransmissionFacts facts,
                                                 const std::string& messageBox,
                                                 const Profile& profile) {
    const CoverFields sender = LoadSharedCoverFields(profile);
    facts.fromBox = messageBox;
    facts.fromName = sender.from;
    facts.fromFax = sender.fax;
    facts.fromPhone = sender.phone;
    return TransmissionReportPdf(facts);
}

} // namespace qp
