#pragma once

#include "platform/ProcessRunner.h"
#include "platform/Profile.h"

#include <string>
#include <vector>

namespace qp {

// The desktop's own opener, stored as the viewer when the user has none and the program's own fax
// viewer is not installed.
inline constexpr const char* kDefaultViewerPath = "/usr/bin/xdg-open";
inline constexpr const char* kFaxViewerName = "quillpost-view";

// The viewers start-up may store, best first: the fax viewer beside the running program, the one
// in the installation's program folder, then the desktop's opener.
std::vector<std::string> DefaultViewerCandidates();
// The first of `paths` that names an existing file; empty when none does.
std::string FirstExistingFile(const std::vector<std::string>& paths);

// Splits stored viewer parameters into words as a shell would, without expanding anything:
// blanks separate words, quotes group them, a backslash takes the next character literally.
std::vector<std::string> SplitShellWords(const std::string& text);

// The viewer, its parameters, then the image path as one more word, kept whole.
std::vector<std::string> ViewerArguments(const std::string& viewer, const std::string& params,
                                         const std::string& imagePath);

// Starts the stored viewer ("tiffviewer", "tiffviewerparams") on the image and does not wait for
// it. False, after "Could not find viewer: ...", when it can't be started.
bool LaunchViewer(const Profile& profile, const std::string& imagePath, ProcessRunner& runner);

// Stores `candidate` as the viewer, with no parameters, when no viewer is stored and it exists.
// A stored viewer is never replaced.
void SetDefaultViewer(const Profile& profile, const std::string& candidate = kDefaultViewerPath);
// The same with the installed fax viewer, or without it the desktop's opener.
void SetInstalledDefaultViewer(const Profile& profile);

} // namespace qp
