// shutdwn.exe's resources against the dialog model: dialog 102 as the resource script lays it
// out must be the dialog the model describes (caption, frame, font, and each control's id, kind,
// text and place, in order), with the frame's styles; icon 128 must hold the sizes the shell
// asks for. Reads the built program beside this test as a resource file, as Windows does.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "shutdown_dialog.h"

namespace {

using qor::ui::ControlKind;

// The program's resources, loaded as data.
class ResourceFile {
  public:
    ResourceFile() {
        std::wstring path(MAX_PATH, L'\0');
        path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
        path.resize(path.find_last_of(L'\\') + 1);
        path += L"shutdwn.exe";
        module_ = LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    ~ResourceFile() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    // The bytes of a resource, empty when missing.
    std::vector<uint8_t> Get(LPCWSTR type, int id) const {
        if (module_ == nullptr) return {};
        HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        if (found == nullptr) return {};
        auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module_, found)));
        return data == nullptr ? std::vector<uint8_t>()
                               : std::vector<uint8_t>(data, data + SizeofResource(module_, found));
    }
    bool loaded() const { return module_ != nullptr; }

  private:
    HMODULE module_ = nullptr;
};

// Reads a DLGTEMPLATE: words, double words, and the strings or ordinals between them.
class Reader {
  public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint16_t Word() {
        if (at_ + 2 > bytes_.size()) {
            failed_ = true;
            return 0;
        }
        const uint16_t value = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return value;
    }
    uint32_t Dword() {
        const uint32_t low = Word();
        return low | static_cast<uint32_t>(Word()) << 16;
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    // A string, or "#N" for an ordinal.
    std::string Text() {
        uint16_t c = Word();
        if (c == 0xffff) return "#" + std::to_string(Word());
        std::string text;
        for (; c != 0 && !failed_; c = Word())
            text += c < 0x80 ? static_cast<char>(c) : '?';
        return text;
    }
    void AlignToDword() { at_ = (at_ + 3) & ~size_t{3}; }
    bool failed() const { return failed_; }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
    bool failed_ = false;
};

// The class atom and style bits a control of that kind has in a resource script.
struct Expected {
    uint16_t atom;
    uint32_t kindStyle;
};
Expected ExpectedFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::kRadioButton:
            return {0x80, BS_AUTORADIOBUTTON};
        case ControlKind::kDefPushButton:
            return {0x80, BS_DEFPUSHBUTTON};
        case ControlKind::kPushButton:
            return {0x80, BS_PUSHBUTTON};
        case ControlKind::kIcon:
            return {0x82, SS_ICON};
        default:
            return {0x82, SS_LEFT};
    }
}

TEST(ShutdownResources, DialogTheScriptLaysOutIsTheModelsDialog) {
    const ResourceFile file;
    ASSERT_TRUE(file.loaded());
    const std::vector<uint8_t> bytes = file.Get(MAKEINTRESOURCEW(5), 102);  // RT_DIALOG
    ASSERT_FALSE(bytes.empty()) << "no dialog 102";
    const qor::shutdown::ShutdownDialog model(
        true, [] {}, [](qor::ui::DialogView&) {});
    const qor::ui::DialogTemplate& wanted = model.Template();

    Reader in(bytes);
    const uint32_t style = in.Dword();
    in.Dword();  // extended style
    const uint16_t count = in.Word();
    const int16_t x = in.Short(), y = in.Short(), width = in.Short(), height = in.Short();
    EXPECT_EQ(in.Text(), "");  // no menu
    EXPECT_EQ(in.Text(), "");  // the dialog class
    EXPECT_EQ(in.Text(), wanted.caption);
    const uint32_t frame =
        DS_SYSMODAL | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;
    EXPECT_EQ(style & frame, frame);
    EXPECT_EQ(x, wanted.rect.x);
    EXPECT_EQ(y, wanted.rect.y);
    EXPECT_EQ(width, wanted.rect.width);
    EXPECT_EQ(height, wanted.rect.height);
    EXPECT_EQ(in.Word(), wanted.fontSize);
    EXPECT_EQ(in.Text(), wanted.fontName);
    ASSERT_EQ(count, wanted.controls.size());

    for (const qor::ui::ControlTemplate& control : wanted.controls) {
        in.AlignToDword();
        const uint32_t itemStyle = in.Dword();
        in.Dword();  // extended style
        const int16_t cx = in.Short(), cy = in.Short(), cw = in.Short(), ch = in.Short();
        const int16_t id = in.Short();
        const uint16_t classMark = in.Word();
        const uint16_t atom = classMark == 0xffff ? in.Word() : 0;
        const std::string text = in.Text();
        in.Word();  // no creation data
        ASSERT_FALSE(in.failed());
        SCOPED_TRACE(control.text);
        EXPECT_EQ(id, control.id);
        const Expected expected = ExpectedFor(control.kind);
        EXPECT_EQ(atom, expected.atom);
        const uint32_t kindMask = expected.atom == 0x80 ? 0x0f : SS_TYPEMASK;
        EXPECT_EQ(itemStyle & kindMask, expected.kindStyle);
        EXPECT_EQ(text, control.kind == ControlKind::kIcon ? "#" + control.text : control.text);
        EXPECT_EQ(cx, control.rect.x);
        EXPECT_EQ(cy, control.rect.y);
        // A resource script cannot size an icon: Windows sizes it to the icon.
        const bool icon = control.kind == ControlKind::kIcon;
        EXPECT_EQ(cw, icon ? 0 : control.rect.width);
        EXPECT_EQ(ch, icon ? 0 : control.rect.height);
        EXPECT_TRUE(itemStyle & WS_VISIBLE);
        if (control.kind == ControlKind::kRadioButton) {
            EXPECT_EQ((itemStyle & WS_GROUP) != 0, control.groupStart);
        }
    }
}

// The program's icon: the sizes from the small icon of a title bar to the large ones of a view.
TEST(ShutdownResources, IconHoldsTheShellsSizes) {
    const ResourceFile file;
    ASSERT_TRUE(file.loaded());
    const std::vector<uint8_t> group = file.Get(MAKEINTRESOURCEW(14), 128);  // RT_GROUP_ICON
    ASSERT_GE(group.size(), 6u) << "no icon 128";
    Reader in(group);
    in.Word();
    EXPECT_EQ(in.Word(), 1);  // icons, not cursors
    const uint16_t count = in.Word();
    std::vector<int> sizes;
    for (uint16_t k = 0; k < count; ++k) {
        const uint16_t widthAndHeight = in.Word();
        in.Word();
        in.Dword();
        in.Dword();
        in.Word();  // the image's resource id
        const int width = widthAndHeight & 0xff;
        sizes.push_back(width == 0 ? 256 : width);
    }
    ASSERT_FALSE(in.failed());
    for (int wanted : {16, 32, 48, 256})
        EXPECT_NE(std::find(sizes.begin(), sizes.end(), wanted), sizes.end()) << wanted;
}

}  // namespace
