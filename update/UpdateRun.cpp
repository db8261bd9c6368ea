#include "update/UpdateRun.h"

#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "update/DownloadFile.h"
#include "update/Manifest.h"
#include "update/ServerManifest.h"

#include <vector>

namespace qp {
namespace {

struct ReleaseFile {
    std::string name;
    std::string version;
};

void ShowAborted(UpdateProgressView& view, const std::string& detail) {
    view.PumpPendingMessages();
    ShowMessage("Error downloading file.\n\n" + detail + "\n\nUpdate aborted.");
}

} // namespace

void ApplyUpdate(const std::string& host, UpdateProgressView& view) {
    view.PumpPendingMessages();
    std::string signature;
    const std::optional<std::string> applied = FetchServerManifestText(host, &signature);
    if (!applied)
        return;
    view.PumpPendingMessages();
    const std::vector<std::string> server = ManifestLines(*applied, false);
    const std::vector<std::string> local = ReadLocalManifest().value_or(std::vector<std::string>{});

    std::vector<ReleaseFile> files;
    for (const std::string& entry : NewEntries(server, local)) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            ShowAborted(view, entry + " (missing version number)");
            return;
        }
        files.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
    }

    const int count = static_cast<int>(files.size());
    view.SetRange(count);
    view.SetStateText("Updating " + std::to_string(count) + " files.");
    view.PumpPendingMessages();

    for (int i = 0; i < count; ++i) {
        const ReleaseFile& file = files[static_cast<std::size_t>(i)];
        view.SetFileText("Downloading: " + file.name);
        view.PumpPendingMessages();
        // The window keeps painting, and its bar moving, while a long file arrives.
        const auto progress = [&view, i](std::uint64_t received, std::uint64_t total) {
            view.SetProgress(i, total > 0 ? static_cast<double>(received) / total : 0.0);
            view.PumpPendingMessages();
        };
        // A signature covers the files only through their hashes.
        if (!DownloadFile(host, file.name, file.version, progress, !signature.empty())) {
            ShowAborted(view, file.name);
            return;
        }
        view.SetProgress(i + 1, 0.0);
        view.PumpPendingMessages();
    }

    // The local manifest must describe the files just put in place: a manifest that changed on the
    // server meanwhile (or was swapped for an older one) is not stored, and the next run starts
    // over.
    const std::optional<std::string> manifest = FetchServerManifestText(host);
    // The signature goes first: it only ever keeps older releases out.
    if (!manifest || *manifest != *applied ||
        (!signature.empty() && !WriteFileAtomically(kAppliedSignatureName, signature)) ||
        !WriteFileAtomically(kManifestName, *manifest)) {
        ShowMessage({"Error performing update.\n\nUnable to update local file manifest.",
                     MessageIcon::Warning, MessageButtons::Ok, "Quill Post"});
        return;
    }
    view.PumpPendingMessages();
    ShowMessage({"Update completed.", MessageIcon::Warning, MessageButtons::Ok, "Update Complete"});
}

int RunUpdate(const std::string& host, UpdateProgressView& view, Clock& clock,
              ProcessRunner& runner) {
    view.SetStateText("Retrieving number of files to update...");
    view.SetFileText("");
    view.Show();
    view.PumpPendingMessages();
    clock.SleepMs(kUpdatePauseMs);
    ApplyUpdate(host, view);
    view.Hide();
    // The new client has no switches, so it starts in tray mode.
    runner.ReplaceProcess(kRelaunchPath, {kRelaunchName});
    return 0;
}

} // namespace qp
