#include "com_menu.h"

namespace qor::shell::com {

namespace {

// Loaded once for the process: the menus that show it may outlive any one menu object.
HBITMAP MenuMark() {
    static const HBITMAP mark = LoadBitmapW(Module(), MAKEINTRESOURCEW(kMenuMarkBitmap));
    return mark;
}

bool InsertItem(HMENU menu, UINT position, const MenuItem& item) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    std::wstring text;
    if (item.kind == MenuItem::Kind::kSeparator) {
        info.fMask = MIIM_FTYPE | MIIM_ID;
        info.fType = MFT_SEPARATOR;
        info.wID = item.id >= 0 ? static_cast<UINT>(item.id) : 0;
    } else {
        text = Wide(item.text);
        info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_STATE;
        info.fType = MFT_STRING;
        info.dwTypeData = text.data();
        info.fState = item.grayed ? MFS_GRAYED : MFS_ENABLED;
        if (item.kind == MenuItem::Kind::kPopup) {
            info.fMask |= MIIM_SUBMENU;
            info.hSubMenu = CreatePopupMenu();
            if (info.hSubMenu == nullptr) return false;
            if (!InsertMenuItems(info.hSubMenu, 0, item.items)) {
                DestroyMenu(info.hSubMenu);
                return false;
            }
        } else {
            info.fMask |= MIIM_ID;
            info.wID = static_cast<UINT>(item.id);
        }
    }
    if (!InsertMenuItemW(menu, position, TRUE, &info)) {
        if (info.hSubMenu != nullptr) DestroyMenu(info.hSubMenu);
        return false;
    }
    if (item.marked && MenuMark() != nullptr)
        SetMenuItemBitmaps(menu, position, MF_BYPOSITION, MenuMark(), MenuMark());
    return true;
}

}  // namespace

bool InsertMenuItems(HMENU menu, UINT position, const std::vector<MenuItem>& items) {
    const int count = GetMenuItemCount(menu);
    if (count < 0) return false;
    if (position > static_cast<UINT>(count)) position = static_cast<UINT>(count);
    for (size_t k = 0; k < items.size(); ++k) {
        if (InsertItem(menu, position + static_cast<UINT>(k), items[k])) continue;
        // Half a menu would offer commands without their context: take back what went in.
        for (size_t done = 0; done < k; ++done)
            DeleteMenu(menu, position, MF_BYPOSITION);
        return false;
    }
    return true;
}

}  // namespace qor::shell::com
