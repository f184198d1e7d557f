// What a folder holds after outputs are published, refused or interrupted: links, kills
// between the renames of a pair, leftovers of dead runs, long names.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "engine/BatchCombine.h"
#include "engine/ShpToMif.h"
#include "support/ByteStrings.h"
#include "support/DbfBuilder.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/FileHandle.h"
#include "support/OutputFolder.h"
#include "support/ShpBuilder.h"
#include "support/TextFile.h"

namespace plexor {
namespace {

using test::ReadFile;
using test::WriteFile;

bool AnyEntryEndsWith(const test::TempDir& dir, const std::string& tail) {
  const auto entries = dir.Entries();
  return std::any_of(entries.begin(), entries.end(), [&](const std::string& e) {
    return e.size() >= tail.size() && e.compare(e.size() - tail.size(), tail.size(), tail) == 0;
  });
}

void WritePair(TextFileWriter& mif, TextFileWriter& mid, const std::string& mifPath,
               const std::string& text) {
  mif.Create(mifPath);
  mid.Create(MidPathOf(mifPath));
  mif.WriteLine(text + " objects");
  mid.WriteLine(text + " rows");
}

// A pair published in a child process that ends itself at `step`, as a kill there would.
void PublishAndDieAt(TPublishStep step, const std::string& mifPath) {
  static TPublishStep dieAt;
  dieAt = step;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SetPublishHook([](TPublishStep s) {
      if (s == dieAt) _exit(9);
    });
    TextFileWriter mif, mid;
    WritePair(mif, mid, mifPath, "new");
    PublishPair(mif, mid);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 9);
}

TEST(PairPublication, AKillBetweenTheRenamesIsCompletedByTheNextRunIntoTheFolder) {
  for (TPublishStep step : {TPublishStep::RecordWritten, TPublishStep::FirstRenamed}) {
    test::TempDir dir;
    const std::string mif = dir / "out.mif";
    WriteFile(mif, "old objects\r\n");
    WriteFile(dir / "out.mid", "old rows\r\n");
    PublishAndDieAt(step, mif);
    // What the kill left: the record of the pair in hand, and the files not yet renamed.
    EXPECT_TRUE(AnyEntryEndsWith(dir, kPairRecordTail));
    EXPECT_EQ(ReadFile(dir / "out.mid"), "old rows\r\n");

    RecoverOutputFolder(dir.Path() + "/");
    EXPECT_EQ(ReadFile(mif), "new objects\r\n");
    EXPECT_EQ(ReadFile(dir / "out.mid"), "new rows\r\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"out.mid", "out.mif"}));
  }
}

TEST(PairPublication, AKillAfterTheRenamesLeavesTheNewPairAndNothingToDo) {
  test::TempDir dir;
  const std::string mif = dir / "out.mif";
  WriteFile(mif, "old objects\r\n");
  WriteFile(dir / "out.mid", "old rows\r\n");
  PublishAndDieAt(TPublishStep::SecondRenamed, mif);
  RecoverOutputFolder(dir.Path() + "/");
  EXPECT_EQ(ReadFile(mif), "new objects\r\n");
  EXPECT_EQ(ReadFile(dir / "out.mid"), "new rows\r\n");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"out.mid", "out.mif"}));
}

TEST(PairPublication, ARefusedSecondRenamePutsTheEarlierPairBack) {
  test::TempDir dir;
  const std::string mif = dir / "out.mif";
  WriteFile(mif, "old objects\r\n");
  TextFileWriter a, b;
  WritePair(a, b, mif, "new");
  // A folder that is not empty takes the MID's name after the writers were made.
  std::filesystem::create_directory(dir / "out.mid");
  WriteFile(dir / "out.mid/keep", "x");
  EXPECT_THROW(PublishPair(a, b), EInOutError);
  EXPECT_EQ(ReadFile(mif), "old objects\r\n");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"out.mid", "out.mif"}));

  // With no earlier MIF, none is left either.
  std::filesystem::remove(mif);
  std::filesystem::remove_all(dir / "out.mid");
  TextFileWriter c, d;
  WritePair(c, d, mif, "new");
  std::filesystem::create_directory(dir / "out.mid");
  WriteFile(dir / "out.mid/keep", "x");
  EXPECT_THROW(PublishPair(c, d), EInOutError);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.mid"});
}

