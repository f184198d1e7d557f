#include <gtest/gtest.h>

#include "support/InputFile.h"
#include "support/ShpBuilder.h"
#include "support/ZipArchive.h"
#include "support/ZipBuilder.h"

namespace plexor {
namespace {

using test::TempDir;
using test::ZipBuilder;
using test::ZipMember;

// Bytes that compress, but not to nothing.
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(i % 7 == 0 ? (x >> 24) : 'a' + i % 13);
  }
  return s;
}

std::string ReadMember(const std::string& archive, const std::string& name) {
  const TZipDirectory directory(archive);
  const TZipEntry* e = directory.Find(name);
  if (!e) return "(missing)";
  TZipMemberReader reader(directory, *e);
  std::string out(static_cast<size_t>(reader.Size()), '\0');
  size_t done = 0;
  while (done < out.size()) done += reader.ReadAt(static_cast<int64_t>(done), &out[done], 4096);
  return out;
}

// The refusal a member's reading ends in, or "" when it reads whole.
std::string MemberFault(const std::string& archive, const std::string& name) {
  try {
    const TZipDirectory directory(archive);
    const TZipEntry* e = directory.Find(name);
    if (!e) return "(missing)";
    TZipMemberReader reader(directory, *e);
    reader.ReadToEnd();
    return {};
  } catch (const EArchiveError& e) {
    return e.what();
  }
}

std::string ArchiveFault(const std::string& archive) {
  try {
    TZipDirectory directory(archive);
    return {};
  } catch (const EArchiveError& e) {
    return e.what();
  }
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ZipMembers, StoredDeflatedAndZip64ReadAtAnyPosition) {
  TempDir dir;
  const std::string data = Pattern(700000);
  ZipBuilder zip;
  zip.Add("a/stored.bin", data, false);
  zip.Add("a/deflated.bin", data);
  zip.Add("a/zip64.bin", data).Zip64 = true;
  zip.Add("empty.bin", "");
  zip.Zip64End().Write(dir / "t.zip");

  for (const char* name : {"a/stored.bin", "a/deflated.bin", "a/zip64.bin"}) {
    EXPECT_EQ(ReadMember(dir / "t.zip", name), data) << name;
    EXPECT_EQ(MemberFault(dir / "t.zip", name), "") << name;
  }
  EXPECT_EQ(ReadMember(dir / "t.zip", "empty.bin"), "");

  // Forward jumps, a read behind the last one (inflated again from the start), the end.
  const TZipDirectory directory(dir / "t.zip");
  TZipMemberReader reader(directory, *directory.Find("a/deflated.bin"));
  char b[16];
  ASSERT_EQ(reader.ReadAt(500000, b, sizeof b), sizeof b);
  EXPECT_EQ(std::string(b, sizeof b), data.substr(500000, 16));
  // A step back, as a table's read window takes when a record did not fit: from what was kept.
  ASSERT_EQ(reader.ReadAt(499990, b, sizeof b), sizeof b);
  EXPECT_EQ(std::string(b, sizeof b), data.substr(499990, 16));
  ASSERT_EQ(reader.ReadAt(10, b, sizeof b), sizeof b);
  EXPECT_EQ(std::string(b, sizeof b), data.substr(10, 16));
  EXPECT_EQ(reader.ReadAt(699995, b, sizeof b), 5u);
  EXPECT_EQ(reader.ReadAt(700000, b, sizeof b), 0u);
}

TEST(ZipMembers, NamesAreDecodedByFlagFieldAndBytes) {
  TempDir dir;
  const std::string road = "\xE9\x81\x93\xE8\xB7\xAF";  // 道路 in UTF-8
  const std::string roadCp932 = "\x93\xB9\x98\x48";     // 道路 in code page 932
  const std::string hyou = "\x95\x5C";                  // 表: its second byte is '\'
  ZipBuilder zip;
  zip.Add(roadCp932 + "/a.shp", "1");
  zip.Add("flag/" + road + ".shp", "2").Flags = 0x0800;
  zip.Add("plain/" + road + ".shp", "3");  // Info-ZIP on Linux: UTF-8 without the flag
  zip.Add("x/" + hyou + ".dbf", "4");
  zip.Add("win\\old.shp", "5");
  ZipMember& unicode = zip.Add("field/" + roadCp932 + "?.shp", "6");
  unicode.CentralExtra = test::UnicodePathField(unicode.Name, "field/" + road + "!.shp");
  zip.Add("bad/\x81\x7F\xFF.shp", "7");
  zip.Write(dir / "n.zip");

  const TZipDirectory directory(dir / "n.zip");
  std::vector<std::string> names;
  for (const TZipEntry& e : directory.Entries()) names.push_back(e.Name);
  EXPECT_EQ(names,
            (std::vector<std::string>{road + "/a.shp", "flag/" + road + ".shp",
                                      "plain/" + road + ".shp", "x/\xE8\xA1\xA8.dbf", "win/old.shp",
                                      "field/" + road + "!.shp", "bad/%81%7F%FF.shp"}));
  // Each is read by the name it is shown under, through a path as the user writes it.
  EXPECT_EQ(ReadMember(dir / "n.zip", road + "/a.shp"), "1");
  InputFile file;
  ASSERT_TRUE(file.OpenRead(dir / ("n.zip/" + road + "//a.shp"))) << file.LastError();
  char c = 0;
  EXPECT_EQ(file.ReadAt(0, &c, 1), 1);
  EXPECT_EQ(c, '1');
  EXPECT_TRUE(InputFileExists(dir / "n.zip/bad/%81%7F%FF.shp"));
  EXPECT_FALSE(InputFileExists(dir / "n.zip/win"));
  EXPECT_EQ(FindInputCaseVariant(dir / "n.zip/WIN/OLD.SHP"), dir / "n.zip/win/old.shp");
  EXPECT_EQ(FileOnDiskOf(dir / "n.zip/win/old.shp"), dir / "n.zip");
}

