// Makes the bundled samples and the benchmark data: shapefiles (.shp, .shx, .dbf) with code
// page 932 attributes, written straight to disk so that millions of records cost no memory.
//
//   plexor_samplegen samples DIR          the small samples of samples/
//   plexor_samplegen bench DIR COUNT [V]  COUNT polygons of about V vertices, 8 attributes
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "shp/UniSFMapUtil.h"
#include "support/ByteStrings.h"
#include "support/Endian.h"

namespace plexor {
namespace {

class OutFile {
 public:
  explicit OutFile(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {
    if (!f_) throw std::runtime_error("cannot create " + path);
    std::setvbuf(f_, nullptr, _IOFBF, 1 << 20);
  }
  ~OutFile() {
    if (f_) std::fclose(f_);
  }
  void Put(const void* p, size_t n) {
    if (std::fwrite(p, 1, n, f_) != n) throw std::runtime_error("write failed");
    size_ += static_cast<int64_t>(n);
  }
  void Put(const std::string& s) { Put(s.data(), s.size()); }
  void PutAt(int64_t at, const void* p, size_t n) {
    std::fflush(f_);
    std::fseek(f_, static_cast<long>(at), SEEK_SET);
    std::fwrite(p, 1, n, f_);
    std::fseek(f_, 0, SEEK_END);
  }
  int64_t Size() const { return size_; }

 private:
  std::FILE* f_;
  int64_t size_ = 0;
};

// The main file and its index, written record by record; the headers are patched at the end.
class ShapeWriter {
 public:
  ShapeWriter(const std::string& base, int32_t shapeType)
      : shp_(base + ".shp"), shx_(base + ".shx"), type_(shapeType) {
    std::string header(100, '\0');
    shp_.Put(header);
    shx_.Put(header);
  }
  ~ShapeWriter() {
    PatchHeader(shp_);
    PatchHeader(shx_);
  }

  void Null() { Record(0, {}); }
  void Point(double x, double y) {
    std::string c(16, '\0');
    PutLEDouble(&c[0], x);
    PutLEDouble(&c[8], y);
    Record(1, c);
  }
  void MultiPart(int32_t type, const std::vector<int32_t>& parts,
                 const std::vector<TSFPoint>& points) {
    std::string c(40 + parts.size() * 4 + points.size() * 16, '\0');
    double box[4] = {points[0].X, points[0].Y, points[0].X, points[0].Y};
    for (const TSFPoint& p : points) {
      box[0] = std::min(box[0], p.X);
      box[1] = std::min(box[1], p.Y);
      box[2] = std::max(box[2], p.X);
      box[3] = std::max(box[3], p.Y);
    }
    for (int i = 0; i < 4; ++i) PutLEDouble(&c[i * 8], box[i]);
    PutLE32(&c[32], static_cast<int32_t>(parts.size()));
    PutLE32(&c[36], static_cast<int32_t>(points.size()));
    size_t at = 40;
    for (int32_t p : parts) PutLE32(&c[at], p), at += 4;
    for (const TSFPoint& p : points) {
      PutLEDouble(&c[at], p.X);
      PutLEDouble(&c[at + 8], p.Y);
      at += 16;
      Grow(p.X, p.Y);
    }
    Record(type, c);
  }

 private:
  void Grow(double x, double y) {
    if (!any_) {
      bounds_[0] = bounds_[2] = x;
      bounds_[1] = bounds_[3] = y;
      any_ = true;
    }
    bounds_[0] = std::min(bounds_[0], x);
    bounds_[1] = std::min(bounds_[1], y);
    bounds_[2] = std::max(bounds_[2], x);
    bounds_[3] = std::max(bounds_[3], y);
  }

  void Record(int32_t type, const std::string& content) {
    if (type == 1) Grow(GetLEDouble(&content[0]), GetLEDouble(&content[8]));
    const int32_t words = static_cast<int32_t>((4 + content.size()) / 2);
    unsigned char index[8];
    PutBE32(index, static_cast<int32_t>(shp_.Size() / 2));
    PutBE32(index + 4, words);
    shx_.Put(index, 8);
    unsigned char head[12];
    PutBE32(head, ++count_);
    PutBE32(head + 4, words);
    PutLE32(head + 8, type);
    shp_.Put(head, 12);
    shp_.Put(content);
  }

  void PatchHeader(OutFile& f) {
    unsigned char h[100] = {};
    PutBE32(h, 9994);
    PutBE32(h + 24, static_cast<int32_t>(f.Size() / 2));
    PutLE32(h + 28, 1000);
    PutLE32(h + 32, type_);
    for (int i = 0; i < 4; ++i) PutLEDouble(h + 36 + i * 8, bounds_[i]);
    f.PutAt(0, h, sizeof h);
  }

