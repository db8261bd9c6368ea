// quillpost-view: shows a fax image (TIFF) page by page at its true aspect ratio.
#include "tools/view/TiffDocument.h"
#include "tools/view/ViewerTitle.h"
#include "tools/view/ViewerWindow.h"

#include "fax/log/FaxLog.h"
#include "platform/ProgramInfo.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitUnreadable = 1;

constexpr const char* kUsage =
    "usage: quillpost-view FILE.tif\n"
    "Shows a fax image page by page at its true aspect ratio.\n"
    "Keys: Page Down/Page Up next/previous page, Home/End first/last page,\n"
    "      + and - zoom, W fit to width, P fit the whole page,\n"
    "      Escape, Ctrl+W or Ctrl+Q close the viewer.\n";

} // namespace

int main(int argc, char** argv) {
    // Asked-for text only; viewing itself writes nothing to standard output.
    if (qp::AnswerInfoRequest(argc, argv, "quillpost-view", kUsage))
        return 0;
    // A file whose name starts with "-" is given as "./-name".
    if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillpost-view"));
    const QString path = QString::fromLocal8Bit(argv[1]);
    std::unique_ptr<qp::view::TiffDocument> document = qp::view::TiffDocument::Open(argv[1]);
    if (!document) {
        std::fprintf(stderr, "quillpost-view: cannot read %s as a fax image\n", argv[1]);
        QMessageBox::warning(nullptr, QStringLiteral("quillpost-view"),
                             QStringLiteral("Cannot read %1 as a fax image.").arg(path));
        return kExitUnreadable;
    }
    qp::view::ViewerWindow window(
        std::move(document), qp::view::ViewerTitle(argv[1], qp::faxlog::FaxLog::DefaultFolder()));
    window.show();
    return QApplication::exec();
}