TEST(ZipHostile, ArchivesThatCannotBeTrustedAreRefusedWhole) {
  TempDir dir;
  ZipBuilder good;
  good.Add("a.shp", Pattern(5000));
  good.Add("a.dbf", Pattern(3000));
  const std::string bytes = good.Bytes();

  // Cut anywhere before its end record: nothing of it is read.
  test::WriteFile(dir / "cut.zip", bytes.substr(0, bytes.size() - 10));
  EXPECT_TRUE(Has(ArchiveFault(dir / "cut.zip"), "途中で切れています"))
      << ArchiveFault(dir / "cut.zip");
  test::WriteFile(dir / "junk.zip", "PK not really");
  EXPECT_TRUE(Has(ArchiveFault(dir / "junk.zip"), "終わりのレコードがありません"));

  // Two headers for one member's data: how a small archive claims terabytes.
  ZipBuilder overlapping;
  overlapping.Add("a.shp", Pattern(5000));
  overlapping.DuplicateHeader(0).Write(dir / "overlap.zip");
  EXPECT_TRUE(Has(ArchiveFault(dir / "overlap.zip"), "\"a.shp\" と \"a.shp\" のデータが重なって"))
      << ArchiveFault(dir / "overlap.zip");
  ZipBuilder intoNext;
  intoNext.Add("a.shp", Pattern(5000)).CompressedSize = 100000;
  intoNext.Add("b.shp", "b");
  intoNext.Write(dir / "into.zip");
  EXPECT_TRUE(Has(ArchiveFault(dir / "into.zip"), "\"a.shp\" と \"b.shp\""));

  // A count of entries the directory cannot hold is refused before room is made for it.
  std::string lying = bytes;
  lying[lying.size() - 12] = '\xFF';  // entries in the end record
  lying[lying.size() - 11] = '\xFF';
  test::WriteFile(dir / "count.zip", lying);
  EXPECT_TRUE(Has(ArchiveFault(dir / "count.zip"), "中央ディレクトリが壊れています"));
  EXPECT_THROW(TZipDirectory(dir / "missing.zip"), EFOpenError);
}

TEST(ZipHostile, MembersAreRefusedByNameWithTheirReason) {
  TempDir dir;
  const std::string data = Pattern(20000);
  ZipBuilder zip;
  zip.Add("enc.shp", data).Flags = 0x0001;
  zip.Add("../up.shp", data);
  zip.Add("/abs.shp", data);
  zip.Add("C:/drive.shp", data);
  zip.Add("bzip2.shp", data).Method = 12;
  zip.Add("crc.shp", data).Crc = 1;
  zip.Add("crcstored.shp", data, false).Crc = 1;
  zip.Add("beyond.shp", data).Size = 100;
  zip.Add("short.shp", data).Size = 30000;
  zip.Add("ratio.shp", data).Size = uint64_t{200} << 20;
  ZipMember& huge = zip.Add("huge.shp", data);
  huge.Zip64 = true;
  huge.Size = uint64_t{100} << 30;
  zip.Add("twice.shp", "1");
  zip.Add("twice.shp", "2");
  zip.Write(dir / "h.zip");

  const std::string archive = dir / "h.zip";
  const auto refusal = [&](const std::string& name) {
    const TZipDirectory directory(archive);
    const TZipEntry* e = directory.Find(name);
    return e ? e->Refusal : "(missing)";
  };
  EXPECT_EQ(refusal("enc.shp"), "暗号化されています");
  for (const char* unsafe : {"../up.shp", "/abs.shp", "C:/drive.shp"}) {
    EXPECT_EQ(refusal(unsafe), "\"..\" や絶対パスを含む名前です") << unsafe;
  }
  EXPECT_EQ(refusal("bzip2.shp"), "対応していない圧縮方式です (方式 12)");
  EXPECT_TRUE(Has(refusal("ratio.shp"), "ZIP 爆弾の疑い"));
  EXPECT_TRUE(Has(refusal("huge.shp"), "大きすぎます"));
  EXPECT_EQ(refusal("twice.shp"), "同じ名前のメンバーが複数あります");

  // Refused members cannot be opened; the text names the archive and the member.
  const std::string enc = MemberFault(archive, "enc.shp");
  EXPECT_TRUE(Has(enc, "h.zip\" の \"enc.shp\" を読めません: 暗号化されています")) << enc;
  // Damage shows as the data is read.
  EXPECT_TRUE(Has(MemberFault(archive, "crc.shp"), "\"crc.shp\" を読めません: CRC が合いません"));
  EXPECT_TRUE(Has(MemberFault(archive, "crcstored.shp"), "CRC が合いません"));
  EXPECT_TRUE(Has(MemberFault(archive, "beyond.shp"), "サイズを超えて展開されます"));
  EXPECT_TRUE(Has(MemberFault(archive, "short.shp"), "サイズより短いデータです"));
}

TEST(ZipHostile, DamagedDeflateDataIsRefusedNotLooped) {
  TempDir dir;
  ZipBuilder zip;
  ZipMember& m = zip.Add("a.shp", Pattern(100000), false);
  m.Method = 8;  // stored bytes claimed as deflated
  m.CompressedSize = 100000;
  zip.Write(dir / "d.zip");
  EXPECT_TRUE(Has(MemberFault(dir / "d.zip", "a.shp"), "圧縮データが壊れています"))
      << MemberFault(dir / "d.zip", "a.shp");
}

}  // namespace
}  // namespace plexor
