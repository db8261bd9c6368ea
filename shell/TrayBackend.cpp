#include "shell/TrayBackend.h"

#include "res/TrayMenu.h"

namespace qp {

std::optional<Menu> LoadMenuResource(int id) {
    if (id != res::kMenuTray)
        return std::nullopt;
    PopupMenu popup;
    popup.text = res::kTrayPopupText;
    for (const res::MenuItemDef& def : res::kTrayPopupItems)
        popup.items.push_back(MenuItem{def.id, def.text != nullptr ? def.text : ""});
    return Menu{{popup}};
}

} // namespace qp
