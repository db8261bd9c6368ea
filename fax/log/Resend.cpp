#include "fax/log/Resend.h"

#include "fax/FaxNumber.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"

#include <vector>

namespace qp::faxlog {
namespace {

// Work files are shared with the print-job watcher: each is written beside its place and moved in
// only where no file stands.
bool PutBack(const std::string& from, const std::string& to) {
    const std::optional<std::string> bytes = ReadWholeFile(from);
    if (!bytes)
        return false;
    const std::string temp = to + ".resend";
    if (!WriteFileAtomically(temp, *bytes, 0600))
        return false;
    if (MoveFileNoReplace(temp, to))
        return true;
    RemoveFile(temp);
    return false;
}

} // namespace

bool PutBackWorkFiles(const Entry& entry, const ResendFiles& files) {
    if (FileExists(files.bodyFile)) {
        ShowMessage(kResendBusyMessage);
        return false;
    }
    // A cover or image left by an earlier fax would be sent with this one.
    RemoveFile(files.coverFile);
    RemoveFile(files.faxImage);

    const std::pair<bool, std::pair<std::string, std::string>> copies[] = {
        {entry.hasCover, {entry.CoverPath(), files.coverFile}},
        {entry.hasImage, {entry.ImagePath(), files.faxImage}},
        {entry.hasBody, {entry.BodyPath(), files.bodyFile}},
    };
    std::vector<std::string> placed;
    for (const auto& [present, paths] : copies) {
        if (!present)
            continue;
        if (!PutBack(paths.first, paths.second)) {
            // Only what this resend placed goes: a job the watcher moved in meanwhile stays.
            for (const std::string& path : placed)
                RemoveFile(path);
            ShowMessage(kResendCopyFailedMessage);
            return false;
        }
        placed.push_back(paths.second);
    }
    return true;
}

void RemoveWorkFiles(const ResendFiles& files) {
    RemoveFile(files.coverFile);
    RemoveFile(files.faxImage);
    RemoveFile(files.bodyFile);
}

std::string ResendRecipient(const Record& record) {
    return record.dialled.empty() ? record.typed : HistoryEntryFor(record.dialled);
}

} // namespace qp::faxlog
