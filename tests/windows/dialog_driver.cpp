// Answers the real dialogs and message boxes of other programs as a user would, from a scenario
// in the script host's form (one line per window, in order):
//
//   dialog_driver.exe [--shots FOLDER --name PREFIX] [--timeout SECONDS] SCENARIO
//
// Each window is waited for (by its caption, or by a message box's text), photographed into
// FOLDER as PREFIX-N-what.png once its fields are filled, checked for controls lying outside it
// or overlapping, and answered: fields typed, boxes checked, buttons clicked, key strokes and
// pointer moves for the random seeding until it closes. The exit status says what went wrong, on
// stderr: 2 bad arguments or scenario, 3 a window or control that did not come, 4 layout faults
// (every step was still done), 5 a screenshot that could not be saved.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <qor/secure_buffer.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "hosts/script/scenario.h"
#include "win32_driver.h"

namespace {

namespace driver = qor::test::win32;
using qor::ui::script::ControlRef;
using qor::ui::script::Entry;
using qor::ui::script::EntryKind;
using qor::ui::script::Scenario;
using qor::ui::script::Step;
using qor::ui::script::StepKind;

struct Options {
    std::string shots;
    std::string prefix = "dialog";
    DWORD timeout = 30000;
    std::string scenario;
};

std::string WithoutMnemonic(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '&') out += c;
    return out;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, 64);
    return name;
}

// The window an entry is about: a shown dialog with the caption (any, for *) or a message box
// whose text holds the substring, never one an earlier entry answered.
struct Search {
    const Entry* entry;
    const std::set<HWND>* answered;
    HWND found;
    std::string shown;  // the captions of the dialogs shown, for a failure's message
};

BOOL CALLBACK Match(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (!IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
    search->shown += (search->shown.empty() ? "\"" : ", \"") + driver::Caption(window) + "\"";
    if (search->answered->count(window) != 0) return TRUE;
    const Entry& entry = *search->entry;
    if (entry.kind == EntryKind::kMessage) {
        if (GetDlgItem(window, 0xFFFF) == nullptr ||
            driver::MessageText(window).find(entry.substring) == std::string::npos)
            return TRUE;
    } else if (!entry.anyCaption && driver::Caption(window) != entry.caption) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// A window an earlier entry answered counts again after a while, when it is usable and not the
// one the entry before answered: a dialog that stays open under the message box it showed
// (a refused password) is answered again once the box is gone.
HWND WaitFor(const Entry& entry, const std::set<HWND>& answered, HWND previous, DWORD milliseconds,
             std::string* shown) {
    const ULONGLONG start = GetTickCount64();
    do {
        Search search{&entry, &answered, nullptr, {}};
        EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr && GetTickCount64() - start > 2000) {
            std::set<HWND> reopened = {previous};
            Search again{&entry, &reopened, nullptr, {}};
            EnumWindows(&Match, reinterpret_cast<LPARAM>(&again));
            if (again.found != nullptr && IsWindowEnabled(again.found)) search.found = again.found;
        }
        *shown = search.shown;
        if (search.found != nullptr) {
            Sleep(200);  // let it finish painting
            return search.found;
        }
        Sleep(30);
    } while (GetTickCount64() - start < milliseconds);
    return nullptr;
}

// A control by id, or by its own text or its label's (the control after the label), '&' optional.
int ControlId(HWND dialog, const ControlRef& ref) {
    if (ref.name.empty()) return driver::Control(dialog, ref.id) != nullptr ? ref.id : -1;
    const std::string wanted = WithoutMnemonic(ref.name);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        // Labels share one id, so the text is each window's own.
        if (WithoutMnemonic(driver::Caption(child)) != wanted) continue;
        if (ClassOf(child) == "Static") child = GetWindow(child, GW_HWNDNEXT);
        return child != nullptr ? GetDlgCtrlID(child) : -1;
    }
    return -1;
}

// Typed as WM_SETTEXT does it, from a wide copy that is wiped afterwards (it may be a password).
void TypeSecret(HWND dialog, int id, std::string_view text) {
    HWND control = driver::Control(dialog, id);
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::vector<wchar_t> wide(static_cast<size_t>(units) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.data()),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    qor::SecureWipe(wide.data(), wide.size() * sizeof(wchar_t));
}

bool IsToggle(HWND control) {
    if (ClassOf(control) != "Button") return false;
    const LONG kind = GetWindowLongW(control, GWL_STYLE) & 0xF;
    return kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_RADIOBUTTON ||
           kind == BS_AUTORADIOBUTTON || kind == BS_3STATE || kind == BS_AUTO3STATE;
}

// Key strokes and pointer moves, as a user feeds the random seeding, until the window closes.
void Feed(HWND dialog, int events, DWORD milliseconds) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    for (int k = 0; IsWindow(dialog) && IsWindowVisible(dialog); ++k) {
        if (k < events) {
            driver::PressKey(dialog, static_cast<WORD>('A' + k % 26));
        } else {
            PostMessageW(dialog, WM_MOUSEMOVE, 0, MAKELPARAM(k % 300, (3 * k) % 200));
        }
        if (k % 40 == 0) Sleep(5);
        if (GetTickCount64() >= until) return;
    }
}

std::string Slug(const std::string& text) {
    std::string out;
    for (char c : WithoutMnemonic(text)) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!out.empty() && out.back() != '-') {
            out += '-';
        }
        if (out.size() >= 40) break;
    }
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    return out;
}

class Run {
  public:
    explicit Run(const Options& options) : options_(options) {}

