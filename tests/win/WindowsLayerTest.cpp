// The Windows side of the core: UTF-8 paths through the wide API, the placement file's
// place, and what the Windows view makes of the system's values.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/ByteStrings.h"
#include "support/FileHandle.h"
#include "support/QvSysUtils.h"
#include "support/ShpBuilder.h"
#include "support/WideTextWin32.h"
#include "win/Win32PlatformServices.h"

namespace plexor::test {
namespace {

// Hangul and a CJK character beyond the basic plane: neither has a code page 932 form.
const std::string kForeignName = "서울_𠮷";

TEST(WideText, RoundTripsWhatCodePage932CannotHold) {
  const std::wstring wide = Widen(kForeignName + "/道.shp");
  EXPECT_EQ(wide, L"서울_\U00020BB7/道.shp");
  EXPECT_EQ(Narrow(wide), kForeignName + "/道.shp");
  EXPECT_EQ(Widen("a\xFF"
                  "b"),
            L"a\xFFFD"
            L"b");
  EXPECT_TRUE(Widen("").empty());
  EXPECT_TRUE(Narrow(L"").empty());
}

TEST(NativePaths, Utf8NamesKeepTheirExtensions) {
  // As code page 932 the bytes of "道" would swallow the dot after it.
  EXPECT_EQ(ChangeFileExt("C:\\データ\\道.shp", ".mif"), "C:\\データ\\道.mif");
  EXPECT_EQ(ChangeFileExt("C:\\old.data\\roads", ".mif"), "C:\\old.data\\roads.mif");
  EXPECT_EQ(GetFileDir("C:\\서울\\표.shp"), "C:\\서울\\");
  EXPECT_EQ(GetFileDir("C:/data/x.shp"), "C:/data/");
  EXPECT_EQ(GetFileBaseName("D:\\表\\道.tar.gz"), "道.tar");
  EXPECT_EQ(NativeToUtf8("C:\\道.shp"), "C:\\道.shp");
}

TEST(Win32Files, NamesOutsideCodePage932) {
  TempDir dir;
  const std::string path = dir / (kForeignName + ".txt");
  FileHandle out;
  ASSERT_TRUE(out.Create(path)) << out.LastError();
  ASSERT_TRUE(out.Write("abc", 3));
  ASSERT_TRUE(out.Close());
  EXPECT_TRUE(RegularFileExists(path));
  EXPECT_FALSE(RegularFileExists(dir.Path()));
  EXPECT_TRUE(SameFile(path, dir.Path() + "\\" + kForeignName + ".txt"));

  const std::string moved = dir / (kForeignName + "-2.txt");
  int err = 0;
  ASSERT_TRUE(RenameOver(path, moved, err)) << err;
  EXPECT_FALSE(RegularFileExists(path));
  FileHandle in;
  ASSERT_TRUE(in.OpenRead(moved));
  EXPECT_EQ(in.Size(), 3);
  in.Close();
  EXPECT_TRUE(RemoveFile(moved));
  EXPECT_FALSE(RegularFileExists(moved));
}

TEST(Win32Files, TheSystemsReasonIsUtf8WithoutTrailingBreaks) {
  TempDir dir;
  FileHandle in;
  ASSERT_FALSE(in.OpenRead(dir / "missing.shp"));
  const std::string reason = in.LastError();
  ASSERT_FALSE(reason.empty());
  EXPECT_NE(reason.back(), '\n');
  EXPECT_NE(reason.back(), '\r');
  EXPECT_EQ(Narrow(Widen(reason)), reason);  // valid UTF-8
}

TEST(Win32Placement, BesideTheProgramWhenItsFolderTakesFiles) {
  TempDir dir;
  const std::string exe = dir.Path() + "\\" + kForeignName + ".exe";
  EXPECT_EQ(WindowPlacementIniPath(exe), dir.Path() + "\\" + kForeignName + ".INI");
  // Nothing is left behind by the look.
  EXPECT_FALSE(RegularFileExists(dir.Path() + "\\" + kForeignName + ".INI"));
}

TEST(Win32Placement, InTheUsersApplicationDataOtherwise) {
  wchar_t appData[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH), 0u);
  const std::string ini = WindowPlacementIniPath("C:\\no such folder\\plexor-converter.exe");
  EXPECT_EQ(ini, Narrow(appData) + "\\Plexor Converter\\plexor-converter.INI");
  const DWORD folder = GetFileAttributesW(Widen(GetFileDir(ini)).c_str());
  ASSERT_NE(folder, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(folder & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Win32Program, KnowsItsOwnPath) {
  const std::string exe = GetExePath();
  EXPECT_TRUE(RegularFileExists(exe));
  EXPECT_TRUE(SameTextAscii(GetFileName(exe), "plexor_win_tests.exe"));
}

TEST(Win32Services, FilterTextEndsEachPartAndTheWholeWithANul) {
  const std::wstring text = win::FilterText({{"SHP ファイル (*.shp)", "*.shp"}, {"すべて", "*.*"}});
  static const wchar_t kExpected[] = L"SHP ファイル (*.shp)\0*.shp\0すべて\0*.*\0";
  EXPECT_EQ(text, std::wstring(kExpected, std::size(kExpected)));
  EXPECT_EQ(win::FilterText({}), std::wstring(1, L'\0'));
}

TEST(Win32Services, RegionalSettingsFromTheLocale) {
  RegionalSettings japanese = win::RegionalFromLocale(L".", L"yyyy/MM/dd", L"/");
  EXPECT_EQ(japanese.DecimalSeparator, '.');
  EXPECT_EQ(japanese.ShortDateFormat, "yyyy/mm/dd");
  EXPECT_EQ(japanese.DateSeparator, '/');

  // A German desktop: its comma would split MID rows once made safe.
  RegionalSettings german = win::RegionalFromLocale(L",", L"dd.MM.yyyy", L".");
  EXPECT_EQ(german.DecimalSeparator, ',');
  EXPECT_EQ(german.MadeSafe().DecimalSeparator, '.');
  EXPECT_EQ(german.ShortDateFormat, "dd.mm.yyyy");

  // Values that are no single ASCII character, or missing, keep the defaults.
  RegionalSettings odd = win::RegionalFromLocale(L"\x066B", L"", L"");
  EXPECT_EQ(odd.DecimalSeparator, '.');
  EXPECT_EQ(odd.ShortDateFormat, "yyyy/mm/dd");
  EXPECT_EQ(odd.DateSeparator, '/');
}

}  // namespace
}  // namespace plexor::test
