#pragma once

#include "base/Settings.h"

#include <functional>
#include <optional>
#include <string>

namespace qp {

inline constexpr const char* kLogoFileName = ".fx.cover.hdr";
inline constexpr const char* kLogoBackupFileName = ".fx.cover.hdr.old";
// The folder "Browse..." last took a logo from, where it opens next.
inline constexpr settings::Setting kLogoFolderSetting{"cvrlogodir"};

// The cover sheet's logo and the backup "Clear" moves it to, in the user's own folder. Both are
// empty when that folder cannot be found: no logo is shown or drawn then.
struct CoverLogoPaths {
    std::string logo;
    std::string backup;
};
CoverLogoPaths LogoPathsIn(const std::optional<std::string>& folder);
CoverLogoPaths UserLogoPaths();

// "Browse...": copies the chosen file byte for byte over the logo, whatever it holds. Only a plain
// file (also through a link) is taken, and not the logo itself; the old logo is replaced whole, or
// stays as it was. On failure the user is told "Error copying cover header logo: " and the reason.
void CopyLogoFile(const std::string& chosen, const std::string& logo);

// "Clear": moves the logo over the backup. False (after the message) when the logo could not be
// moved; true also when there was no logo.
bool ClearLogo(const CoverLogoPaths& paths);

} // namespace qp
