#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class QObject;

namespace qp {

// A loaded icon as the tray backend knows it; 0 stands for no icon.
using IconHandle = std::size_t;

// Which parts of the record a tray call carries.
enum TrayFlags : unsigned {
    kTrayFlagMessage = 0x1,
    kTrayFlagIcon = 0x2,
    kTrayFlagTip = 0x4,
    kTrayFlagInfo = 0x10, // a notification balloon: `infoTitle` and `info`
};

enum class TrayAction { Add, Modify, Delete };

// The longest tooltip the record holds, in bytes.
inline constexpr std::size_t kTrayTipMax = 127;
// The longest notification text and title, in bytes.
inline constexpr std::size_t kTrayInfoMax = 255;
inline constexpr std::size_t kTrayInfoTitleMax = 63;

// What the tray is told about our icon: the window that receives the icon's mouse events as an
// event of type `callbackMessage`, the icon's id, and the icon and tooltip to show.
struct NotifyIconData {
    QObject* window = nullptr;
    int id = 0;
    unsigned flags = 0;
    int callbackMessage = 0;
    IconHandle icon = 0;
    std::string tip;
    std::string info;
    std::string infoTitle;
};

// A menu resource: popups, each a list of items; an item with id 0 and no text is a separator.
struct MenuItem {
    int id = 0;
    std::string text;
    bool IsSeparator() const { return id == 0 && text.empty(); }
};

struct PopupMenu {
    std::string text;
    std::vector<MenuItem> items;
};

struct Menu {
    std::vector<PopupMenu> popups;
};

// Everything the tray icon needs from the desktop: resources, the notification area and popup
// menus. The program uses QSystemTrayIcon; tests record the calls.
class TrayBackend {
public:
    virtual ~TrayBackend() = default;

    // Adds, changes or removes the icon that `data` describes; false when the tray refused.
    virtual bool NotifyIcon(TrayAction action, const NotifyIconData& data) = 0;

    // Resource lookups by number: empty string, 0 or nothing when there is no such resource.
    virtual std::string LoadString(int id) = 0;
    virtual IconHandle LoadIcon(int id) = 0;
    virtual std::optional<Menu> LoadMenu(int id) = 0;

    // Shows `popup` at the mouse cursor with its item at `defaultPosition` marked as the default.
    // The chosen item's id goes to `owner` as a CommandEvent once the menu has closed.
    virtual void TrackPopupMenu(const PopupMenu& popup, int defaultPosition, QObject* owner) = 0;
};

// Menu resources defined in res/, for backends that serve the program's own menus.
std::optional<Menu> LoadMenuResource(int id);

} // namespace qp
