#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "support/Exceptions.h"
#include "support/ProfileFile.h"
#include "support/QvSysUtils.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(ProfileFileRead, NamesMatchInAnyLetterCaseAndValuesLoseTheirBlanksAndQuotes) {
  TempDir dir;
  WriteFile(dir / "a.INI",
            "; kept by hand\n[Other]\nLeft=1\n [ window ] \r\n  LEFT  =  300 \r\nname=\"a b\"\n"
            "empty=\n[Window]\nTop=7\n");
  const TProfileFile ini(dir / "a.INI");
  EXPECT_EQ(ini.ReadString("Window", "Left", "x"), "300");
  EXPECT_EQ(ini.ReadString("WINDOW", "name", "x"), "a b");
  EXPECT_EQ(ini.ReadString("Window", "empty", "x"), "");
  EXPECT_EQ(ini.ReadString("Window", "Missing", "x"), "x");
  EXPECT_EQ(ini.ReadString("Nowhere", "Left", "x"), "x");
  // The first section of a name is the one read, as the platform's own reader does.
  EXPECT_EQ(ini.ReadString("Window", "Top", "x"), "x");
  EXPECT_EQ(ini.ReadInteger("other", "left", 0), 1);
}

TEST(ProfileFileRead, IntegersInDecimalOrHexadecimalElseTheDefault) {
  TempDir dir;
  WriteFile(dir / "a.INI",
            "[W]\nhex=0x64\nHEX=0X64\ndollar=$64\nneg=-15\nword=abc\ntail=12abc\nblank=\n"
            "big=2147483648\nlow=-2147483648\nallbits=0xFFFFFFFF\nbare=0x\nspaced= 42 \n");
  const TProfileFile ini(dir / "a.INI");
  EXPECT_EQ(ini.ReadInteger("W", "hex", 20), 100);
  EXPECT_EQ(ini.ReadInteger("W", "dollar", 20), 100);
  EXPECT_EQ(ini.ReadInteger("W", "neg", 20), -15);
  EXPECT_EQ(ini.ReadInteger("W", "word", 20), 20);
  EXPECT_EQ(ini.ReadInteger("W", "tail", 20), 20);
  EXPECT_EQ(ini.ReadInteger("W", "blank", 20), 20);
  EXPECT_EQ(ini.ReadInteger("W", "big", 20), 20);
  EXPECT_EQ(ini.ReadInteger("W", "low", 20), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("W", "allbits", 20), -1);
  EXPECT_EQ(ini.ReadInteger("W", "bare", 20), 20);
  EXPECT_EQ(ini.ReadInteger("W", "spaced", 20), 42);
  EXPECT_EQ(ini.ReadInteger("W", "absent", 20), 20);
}

TEST(ProfileFileWrite, ChangesOnlyItsOwnKeyAndKeepsEverythingElse) {
  TempDir dir;
  WriteFile(dir / "a.INI", "; note\n[Window]\nleft=1\nColour=red\n\n[Other]\nLeft=5\n");
  TProfileFile ini(dir / "a.INI");
  ini.WriteInteger("WINDOW", "Left", 300);
  ini.WriteInteger("Window", "State", 1);
  EXPECT_EQ(ReadFile(dir / "a.INI"),
            "; note\r\n[Window]\r\nLeft=300\r\nColour=red\r\nState=1\r\n\r\n[Other]\r\nLeft=5\r\n");
  EXPECT_EQ(TProfileFile(dir / "a.INI").ReadInteger("Other", "Left", 0), 5);
}

TEST(ProfileFileWrite, CreatesTheFileAndTheSection) {
  TempDir dir;
  TProfileFile ini(dir / "new.INI");
  ini.WriteInteger("Window", "Left", -4);
  ini.WriteString("Window", "Name", "道");
  EXPECT_EQ(ReadFile(dir / "new.INI"), "[Window]\r\nLeft=-4\r\nName=道\r\n");
}

