#pragma once

#include "base/Settings.h"
#include "platform/Profile.h"

#include <string>
#include <utility>

namespace qp {

// The user's folders a file dialog may first open in.
enum class UserFiles { Pictures, Documents };

// Where one file dialog opens: the folder its user last chose a file in, kept in a setting of its
// own, so that each dialog remembers its own place.
class DialogFolder {
public:
    DialogFolder(Profile profile, const settings::Setting& remembered, UserFiles firstFolder)
        : m_profile(std::move(profile)), m_remembered(remembered), m_firstFolder(firstFolder) {}

    // The remembered folder while it still is one; else the user's Pictures or Documents folder
    // where it exists; else the home folder. Never the folder the program was started in, which
    // a menu makes the program's own.
    std::string StartFolder() const;
    // Remembers the folder that holds `chosenFile`.
    void Remember(const std::string& chosenFile) const;

private:
    Profile m_profile;
    settings::Setting m_remembered;
    UserFiles m_firstFolder;
};

} // namespace qp
