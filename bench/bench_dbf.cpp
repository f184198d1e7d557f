// Reading an attribute table the way a conversion does: one Next and one MID row per shape.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dbf/localDbf.h"
#include "shp/uniShpUtils.h"
#include "support/Endian.h"
#include "support/FileHandle.h"

namespace {

using plexor::TLocalDbf;

constexpr int kRecords = 1'000'000;

struct FieldSpec {
  const char* name;
  char type;
  int length, decimals;
};

// Eight fields of every kind a shapefile table carries, Japanese text included.
constexpr FieldSpec kFields[] = {
    {"NAME", 'C', 20, 0}, {"CODE", 'N', 10, 0}, {"AREA", 'N', 15, 4}, {"DAY", 'D', 8, 0},
    {"FLAG", 'L', 1, 0},  {"NOTE", 'C', 40, 0}, {"COUNT", 'N', 6, 0}, {"RATIO", 'N', 12, 6},
};

void PutRight(std::string& record, size_t offset, int width, const std::string& text) {
  record.replace(offset + static_cast<size_t>(width) - text.size(), text.size(), text);
}

void PutLeft(std::string& record, size_t offset, const std::string& text) {
  record.replace(offset, text.size(), text);
}

// The table is made once per run, in the temporary folder, and removed at exit.
const std::string& TablePath() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() /
                           ("plexor-bench-" + std::to_string(::getpid()) + ".dbf"))
                              .string();
    const int fieldCount = static_cast<int>(std::size(kFields));
    int recordLength = 1;
    for (const FieldSpec& f : kFields) recordLength += f.length;
    const int headerLength = 32 + 32 * fieldCount + 1;

    std::string bytes(32, '\0');
    bytes[0] = 0x03;
    plexor::PutLE32(bytes.data() + 4, kRecords);
    plexor::PutLE16(bytes.data() + 8, static_cast<uint16_t>(headerLength));
    plexor::PutLE16(bytes.data() + 10, static_cast<uint16_t>(recordLength));
    for (const FieldSpec& f : kFields) {
      std::string d(32, '\0');
      std::snprintf(d.data(), 12, "%s", f.name);
      d[11] = f.type;
      d[16] = static_cast<char>(f.length);
      d[17] = static_cast<char>(f.decimals);
      bytes += d;
    }
    bytes += '\x0D';
    bytes.reserve(bytes.size() + static_cast<size_t>(kRecords) * recordLength + 1);

    uint64_t state = 12345;
    auto random = [&state] {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      return static_cast<uint32_t>(state >> 33);
    };
    char number[64];
    for (int i = 0; i < kRecords; ++i) {
      std::string r(static_cast<size_t>(recordLength), ' ');
      if (i % 997 == 996) r[0] = '*';
      size_t at = 1;
      PutLeft(r, at, "\x93\x8C\x8B\x9E\x93\x73" + std::to_string(random() % 100000));  // 東京都
      at += 20;
      if (i % 50 != 0) PutRight(r, at, 10, std::to_string(static_cast<int32_t>(random()) / 4));
      at += 10;
      std::snprintf(number, sizeof number, "%.4f", (random() % 100000000) / 1000.0);
      PutRight(r, at, 15, number);
      at += 15;
      std::snprintf(number, sizeof number, "%04u%02u%02u", 1900 + random() % 200, 1 + random() % 12,
                    1 + random() % 28);
      if (i % 40 != 0) PutLeft(r, at, number);
      at += 8;
      r[at] = "TF?"[random() % 3];
      at += 1;
      if (i % 3 == 0) PutLeft(r, at, "a \"quoted\", comma note " + std::to_string(i));
      at += 40;
      PutRight(r, at, 6, std::to_string(random() % 100000));
      at += 6;
      std::snprintf(number, sizeof number, "%.6f", (random() % 2000000) / 1e6 - 1.0);
      PutRight(r, at, 12, number);
      bytes += r;
    }
    bytes += '\x1A';

    plexor::FileHandle out;
    if (!out.Create(p) || !out.Write(bytes.data(), bytes.size()) || !out.Close()) std::abort();
    std::atexit([] { std::filesystem::remove(TablePath()); });
    return p;
  }();
  return path;
}

// Walks the whole table the conversion's way and builds every row into one reused string.
enum class OpenMode { Writable, ReadOnly, Conversion };

void MidRowsOfWholeTable(benchmark::State& state, OpenMode mode) {
  const std::string& path = TablePath();
  const plexor::RegionalSettings regional;
  std::string row;
  int64_t rows = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    TLocalDbf table;
    table.SetTableName(path);
    table.SetReadOnly(mode != OpenMode::Writable);
    // The conversion's open: read-only, every record in file order, read ahead.
    table.SetShowDeleted(mode == OpenMode::Conversion);
    table.SetReadAhead(mode == OpenMode::Conversion);
    table.Open();
    for (; !table.Eof(); table.Next()) {
      plexor::BuildMidRow(table, regional, row);
      bytes += row.size();
      ++rows;
    }
    table.Close();
  }
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(rows);
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

// The conversion's own mode: read-only with a shared lock, through the read-ahead window.
void BM_DbfMidRows(benchmark::State& state) {
  MidRowsOfWholeTable(state, OpenMode::Conversion);
}
// The file held exclusively for writing, read through the same window.
void BM_DbfMidRowsWritable(benchmark::State& state) {
  MidRowsOfWholeTable(state, OpenMode::Writable);
}
// Shared mode without read-ahead, where every fetch goes to the file so others' changes show.
void BM_DbfMidRowsReadOnly(benchmark::State& state) {
  MidRowsOfWholeTable(state, OpenMode::ReadOnly);
}

BENCHMARK(BM_DbfMidRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DbfMidRowsWritable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DbfMidRowsReadOnly)->Unit(benchmark::kMillisecond);

}  // namespace