TEST(PairPublication, RecordsThatAreNotOursMoveNothing) {
  test::TempDir dir;
  WriteFile(dir / "victim.txt", "mine");
  WriteFile(dir / "data.mif", "theirs");
  // A planted record naming files that no writer of ours made, or a cut one.
  std::string record = std::string("plexor-pair 1") + '\0' + (dir / "data.mif") + '\0' +
                       (dir / "victim.txt") + '\0' + (dir / "data.mif") + '\0' +
                       (dir / "victim.txt") + '\0' + '\0' + "end" + '\0';
  WriteFile(dir / ".x.plexor-pair", record);
  WriteFile(dir / ".y.plexor-pair", record.substr(0, 20));
  RecoverOutputFolder(dir.Path() + "/");
  EXPECT_EQ(ReadFile(dir / "victim.txt"), "mine");
  EXPECT_EQ(ReadFile(dir / "data.mif"), "theirs");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"data.mif", "victim.txt"}));
}

TEST(Leftovers, ADeadRunsTemporariesGoALiveOnesStay) {
  test::TempDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child);
  WriteFile(dir / (".a.mif." + dead + "-1-0.plexor-tmp"), "dead");
  WriteFile(dir / (".a.mif." + dead + "-1-1.plexor-old"), "dead");
  // pid 1 lives; and a dead number whose file is still held locked is another machine's
  // writer at work on a shared folder.
  WriteFile(dir / ".b.mif.1-1-0.plexor-tmp", "live");
  const std::string held = dir / (".c.mif." + dead + "-1-2.plexor-tmp");
  WriteFile(held, "held");
  FileHandle holder;
  ASSERT_TRUE(holder.OpenRead(held));
  ASSERT_TRUE(holder.Lock(FileLock::Exclusive));
  // Names that only look alike are the user's.
  WriteFile(dir / ("a.mif." + dead + "-1-0.plexor-tmp"), "user");
  WriteFile(dir / ".notes.plexor-tmp", "user");

  RecoverOutputFolder(dir.Path() + "/");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{
                               ".b.mif.1-1-0.plexor-tmp", ".c.mif." + dead + "-1-2.plexor-tmp",
                               ".notes.plexor-tmp", "a.mif." + dead + "-1-0.plexor-tmp"}));
}

TEST(Leftovers, EveryLegalNameCanBeATarget) {
  test::TempDir dir;
  for (size_t length : {200u, 229u, 240u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".mif";
    TextFileWriter out;
    out.Create(dir / name);
    EXPECT_LE(GetFileName(out.WritingPath()).size(), 255u);
    out.WriteLine("x");
    out.Close();
    EXPECT_EQ(ReadFile(dir / name), "x\r\n");
    std::filesystem::remove(dir / name);
  }
  const std::string a = HiddenNameFor("d/" + std::string(250, 'a'), ".plexor-pair");
  const std::string b = HiddenNameFor("d/" + std::string(250, 'b'), ".plexor-pair");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.substr(0, 2), "d/");
}

class LinkedTargets : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ShpBuilder().Point(1, 2).Write(dir / "roads.shp");
    test::DbfBuilder().Field("N", 'C', 4).Record({"a"}).Write(dir / "roads.dbf");
    for (const char* companion : {"roads.prj", "roads.shx", "roads.cpg", "other.shp"}) {
      WriteFile(dir / companion, std::string("keep ") + companion);
    }
  }
  test::TempDir dir;
  test::FakeHost host;
};