TEST(ProfileFileWrite, AFileThatCannotBeWrittenRaisesWithItsPath) {
  TempDir dir;
  TProfileFile ini(dir / "no/such/folder.INI");
  try {
    ini.WriteInteger("Window", "Left", 1);
    FAIL() << "no error";
  } catch (const EIniFileError& e) {
    EXPECT_EQ(e.Message(), (dir / "no/such/folder.INI") + " に書き込めません");
  }
}

// --- Window placement ------------------------------------------------------------------------

TEST(WindowPlacement, MissingAndDamagedValuesTakeTheDefaults) {
  TempDir dir;
  const TWindowPlacement none = ReadWindowPlacement(dir / "none.INI");
  EXPECT_EQ(none.Left, 20);
  EXPECT_EQ(none.Top, 20);
  EXPECT_EQ(none.Width, 700);
  EXPECT_EQ(none.Height, 500);
  EXPECT_EQ(none.State, 0);

  WriteFile(dir / "a.INI", "[window]\nstate=1\nleft=abc\ntop=0x10\n");
  const TWindowPlacement p = ReadWindowPlacement(dir / "a.INI");
  EXPECT_EQ(p.State, 1);
  EXPECT_EQ(p.Left, 20);
  EXPECT_EQ(p.Top, 16);
  WriteFile(dir / "b.INI", "[Window]\nState=3\n");
  EXPECT_EQ(ReadWindowPlacement(dir / "b.INI").State, 0);
  WriteFile(dir / "c.INI", "[Window]\nState=-1\n");
  EXPECT_EQ(ReadWindowPlacement(dir / "c.INI").State, 0);
}

TEST(WindowPlacement, AnOtherThanNormalCloseKeepsTheBoundsOfTheLastNormalOne) {
  TempDir dir;
  const std::string ini = dir / "conf/deeper/plexor-converter.INI";
  WriteWindowPlacement(ini, {300, 40, 800, 466, 0});
  WriteWindowPlacement(ini, {0, 0, 1920, 1080, 1});
  EXPECT_EQ(ReadFile(ini),
            "[Window]\r\nLeft=300\r\nTop=40\r\nWidth=800\r\nHeight=466\r\nState=1\r\n");
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(WindowPlacement, FileBesideTheProgramWhenPresentElseTheUserConfigurationFolder) {
  TempDir dir;
  const std::string exe = dir / "plexor-converter";
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", dir / "xdg");
    EXPECT_EQ(WindowPlacementIniPath(exe), dir / "xdg/plexor-converter/plexor-converter.INI");
    WriteFile(dir / "plexor-converter.INI", "");
    EXPECT_EQ(WindowPlacementIniPath(exe), dir / "plexor-converter.INI");
  }
  ScopedEnv home("HOME", dir.Path());
  ScopedEnv unset("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(WindowPlacementIniPath(dir / "elsewhere/conv"),
            dir / ".config/plexor-converter/plexor-converter.INI");
  ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");
  EXPECT_EQ(WindowPlacementIniPath(dir / "elsewhere/conv"),
            dir / ".config/plexor-converter/plexor-converter.INI");
}

TEST(ExeInfo, VersionIsFourNumbersAndTheFolderEndsWithASlash) {
  const std::string version = GetExeFileVersion();
  int dots = 0;
  bool digitBeforeEachDot = true;
  for (size_t i = 0; i < version.size(); ++i) {
    if (version[i] == '.') {
      ++dots;
      digitBeforeEachDot = digitBeforeEachDot && i > 0 && version[i - 1] != '.';
    } else {
      EXPECT_TRUE(version[i] >= '0' && version[i] <= '9') << version;
    }
  }
  EXPECT_EQ(dots, 3) << version;
  EXPECT_TRUE(digitBeforeEachDot && !version.empty() && version.back() != '.') << version;
  const std::string dir = GetExeDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(GetExePath().rfind(dir, 0), 0u);
}

}  // namespace
}  // namespace plexor
