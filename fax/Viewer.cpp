#include "fax/Viewer.h"

#include "base/Settings.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"

#include <filesystem>

namespace qp {
namespace {

// Inside double quotes a backslash only escapes the characters a shell lets it escape there.
bool EscapableInDoubleQuotes(char c) {
    return c == '"' || c == '\\' || c == '$' || c == '`' || c == '\n';
}

} // namespace

std::vector<std::string> SplitShellWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (i + 1 < text.size() && text[i + 1] != '\n')
                word += text[i + 1];
            ++i;
        } else if (c == '\'') {
            // An unclosed quote runs to the end of the text.
            while (++i < text.size() && text[i] != '\'')
                word += text[i];
        } else if (c == '"') {
            while (++i < text.size() && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < text.size() &&
                    EscapableInDoubleQuotes(text[i + 1])) {
                    // A backslash before a line end joins the lines, in quotes as outside them.
                    if (text[++i] == '\n')
                        continue;
                }
                word += text[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::vector<std::string> ViewerArguments(const std::string& viewer, const std::string& params,
                                         const std::string& imagePath) {
    std::vector<std::string> argv{viewer};
    for (std::string& word : SplitShellWords(params))
        argv.push_back(std::move(word));
    argv.push_back(imagePath);
    return argv;
}

bool LaunchViewer(const Profile& profile, const std::string& imagePath, ProcessRunner& runner) {
    using namespace settings;
    const std::string viewer = ReadText(profile, kTiffViewer);
    const std::string params = ReadText(profile, kTiffViewerParams);
    if (!viewer.empty() && runner.StartDetached(ViewerArguments(viewer, params, imagePath)))
        return true;
    ShowMessage("Could not find viewer: " + viewer);
    return false;
}

std::vector<std::string> DefaultViewerCandidates() {
    std::vector<std::string> candidates;
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        candidates.push_back((program.parent_path() / kFaxViewerName).string());
    candidates.push_back(std::string(QP_INSTALL_BINDIR) + "/" + kFaxViewerName);
    candidates.push_back(kDefaultViewerPath);
    return candidates;
}

std::string FirstExistingFile(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (FileExists(path))
            return path;
    }
    return {};
}

void SetDefaultViewer(const Profile& profile, const std::string& candidate) {
    using namespace settings;
    if (!ReadText(profile, kTiffViewer).empty())
        return;
    if (!FileExists(candidate))
        return;
    Write(profile, kTiffViewer, candidate);
    Write(profile, kTiffViewerParams, std::string());
}

void SetInstalledDefaultViewer(const Profile& profile) {
    const std::string viewer = FirstExistingFile(DefaultViewerCandidates());
    SetDefaultViewer(profile, viewer.empty() ? kDefaultViewerPath : viewer);
}

} // namespace qp
