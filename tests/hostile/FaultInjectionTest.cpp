// Faults from outside the files: a full device under an output, a source nobody may read, a
// target folder that does not exist, a table another process holds open for writing. Each
// gives false or a clear error, and the inputs keep every byte.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "dbf/localDbf.h"
#include "engine/Batch.h"
#include "engine/ShpToMif.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/FileHandle.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

constexpr int kRoadsIndex = 30;

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path samples = fs::path(PLEXOR_SOURCE_DIR) / "samples";
    shpBytes = ReadFile((samples / "roads.shp").string());
    dbfBytes = ReadFile((samples / "roads.dbf").string());
    test::WriteFile(shp(), shpBytes);
    test::WriteFile(dbf(), dbfBytes);
  }

  void ExpectInputsUnchanged() {
    EXPECT_EQ(ReadFile(shp()), shpBytes);
    EXPECT_EQ(ReadFile(dbf()), dbfBytes);
  }

  // An output path that is a link to /dev/full: created (emptied) fine, every write fails.
  std::string OnFullDevice(const std::string& name) {
    const std::string path = dir / name;
    fs::create_symlink("/dev/full", path);
    return path;
  }

  std::string shp() const { return dir / "in.shp"; }
  std::string dbf() const { return dir / "in.dbf"; }
  std::string mif() const { return dir / "out.mif"; }
  std::string mid() const { return dir / "out.mid"; }

  test::TempDir dir;
  test::FakeHost host;
  std::string shpBytes, dbfBytes;
};

bool HaveFullDevice() {
  struct stat st;
  return ::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode);
}

TEST_F(FaultInjection, FullDeviceUnderEitherOutputGivesFalse) {
  if (!HaveFullDevice()) GTEST_SKIP() << "no /dev/full on this system";
  // One output at a time: both on /dev/full would be one file written twice, which the job
  // refuses before it starts.
  OnFullDevice("out.mif");
  EXPECT_FALSE(ConvertShpToMif(kRoadsIndex, shp(), mif(), host));
  fs::remove(mif());
  fs::remove(mid());
  OnFullDevice("out.mid");
  EXPECT_FALSE(ConvertShpToMif(kRoadsIndex, shp(), mif(), host));
  // A shapefile without records writes no MID row, but still a MIF header and columns.
  fs::remove(mif());
  fs::remove(mid());
  OnFullDevice("out.mif");
  test::ShpBuilder().Write(shp());
  EXPECT_FALSE(ConvertShpToMif(kRoadsIndex, shp(), mif(), host));
  EXPECT_TRUE(host.Messages.empty());
  test::WriteFile(shp(), shpBytes);
  ExpectInputsUnchanged();
}

TEST_F(FaultInjection, FullDeviceInABatchFailsTheRowOrEndsTheCombiningWithTheError) {
  if (!HaveFullDevice()) GTEST_SKIP() << "no /dev/full on this system";
  std::vector<TBatchRow> rows = {MakeBatchRow(kRoadsIndex, shp(), dir / "a.mif"),
                                 MakeBatchRow(kRoadsIndex, shp(), OnFullDevice("b.mif"))};
  TBatchRunOptions options;
  ASSERT_TRUE(RunBatch(rows, options, host));
  EXPECT_EQ(rows[0].Mark, TBatchMark::Converted);
  EXPECT_EQ(rows[1].Mark, TBatchMark::Failed);

  fs::remove(dir / "b.mif");
  rows[1].TargetPath = dir / "b.mif";
  options.Combine = true;
  for (const char* fullName : {"all.mif", "all.mid"}) {
    fs::remove(dir / "all.mif");
    fs::remove(dir / "all.mid");
    const std::string onFull = OnFullDevice(fullName);
    options.CombineName = dir / "all.mif";
    host.Messages.clear();
    try {
      RunBatch(rows, options, host);
      ADD_FAILURE() << "combining onto a full " << fullName << " succeeded";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find(onFull), std::string::npos) << e.what();
    }
    // The run's closing step comes first, then the error.
    ASSERT_FALSE(host.Messages.empty());
    EXPECT_EQ(host.Messages.back().Text, kBatchFinishedText);
    EXPECT_EQ(rows[0].Mark, TBatchMark::Converted);
    EXPECT_EQ(rows[1].Mark, TBatchMark::Converted);
  }
  ExpectInputsUnchanged();
}

// Runs `body` where file permissions bind: here when this process is not privileged, else in
// a child that has given up root for "nobody". Returns the body's report, or nothing when no
// such place can be made; a report starting with '!' says why not.
std::optional<std::string> RunWithoutPrivileges(const std::function<std::string()>& body,
                                                std::string& why) {
  std::string report;
  if (::geteuid() != 0) {
    report = body();
  } else {
    int fds[2];
    if (::pipe(fds) != 0) return why = "no pipe", std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0) return why = "no fork", std::nullopt;
    if (pid == 0) {
      ::close(fds[0]);
      std::string childReport = "!root cannot be given up";
      if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
        try {
          childReport = body();
        } catch (const std::exception& e) {
          childReport = std::string("!") + e.what();
        }
      }
      const ssize_t ignored = ::write(fds[1], childReport.data(), childReport.size());
      (void)ignored;
      ::_exit(0);
    }
    ::close(fds[1]);
    char buffer[512];
    ssize_t got;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0)
      report.append(buffer, static_cast<size_t>(got));
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
  }
  if (report.rfind('!', 0) == 0) return why = report.substr(1), std::nullopt;
  return report;
}

