// Combining a batch's outputs: two MIF/MID pairs of CR LF lines, as conversions write them,
// appended into one pair. The figure to compare is a plain copy of the same bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/BatchCombine.h"
#include "engine/BatchRow.h"
#include "support/ByteStrings.h"

namespace {

namespace fs = std::filesystem;

// A MIF of short coordinate lines after its header, and a MID of rows: about 64 MB each.
void WritePair(const std::string& mif) {
  std::ofstream m(mif, std::ios::binary);
  m << "Version 300\r\nCharset \"WindowsJapanese\"\r\nColumns 1\r\n  N Integer\r\nData\r\n\r\n";
  std::ofstream d(plexor::ChangeFileExt(mif, ".mid"), std::ios::binary);
  for (int i = 0; i < 2000000; ++i) {
    m << "Region 1\r\n  2\r\n"
      << 139.5 + i * 1e-7 << " 35.25\r\n139.75 " << 35.5 + i * 1e-7 << "\r\n";
    d << i << ",\"東京都千代田区\"\r\n";
  }
}

void BM_CombineBatchOutputs(benchmark::State& state) {
  const fs::path dir =
      fs::temp_directory_path() / ("plexor_bench_combine_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::vector<plexor::TBatchRow> rows;
  for (int i = 0; i < 2; ++i) {
    const std::string mif = (dir / ("row" + std::to_string(i) + ".mif")).string();
    WritePair(mif);
    rows.push_back(plexor::MakeBatchRow(30, (dir / "in.shp").string(), mif));
    rows.back().Mark = plexor::TBatchMark::Converted;
  }
  const std::string combined = (dir / "combined.mif").string();
  struct QuietHost : plexor::IConvertHost {
    void ShowMessage(plexor::MessageKind, const std::string&) override {}
    void SetStatusText(const std::string&) override {}
  } host;
  for (auto _ : state) plexor::CombineBatchOutputs(rows, combined, host);
  const auto bytes = static_cast<int64_t>(fs::file_size(combined) +
                                          fs::file_size(plexor::ChangeFileExt(combined, ".mid")));
  state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
  fs::remove_all(dir);
}
BENCHMARK(BM_CombineBatchOutputs)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes through a plain file copy: what the disk and the page cache allow.
void BM_PlainCopy(benchmark::State& state) {
  const fs::path dir =
      fs::temp_directory_path() / ("plexor_bench_copy_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string mif = (dir / "row.mif").string();
  WritePair(mif);
  const auto bytes =
      static_cast<int64_t>(fs::file_size(mif) + fs::file_size(plexor::ChangeFileExt(mif, ".mid")));
  for (auto _ : state) {
    for (const char* ext : {".mif", ".mid"}) {
      for (int i = 0; i < 2; ++i) {
        fs::copy_file(plexor::ChangeFileExt(mif, ext), dir / ("copy" + std::to_string(i) + ext),
                      fs::copy_options::overwrite_existing);
      }
    }
  }
  state.SetBytesProcessed(2 * bytes * static_cast<int64_t>(state.iterations()));
  fs::remove_all(dir);
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
