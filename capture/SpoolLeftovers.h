#pragma once

#include <ostream>
#include <string>

namespace qp {

// Where provisioning puts what does not belong in the common folder. The "+" keeps it apart from
// the users' folders: no account tool accepts it in a login name, and a folder of root's under
// that name would turn such a user's jobs away rather than take them.
inline constexpr const char* kLostAndFoundName = "lost+found";

// The common folder (open as `common`, already root's and closed to everybody else) may hold only
// the folders of the users they are named after. Anything else was planted while the folder was
// open to all, and would take a user's place or send the user's jobs elsewhere: links, whatever is
// not a folder, folders of unknown names and folders that belong to someone other than the user
// named. Each is moved, links unfollowed, into a root-only lost+found inside the common folder
// under a name no earlier leftover has, with one line on `out` saying so; the user's next job then
// gets a fresh folder. 0, or the error that stopped it.
int MoveLeftoversAside(int common, const std::string& commonPath, std::ostream& out);

} // namespace qp
