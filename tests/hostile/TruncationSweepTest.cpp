// Cut downloads: prefixes of each bundled sample's .shp and .dbf are converted. A cut
// file gives false or an error of the program's own hierarchy, never success, a crash or a
// read outside a buffer (the suite runs under the sanitizers); the inputs stay as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/ShpToMif.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/FileHandle.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::ReadFile;
using test::WriteFile;

std::string SamplePath(const std::string& name) {
  return (std::filesystem::path(PLEXOR_SOURCE_DIR) / "samples" / name).string();
}

// Where a cut leaves only whole records: the header's end and each record's end.
std::set<size_t> RecordEnds(const std::string& shp) {
  std::set<size_t> ends = {100};
  size_t pos = 100;
  while (pos + 8 <= shp.size()) {
    pos += 8 + 2 * static_cast<size_t>(GetBE32(shp.data() + pos + 4));
    ends.insert(pos);
  }
  return ends;
}

// Where the .shp reader changes step: the header's pieces and, in each record, the record
// header, the shape type, the box and the counts.
std::set<size_t> ShpLandmarks(const std::string& shp) {
  std::set<size_t> marks = {0, 4, 28, 32, 36, 68};
  for (size_t end : RecordEnds(shp)) {
    for (size_t offset : {0, 8, 12, 28, 44, 48, 52}) marks.insert(end + offset);
  }
  return marks;
}

// The first byte after the last record the header counts.
size_t TableEnd(const std::string& dbf) {
  const auto* b = reinterpret_cast<const unsigned char*>(dbf.data());
  return GetLE16(b + 8) + static_cast<size_t>(GetLE32(b + 4)) * GetLE16(b + 10);
}

// The header's numbers, each descriptor, each record, and each field of the first record.
std::set<size_t> DbfLandmarks(const std::string& dbf) {
  const auto* b = reinterpret_cast<const unsigned char*>(dbf.data());
  const size_t headerLength = GetLE16(b + 8);
  const size_t recordLength = GetLE16(b + 10);
  std::set<size_t> marks = {0, 4, 8, 10, 12, 28, 32};
  size_t field = headerLength + 1;
  for (size_t d = 32; d + 32 <= headerLength; d += 32) {
    marks.insert(d);
    marks.insert(field);
    field += b[d + 16];
  }
  for (size_t r = headerLength; r <= dbf.size(); r += recordLength) marks.insert(r);
  return marks;
}

// Every prefix would cost a few thousand conversions per sample under the sanitizers; the
// prefixes next to each landmark and a prime stride through the rest find the same faults.
std::set<size_t> PrefixLengths(size_t size, const std::set<size_t>& landmarks) {
  constexpr size_t kStride = 7;
  std::set<size_t> lengths = {size};
  for (size_t n = 0; n <= size; n += kStride) lengths.insert(n);
  for (size_t mark : landmarks) {
    for (size_t n = mark > 0 ? mark - 1 : 0; n <= mark + 1 && n <= size; ++n) lengths.insert(n);
  }
  for (size_t n = size >= 2 ? size - 2 : 0; n <= size; ++n) lengths.insert(n);
  return lengths;
}

enum class Outcome { True, False, Error };

class TruncationSweep : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    shpBytes = ReadFile(SamplePath(std::string(GetParam()) + ".shp"));
    dbfBytes = ReadFile(SamplePath(std::string(GetParam()) + ".dbf"));
  }

  // Converts what stands in the folder; an error outside plexor::Exception escapes and fails
  // the test.
  Outcome Convert(std::string& error) {
    std::filesystem::remove(mif());
    std::filesystem::remove(dir / "out.mid");
    test::FakeHost host;
    try {
      const bool ok = ConvertShpToMif(30, shp(), mif(), host);
      // A cut header is a read error, not a file that is no shapefile.
      EXPECT_TRUE(host.Messages.empty()) << host.Messages.front().Text;
      // Outputs appear whole or not at all, and no temporary stays behind.
      EXPECT_EQ(RegularFileExists(mif()), ok);
      EXPECT_EQ(RegularFileExists(dir / "out.mid"), ok);
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                              std::filesystem::directory_iterator()),
                ok ? 4 : 2);
      return ok ? Outcome::True : Outcome::False;
    } catch (const Exception& e) {
      error = e.what();
      // The table is opened before the outputs are created, so its errors leave none behind.
      EXPECT_FALSE(RegularFileExists(mif())) << error;
      return Outcome::Error;
    }
  }

  std::string shp() const { return dir / "in.shp"; }
  std::string dbf() const { return dir / "in.dbf"; }
  std::string mif() const { return dir / "out.mif"; }

  test::TempDir dir;
  std::string shpBytes, dbfBytes;
};

TEST_P(TruncationSweep, EveryPrefixOfTheShpFailsUnlessItEndsOnARecord) {
  WriteFile(dbf(), dbfBytes);
  const std::set<size_t> ends = RecordEnds(shpBytes);
  ASSERT_EQ(*ends.rbegin(), shpBytes.size()) << "the sample's records do not fill the file";
  for (size_t n : PrefixLengths(shpBytes.size(), ShpLandmarks(shpBytes))) {
    const std::string prefix = shpBytes.substr(0, n);
    WriteFile(shp(), prefix);
    std::string error;
    const Outcome outcome = Convert(error);
    // A file cut right after a record is a shorter shapefile: nothing tells it apart.
    EXPECT_EQ(outcome, ends.count(n) ? Outcome::True : Outcome::False)
        << "prefix " << n << " " << error;
    ASSERT_EQ(ReadFile(shp()), prefix) << "prefix " << n;
    ASSERT_EQ(ReadFile(dbf()), dbfBytes) << "prefix " << n;
  }
}

TEST_P(TruncationSweep, EveryPrefixOfTheDbfFailsOrRaisesUnlessItHoldsEveryRecord) {
  WriteFile(shp(), shpBytes);
  const size_t whole = TableEnd(dbfBytes);
  ASSERT_LE(whole, dbfBytes.size());
  for (size_t n : PrefixLengths(dbfBytes.size(), DbfLandmarks(dbfBytes))) {
    const std::string prefix = dbfBytes.substr(0, n);
    WriteFile(dbf(), prefix);
    std::string error;
    const Outcome outcome = Convert(error);
    // Only the end marker may be missing; the conversion walks every record of the samples.
    if (n >= whole) {
      EXPECT_EQ(outcome, Outcome::True) << "prefix " << n << " " << error;
    } else {
      EXPECT_NE(outcome, Outcome::True) << "prefix " << n;
    }
    ASSERT_EQ(ReadFile(dbf()), prefix) << "prefix " << n;
    ASSERT_EQ(ReadFile(shp()), shpBytes) << "prefix " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, TruncationSweep,
                         ::testing::Values("stations", "roads", "parcels"));

}  // namespace
}  // namespace plexor