  OutFile shp_, shx_;
  int32_t type_;
  int32_t count_ = 0;
  bool any_ = false;
  double bounds_[4] = {};
};

struct Field {
  const char* name;
  char type;
  uint8_t length;
  uint8_t decimals;
};

// A dBASE III table with the code page 932 language driver byte, so that readers which
// honour it decode the names right.
class TableWriter {
 public:
  TableWriter(const std::string& path, std::vector<Field> fields)
      : out_(path), fields_(std::move(fields)) {
    recordLength_ = 1;
    for (const Field& f : fields_) recordLength_ += f.length;
    std::string header(32 + 32 * fields_.size() + 1, '\0');
    out_.Put(header);
  }
  ~TableWriter() {
    out_.Put("\x1A", 1);
    std::string h(32 + 32 * fields_.size() + 1, '\0');
    h[0] = 0x03;
    h[1] = 126;  // 2026
    h[2] = 12;
    h[3] = 8;
    PutLE32(&h[4], count_);
    PutLE16(&h[8], static_cast<uint16_t>(h.size()));
    PutLE16(&h[10], static_cast<uint16_t>(recordLength_));
    h[29] = 0x13;  // language driver: code page 932
    for (size_t i = 0; i < fields_.size(); ++i) {
      char* d = &h[32 + 32 * i];
      std::strncpy(d, fields_[i].name, 11);
      d[11] = fields_[i].type;
      d[16] = static_cast<char>(fields_[i].length);
      d[17] = static_cast<char>(fields_[i].decimals);
    }
    h.back() = 0x0D;
    out_.PutAt(0, h.data(), h.size());
  }

  // Values as texts already in the table's encoding; numbers right-aligned, others left.
  void Record(const std::vector<std::string>& values, bool deleted = false) {
    std::string r(static_cast<size_t>(recordLength_), ' ');
    r[0] = deleted ? '*' : ' ';
    size_t at = 1;
    for (size_t i = 0; i < fields_.size(); ++i) {
      const Field& f = fields_[i];
      std::string v = values[i].substr(0, f.length);
      if (f.type == 'N') v = std::string(f.length - v.size(), ' ') + v;
      std::memcpy(&r[at], v.data(), v.size());
      at += f.length;
    }
    out_.Put(r);
    ++count_;
  }