    // Done with the first failure of a window that did not come; layout faults are collected.
    int Play(const Scenario& scenario) {
        int number = 0;
        for (const Entry& entry : scenario.entries) {
            ++number;
            if (entry.kind == EntryKind::kProgress) continue;  // progress answers itself
            const std::string what = entry.kind == EntryKind::kMessage
                                         ? "a message box saying \"" + entry.substring + "\""
                                     : entry.anyCaption ? "a dialog"
                                                        : "the dialog \"" + entry.caption + "\"";
            std::string shown;
            HWND window = WaitFor(entry, answered_, previous_, options_.timeout, &shown);
            if (window == nullptr)
                return Fail(3, entry,
                            what + " did not appear within " +
                                std::to_string(options_.timeout / 1000) +
                                " seconds (shown: " + (shown.empty() ? "none" : shown) + ")");
            answered_.insert(window);
            previous_ = window;
            std::printf("%d: %s\n", number,
                        entry.kind == EntryKind::kMessage
                            ? ("message: " + driver::MessageText(window)).c_str()
                            : ("dialog: " + driver::Caption(window)).c_str());
            std::fflush(stdout);
            const std::string name =
                std::to_string(number) + "-" +
                Slug(entry.kind == EntryKind::kMessage ? entry.substring : driver::Caption(window));
            if (entry.kind == EntryKind::kMessage) {
                // The system lays out its message boxes to fit their text.
                Shoot(window, name, false);
                driver::Click(window, entry.answer);
                continue;
            }
            bool shot = false;
            for (const Step& step : entry.steps) {
                if (step.kind == StepKind::kEvents) {
                    Shoot(window, name);
                    shot = true;
                    Feed(window, step.events, options_.timeout);
                    continue;
                }
                const int id = ControlId(window, step.control);
                if (id < 0 || !IsWindowVisible(driver::Control(window, id)) ||
                    !IsWindowEnabled(driver::Control(window, id)))
                    return Fail(
                        3, entry,
                        Describe(step.control) + " is missing, hidden or disabled in " + what);
                if (step.kind == StepKind::kPress) {
                    if (!shot) Shoot(window, name);
                    shot = true;
                    driver::Click(window, id);
                    // A press that opens a message box or closes the dialog takes its time.
                    Sleep(300);
                } else if (IsToggle(driver::Control(window, id))) {
                    const bool wanted = step.value.view() != "0";
                    if (driver::IsChecked(window, id) != wanted) driver::Click(window, id);
                    Sleep(100);
                } else {
                    TypeSecret(window, id, step.value.view());
                }
            }
            if (!shot) Shoot(window, name);
        }
        return status_;
    }

  private:
    std::string Describe(const ControlRef& ref) {
        return ref.name.empty() ? "control " + std::to_string(ref.id) : "\"" + ref.name + "\"";
    }

    int Fail(int status, const Entry& entry, const std::string& message) {
        std::fprintf(stderr, "dialog_driver: %s line %d: %s\n", options_.scenario.c_str(),
                     entry.line, message.c_str());
        return status;
    }

    // The picture and the layout check of a window as the user sees it before answering.
    void Shoot(HWND window, const std::string& name, bool checkLayout = true) {
        // A dialog of ours inside the system's open dialog: only ours is ours to check.
        HWND checked = window;
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            GetClassNameW(child, kind, 16);
            if (std::wstring(kind) == L"#32770") checked = child;
        }
        // The system's open and save dialogs (known by their folder list, cmb2) are the
        // system's to lay out; only a dialog of ours inside one is checked.
        if (checked == window && GetDlgItem(window, 1137) != nullptr) checkLayout = false;
        for (const std::string& fault :
             checkLayout ? driver::LayoutFaults(checked) : std::vector<std::string>()) {
            // Texts are measured in this process's default font, not the dialog's (a font is
            // its own process's): only the dialogs' own tests, in process, can measure them.
            if (fault.find(" needs ") != std::string::npos) continue;
            std::fprintf(stderr, "dialog_driver: layout of %s (%s): %s\n", name.c_str(),
                         driver::Caption(window).c_str(), fault.c_str());
            if (status_ == 0) status_ = 4;
        }
        if (options_.shots.empty()) return;
        const std::string path = options_.shots + "\\" + options_.prefix + "-" + name + ".png";
        if (!driver::SaveScreenshot(window, path)) {
            std::fprintf(stderr, "dialog_driver: could not save %s\n", path.c_str());
            if (status_ == 0) status_ = 5;
        }
    }

    const Options& options_;
    std::set<HWND> answered_;
    HWND previous_ = nullptr;
    int status_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--shots" && k + 1 < argc) {
            options.shots = argv[++k];
        } else if (arg == "--name" && k + 1 < argc) {
            options.prefix = argv[++k];
        } else if (arg == "--timeout" && k + 1 < argc) {
            options.timeout = static_cast<DWORD>(std::strtoul(argv[++k], nullptr, 10) * 1000);
        } else if (options.scenario.empty() && arg.rfind("--", 0) != 0) {
            options.scenario = arg;
        } else {
            options.scenario.clear();
            break;
        }
    }
    if (options.scenario.empty() || options.timeout == 0) {
        std::fprintf(stderr,
                     "usage: dialog_driver [--shots FOLDER --name PREFIX] "
                     "[--timeout SECONDS] SCENARIO\n");
        return 2;
    }
    std::ifstream in(options.scenario, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "dialog_driver: cannot read %s\n", options.scenario.c_str());
        return 2;
    }
    // The scenario's text holds the passwords to type: wiped once parsed.
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Scenario scenario;
    std::string error;
    const bool parsed = qor::ui::script::ParseScenario(text, &scenario, &error);
    qor::SecureWipe(text.data(), text.size());
    if (!parsed) {
        std::fprintf(stderr, "dialog_driver: %s: %s\n", options.scenario.c_str(), error.c_str());
        return 2;
    }
    return Run(options).Play(scenario);
}
