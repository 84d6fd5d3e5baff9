// The REGEDIT4 text format: a canonical document survives parse and format byte for byte, the
// registry editor's own variations are read, and text that is not this format is refused rather
// than half read.
#include <gtest/gtest.h>
#include <qor/platform/registry.h>

namespace {

using qor::platform::FormatRegistryText;
using qor::platform::Hive;
using qor::platform::HiveName;
using qor::platform::ParseRegistryText;
using qor::platform::RegistryDocument;
using qor::platform::ValueType;

const char kCanonical[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR]\n"
    "@=\"default value\"\n"
    "\"UserHomeDir\"=\"C:\\\\Users\\\\a \\\"b\\\"\"\n"
    "\"Count\"=dword:0000000a\n"
    "\"Max\"=dword:ffffffff\n"
    "\"Blob\"=hex:00,01,7f,80,ff\n"
    "\"Empty\"=hex:\n"
    "\"Quote\\\"d\\\\Name\"=\"\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Empty key]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Q]\n"
    "\"a\"=\"=hex:\"\n"
    "\n";

TEST(RegistryText, CanonicalDocumentRoundTripsByteForByte) {
    RegistryDocument doc;
    ASSERT_TRUE(ParseRegistryText(kCanonical, &doc));
    ASSERT_EQ(doc.keys.size(), 3u);

    const auto& key = doc.keys[0];
    EXPECT_EQ(key.path, "HKEY_CLASSES_ROOT\\CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR");
    ASSERT_EQ(key.values.size(), 7u);
    EXPECT_EQ(key.values[0].name, "");
    EXPECT_EQ(key.values[0].text, "default value");
    EXPECT_EQ(key.values[1].name, "UserHomeDir");
    EXPECT_EQ(key.values[1].type, ValueType::kString);
    EXPECT_EQ(key.values[1].text, "C:\\Users\\a \"b\"");
    EXPECT_EQ(key.values[2].type, ValueType::kDword);
    EXPECT_EQ(key.values[2].dword, 10u);
    EXPECT_EQ(key.values[3].dword, 0xffffffffu);
    EXPECT_EQ(key.values[4].type, ValueType::kBinary);
    EXPECT_EQ(key.values[4].bytes, (std::vector<uint8_t>{0x00, 0x01, 0x7f, 0x80, 0xff}));
    EXPECT_EQ(key.values[5].type, ValueType::kBinary);
    EXPECT_TRUE(key.values[5].bytes.empty());
    EXPECT_EQ(key.values[6].name, "Quote\"d\\Name");
    EXPECT_EQ(key.values[6].text, "");
    EXPECT_TRUE(doc.keys[1].values.empty());
    EXPECT_EQ(doc.keys[2].values[0].text, "=hex:");

    EXPECT_EQ(FormatRegistryText(doc), kCanonical);
    EXPECT_EQ(FormatRegistryText(RegistryDocument{}), "REGEDIT4\n\n");
}

TEST(RegistryText, ReadsTheEditorsVariations) {
    // CRLF, comments, blank lines, a hex value wrapped over lines as the editor writes long
    // ones, upper-case and short dword digits, a key named twice and a value set twice.
    const char text[] =
        "REGEDIT4\r\n"
        "; exported\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Q]\r\n"
        "\"Blob\"=hex:01,02,\\\r\n"
        "  03,04,\\\r\n"
        "  05\r\n"
        "\"n\"=dword:A\r\n"
        "  ; indented comment\r\n"
        "[hkey_current_user\\software\\q]\r\n"
        "\"N\"=dword:0000000B\r\n"
        "\"s\"=\"x\"  \r\n";
    RegistryDocument doc;
    ASSERT_TRUE(ParseRegistryText(text, &doc));
    ASSERT_EQ(doc.keys.size(), 1u);
    const auto& values = doc.keys[0].values;
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    // The later setting wins, under the name as first written.
    EXPECT_EQ(values[1].name, "n");
    EXPECT_EQ(values[1].dword, 11u);
    EXPECT_EQ(values[2].text, "x");
    EXPECT_EQ(FormatRegistryText(doc),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Q]\n\"Blob\"=hex:01,02,03,04,05\n"
              "\"n\"=dword:0000000b\n\"s\"=\"x\"\n\n");

    ASSERT_TRUE(ParseRegistryText("REGEDIT4", &doc));
    EXPECT_TRUE(doc.keys.empty());
}

TEST(RegistryText, RefusesWhatIsNotThisFormat) {
    const char* const bad[] = {
        "",
        "REGEDIT5\n",
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n",
        "\nREGEDIT4\n",
        "REGEDIT4\n\"a\"=\"value outside a key\"\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X\n",
        "REGEDIT4\n[]\n",
        "REGEDIT4\n[-HKEY_CURRENT_USER\\X]\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=\"unterminated\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=\"bad \\n escape\"\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=\"x\" trailing\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=dword:100000000\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=dword:\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=dword:0000000g\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex:01,,02\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex:123\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex:01,\\\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex(2):41,00\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=-\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\X]\na=\"unquoted name\"\n",
    };
    for (const char* text : bad) {
        RegistryDocument doc;
        EXPECT_FALSE(ParseRegistryText(text, &doc)) << text;
    }
}

TEST(RegistryText, HiveNames) {
    EXPECT_EQ(HiveName(Hive::kClassesRoot), "HKEY_CLASSES_ROOT");
    EXPECT_EQ(HiveName(Hive::kCurrentUser), "HKEY_CURRENT_USER");
    EXPECT_EQ(HiveName(Hive::kLocalMachine), "HKEY_LOCAL_MACHINE");
}

}  // namespace
