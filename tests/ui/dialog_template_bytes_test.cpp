// The in-memory dialog template the Windows dialog manager reads, byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hosts/win32/dialog_template_bytes.h"

namespace qor::ui::win32 {
namespace {

uint16_t Word(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t DWord(const std::vector<uint8_t>& b, size_t at) {
    return Word(b, at) | (static_cast<uint32_t>(Word(b, at + 2)) << 16);
}

TEST(DialogTemplateBytes, HeaderFontAndOneItemEachAligned) {
    DialogTemplate dialog;
    dialog.caption = "Pässword";
    dialog.rect = {0, 0, 220, 110};
    dialog.style = kStyleCentered | kStyleSystemMenu | kStyleModalFrame;
    dialog.controls = {Static("&Name:", {7, 7, 50, 8}), PasswordEdit(1014, {130, 20, 80, 12}, 10),
                       DropDownList(104, {120, 7, 60, 14})};
    dialog.controls[1].visible = false;
    const std::vector<uint8_t> b = DialogTemplateBytes(dialog);

    EXPECT_EQ(Word(b, 0), 1);
    EXPECT_EQ(Word(b, 2), 0xFFFF);
    EXPECT_EQ(DWord(b, 12),
              0x80C80000u | 0x40 | 0x80 | 0x800);  // popup, caption, sysmenu, font, modal, centre
    EXPECT_EQ(Word(b, 16), 3);
    EXPECT_EQ(Word(b, 22), 220);
    EXPECT_EQ(Word(b, 24), 110);
    EXPECT_EQ(Word(b, 26), 0);  // menu
    EXPECT_EQ(Word(b, 28), 0);  // class
    // The caption in UTF-16 with its terminator, then 8 points, normal weight, the face name.
    size_t at = 30;
    const std::u16string caption = u"Pässword";
    for (char16_t c : caption) {
        EXPECT_EQ(Word(b, at), c);
        at += 2;
    }
    EXPECT_EQ(Word(b, at), 0);
    EXPECT_EQ(Word(b, at + 2), 8);
    EXPECT_EQ(Word(b, at + 4), 400);
    at += 8;
    for (char c : std::string("MS Sans Serif")) {
        EXPECT_EQ(Word(b, at), static_cast<uint16_t>(c));
        at += 2;
    }
    EXPECT_EQ(Word(b, at), 0);
    at += 2;

    // Static: aligned, no id (0xFFFF), visible child, class atom 0x82, its text.
    at = (at + 3) & ~size_t{3};
    EXPECT_EQ(DWord(b, at + 8), 0x50000000u);
    EXPECT_EQ(Word(b, at + 12), 7);
    EXPECT_EQ(DWord(b, at + 20), 0xFFFFu);
    EXPECT_EQ(Word(b, at + 24), 0xFFFF);
    EXPECT_EQ(Word(b, at + 26), 0x82);
    at += 28;
    for (char c : std::string("&Name:")) {
        EXPECT_EQ(Word(b, at), static_cast<uint16_t>(c));
        at += 2;
    }
    EXPECT_EQ(Word(b, at), 0);
    EXPECT_EQ(Word(b, at + 2), 0);  // no creation data
    at += 4;

    // Hidden password field: client edge, ES_PASSWORD | ES_AUTOHSCROLL, tab stop, group, no
    // WS_VISIBLE; id 1014, Edit.
    at = (at + 3) & ~size_t{3};
    EXPECT_EQ(DWord(b, at + 4), 0x200u);
    EXPECT_EQ(DWord(b, at + 8), 0x40000000u | 0x20 | 0x80 | 0x10000 | 0x20000);
    EXPECT_EQ(DWord(b, at + 20), 1014u);
    EXPECT_EQ(Word(b, at + 26), 0x81);
    at += 28 + 2 + 2;

    // The drop-down list is created tall enough for its open list.
    at = (at + 3) & ~size_t{3};
    EXPECT_EQ(Word(b, at + 18), 14 + 80);
    EXPECT_EQ(Word(b, at + 26), 0x85);
    EXPECT_EQ(b.size(), at + 28 + 2 + 2);

    dialog.style |= kStyleSystemModal;
    EXPECT_EQ(DWord(DialogTemplateBytes(dialog), 12) & 0x2, 0x2u);  // DS_SYSMODAL
}

TEST(DialogTemplateBytes, AsAChildOnlyTheStyleDiffers) {
    DialogTemplate dialog;
    dialog.caption = "Edit";
    dialog.rect = {0, 0, 300, 182};
    dialog.controls = {ListBox(1004, {8, 16, 206, 80}), PushButton(1009, "Done", {8, 100, 62, 14})};
    const std::vector<uint8_t> popup = DialogTemplateBytes(dialog);
    const std::vector<uint8_t> child = ChildDialogTemplateBytes(dialog);
    ASSERT_EQ(popup.size(), child.size());
    // A visible child that clips its siblings, 3-D look, a control of its parent, with its font.
    EXPECT_EQ(DWord(child, 12), 0x40000000u | 0x10000000u | 0x04000000u | 0x4 | 0x400 | 0x40);
    EXPECT_EQ(DWord(child, 12), ChildDialogStyleBits());
    for (size_t at = 0; at < popup.size(); ++at) {
        if (at < 12 || at >= 16) {
            EXPECT_EQ(popup[at], child[at]) << "byte " << at;
        }
    }
}

TEST(DialogTemplateBytes, Utf16KeepsEveryCharacterAndMarksBadBytes) {
    EXPECT_EQ(Utf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x94\x92"), u"a\u00e9\u20ac\U0001F512");
    EXPECT_EQ(Utf16("\xC3"), u"\uFFFD");
    EXPECT_EQ(Utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
    EXPECT_EQ(Utf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // an overlong slash
}

}  // namespace
}  // namespace qor::ui::win32
