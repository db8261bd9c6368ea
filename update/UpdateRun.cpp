#include "update/UpdateRun.h"

#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "update/DownloadFile.h"
#include "update/Manifest.h"
#include "update/ServerManifest.h"
#include "update/StagedRelease.h"
#include "update/UpdateCheck.h"

#include <cerrno>
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

void ApplyUpdate(const std::string& host, const InstallFolder& folder, UpdateProgressView& view) {
    view.PumpPendingMessages();
    const ServerManifestText applied = FetchServerManifestText(host, folder);
    if (!applied.outcome) {
        // A server out of reach goes unsaid; a manifest that came but is not trusted is told.
        if (applied.refused) {
            view.PumpPendingMessages();
            ShowMessage("The update was not applied: " + applied.outcome.reason + ".");
        }
        return;
    }
    view.PumpPendingMessages();
    const std::vector<std::string> server = ManifestLines(applied.text, false);
    const std::vector<std::string> local = ReadLocalManifest(folder);

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

    // Nothing is put in place before every file has arrived and passed its check.
    StagedRelease release(folder);
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
        if (!release.Fetch(host, file.name, file.version, progress, !applied.signature.empty())) {
            ShowAborted(view, file.name);
            return;
        }
        view.SetProgress(i + 1, 0.0);
        view.PumpPendingMessages();
    }

    // The local manifest must describe the files about to go in: a manifest that changed on the
    // server meanwhile (or was swapped for an older one) is not stored, and the next run starts
    // over. It goes in last, after the signature that keeps older releases out.
    const ServerManifestText manifest = FetchServerManifestText(host, folder);
    const bool staged =
        manifest.outcome && manifest.text == applied.text &&
        (applied.signature.empty() || release.Stage(kAppliedSignatureName, applied.signature)) &&
        release.Stage(kManifestName, manifest.text);
    const ReleaseCommit commit = staged ? release.Commit() : ReleaseCommit{};
    if (!commit) {
        // A release file that cannot take its place aborts as its download would have.
        if (!commit.failed.empty() && commit.failed != kManifestName &&
            commit.failed != kAppliedSignatureName) {
            ShowAborted(view, commit.failed);
            return;
        }
        ShowMessage({"Error performing update.\n\nUnable to update local file manifest.",
                     MessageIcon::Warning, MessageButtons::Ok, "Quill Post"});
        return;
    }
    view.PumpPendingMessages();
    ShowMessage({"Update completed.", MessageIcon::Warning, MessageButtons::Ok, "Update Complete"});
}

int RunUpdate(const std::string& host, const InstallFolder& folder, UpdateProgressView& view,
              Clock& clock, ProcessRunner& runner) {
    view.SetStateText("Retrieving number of files to update...");
    view.SetFileText("");
    // An empty bar until the number of files is known: a busy bar would promise work under way.
    view.SetRange(0);
    view.Show();
    view.PumpPendingMessages();
    clock.SleepMs(kUpdatePauseMs);
    ApplyUpdate(host, folder, view);
    view.Hide();
    // The new client has no switches, so it starts in tray mode.
    runner.ReplaceProcess(folder.File(kRelaunchName), {kRelaunchName});
    const int error = errno;
    ShowFileFailure("Unable to restart Quillpost", std::string("Cannot start ") + kRelaunchName,
                    error);
    return 0;
}

} // namespace qp
