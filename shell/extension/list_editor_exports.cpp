// The C face of the AutoCrypt list's editor. Nothing thrown may cross it.
#include <qor/platform/files.h>
#include <qor/shell/list_editor.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "autocrypt_editor.h"
#include "core_library.h"

struct QorShellListEditor {
    explicit QorShellListEditor(QorShellWindow owner) : editor(owner) {}
    qor::shell::AutoCryptEditor editor;
};

namespace {

void CopyOut(const std::string& text, char* buffer, unsigned size) {
    if (buffer == nullptr || size == 0) return;
    const size_t length = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace

extern "C" {

QOR_SHELL_EXPORT QorShellListEditor* QorShellOpenListEditor(QorShellWindow owner) {
    try {
        auto* editor = new QorShellListEditor(owner);
        if (editor->editor.opened()) return editor;
        delete editor;
    } catch (...) {
    }
    return nullptr;
}

QOR_SHELL_EXPORT void QorShellCloseListEditor(QorShellListEditor* editor) {
    delete editor;
}

QOR_SHELL_EXPORT unsigned QorShellListCount(const QorShellListEditor* editor) {
    return editor == nullptr ? 0u : static_cast<unsigned>(editor->editor.entries().size());
}

QOR_SHELL_EXPORT const char* QorShellListEntry(const QorShellListEditor* editor, unsigned index) {
    if (editor == nullptr || index >= editor->editor.entries().size()) return nullptr;
    return editor->editor.entries()[index].c_str();
}

QOR_SHELL_EXPORT int QorShellListAdd(QorShellListEditor* editor, const char* path, char* message,
                                     unsigned size) {
    if (editor == nullptr || path == nullptr) return -2;
    try {
        const uint32_t attributes = qor::platform::GetAttributes(path);
        if (attributes == qor::platform::kInvalidAttributes) return -2;
        std::string text;
        switch (
            editor->editor.Add(path, (attributes & qor::platform::kAttrDirectory) != 0, &text)) {
            case qor::shell::AutoCryptEditor::AddResult::kAdded:
                return 0;
            case qor::shell::AutoCryptEditor::AddResult::kAlreadyListed:
                return 1;
            case qor::shell::AutoCryptEditor::AddResult::kRefused:
                CopyOut(text, message, size);
        }
    } catch (...) {
    }
    return -1;
}

QOR_SHELL_EXPORT int QorShellListRemove(QorShellListEditor* editor, const char* entry) {
    if (editor == nullptr || entry == nullptr) return -1;
    return editor->editor.Remove(entry) ? 0 : -1;
}

QOR_SHELL_EXPORT int QorShellListStartUp(const QorShellListEditor* editor) {
    return editor != nullptr && editor->editor.startUp() ? 1 : 0;
}

QOR_SHELL_EXPORT int QorShellStartUpSetting(void) {
    const qor::shell::CoreLibrary core;
    const auto flag = core.Export<int (*)()>("GetStartUpFlag");
    return flag != nullptr ? flag() : -1;
}

QOR_SHELL_EXPORT void QorShellListSetStartUp(QorShellListEditor* editor, int on) {
    if (editor != nullptr) editor->editor.SetStartUp(on != 0);
}

QOR_SHELL_EXPORT void QorShellListEncryptNow(QorShellListEditor* editor) {
    try {
        if (editor != nullptr) editor->editor.EncryptNow(true);
    } catch (...) {
    }
}

QOR_SHELL_EXPORT void QorShellListDecryptNow(QorShellListEditor* editor) {
    try {
        if (editor != nullptr) editor->editor.DecryptNow(true);
    } catch (...) {
    }
}

QOR_SHELL_EXPORT int QorShellListDone(QorShellListEditor* editor) {
    try {
        if (editor != nullptr && editor->editor.Done()) return 0;
    } catch (...) {
    }
    return -1;
}

}  // extern "C"
