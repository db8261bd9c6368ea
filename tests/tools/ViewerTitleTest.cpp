#include "tools/view/ViewerTitle.h"
#include "fax/log/FaxLog.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

// The title names the fax of a log entry; anything else, even a copy of an entry, by its name.
TEST(ViewerTitle, NamesTheRecipientAndTimeOfALogEntryOnly) {
    qp::test::TempDir dir;
    const std::string logFolder = dir.File("log");
    qp::test::WriteTiffPages(dir.File("scan.tif"), 1);
    const std::int64_t time = QDateTime(QDate(2026, 12, 7), QTime(17, 15, 42)).toSecsSinceEpoch();
    auto add = [&](const std::string& typed, const std::string& dialled) {
        qp::faxlog::Record record;
        record.time = time;
        record.typed = typed;
        record.dialled = dialled;
        qp::faxlog::FaxLog log(logFolder);
        return log.Find(*log.Add(record, {"", "", dir.File("scan.tif")}))->ImagePath();
    };
    const std::string sent = add("555.123.4567", "5551234567");
    const std::string hostile = add("Ann\x1b]0;pwned\a", "");
    const std::string unsent = add("", "");
    const std::string broken = add("", "5551234567");
    qp::test::WriteFile(std::filesystem::path(broken).parent_path() / "record", "time=soon\n");
    std::filesystem::create_directories(dir.File("copy"));
    std::filesystem::copy(std::filesystem::path(sent).parent_path(), dir.File("copy/entry"));

    const std::pair<std::string, QString> cases[] = {
        {sent, "Fax to (555) 123-4567, 2026-12-07 17:15 - Fax Viewer"},
        {logFolder + "/../log/" + std::filesystem::path(sent).parent_path().filename().string() +
             "/fax.tif",
         "Fax to (555) 123-4567, 2026-12-07 17:15 - Fax Viewer"},
        {hostile, "Fax to Ann?]0;pwned?, 2026-12-07 17:15 - Fax Viewer"},
        {unsent, "Fax of 2026-12-07 17:15 - Fax Viewer"},
        {broken, "fax.tif - Fax Viewer"},
        {dir.File("copy/entry/fax.tif"), "fax.tif - Fax Viewer"},
        {dir.File("scan.tif"), "scan.tif - Fax Viewer"},
    };
    for (const auto& [image, title] : cases)
        EXPECT_EQ(qp::view::ViewerTitle(image, logFolder).toStdString(), title.toStdString())
            << image;
}

} // namespace
