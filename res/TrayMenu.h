#pragma once

#include "res/Features.h"

// Menu resource 135: the tray icon's menu, one popup whose first item is the default command. Plain
// data, so that the tray logic can read it without the widget library.
namespace res {

inline constexpr int kMenuTray = 135;

inline constexpr int kIdShowConfiguration = 32771;
inline constexpr int kIdAbout = 32772;
inline constexpr int kIdSendCoverOnly = 32773;
inline constexpr int kIdCheckForUpdates = 32774;
inline constexpr int kIdFaxLog = 32780;
inline constexpr int kIdQuit = 32781;
inline constexpr int kIdContacts = 32782;

// An id of 0 with no text is a separator.
struct MenuItemDef {
    int id;
    const char* text;
};

inline constexpr const char* kTrayPopupText = "&Tray";
inline constexpr MenuItemDef kTrayPopupItems[] = {
    {kIdSendCoverOnly, "Send Cover Only Fax..."},
    {kIdShowConfiguration, "Show &Configuration"},
    {0, nullptr},
    {kIdAbout, "About Quill Post ..."},
#if QUILLPOST_SELF_UPDATE
    {kIdCheckForUpdates, "Check for Updates..."},
#endif
    {kIdFaxLog, "Fax Log..."},
    {kIdContacts, "Contacts..."},
    // Desktops here offer no other way to end a tray program than logging out; set apart at the
    // end, where it is not taken by mistake.
    {0, nullptr},
    {kIdQuit, "Quit Quill Post"},
};

} // namespace res
