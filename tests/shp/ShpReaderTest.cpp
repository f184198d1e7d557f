#include <gtest/gtest.h>

#include <filesystem>

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
  int32_t shapeType = 0;
  EXPECT_TRUE(ReadShpHeader(s, host, shapeType));
  EXPECT_EQ(shapeType, kShapeMultiPatch);
}

TEST(ShapeKinds, NamesAndBaseKindsOfTheStandard) {
  struct Kind {
    int32_t type;
    const char* name;
    int32_t base;
  };
  const Kind kinds[] = {{0, "Null", 0},         {1, "Point", 1},       {3, "PolyLine", 3},
                        {5, "Polygon", 5},      {8, "MultiPoint", 8},  {11, "PointZ", 1},
                        {13, "PolyLineZ", 3},   {15, "PolygonZ", 5},   {18, "MultiPointZ", 8},
                        {21, "PointM", 1},      {23, "PolyLineM", 3},  {25, "PolygonM", 5},
                        {28, "MultiPointM", 8}, {31, "MultiPatch", 31}};
  for (const Kind& k : kinds) {
    EXPECT_STREQ(ShapeTypeName(k.type), k.name) << k.type;
    EXPECT_EQ(BaseShapeKind(k.type), k.base) << k.type;
  }
  for (int32_t unknown : {-1, 2, 12, 32, 0x7FFFFFFF}) {
    EXPECT_EQ(ShapeTypeName(unknown), nullptr) << unknown;
    EXPECT_EQ(BaseShapeKind(unknown), unknown) << unknown;
  }
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
  ByteStream s =
      Open(ShpBuilder().PolyLine({0}, {{1, 1}, {2, 2}, {3, 3}}).MultiPartRaw(3, 0, 0, {}, {}));
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

// Z and M kinds, with the readers that know the content length.
class ShpReaderAnyTest : public ShpReaderTest {
 protected:
  // The stream of a file holding `b`'s records, positioned after the first record header.
  ByteStream First(const ShpBuilder& b, TShpRecordHeader& header) {
    ByteStream s = Open(b);
    EXPECT_TRUE(ReadShpHeader(s, host));
    header = ReadShpRecordHeader(s);
    return s;
  }
  // Reads the first record with the reader its kind calls for.
  void ReadFirst(const ShpBuilder& b) {
    TShpRecordHeader h;
    ByteStream s = First(b, h);
    switch (BaseShapeKind(h.ShapeType)) {
      case kShapePoint:
        return ReadShpPointAny(s, h, point_);
      case kShapePolyLine:
        return ReadShpPolyLineAny(s, h, line_);
      case kShapePolygon:
        return ReadShpPolygonAny(s, h, polygon_);
      default:
        return ReadShpMultiPoint(s, h, multiPoint_);
    }
  }
  const std::vector<TSFPoint> points_ = {{1, 2}, {3, 4}, {5, 6}, {7, 8}};
  TSFPoint point_;
  TSFPolyLine line_;
  TSFPolygon polygon_;
  TSFMultiPoint multiPoint_;
};

TEST_F(ShpReaderAnyTest, PointsOfEveryKindEndAtTheirContentEnd) {
  for (int32_t type : {1, 11, 21}) {
    for (bool withM : {false, true}) {
      if (type == 1 && withM) continue;
      TShpRecordHeader h;
      ByteStream s = First(ShpBuilder().PointZM(type, 139.5, 35.25, withM), h);
      TSFPoint p;
      ReadShpPointAny(s, h, p);
      EXPECT_EQ(p.X, 139.5) << type;
      EXPECT_EQ(p.Y, 35.25) << type;
      EXPECT_EQ(s.Position(), s.Size()) << type << " M " << withM;
    }
  }
}

TEST_F(ShpReaderAnyTest, LinesAndPolygonsOfEveryKindEndAtTheirContentEnd) {
  for (int32_t type : {3, 13, 23, 5, 15, 25}) {
    for (bool withM : {false, true}) {
      TShpRecordHeader h;
      ByteStream s = First(ShpBuilder().MultiPartZM(type, {0, 1}, points_, withM).Null(), h);
      auto check = [&](const auto& shape) {
        EXPECT_EQ(shape.Parts, (std::vector<int32_t>{0, 1})) << type;
        ASSERT_EQ(shape.Points.size(), 4u) << type;
        EXPECT_EQ(shape.Points[3].X, 7) << type;
        EXPECT_EQ(shape.Points[3].Y, 8) << type;
        EXPECT_EQ(shape.Box.YMax, 8) << type;
      };
      if (BaseShapeKind(type) == kShapePolyLine) {
        ReadShpPolyLineAny(s, h, line_);
        check(line_);
      } else {
        ReadShpPolygonAny(s, h, polygon_);
        check(polygon_);
      }
      // The next record header must follow at once: the Null record 2.
      EXPECT_EQ(ReadShpRecordHeader(s).RecordNumber, 2) << type << " M " << withM;
      EXPECT_EQ(s.Position(), s.Size());
    }
  }
}

TEST_F(ShpReaderAnyTest, MultiPointsOfEveryKindEndAtTheirContentEnd) {
  for (int32_t type : {8, 18, 28}) {
    for (bool withM : {false, true}) {
      if (type == 8 && withM) continue;
      TShpRecordHeader h;
      ByteStream s =
          First(ShpBuilder().MultiPoint(type, points_, withM).MultiPoint(type, {}, withM), h);
      TSFMultiPoint mp;
      ReadShpMultiPoint(s, h, mp);
      EXPECT_EQ(mp.NumPoints, 4) << type;
      ASSERT_EQ(mp.Points.size(), 4u) << type;
      EXPECT_EQ(mp.Points[0].X, 1) << type;
      EXPECT_EQ(mp.Points[3].Y, 8) << type;
      EXPECT_EQ(mp.Box.XMin, 1) << type;
      EXPECT_EQ(mp.Box.YMax, 8) << type;

      // A reused record keeps nothing of the longer one.
      h = ReadShpRecordHeader(s);
      EXPECT_EQ(h.RecordNumber, 2);
      ReadShpMultiPoint(s, h, mp);
      EXPECT_EQ(mp.NumPoints, 0);
      EXPECT_TRUE(mp.Points.empty());
      EXPECT_EQ(s.Position(), s.Size()) << type << " M " << withM;
    }
  }
}

TEST_F(ShpReaderAnyTest, TheContentLengthAloneSaysHowMuchFollowsTheXYData) {
  // Eight bytes more than the Z block (a partial M, padding): stepped over all the same.
  TShpRecordHeader h;
  ByteStream line = First(ShpBuilder()
                              .MultiPartZM(kShapePolyLineZ, {0}, points_, false)
                              .LastContentLength(2 + (40 + 4 + 64 + 16 + 32 + 8) / 2)
                              .Raw(test::LEDouble(-1))
                              .Null(),
                          h);
  ReadShpPolyLineAny(line, h, line_);
  EXPECT_EQ(ReadShpRecordHeader(line).RecordNumber, 2);

  // A 2D record with more content than it needs is stepped over the same way.
  ByteStream point = First(ShpBuilder().PointZM(kShapePoint, 1, 2, true).Null(), h);
  ReadShpPointAny(point, h, point_);
  EXPECT_EQ(ReadShpRecordHeader(point).RecordNumber, 2);
}

TEST_F(ShpReaderAnyTest, ContentTooShortOrBeyondTheFileRaisesTheReadError) {
  // Each record is followed by more bytes, so only its content length can be at fault.
  EXPECT_THROW(ReadFirst(ShpBuilder().Point(1, 2).LastContentLength(6).Null()), EReadError)
      << "point shorter than X and Y";
  EXPECT_THROW(ReadFirst(ShpBuilder().PointZM(kShapePointZ, 1, 2, false).LastContentLength(10)),
               EReadError)
      << "PointZ without its Z";
  EXPECT_THROW(ReadFirst(ShpBuilder()
                             .MultiPartZM(kShapePolyLineZ, {0}, points_, false)
                             .LastContentLength(2 + (40 + 4 + 64) / 2)),
               EReadError)
      << "PolyLineZ without its Z block";
  EXPECT_THROW(ReadFirst(ShpBuilder()
                             .MultiPartZM(kShapePolygonM, {0}, points_, false)
                             .LastContentLength(2 + (40 + 4 + 48) / 2)),
               EReadError)
      << "polygon points beyond the content";
  EXPECT_THROW(
      ReadFirst(
          ShpBuilder().MultiPoint(kShapeMultiPoint, points_, false).LastContentLength(2 + 34 / 2)),
      EReadError)
      << "multipoint head cut";
  EXPECT_THROW(
      ReadFirst(ShpBuilder().MultiPoint(kShapeMultiPointM, points_, true).LastContentLength(-2)),
      EReadError)
      << "negative content length";
  EXPECT_THROW(ReadFirst(ShpBuilder()
                             .MultiPoint(kShapeMultiPointM, points_, true)
                             .LastContentLength(2 + (36 + 64 + 48) / 2 + 1)),
               EReadError)
      << "content beyond the file";
}

TEST_F(ShpReaderAnyTest, HostileCountsFailBeforeAnyAllocation) {
  EXPECT_THROW(ReadFirst(ShpBuilder().MultiPointRaw(kShapeMultiPointZ, 0x7FFFFFFF, points_)),
               EReadError);
  // The file holds the points, their own record does not: the content length decides.
  EXPECT_THROW(ReadFirst(ShpBuilder()
                             .MultiPointRaw(kShapeMultiPoint, 3, {{1, 1}})
                             .MultiPoint(kShapeMultiPoint, points_, false)),
               EReadError);
  EXPECT_THROW(ReadFirst(ShpBuilder()
                             .MultiPartRaw(kShapePolyLineM, 1, 2, {0}, {{0, 0}})
                             .MultiPoint(kShapeMultiPoint, points_, false)),
               EReadError);

  EXPECT_THROW(ReadFirst(ShpBuilder().MultiPointRaw(kShapeMultiPointM, -1, {})), ERangeError);
  EXPECT_THROW(ReadFirst(ShpBuilder().MultiPartRaw(kShapePolygonZ, -1, 2, {}, {{0, 0}, {1, 1}})),
               ERangeError);
}

TEST_F(ShpReaderTest, RecordHeaderAtTheEndReadsWhatIsThere) {
  ByteStream s = Open(ShpBuilder().Raw(test::BE32(7) + std::string("\0\0", 2)));
  ASSERT_TRUE(ReadShpHeader(s, host));
  const TShpRecordHeader h = ReadShpRecordHeader(s);
  EXPECT_EQ(h.RecordNumber, 7);
  EXPECT_EQ(h.ShapeType, 0);
  EXPECT_EQ(s.Position(), s.Size());
}

// One buffer per kind, as the conversion and `plexor info` lend them.
struct Buffers final : IShapeBuffers {
  TSFPoint& Point() override { return point; }
  TSFPolyLine& Line() override { return line; }
  TSFPolygon& Region() override { return polygon; }
  TSFMultiPoint& Multipoint() override { return multiPoint; }
  TSFPoint point;
  TSFPolyLine line;
  TSFPolygon polygon;
  TSFMultiPoint multiPoint;
};

TEST_F(ShpReaderTest, EveryKindEndsWhereItsContentLengthSays) {
  // Each record holds eight bytes more than its kind needs; the record after it must follow.
  ByteStream s = Open(ShpBuilder()
                          .PointZM(kShapePoint, 1, 2, true)
                          .PolyLine({0, 1}, {{1, 1}, {2, 2}, {3, 3}})
                          .LastContentLength(2 + (40 + 8 + 48 + 8) / 2)
                          .Raw(test::LEDouble(-1))
                          .Polygon({0}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}})
                          .LastContentLength(2 + (40 + 4 + 64 + 8) / 2)
                          .Raw(test::LEDouble(-1))
                          .Null()
                          .LastContentLength(6)
                          .Raw(test::LEDouble(-1))
                          .Other(kShapeMultiPatch, std::string(20, '\x7F'))
                          .Raw(std::string(30, '\0')));
  ASSERT_TRUE(ReadShpHeader(s, host));
  Buffers b;
  TShpRecordHeader h;
  EXPECT_EQ(ReadShpRecord(s, h, b), TShpRecordKind::Shape);
  EXPECT_EQ(b.point.Y, 2);
  EXPECT_EQ(ReadShpRecord(s, h, b), TShpRecordKind::Shape);
  EXPECT_EQ(h.RecordNumber, 2);
  EXPECT_EQ(b.line.Parts, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(b.line.Points.size(), 3u);
  EXPECT_EQ(ReadShpRecord(s, h, b), TShpRecordKind::Shape);
  EXPECT_EQ(h.ShapeType, kShapePolygon);
  EXPECT_EQ(b.polygon.Points.size(), 4u);
  EXPECT_EQ(ReadShpRecord(s, h, b), TShpRecordKind::NullShape);
  EXPECT_EQ(ReadShpRecord(s, h, b), TShpRecordKind::PassedOver);
  EXPECT_EQ(h.RecordNumber, 5);
  // Zeros to the end are padding, not a sixth record.
  EXPECT_EQ(ReadShpRecord(s, h, b), TShpRecordKind::ZeroTail);
  EXPECT_EQ(s.Position(), s.Size());
}

