#include <gtest/gtest.h>

#include "shp/uniShpUtils.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::ShpBuilder;

class ShpReaderTest : public ::testing::Test {
 protected:
  ByteStream Open(const ShpBuilder& b, int64_t truncateTo = -1) {
    b.Write(dir / "a.shp", truncateTo);
    return ByteStream(dir / "a.shp");
  }
  ByteStream OpenBytes(const std::string& bytes) {
    test::WriteFile(dir / "a.shp", bytes);
    return ByteStream(dir / "a.shp");
  }
  test::TempDir dir;
  test::FakeHost host;
};

TEST_F(ShpReaderTest, HeaderAcceptsFileCodeAndVersionWhateverTheShapeType) {
  ByteStream s = Open(ShpBuilder().HeaderShapeType(31));
  EXPECT_TRUE(ReadShpHeader(s, host));
  EXPECT_EQ(s.Position(), 100);
  EXPECT_TRUE(host.Messages.empty());
}

TEST_F(ShpReaderTest, HeaderRefusesWrongByteOrderAndVersionWithTheMessage) {
  ByteStream wrongOrder = Open(ShpBuilder().FileCode(0x0A270000));  // 9994 little-endian
  EXPECT_FALSE(ReadShpHeader(wrongOrder, host));
  EXPECT_EQ(wrongOrder.Position(), 4);

  ByteStream wrongVersion = Open(ShpBuilder().Version(1001));
  EXPECT_FALSE(ReadShpHeader(wrongVersion, host));
  EXPECT_EQ(wrongVersion.Position(), 32);

  ASSERT_EQ(host.Messages.size(), 2u);
  EXPECT_EQ(host.Messages[0].Kind, MessageKind::Error);
  EXPECT_EQ(host.Messages[0].Text, "不正なSHPファイルです。");
  EXPECT_STREQ(MessageTitle(host.Messages[0].Kind), "エラー");
}

TEST_F(ShpReaderTest, ShortHeaderRaisesTheReadErrorWithoutAMessage) {
  ByteStream tiny = OpenBytes(std::string("\0\0\x27", 3));
  try {
    ReadShpHeader(tiny, host);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "ストリームからの読み込みエラー");
  }
  ByteStream cut = Open(ShpBuilder(), 99);
  EXPECT_THROW(ReadShpHeader(cut, host), EReadError);
  EXPECT_TRUE(host.Messages.empty());
}

TEST_F(ShpReaderTest, RecordsOfEveryKindReadInOrder) {
  ByteStream s = Open(ShpBuilder()
                          .Null()
                          .Point(139.5, 35.25)
                          .PolyLine({0, 2}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}})
                          .Polygon({0}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}}));
  ASSERT_TRUE(ReadShpHeader(s, host));

  TShpRecordHeader h = ReadShpRecordHeader(s);
  EXPECT_EQ(h.ShapeType, kShapeNull);
  EXPECT_EQ(h.RecordNumber, 1);
  EXPECT_EQ(h.ContentLength, 2);
  EXPECT_EQ(s.Position(), 112);  // a null record is 12 bytes

  h = ReadShpRecordHeader(s);
  EXPECT_EQ(h.ShapeType, kShapePoint);
  TSFPoint p;
  ReadShpPoint(s, p);
  EXPECT_EQ(p.X, 139.5);
  EXPECT_EQ(p.Y, 35.25);

  h = ReadShpRecordHeader(s);
  EXPECT_EQ(h.ShapeType, kShapePolyLine);
  TSFPolyLine line;
  ReadShpPolyLine(s, line);
  EXPECT_EQ(line.NumParts, 2);
  EXPECT_EQ(line.NumPoints, 5);
  EXPECT_EQ(line.Parts, (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(line.Points[4].Y, 4);
  EXPECT_EQ(line.Box.XMax, 4);

  h = ReadShpRecordHeader(s);
  EXPECT_EQ(h.ShapeType, kShapePolygon);
  TSFPolygon polygon;
  ReadShpPolygon(s, polygon);
  EXPECT_EQ(polygon.NumPoints, 4);
  EXPECT_EQ(s.Position(), s.Size());
}

TEST_F(ShpReaderTest, ReusedRecordKeepsNoTraceOfALongerShape) {
  ByteStream s = Open(ShpBuilder()
                          .PolyLine({0}, {{1, 1}, {2, 2}, {3, 3}})
                          .MultiPartRaw(3, 0, 0, {}, {}));
  ASSERT_TRUE(ReadShpHeader(s, host));
  TSFPolyLine line;
  ReadShpRecordHeader(s);
  ReadShpPolyLine(s, line);
  ReadShpRecordHeader(s);
  ReadShpPolyLine(s, line);
  EXPECT_EQ(line.NumParts, 0);
  EXPECT_EQ(line.NumPoints, 0);
  EXPECT_TRUE(line.Parts.empty());
  EXPECT_TRUE(line.Points.empty());
}

TEST_F(ShpReaderTest, HostileCountsFailBeforeAnyAllocation) {
  // A count far beyond the file must fail like the short read it is, never allocate.
  ByteStream huge = Open(ShpBuilder().MultiPartRaw(5, 1, 0x7FFFFFFF, {0}, {{0, 0}}));
  ASSERT_TRUE(ReadShpHeader(huge, host));
  ReadShpRecordHeader(huge);
  TSFPolygon polygon;
  EXPECT_THROW(ReadShpPolygon(huge, polygon), EReadError);

  ByteStream negative = Open(ShpBuilder().MultiPartRaw(3, -1, 2, {}, {{0, 0}, {1, 1}}));
  ASSERT_TRUE(ReadShpHeader(negative, host));
  ReadShpRecordHeader(negative);
  TSFPolyLine line;
  EXPECT_THROW(ReadShpPolyLine(negative, line), ERangeError);
}

TEST_F(ShpReaderTest, CutRecordRaisesTheReadError) {
  const ShpBuilder b = ShpBuilder().Point(1, 2);
  ByteStream s = Open(b, 100 + 12 + 10);
  ASSERT_TRUE(ReadShpHeader(s, host));
  ReadShpRecordHeader(s);
  TSFPoint p;
  EXPECT_THROW(ReadShpPoint(s, p), EReadError);
}

TEST_F(ShpReaderTest, RecordHeaderAtTheEndReadsWhatIsThere) {
  ByteStream s = Open(ShpBuilder().Raw(test::BE32(7) + std::string("\0\0", 2)));
  ASSERT_TRUE(ReadShpHeader(s, host));
  const TShpRecordHeader h = ReadShpRecordHeader(s);
  EXPECT_EQ(h.RecordNumber, 7);
  EXPECT_EQ(h.ShapeType, 0);
  EXPECT_EQ(s.Position(), s.Size());
}

}  // namespace
}  // namespace plexor