TEST_F(LinkedTargets, ALinkToAnyShapefileFileIsRefusedNamingWhereItLeads) {
  for (const char* companion : {"roads.prj", "roads.shx", "roads.cpg", "other.shp", "roads.dbf"}) {
    std::filesystem::remove(dir / "out.mif");
    std::filesystem::create_symlink(companion, dir / "out.mif");
    try {
      ConvertShpToMif(30, dir / "roads.shp", dir / "out.mif", host);
      ADD_FAILURE() << companion << " was written through";
    } catch (const EFCreateError& e) {
      EXPECT_NE(std::string(e.what()).find(companion), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(dir / "out.mif"), std::string::npos) << e.what();
    }
  }
  for (const char* companion : {"roads.prj", "roads.shx", "roads.cpg", "other.shp"}) {
    EXPECT_EQ(ReadFile(dir / companion), std::string("keep ") + companion);
  }
  // The MID's name may lead there too.
  std::filesystem::remove(dir / "out.mif");
  std::filesystem::create_symlink("roads.prj", dir / "out.mid");
  EXPECT_THROW(ConvertShpToMif(30, dir / "roads.shp", dir / "out.mif", host), EFCreateError);
  EXPECT_EQ(ReadFile(dir / "roads.prj"), "keep roads.prj");
}

TEST_F(LinkedTargets, ALinkToAnOrdinaryFileIsWrittenThroughAndAMifLinkedToItsMidRefused) {
  std::filesystem::create_symlink("real.mif", dir / "out.mif");
  ASSERT_TRUE(ConvertShpToMif(30, dir / "roads.shp", dir / "out.mif", host));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "out.mif"));
  EXPECT_NE(ReadFile(dir / "real.mif").find("Point"), std::string::npos);
  // A link that leads to the very MID the pair writes (not there yet).
  std::filesystem::create_symlink("x.mid", dir / "x.mif");
  EXPECT_THROW(ConvertShpToMif(30, dir / "roads.shp", dir / "x.mif", host), EFCreateError);
}

TEST_F(LinkedTargets, ALinkPlantedAfterTheChecksIsRefusedAtTheRename) {
  TextFileWriter out;
  out.Create(dir / "late.mif");
  out.WriteLine("text");
  std::filesystem::create_symlink("roads.prj", dir / "late.mif");
  EXPECT_THROW(out.Close(), EInOutError);
  EXPECT_EQ(ReadFile(dir / "roads.prj"), "keep roads.prj");
  EXPECT_FALSE(AnyEntryEndsWith(dir, kTemporaryTail));
}

TEST_F(LinkedTargets, CombinedNamesThatLeadToShapefileFilesAreRefused) {
  const std::vector<TBatchRow> rows = {MakeBatchRow(30, dir / "roads.shp", dir / "a.mif")};
  std::filesystem::create_symlink("roads.shx", dir / "all.mif");
  EXPECT_FALSE(CombinedNamesAreSafe(rows, dir / "all.mif"));
  std::filesystem::create_symlink("a.mif", dir / "b.mif");
  EXPECT_FALSE(CombinedNamesAreSafe(rows, dir / "b.mif"));
  EXPECT_TRUE(CombinedNamesAreSafe(rows, dir / "c.mif"));
}

TEST(FileIdentities, SpellingsLinksAndNewFilesOfOneFolderAgree) {
  test::TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory_symlink("sub", dir / "alias");
  FolderIdentities folders;
  EXPECT_EQ(IdentityOf(dir / "sub/new.mif"), IdentityOf(dir / "alias/new.mif"));
  EXPECT_EQ(IdentityOf(dir / "sub/./new.mif", folders), IdentityOf(dir / "alias/new.mif", folders));
  EXPECT_EQ(IdentityOf(dir / "sub/new.mif", folders), IdentityOf(dir / "sub/new.mif"));
  EXPECT_NE(IdentityOf(dir / "sub/new.mif"), IdentityOf(dir / "sub/new.mid"));
  // A folder is looked at once: files made later are seen by a fresh look.
  WriteFile(dir / "sub/x", "");
  FolderIdentities later;
  EXPECT_EQ(IdentityOf(dir / "alias/x", later), IdentityOf(dir / "sub/x"));
  EXPECT_NE(IdentityOf(dir / "alias/x", later), IdentityOf(dir / "alias/y", later));
  EXPECT_TRUE(SameFile(dir / "missing/deeper/a.mif", dir / "missing/./deeper/a.mif"));
}

}  // namespace
}  // namespace plexor
