// Name rules of the selection walk: exclusions, the product's own files, the kinds of encrypted
// file, output names and the status line's shortened paths.
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>

#include <gtest/gtest.h>

#include "../platform/temp_folder.h"

namespace qor::engine {
namespace {

using platform::kSeparator;
using test::TempFolder;
using test::WriteText;

// Paths written with "/" in the tests, run with the platform's separator.
std::string P(std::string text) {
    for (char& c : text)
        if (c == '/') c = kSeparator;
    return text;
}

TEST(WalkNames, ExcludedTypes) {
    for (const char* name :
         {"PROGRAM.EXE", "Setup.Ini", "x.E!!", "a.u!!", "font.TTF", "drv.386", "a.vbx",
          "c.com",       "d.bat",     "e.dll", "f.sys", "g.bin",    "h.drv",   "i.ovl",
          "j.grp",       "k.pif",     "l.ico", "m.cfg", "n.fon",    "o.fot"}) {
        EXPECT_TRUE(IsExcludedType(name)) << name;
    }
    // Shorter than four characters, another type, or the suffix elsewhere than at the end.
    for (const char* name : {"ab", "exe", "a.txt", "notes.exe.txt", "archive", "aexe", "a.exe "}) {
        EXPECT_FALSE(IsExcludedType(name)) << name;
    }
    EXPECT_TRUE(IsExcludedType(".exe"));
}

TEST(WalkNames, OwnProductFiles) {
    for (const char* name :
         {"vodorura.rar", "AUTOCRY2.EXE", "associat.exe", "USERPREF.!!!", "emerpref.!!!",
          "autocryp.!!!", "qorsec95.dll", "VeZeV95.dll", "qorsec95.hlp", "vezev95.hlp",
          "qorsec95.cnt", "vezev95.cnt", "autocryp.lst", "DecExe"}) {
        EXPECT_TRUE(IsOwnProductFile(name)) << name;
    }
    for (const char* name : {"decexe.txt", "userpref.!!", "my-userpref.!!!", "", "qorsec95"}) {
        EXPECT_FALSE(IsOwnProductFile(name)) << name;
    }
}

TEST(WalkNames, KindsOfEncryptedFile) {
    EXPECT_TRUE(IsAlreadyEncrypted("a.!!!"));
    EXPECT_TRUE(IsAlreadyEncrypted("a.s!!"));
    EXPECT_TRUE(IsAlreadyEncrypted("a.S!!"));
    EXPECT_FALSE(IsAlreadyEncrypted("a.!!"));
    EXPECT_FALSE(IsAlreadyEncrypted("a.S!!x"));

    EXPECT_TRUE(IsLocalEncrypted("report(doc).!!!"));
    EXPECT_TRUE(IsLocalEncrypted("x.!!!"));
    EXPECT_FALSE(IsLocalEncrypted(".!!!"));  // nothing before the suffix
    EXPECT_FALSE(IsLocalEncrypted("UserPref.!!!"));
    EXPECT_FALSE(IsLocalEncrypted("emerpref.!!!"));
    EXPECT_FALSE(IsLocalEncrypted("autocryp.!!!"));
    EXPECT_FALSE(IsLocalEncrypted("a.s!!"));

    EXPECT_TRUE(IsFileShareEncrypted("a.s!!"));
    EXPECT_TRUE(IsFileShareEncrypted("a.S!!"));
    EXPECT_FALSE(IsFileShareEncrypted("a.!!!"));
    EXPECT_FALSE(IsFileShareEncrypted("a.s!!!"));
}

TEST(WalkNames, OutputNamesCountUpPastTakenNames) {
    TempFolder dir;
    CryptOptions local;
    FileJob job{0, nullptr, nullptr, &local};
    const std::string source = dir / "report.doc";
    std::string name;
    ASSERT_EQ(MakeOutputName(job, source, &name), 0);
    EXPECT_EQ(name, dir / "report(doc).!!!");
    WriteText(name, "x");
    ASSERT_EQ(MakeOutputName(job, source, &name), 0);
    EXPECT_EQ(name, dir / "report(doc)2.!!!");
    WriteText(name, "x");
    ASSERT_EQ(MakeOutputName(job, source, &name), 0);
    EXPECT_EQ(name, dir / "report(doc)3.!!!");

    // File sharing has its own suffix, so the local files above do not count.
    CryptOptions share;
    share.mode = kModeFileShare;
    FileJob shareJob{0, nullptr, nullptr, &share};
    ASSERT_EQ(MakeOutputName(shareJob, source, &name), 0);
    EXPECT_EQ(name, dir / "report(doc).s!!");
    // A folder that is taken counts as taken as well.
    ASSERT_TRUE(platform::CreateDirectory(name));
    ASSERT_EQ(MakeOutputName(shareJob, source, &name), 0);
    EXPECT_EQ(name, dir / "report(doc)2.s!!");
}

TEST(WalkNames, OutputNameFormsAndLengthLimit) {
    CryptOptions local;
    FileJob job{0, nullptr, nullptr, &local};
    std::string name;
    // The dot of a folder's name does not count; a name without a dot keeps its length.
    ASSERT_EQ(MakeOutputName(job, P("/nonexistent-qor/my.data/README"), &name), 0);
    EXPECT_EQ(name, P("/nonexistent-qor/my.data/README.!!!"));
    ASSERT_EQ(MakeOutputName(job, P("/nonexistent-qor/a.b.c"), &name), 0);
    EXPECT_EQ(name, P("/nonexistent-qor/a.b(c).!!!"));
    // A dot with nothing after it is left as it is.
    ASSERT_EQ(MakeOutputName(job, P("/nonexistent-qor/report."), &name), 0);
    EXPECT_EQ(name, P("/nonexistent-qor/report..!!!"));

    const std::string folder = P("/nonexistent-qor/");
    const std::string fits = folder + std::string(250 - folder.size() - 4, 'n') + ".doc";
    ASSERT_EQ(fits.size(), 250u);
    ASSERT_EQ(MakeOutputName(job, fits, &name), 0);
    EXPECT_EQ(name.size(), 255u);
    name = "unchanged";
    EXPECT_EQ(MakeOutputName(job, fits + "x", &name), -1);
    EXPECT_EQ(name, "unchanged");
}

TEST(WalkNames, EncryptedCounterpart) {
    EXPECT_EQ(EncryptedCounterpart(P("/d/report.doc")), P("/d/report(doc).!!!"));
    EXPECT_EQ(EncryptedCounterpart(P("/my.dir/notes")), P("/my.dir/notes.!!!"));
    const std::string longest = P("/") + std::string(250, 'n') + ".ab";
    ASSERT_EQ(longest.size(), 254u);
    EXPECT_EQ(EncryptedCounterpart(longest).size(), 259u);
    EXPECT_EQ(EncryptedCounterpart(longest + "c"), "");
}

TEST(WalkNames, ShortenedPaths) {
    // Width 20 leaves 13 characters.
    EXPECT_EQ(ShortenPath(P("/a/b.txt"), 20), P("/a/b.txt"));
    EXPECT_EQ(ShortenPath(P("/abcdefgh/x.t"), 20), P("/abcdefgh/x.t"));  // exactly 13
    // Too long: the beginning, "..." and the end from a separator within the last 13.
    EXPECT_EQ(ShortenPath(P("/home/user/docs/report.doc"), 20), P("/ho.../report.doc"));
    // No separator within the last 13: six at the front, four at the end.
    EXPECT_EQ(ShortenPath(P("/home/user/quarterly.doc"), 20), P("/home/...o..."));
    // A file name longer than the room is cut to its first twelve characters first.
    EXPECT_EQ(ShortenPath(P("/averyveryverylongname.txt"), 30), P("/averyveryver..."));
    EXPECT_EQ(ShortenPath(P("/dir/averyveryverylongname.txt"), 20), P("/dir/a...r..."));
    EXPECT_EQ(ShortenPath(P("/folder/sub/averyveryverylongname.txt"), 27),
              P("/fo.../sub/averyveryver..."));
    // Without any separator the name alone is cut.
    EXPECT_EQ(ShortenPath("averyveryverylongname.txt", 30), "averyveryver...");
    // A status line too narrow for anything still gives a bounded text.
    EXPECT_EQ(ShortenPath(P("/abc/defghij"), 7), P("/abc/d...j..."));
}

TEST(WalkNames, DoubledSeparatorsReduced) {
    EXPECT_EQ(ReduceDoubledSeparators(P("/a//b///c/")), P("/a/b/c/"));
    EXPECT_EQ(ReduceDoubledSeparators(P("//server/share//x")), P("//server/share/x"));
    EXPECT_EQ(ReduceDoubledSeparators(P("a/b")), P("a/b"));
}

}  // namespace
}  // namespace qor::engine
