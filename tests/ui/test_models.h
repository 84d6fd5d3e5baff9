// Small dialog models for the hosts' tests, beside the demo password dialog: a seeding dialog
// that counts events, a progress dialog that works from its timer, a dialog with radio buttons
// and a list, and one that opens another dialog.
#pragma once

#include <qor/ui/dialog_host.h>
#include <qor/ui/dialog_model.h>

#include <string>
#include <utility>
#include <vector>

namespace qor::ui::test {

// Counts key strokes and pointer moves, showing the count in 1001; closes itself with OK after
// `closeAfter` events and refuses Cancel until more than `cancelAfter` events were seen. Enter
// does nothing.
class SeedingModel : public DialogModel {
  public:
    SeedingModel(int closeAfter, int cancelAfter)
        : closeAfter_(closeAfter), cancelAfter_(cancelAfter) {
        template_.caption = "Random Seeding";
        template_.controls = {
            Static("Please provide random key strokes and/or mouse movements.", {7, 7, 200, 16}),
            PasswordEdit(1000, {7, 30, 100, 12}, 0),
            Static("Events:", {7, 46, 40, 8}),
            Static("0", {50, 46, 40, 8}, 1001),
        };
    }
    const DialogTemplate& Template() const override { return template_; }
    void OnInit(DialogView& view) override { view.Focus(1000); }
    void OnKey(DialogView& view, int key, int) override {
        keys.push_back(key);
        Count(view);
    }
    void OnPointerMove(DialogView& view, int x, int y) override {
        moves.emplace_back(x, y);
        Count(view);
    }
    void OnCommand(DialogView& view, int controlId) override {
        if (controlId != kIdOk) DialogModel::OnCommand(view, controlId);
    }
    bool CanClose(DialogView&) override { return events() > cancelAfter_; }

    int events() const { return static_cast<int>(keys.size() + moves.size()); }
    std::vector<int> keys;
    std::vector<std::pair<int, int>> moves;

  private:
    void Count(DialogView& view) {
        view.SetText(1001, std::to_string(events()));
        if (closeAfter_ > 0 && events() >= closeAfter_) view.Close(kIdOk);
    }
    DialogTemplate template_;
    int closeAfter_;
    int cancelAfter_;
};

// Works through `files` files from a 100 ms timer, one status line each, looking for input
// after each; stops early when cancelled or when the host's ProgressCancelAfter is reached, and
// reports file `failAt` with a message box.
class ProgressModel : public DialogModel {
  public:
    ProgressModel(DialogHost& host, int files, int failAt = 0)
        : host_(host), files_(files), failAt_(failAt) {
        template_.caption = "Encrypting";
        template_.controls = {
            Static("Encrypting...", {7, 7, 100, 8}),
            Static("", {7, 20, 180, 8}, 1021),
            DefPushButton(kIdCancel, "Cancel", {70, 40, 50, 14}),
        };
        template_.controls[1].centered = true;
    }
    const DialogTemplate& Template() const override { return template_; }
    bool IsProgressDialog() const override { return true; }
    void OnInit(DialogView& view) override { view.StartTimer(101, 100); }
    void OnTimer(DialogView& view, int timerId) override {
        view.StopTimer(timerId);
        cancelAfter = host_.ProgressCancelAfter();
        for (int i = 1; i <= files_; ++i) {
            view.SetCursor(CursorShape::kAnimation, i % 12);
            view.SetStatus(1021, "file" + std::to_string(i) + ".txt");
            ++done;
            if (i == failAt_)
                view.ShowMessage("Cannot open file" + std::to_string(i) + ".txt", "QOR Vaultis",
                                 MessageButtons::kOk, MessageIcon::kExclamation);
            view.PumpMessages();
            if (i == cancelAfter || cancelled) break;
        }
        view.Close(kIdCancel);
    }
    void OnCommand(DialogView& view, int controlId) override {
        if (controlId == kIdCancel) cancelled = true;
        DialogModel::OnCommand(view, controlId);
    }

    int cancelAfter = 0;
    int done = 0;
    bool cancelled = false;