 private:
  OutFile out_;
  std::vector<Field> fields_;
  int32_t recordLength_ = 0;
  int32_t count_ = 0;
};

std::string Sjis(const char* utf8) {
  return Utf8ToCp932(utf8);
}

std::string Fixed(double v, int decimals) {
  char b[64];
  std::snprintf(b, sizeof b, "%.*f", decimals, v);
  return b;
}

const std::vector<Field> kFields = {
    {"NAME", 'C', 40, 0},  {"CODE", 'N', 10, 0}, {"AREA", 'N', 16, 3},   {"SURVEYED", 'D', 8, 0},
    {"ACTIVE", 'L', 1, 0}, {"KIND", 'C', 12, 0}, {"HEIGHT", 'N', 10, 2}, {"RANK", 'N', 4, 0}};

void WriteSamples(const std::string& dir) {
  {
    // Stations in longitude/latitude; the third record of the table is deleted, so the
    // shapes from there on pair with the records after it.
    ShapeWriter shp(dir + "/stations", 1);
    TableWriter dbf(dir + "/stations.dbf", kFields);
    const struct {
      const char* name;
      double lon, lat;
    } stations[] = {{"東京駅", 139.767125, 35.681236}, {"新宿駅", 139.700464, 35.689729},
                    {"品川駅", 139.738999, 35.62876},  {"渋谷駅", 139.701238, 35.658871},
                    {"上野駅", 139.777254, 35.713790}, {"池袋駅", 139.711086, 35.730256}};
    int code = 1001;
    for (const auto& s : stations) {
      shp.Point(s.lon, s.lat);
      if (code == 1003) dbf.Record({Sjis("削除済み"), "9999", "0", "", "F", "", "", ""}, true);
      dbf.Record({Sjis(s.name), std::to_string(code), Fixed(code * 1.25, 3), "20040115", "T",
                  Sjis("駅"), Fixed(3.5 + code % 7, 2), std::to_string(code % 5)});
      ++code;
    }
    shp.Null();
    dbf.Record({Sjis("形状なし"), "", "", "        ", "?", "", "", ""});
  }
  {
    // Roads on plane rectangular zone IX: single and multi-part lines.
    ShapeWriter shp(dir + "/roads", 3);
    TableWriter dbf(dir + "/roads.dbf", kFields);
    shp.MultiPart(3, {0}, {{-5000.125, -35000.5}, {-4800.25, -34950.75}, {-4500, -34800.125}});
    dbf.Record({Sjis("国道1号"), "1", "1234.5", "19990401", "T", Sjis("国道"), "12.25", "1"});
    shp.MultiPart(3, {0, 2, 4},
                  {{-100, 200}, {-50, 250}, {0, 0}, {10.5, 10.5}, {20.25, 0}, {1e-9, -2.5e-9}});
    dbf.Record(
        {Sjis("都道\"環状\"線, 支線"), "305", "-0.125", "20101231", "F", Sjis("都道"), "", "2"});
    shp.MultiPart(3, {0}, {{123456.789012345, -98765.4321}, {123457, -98766}});
    dbf.Record({Sjis("市道"), "-42", "1e3", "20000229", "T", "", "0.5", ""});
  }
  {
    // Parcels: a counter-clockwise open ring (written clockwise and closed), a polygon with
    // a hole, and two separate islands.
    ShapeWriter shp(dir + "/parcels", 5);
    TableWriter dbf(dir + "/parcels.dbf", kFields);
    shp.MultiPart(5, {0}, {{0, 0}, {100, 0}, {100, 100}, {0, 100}});
    dbf.Record({Sjis("公園"), "7", "10000", "20200320", "T", Sjis("公共"), "", "3"});
    shp.MultiPart(5, {0, 5},
                  {{0, 0},
                   {0, 300},
                   {300, 300},
                   {300, 0},
                   {0, 0},
                   {100, 100},
                   {200, 100},
                   {200, 200},
                   {100, 200},
                   {100, 100}});
    dbf.Record({Sjis("中庭のある敷地"), "8", "80000.125", "20210101", "F", Sjis("民有"), "", "1"});
    shp.MultiPart(5, {0, 4},
                  {{500, 500},
                   {500, 510},
                   {510, 510},
                   {500, 500},
                   {600, 600},
                   {600, 610},
                   {610, 610},
                   {600, 600}});
    dbf.Record({Sjis("島"), "9", "100", "", "", Sjis("離島"), "", ""});
  }
}

// VERTICES 1 writes points instead of polygons.
void WriteBench(const std::string& dir, int64_t count, int vertices) {
  ShapeWriter shp(dir + "/bench", vertices == 1 ? 1 : 5);
  TableWriter dbf(dir + "/bench.dbf", kFields);
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> centre(-150000, 150000);
  std::uniform_real_distribution<double> jitter(0.7, 1.3);
  std::vector<TSFPoint> ring;
  const std::string names[] = {Sjis("山田町一丁目"), Sjis("川口市本町"), Sjis("港区芝公園")};
  for (int64_t i = 0; i < count; ++i) {
    const double cx = centre(rng), cy = centre(rng);
    const double radius = 50 * jitter(rng);
    if (vertices == 1) {
      shp.Point(cx, cy);
      dbf.Record({names[i % 3], std::to_string(i), Fixed(radius * radius * 3.14159, 3), "20260115",
                  i % 2 ? "T" : "F", Sjis("地点"), Fixed(jitter(rng) * 10, 2),
                  std::to_string(i % 100)});
      continue;
    }
    ring.clear();
    const int n = vertices - 1;
    for (int k = 0; k < n; ++k) {
      const double a = -2 * M_PI * k / n;  // clockwise, as shapefiles store outer rings
      ring.push_back(
          {cx + radius * jitter(rng) * std::cos(a), cy + radius * jitter(rng) * std::sin(a)});
    }
    ring.push_back(ring.front());
    shp.MultiPart(5, {0}, ring);
    dbf.Record({names[i % 3], std::to_string(i), Fixed(radius * radius * 3.14159, 3),
                "2026" + std::string(i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1) + "15",
                i % 2 ? "T" : "F", Sjis("宅地"), Fixed(jitter(rng) * 10, 2),
                std::to_string(i % 100)});
  }
}

}  // namespace
}  // namespace plexor

int main(int argc, char** argv) {
  try {
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "samples") {
      plexor::WriteSamples(argv[2]);
      return 0;
    }
    if (mode == "bench" && argc > 3) {
      plexor::WriteBench(argv[2], std::stoll(argv[3]), argc > 4 ? std::stoi(argv[4]) : 35);
      return 0;
    }
    std::fprintf(stderr, "usage: %s samples DIR | bench DIR COUNT [VERTICES]\n", argv[0]);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
