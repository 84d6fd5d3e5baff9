// The model's menu items put into a real menu of the shell.
#pragma once

#include <vector>

#include "com_module.h"
#include "context_menu.h"

namespace qor::shell::com {

// Inserts `items` into `menu` from `position` (its end when beyond it): popups as popup menus,
// grayed items grayed, the library's mark beside marked items. False, with nothing left inserted,
// when the menu refused an item.
bool InsertMenuItems(HMENU menu, UINT position, const std::vector<MenuItem>& items);

}  // namespace qor::shell::com