TEST_F(ShpReaderTest, ContentLengthsBelowTheShapeTypeAreBadRecordsUnlessAllZero) {
  Buffers b;
  TShpRecordHeader h;
  auto reasonAfterOnePoint = [&](const std::string& rest) -> std::string {
    ByteStream s = Open(ShpBuilder().Point(1, 2).Raw(rest));
    EXPECT_TRUE(ReadShpHeader(s, host));
    EXPECT_EQ(ReadShpRecord(s, h, b), TShpRecordKind::Shape);
    try {
      ReadShpRecord(s, h, b);
    } catch (const EReadError& e) {
      return e.Message();
    }
    return "read";
  };
  EXPECT_EQ(reasonAfterOnePoint(test::BE32(2) + test::BE32(0) + std::string(20, '\1')),
            "内容の長さが 0 ワードで、図形の種類 (2 ワード) も入りません");
  EXPECT_EQ(reasonAfterOnePoint(std::string(8, '\0') + test::BE32(3)),
            "内容の長さが 0 ワードで、図形の種類 (2 ワード) も入りません");
  EXPECT_EQ(reasonAfterOnePoint(test::BE32(2) + test::BE32(-2) + std::string(8, '\0')),
            "内容の長さが -2 ワードで、図形の種類 (2 ワード) も入りません");
  // Fewer than 8 bytes cannot be told from a cut record header, zeros or not.
  EXPECT_EQ(reasonAfterOnePoint(std::string(7, '\0')),
            "レコードヘッダーの途中でファイルが終わっています");
  EXPECT_EQ(reasonAfterOnePoint(test::BE32(2) + test::BE32(10) + test::LE32(1)),
            "内容の長さ 20 バイトに対してファイルの残りが 4 バイトしかありません "
            "(ファイルが途中で切れています)");
}

TEST_F(ShpReaderTest, ASparseFileNeverTurnsItsCountsIntoAnAllocation) {
  // The count-based reader too: the file's hole holds 16 GiB, the record cap does not.
  ShpBuilder().MultiPartRaw(kShapePolygon, 1, 1 << 30, {0}, {{0, 0}}).Write(dir / "a.shp");
  std::filesystem::resize_file(dir / "a.shp", int64_t{1} << 35);
  ByteStream s(dir / "a.shp");
  ASSERT_TRUE(ReadShpHeader(s, host));
  ReadShpRecordHeader(s);
  TSFPolygon polygon;
  try {
    ReadShpPolygon(s, polygon);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(),
              "内容の長さ 17179869188 バイトが 1 レコードの上限 268435456 バイト (256 MiB) "
              "を超えています");
  }
  EXPECT_EQ(polygon.Points.capacity(), 0u);
}

}  // namespace
}  // namespace plexor