  private:
    DialogHost& host_;
    DialogTemplate template_;
    int files_;
    int failAt_;
};

// Two radio groups and a drop-down list; OK records their states.
class OptionsModel : public DialogModel {
  public:
    OptionsModel() {
        template_.caption = "Options";
        template_.controls = {
            RadioButton(101, "&Fast", {7, 7, 60, 10}, true),
            RadioButton(102, "&Safe", {7, 20, 60, 10}, false),
            RadioButton(103, "S&mall", {7, 33, 60, 10}, true),
            RadioButton(105, "&Large", {7, 46, 60, 10}, false),
            Static("&Cipher:", {80, 7, 40, 8}),
            DropDownList(104, {120, 7, 60, 40}),
            DefPushButton(kIdOk, "OK", {50, 70, 50, 14}),
        };
    }
    const DialogTemplate& Template() const override { return template_; }
    void OnInit(DialogView& view) override {
        view.SetCheck(101, true);
        view.SetCheck(103, true);
        view.SetItems(104, {"RC4", "RC2", "DES"});
        view.SetSelection(104, 0);
    }
    void OnCommand(DialogView& view, int controlId) override {
        calls.push_back("command " + std::to_string(controlId));
        if (controlId == kIdOk)
            for (int id : {101, 102, 103, 105})
                checked.push_back(view.IsChecked(id));
        DialogModel::OnCommand(view, controlId);
    }
    void OnTextChanged(DialogView& view, int controlId) override {
        calls.push_back("text " + std::to_string(controlId) + " " +
                        std::to_string(view.Selection(controlId)));
    }

    std::vector<std::string> calls;
    std::vector<bool> checked;

  private:
    DialogTemplate template_;
};

// A list box of three items; "&Take" records which are selected and closes.
class ListModel : public DialogModel {
  public:
    ListModel() {
        template_.caption = "List";
        template_.rect = {0, 0, 120, 80};
        template_.controls = {
            Static("Items:", {7, 7, 60, 8}),
            ListBox(110, {7, 17, 100, 40}),
            PushButton(111, "&Take", {7, 60, 50, 14}),
            DefPushButton(kIdOk, "OK", {60, 60, 50, 14}),
        };
    }
    const DialogTemplate& Template() const override { return template_; }
    void OnInit(DialogView& view) override { view.SetItems(110, {"a", "b", "c"}); }
    void OnCommand(DialogView& view, int controlId) override {
        if (controlId != 111) return DialogModel::OnCommand(view, controlId);
        for (int i = 0; i < 3; ++i)
            if (view.IsSelected(110, i)) taken.push_back(i);
        first = view.Selection(110);
        view.Close(kIdOk);
    }

    std::vector<int> taken;
    int first = -2;

  private:
    DialogTemplate template_;
};

// "&More" opens `inner` through the host, as the encrypt dialog opens its emergency-access
// dialog.
class OuterModel : public DialogModel {
  public:
    OuterModel(DialogHost& host, DialogModel& inner) : host_(host), inner_(inner) {
        template_.caption = "Encrypt";
        template_.controls = {
            PushButton(1048, "&More", {7, 7, 50, 14}),
            DefPushButton(kIdOk, "OK", {60, 7, 50, 14}),
            PushButton(kIdCancel, "Cancel", {113, 7, 50, 14}),
        };
    }
    const DialogTemplate& Template() const override { return template_; }
    void OnCommand(DialogView& view, int controlId) override {
        if (controlId == 1048)
            innerResult = host_.RunModal(inner_);
        else
            DialogModel::OnCommand(view, controlId);
    }
    int innerResult = 0;

  private:
    DialogHost& host_;
    DialogModel& inner_;
    DialogTemplate template_;
};

// Two timers, 300 ms and 100 ms; closes when the slow one fires, after recording each tick.
class TimerModel : public DialogModel {
  public:
    TimerModel() { template_.caption = "Timers"; }
    const DialogTemplate& Template() const override { return template_; }
    void OnInit(DialogView& view) override {
        view.StartTimer(1, 300);
        view.StartTimer(2, 100);
    }
    void OnTimer(DialogView& view, int timerId) override {
        ticks.push_back(timerId);
        if (timerId == 1) view.Close(kIdOk);
    }
    std::vector<int> ticks;

  private:
    DialogTemplate template_;
};

}  // namespace qor::ui::test
