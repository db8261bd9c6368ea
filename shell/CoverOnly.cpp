#include "shell/CoverOnly.h"

#include "platform/FileOps.h"
#include "platform/MessageBox.h"

namespace qp {
namespace {

// Removes a prior work file; false (after the message) when it is still there.
bool RemovePrior(const WorkFileOps& ops, const std::string& path, const char* refusal) {
    if (!ops.exists(path) || ops.remove(path))
        return true;
    ShowMessage(refusal);
    return false;
}

} // namespace

WorkFileOps RealWorkFileOps() {
    return WorkFileOps{[](const std::string& path) { return FileExists(path); },
                       [](const std::string& path) { return RemoveFile(path); }};
}

bool SendCoverOnly(const CoverOnlyFiles& files, const std::function<void()>& runSendDialog,
                   const WorkFileOps& ops) {
    if (!RemovePrior(ops, files.coverFile,
                     "Unable to remove prior fax cover; cannot create new cover sheet only fax at "
                     "this time") ||
        !RemovePrior(ops, files.bodyFile,
                     "Unable to remove prior fax body; cannot create new cover sheet only fax at "
                     "this time") ||
        !RemovePrior(ops, files.faxImage,
                     "Unable to remove prior fax; cannot create new cover sheet only fax at this "
                     "time"))
        return false;

    // The watcher may have delivered a new print job meanwhile; it must not become this fax's body.
    if (ops.exists(files.bodyFile)) {
        ShowMessage("Unable to remove prior fax; cannot create cover sheet only fax at this time");
        return false;
    }

    if (runSendDialog)
        runSendDialog();

    // The first file that cannot be removed ends the clean-up; the next cover-only fax removes
    // what is left before it starts.
    for (const std::string* path : {&files.coverFile, &files.faxImage, &files.bodyFile}) {
        if (!ops.remove(*path))
            break;
    }
    return true;
}

} // namespace qp
