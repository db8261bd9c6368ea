#pragma once

#include "platform/ProcessRunner.h"
#include "platform/Profile.h"

#include <string>
#include <vector>

namespace qp {

// The desktop's own opener, stored as the viewer when the user has none.
inline constexpr const char* kDefaultViewerPath = "/usr/bin/xdg-open";

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

} // namespace qp
