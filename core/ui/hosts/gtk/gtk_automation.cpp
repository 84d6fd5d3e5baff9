#include "gtk_automation.h"

#include <qor/platform/system.h>

#include <qor/ui/dialog_host.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "gtk_dialog.h"
#include "src/message_box.h"
#include "src/template_names.h"

namespace qor::ui::gtk {

namespace {

constexpr int kFailureExit = 3;

std::string OneLine(std::string_view text) {
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        line += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return line;
}

// A caption as part of a file name.
std::string FileName(std::string_view caption) {
    std::string name;
    for (char c : caption)
        name += (std::isalnum(static_cast<unsigned char>(c)) != 0) ? c : '-';
    return name;
}

}  // namespace

std::unique_ptr<GtkAutomation> GtkAutomation::FromEnvironment() {
    const std::string path = platform::EnvironmentVariable("QOR_GTK_SCENARIO");
    if (path.empty()) return nullptr;
    auto automation = std::make_unique<GtkAutomation>();
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    if (!in || !script::ParseScenario(text.str(), &automation->scenario_, &error)) {
        std::fprintf(stderr, "cannot read the scenario file %s %s\n", path.c_str(), error.c_str());
        std::exit(kFailureExit);
    }
    automation->transcript_ = platform::EnvironmentVariable("QOR_UI_LOG");
    automation->shots_ = platform::EnvironmentVariable("QOR_GTK_SHOTS");
    return automation;
}

const script::Entry* GtkAutomation::Take(script::EntryKind kind) {
    if (next_ >= scenario_.entries.size() || scenario_.entries[next_].kind != kind) return nullptr;
    return &scenario_.entries[next_++];
}

void GtkAutomation::Log(const std::string& line) {
    if (transcript_.empty()) return;
    std::ofstream out(transcript_, std::ios::app | std::ios::binary);
    out << OneLine(line) << "\n";
}

void GtkAutomation::Fail(const std::string& reason) {
    std::fprintf(stderr, "%s\n", reason.c_str());
    std::fflush(stderr);
    std::_Exit(kFailureExit);
}

void GtkAutomation::Shot(GtkWidget* window, std::string_view caption) {
    if (shots_.empty()) return;
    std::string number = std::to_string(++shotCount_);
    if (number.size() < 2) number.insert(0, "0");
    SaveWindowScreenshot(window, shots_ + "/" + number + "-" + FileName(caption) + ".png");
}

int GtkAutomation::Resolve(GtkDialogWindow& dialog, const script::Entry& entry,
                           const script::ControlRef& ref) {
    const DialogTemplate& form = dialog.model().Template();
    if (ref.name.empty()) return ref.id;
    std::string error;
    const int index = FindControlByName(form, ref.name, &error);
    if (index < 0) Fail("scenario line " + std::to_string(entry.line) + ": " + error);
    return form.controls[static_cast<size_t>(index)].id;
}

void GtkAutomation::DialogShown(GtkDialogWindow& dialog) {
    const std::string caption = dialog.view().caption();
    if (dialog.model().IsProgressDialog()) {
        Shot(dialog.window(), caption);
        return;
    }
    const script::Entry* entry = Take(script::EntryKind::kDialog);
    if (entry == nullptr) Fail("unscripted dialog: " + caption);
    if (!entry->anyCaption && entry->caption != caption) {
        Fail("scenario line " + std::to_string(entry->line) + ": expected dialog \"" +
             entry->caption + "\" but got \"" + caption + "\"");
    }
    Shot(dialog.window(), caption);
    // A control cut or covering another is a fault of the dialog, said where the test sees it.
    for (const std::string& fault : dialog.LayoutFaults())
        std::fprintf(stderr, "layout of \"%s\": %s\n", caption.c_str(), fault.c_str());
    for (const script::Step& step : entry->steps) {
        if (dialog.view().closed()) break;
        switch (step.kind) {
            case script::StepKind::kSet: {
                const int id = Resolve(dialog, *entry, step.control);
                const std::string_view value = step.value.view();
                const ControlState* state = dialog.view().State(id);
                if (state == nullptr || !state->visible || !state->enabled) {
                    Fail("scenario line " + std::to_string(entry->line) + ": " +
                         std::to_string(id) + " is hidden or disabled in \"" + caption + "\"");
                }
                const ControlKind kind = state->control->kind;
                if (kind == ControlKind::kCheckBox || kind == ControlKind::kRadioButton)
                    dialog.SetChecked(id, value == "1");
                else
                    dialog.Type(id, std::string(value));
                break;
            }
            case script::StepKind::kEvents:
                // Key strokes and pointer moves, one after the other, as a person makes them.
                for (int k = 0; k < step.events && !dialog.view().closed(); ++k) {
                    if (k % 2 == 0)
                        dialog.model().OnKey(dialog.view(), 'a' + k % 26, 1);
                    else
                        dialog.model().OnPointerMove(dialog.view(), 100 + k % 97, 100 + k % 89);
                }
                break;
            case script::StepKind::kPress:
                dialog.Click(Resolve(dialog, *entry, step.control));
                break;
        }
    }
}

int GtkAutomation::MessageShown(GtkWidget* box, std::string_view text, std::string_view caption,
                                MessageButtons buttons) {
    Log("message: " + std::string(caption) + ": " + std::string(text) + " [" +
        ButtonsLabel(buttons) + "]");
    const script::Entry* entry = Take(script::EntryKind::kMessage);
    if (entry == nullptr) Fail("unscripted message: " + std::string(caption));
    if (text.find(entry->substring) == std::string_view::npos) {
        Fail("scenario line " + std::to_string(entry->line) + ": expected message \"" +
             entry->substring + "\" but got \"" + OneLine(text) + "\"");
    }
    Shot(box, caption);
    return entry->answer;
}

int GtkAutomation::ChooserShown(GtkWidget* chooser, std::string_view caption) {
    Log("dialog: " + std::string(caption));
    const script::Entry* entry = Take(script::EntryKind::kDialog);
    if (entry == nullptr) Fail("unscripted dialog: " + std::string(caption));
    if (!entry->anyCaption && entry->caption != caption) {
        Fail("scenario line " + std::to_string(entry->line) + ": expected dialog \"" +
             entry->caption + "\" but got \"" + std::string(caption) + "\"");
    }
    constexpr int kFileName = 1152;
    int response = GTK_RESPONSE_CANCEL;
    for (const script::Step& step : entry->steps) {
        if (step.kind == script::StepKind::kSet && step.control.id == kFileName) {
            gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser),
                                              std::string(step.value.view()).c_str());
        } else if (step.kind == script::StepKind::kPress &&
                   (step.control.id == kIdOk || step.control.id == kIdCancel)) {
            response = step.control.id == kIdOk ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL;
            break;
        } else {
            Fail("scenario line " + std::to_string(entry->line) + ": the file chooser takes " +
                 std::to_string(kFileName) + "=\"name\" and -> 1 or -> 2");
        }
    }
    Shot(chooser, caption);
    return response;
}

int GtkAutomation::ProgressCancelAfter() {
    const script::Entry* entry = Take(script::EntryKind::kProgress);
    return entry != nullptr ? entry->cancelAfter : kNeverCancel;
}

void GtkAutomation::Status(std::string_view text) {
    Log("status: " + std::string(text));
}

void GtkAutomation::DialogOpening(std::string_view caption) {
    Log("dialog: " + std::string(caption));
}

}  // namespace qor::ui::gtk
