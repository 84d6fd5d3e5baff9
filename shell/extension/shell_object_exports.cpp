// The context-menu object's C face, as the front end and the file managers' menus call it.
// Nothing thrown may cross it.
#include <qor/platform/system.h>
#include <qor/shell/shell_object.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "context_menu.h"
#include "shell_extension.h"
#include "string_table.h"

struct QorShellObject {
    qor::shell::ShellExtension extension;
};

namespace {

void CopyOut(std::string_view text, char* buffer, unsigned size) {
    if (buffer == nullptr || size == 0) return;
    const size_t length = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace

extern "C" {

QOR_SHELL_EXPORT QorShellObject* QorShellCreate(void) {
    return new (std::nothrow) QorShellObject();
}

QOR_SHELL_EXPORT void QorShellRelease(QorShellObject* object) {
    delete object;
}

QOR_SHELL_EXPORT int QorShellInitialize(QorShellObject* object, const char* const* paths,
                                        unsigned count) {
    if (object == nullptr || paths == nullptr) return QOR_SHELL_FAIL;
    try {
        std::vector<std::string> names;
        for (unsigned i = 0; i < count; ++i)
            if (paths[i] != nullptr) names.emplace_back(paths[i]);
        return object->extension.Initialize(names) ? QOR_SHELL_OK : QOR_SHELL_FAIL;
    } catch (...) {
        return QOR_SHELL_FAIL;
    }
}

QOR_SHELL_EXPORT int QorShellQueryContextMenu(QorShellObject* object, int firstId, char* text,
                                              unsigned size) {
    if (object == nullptr) return 0;
    try {
        std::vector<qor::shell::MenuItem> menu;
        const int used = object->extension.QueryContextMenu(&menu, 0, firstId);
        CopyOut(qor::shell::MenuText(menu), text, size);
        return used;
    } catch (...) {
        CopyOut("", text, size);
        return 0;
    }
}

QOR_SHELL_EXPORT int QorShellInvokeCommand(QorShellObject* object, QorShellWindow owner,
                                           unsigned offset) {
    if (object == nullptr) return QOR_SHELL_FAIL;
    if (offset > qor::shell::kOffsetLast) return QOR_SHELL_INVALID_ARGUMENT;
    try {
        object->extension.InvokeCommand(owner, static_cast<int>(offset));
    } catch (...) {
    }
    return QOR_SHELL_OK;
}

QOR_SHELL_EXPORT int QorShellGetCommandString(QorShellObject*, unsigned offset, char* buffer,
                                              unsigned size) {
    if (offset > qor::shell::kOffsetLast) return QOR_SHELL_INVALID_ARGUMENT;
    CopyOut(qor::shell::LoadShellString(
                qor::shell::ShellExtension::CommandString(static_cast<int>(offset))),
            buffer, size);
    return QOR_SHELL_OK;
}

QOR_SHELL_EXPORT int QorShellGetIconLocation(QorShellObject* object, const char* fileName,
                                             char* module, unsigned size, int* index) {
    if (object == nullptr) return QOR_SHELL_FAIL;
    object->extension.Load(fileName != nullptr ? fileName : "");
    CopyOut(qor::platform::LibraryPathOf(reinterpret_cast<const void*>(&QorShellCreate)), module,
            size);
    const int icon = object->extension.IconIndex();
    if (icon >= 0 && index != nullptr) *index = icon;
    return QOR_SHELL_OK;
}

QOR_SHELL_EXPORT int QorShellCanUnloadNow(void) {
    return qor::shell::ShellExtension::LiveObjects() == 0 ? QOR_SHELL_OK : QOR_SHELL_FALSE;
}

}  // extern "C"
