#include "tools/view/ViewerTitle.h"

#include "fax/log/FaxLog.h"
#include "fax/log/Resend.h"
#include "platform/OutsideText.h"

#include <QDateTime>
#include <filesystem>
#include <optional>

namespace qp::view {
namespace {

namespace fs = std::filesystem;

fs::path Resolved(const fs::path& path) {
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::path() : resolved;
}

// The log entry whose image the file is: one folder below the log, and the image the entry
// itself names.
std::optional<faxlog::Entry> EntryOfImage(const std::string& imagePath,
                                          const std::string& logFolder) {
    if (logFolder.empty())
        return std::nullopt;
    const fs::path image = Resolved(imagePath);
    const fs::path log = Resolved(logFolder);
    if (image.empty() || log.empty() || image.parent_path().parent_path() != log)
        return std::nullopt;
    std::optional<faxlog::Entry> entry =
        faxlog::FaxLog(log.string()).Find(image.parent_path().filename().string());
    if (!entry || Resolved(entry->ImagePath()) != image)
        return std::nullopt;
    return entry;
}

QString Shown(const std::string& text) {
    return QString::fromStdString(ShownAsText(text));
}

} // namespace

QString ViewerTitle(const std::string& imagePath, const std::string& logFolder) {
    const QString suffix = QStringLiteral(" - Fax Viewer");
    const std::optional<faxlog::Entry> entry = EntryOfImage(imagePath, logFolder);
    if (!entry)
        return Shown(fs::path(imagePath).filename().string()) + suffix;
    const QString time = QDateTime::fromSecsSinceEpoch(entry->record.time)
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const std::string recipient = faxlog::ResendRecipient(entry->record);
    if (recipient.empty())
        return QStringLiteral("Fax of %1").arg(time) + suffix;
    return QStringLiteral("Fax to %1, %2").arg(Shown(recipient), time) + suffix;
}

} // namespace qp::view
