// The faults the fuzzers found, each rebuilt here in its plainest form; the raw inputs are
// kept in tests/corpus and replayed by CorpusReplayTest.
#include <gtest/gtest.h>

#include "engine/ShpToMif.h"
#include "shp/uniShpUtils.h"
#include "support/ByteStream.h"
#include "support/DbfBuilder.h"
#include "support/FakeHost.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::ShpBuilder;

// A first record without parts or points read into fresh buffers: the empty arrays have no
// storage, and reading zero bytes into them must not hand memcpy a null pointer (UBSan).
TEST(FuzzFindings, EmptyMultiPartRecordIntoFreshBuffers) {
  test::TempDir dir;
  ShpBuilder().MultiPartRaw(3, 0, 0, {}, {}).MultiPartRaw(5, 0, 0, {}, {}).Write(dir / "in.shp");
  test::DbfBuilder().Field("NAME", 'C', 4).Record({"a"}).Record({"b"}).Write(dir / "in.dbf");
  test::FakeHost host;
  EXPECT_TRUE(ConvertShpToMif(0, dir / "in.shp", dir / "out.mif", host));
  EXPECT_EQ(test::ReadFile(dir / "out.mid"), "\"a\"\r\n\"b\"\r\n");

  ByteStream stream(dir / "in.shp");
  ASSERT_TRUE(ReadShpHeader(stream, host));
  ReadShpRecordHeader(stream);
  TSFPolyLine line;
  ReadShpPolyLine(stream, line);
  EXPECT_TRUE(line.Points.empty());
}

}  // namespace
}  // namespace plexor
