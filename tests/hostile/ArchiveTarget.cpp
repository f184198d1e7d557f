// The archive reader under hostile bytes: the input is a zip archive. Every member is read
// as a conversion reads it, and what the reader hands out must be what the archive says: the
// declared size, bytes whose CRC is the declared one, names that are UTF-8 and never climb
// out of a folder. Shapefiles inside are described as `plexor info` does, through the same
// readers a conversion uses.
#include <zlib.h>

#include <algorithm>

#include "engine/ShapefileInfo.h"
#include "engine/SourceList.h"
#include "hostile/HostileTargets.h"
#include "support/DbfBuilder.h"
#include "support/Exceptions.h"
#include "support/ShpBuilder.h"
#include "support/TextEncoding.h"
#include "support/ZipArchive.h"
#include "support/ZipBuilder.h"

namespace plexor::hostile {
namespace {

// Members read whole up to this size; larger ones are read at their start and their end.
constexpr uint64_t kWholeReadLimit = 1 << 20;
constexpr size_t kDescribedShapefiles = 4;

[[noreturn]] void Fail(const std::string& what) {
  throw HostileFailure(what);
}

bool ClimbsOut(const std::string& name) {
  if (name.empty() || name.front() == '/' || (name.size() >= 2 && name[1] == ':')) return true;
  return name == ".." || name.rfind("../", 0) == 0 || name.find("/../") != std::string::npos ||
         (name.size() >= 3 && name.compare(name.size() - 3, 3, "/..") == 0);
}

void ReadEntry(const TZipDirectory& directory, const TZipEntry& e) {
  TZipMemberReader reader(directory, e);
  if (reader.Size() != static_cast<int64_t>(e.Size)) Fail("member size differs: " + e.Name);
  if (e.Size <= kWholeReadLimit) {
    std::string bytes(static_cast<size_t>(e.Size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
      const size_t got =
          reader.ReadAt(static_cast<int64_t>(done), &bytes[done], bytes.size() - done);
      if (got == 0) Fail("member ended before its size: " + e.Name);
      done += got;
    }
    reader.ReadToEnd();
    const auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    if (crc != e.Crc) Fail("member handed out with a wrong CRC: " + e.Name);
    return;
  }
  char piece[512];
  reader.ReadAt(0, piece, sizeof piece);
  reader.ReadAt(static_cast<int64_t>(e.Size) - 1, piece, 1);
}

}  // namespace

void ZipArchiveInput(std::string_view data) {
  test::TempDir dir;
  const std::string archive = dir / "in.zip";
  test::WriteFile(archive, std::string(data));
  try {
    const TZipDirectory directory(archive);
    for (const TZipEntry& e : directory.Entries()) {
      if (!IsUtf8WithNonAscii(e.Name) && !std::all_of(e.Name.begin(), e.Name.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
          })) {
        Fail("a member name that is no UTF-8");
      }
      if (e.Name.find('\0') != std::string::npos) Fail("a member name with NUL");
      if (!e.Refusal.empty()) {
        try {
          TZipMemberReader reader(directory, e);
          Fail("a refused member opened: " + e.Name);
        } catch (const EArchiveError&) {
        }
        continue;
      }
      if (ClimbsOut(e.Name)) Fail("a member climbing out was not refused: " + e.Name);
      if (e.Folder) continue;
      try {
        ReadEntry(directory, e);
      } catch (const EArchiveError&) {
        // Damaged data, refused with its reason.
      }
    }
    std::vector<TSourceItem> items = ExpandSource(archive, false);
    if (items.size() > kDescribedShapefiles) items.resize(kDescribedShapefiles);
    for (const TSourceItem& item : items) {
      if (item.Refusal.empty()) DescribeShapefile(item.Source, {});  // never raises
    }
  } catch (const HostileFailure&) {
    throw;
  } catch (const Exception&) {
    // A refusal of the archive as a whole.
  } catch (const std::exception& e) {
    Fail(std::string("an error outside the program's own: ") + e.what());
  }
  if (test::ReadFile(archive) != data) Fail("the archive was changed");
}

std::vector<std::string> ZipArchiveSeeds() {
  const std::string shp = test::ShpBuilder().HeaderShapeType(1).Point(139.5, 35).Bytes();
  const std::string dbf = test::DbfBuilder().Field("NAME", 'C', 8).Record({"\x93\xB9"}).Bytes();
  std::vector<std::string> seeds;
  test::ZipBuilder plain;
  plain.Add("town/roads.shp", shp);
  plain.Add("town/ROADS.DBF", dbf, false);
  plain.Add("town/", "", false);
  seeds.push_back(plain.Bytes());
  test::ZipBuilder zip64;
  zip64.Add("\x93\xB9/a.shp", shp).Zip64 = true;
  zip64.Add("\x93\xB9/a.dbf", dbf).Flags = 0;
  seeds.push_back(zip64.Zip64End().Bytes());
  test::ZipBuilder odd;
  odd.Add("../up.shp", shp);
  odd.Add("enc.shp", shp).Flags = 1;
  odd.Add("crc.dbf", dbf).Crc = 5;
  odd.Add("big.shp", shp).Size = uint64_t{1} << 40;
  seeds.push_back(odd.DuplicateHeader(0).Bytes());
  return seeds;
}

}  // namespace plexor::hostile