// What a conversion did, as text that can cross a pipe.
std::string ConvertReport(const std::string& shp, const std::string& mif) {
  test::FakeHost host;
  try {
    return ConvertShpToMif(kRoadsIndex, shp, mif, host) ? "true" : "false";
  } catch (const EFOpenError& e) {
    return std::string("EFOpenError ") + e.what();
  } catch (const Exception& e) {
    return std::string("Exception ") + e.what();
  }
}

TEST_F(FaultInjection, UnreadableSourceOrTableIsAClearErrorAndCreatesNothing) {
  // Root reads whatever the permissions say, so then the conversion runs as nobody, who
  // needs the folder open and the table writable.
  constexpr fs::perms kEveryone = fs::perms::owner_read | fs::perms::owner_write |
                                  fs::perms::group_read | fs::perms::group_write |
                                  fs::perms::others_read | fs::perms::others_write;
  fs::permissions(dir.Path(), fs::perms::all);
  for (const std::string& locked : {shp(), dbf()}) {
    fs::permissions(shp(), kEveryone);
    fs::permissions(dbf(), kEveryone);
    fs::permissions(locked, fs::perms::none);
    const std::string other = locked == shp() ? dbf() : shp();
    std::string why;
    const std::optional<std::string> report = RunWithoutPrivileges(
        [&] {
          // A folder closed to nobody would make the inputs look missing instead.
          if (::access(other.c_str(), R_OK) != 0)
            return std::string("!the folder is closed to nobody");
          return ConvertReport(shp(), mif());
        },
        why);
    fs::permissions(locked, kEveryone);
    if (!report) GTEST_SKIP() << "permissions cannot be made to bind here: " << why;
    EXPECT_EQ(report->rfind("EFOpenError ファイル \"" + locked + "\". ", 0), 0u) << *report;
    EXPECT_FALSE(RegularFileExists(mif()));
    EXPECT_FALSE(RegularFileExists(mid()));
  }
  ExpectInputsUnchanged();
}

TEST_F(FaultInjection, MissingTargetFolderIsAClearErrorAndReleasesTheTable) {
  const std::string target = dir / "no such folder/out.mif";
  try {
    ConvertShpToMif(kRoadsIndex, shp(), target, host);
    ADD_FAILURE() << "a target in a missing folder was accepted";
  } catch (const EFCreateError& e) {
    EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
  }
  EXPECT_TRUE(host.StatusTexts.empty() || host.StatusTexts.back().empty());
  // The table opened before the failing output must not stay held.
  TLocalDbf table;
  table.SetTableName(dbf());
  EXPECT_NO_THROW(table.Open());
  table.Close();
  ExpectInputsUnchanged();
}

// A child process that holds a table open for writing until the object goes.
class TableHeldElsewhere {
 public:
  explicit TableHeldElsewhere(const std::string& path) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      char answer = 'E';
      {
        TLocalDbf table;
        table.SetTableName(path);
        try {
          table.Open();
          answer = 'O';
        } catch (...) {
        }
        if (::write(ready[1], &answer, 1) == 1 && answer == 'O') {
          char c;
          while (::read(release[0], &c, 1) > 0) {
          }
        }
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char answer = 'E';
    held_ = pid_ > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'O';
    ::close(ready[0]);
  }
  ~TableHeldElsewhere() {
    if (release_ >= 0) ::close(release_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool Held() const { return held_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool held_ = false;
};

TEST_F(FaultInjection, TableHeldByAnotherProcessIsAClearErrorUntilReleased) {
  {
    TableHeldElsewhere other(dbf());
    ASSERT_TRUE(other.Held());
    try {
      ConvertShpToMif(kRoadsIndex, shp(), mif(), host);
      ADD_FAILURE() << "a table held for writing elsewhere was opened";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("ファイル \"" + dbf() + "\". ", 0), 0u) << e.what();
    }
    EXPECT_FALSE(RegularFileExists(mif()));

    // In a batch the error ends the run after its closing step; the row stays unmarked.
    std::vector<TBatchRow> rows = {MakeBatchRow(kRoadsIndex, shp(), mif()),
                                   MakeBatchRow(kRoadsIndex, shp(), dir / "b.mif")};
    EXPECT_FALSE(CanCombineBatch(rows));
    host.Messages.clear();
    EXPECT_THROW(RunBatch(rows, {}, host), EFOpenError);
    EXPECT_EQ(rows[0].Mark, TBatchMark::None);
    EXPECT_EQ(rows[1].Mark, TBatchMark::None);
    ASSERT_FALSE(host.Messages.empty());
    EXPECT_EQ(host.Messages.back().Text, kBatchFinishedText);
    ExpectInputsUnchanged();
  }
  EXPECT_TRUE(ConvertShpToMif(kRoadsIndex, shp(), mif(), host));
  ExpectInputsUnchanged();
}

}  // namespace
}  // namespace plexor
