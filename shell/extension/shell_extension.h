// The shell's object for one use of the file manager's menu: the selection it was given, the
// menu it builds, the command it carries out through the core library, the icon of an encrypted
// file. Its life is counted, so that the library knows when it may be unloaded.
#pragma once

#include <qor/shell/shell_exports.h>

#include <atomic>
#include <string>
#include <vector>

#include "context_menu.h"
#include "selection_model.h"

namespace qor::shell {

// Counts the library's live objects (menu objects, and the class objects that make them): the
// library may be unloaded only while none is alive.
class LiveObject {
  public:
    LiveObject() { ++count_; }
    ~LiveObject() { --count_; }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
    static int Count() { return count_.load(); }

  private:
    static std::atomic<int> count_;
};

class ShellExtension {
  public:
    ShellExtension() = default;
    ShellExtension(const ShellExtension&) = delete;
    ShellExtension& operator=(const ShellExtension&) = delete;

    bool Initialize(const std::vector<std::string>& paths);
    int QueryContextMenu(std::vector<MenuItem>* menu, size_t position, int firstId);
    // 0, or -2 for an offset above 13.
    int InvokeCommand(QorShellWindow owner, int offset);
    // The help text's string number (0 for an offset above 13).
    static int CommandString(int offset) { return CommandStringId(offset); }
    void Load(const std::string& fileName) { iconFileName_ = fileName; }
    int IconIndex() const { return IconIndexFor(iconFileName_); }

    const Selection& selection() const { return selection_; }
    static int LiveObjects() { return LiveObject::Count(); }

  private:
    Selection selection_;
    std::string iconFileName_;
    LiveObject live_;
};

// The selection's environment on this platform: its separator, its system folder, folders.
SelectionEnvironment PlatformSelectionEnvironment();

}  // namespace qor::shell
