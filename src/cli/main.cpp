// plexor: the converter in a terminal. It calls the very engine functions the window calls,
// so both write byte-identical files.
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "engine/Batch.h"
#include "engine/CoordSys.h"
#include "engine/ShpToMif.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"

#ifndef PLEXOR_VERSION_TEXT
#define PLEXOR_VERSION_TEXT "0.0.0.0"
#endif

namespace plexor {
namespace {

constexpr int kExitTrue = 0;
constexpr int kExitFalse = 1;
constexpr int kExitUsage = 2;
constexpr int kExitError = 3;

const char* ShapeTypeName(int32_t type) {
  switch (type) {
    case 0: return "Null";
    case 1: return "Point";
    case 3: return "PolyLine";
    case 5: return "Polygon";
    case 8: return "MultiPoint";
    case 11: return "PointZ";
    case 13: return "PolyLineZ";
    case 15: return "PolygonZ";
    case 18: return "MultiPointZ";
    case 21: return "PointM";
    case 23: return "PolyLineM";
    case 25: return "PolygonM";
    case 28: return "MultiPointM";
    case 31: return "MultiPatch";
    default: return nullptr;
  }
}

// Messages go to stderr as "title: text"; the progress bar is drawn only on a terminal.
class TerminalHost : public IConvertHost {
 public:
  explicit TerminalHost(RegionalSettings regional)
      : regional_(std::move(regional)), progress_(::isatty(STDERR_FILENO) == 1) {}

  void ShowMessage(MessageKind kind, const std::string& text) override {
    ClearBar();
    std::fprintf(stderr, "%s: %s\n", MessageTitle(kind), text.c_str());
  }
  void SetStatusText(const std::string&) override {}
  RegionalSettings Regional() const override { return regional_; }

  void ConversionProgress(int64_t done, int64_t total) override {
    if (!progress_ || total <= 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), percent);
    std::fflush(stderr);
    barShown_ = true;
  }

  void ConversionFinished(const std::string& source, bool result,
                          const TConvertSummary& summary) override {
    ClearBar();
    std::string line = source + ": " + std::to_string(summary.Objects) + " objects, " +
                       std::to_string(summary.MidRows) + " MID rows";
    if (!summary.SkippedByShapeType.empty()) {
      line += "; passed over:";
      for (const auto& [type, count] : summary.SkippedByShapeType) {
        const char* name = ShapeTypeName(type);
        line += ' ';
        line += name ? name : "type " + std::to_string(type);
        line += ' ' + std::to_string(count);
      }
    }
    if (!result) line += " (変換に失敗しました。)";
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

 private:
  void ClearBar() {
    if (!barShown_) return;
    std::fprintf(stderr, "\r%*s\r", 48, "");
    barShown_ = false;
    lastPercent_ = -1;
  }

  RegionalSettings regional_;
  bool progress_;
  bool barShown_ = false;
  int lastPercent_ = -1;
};

int RunConvert(int index, const std::string& source, std::string target, TerminalHost& host) {
  if (target.empty()) target = ChangeFileExt(source, ".mif");
  const bool ok = ConvertShpToMif(index, source, target, host);
  host.ShowMessage(ok ? MessageKind::Information : MessageKind::Error,
                   ok ? "変換に成功しました。" : "変換に失敗しました。");
  return ok ? kExitTrue : kExitFalse;
}

int RunBatchFile(const std::string& path, int jobs, TerminalHost& host) {
  bool combine = false;
  std::string combineName;
  std::vector<TBatchRow> rows;
  const std::vector<std::string> lines = ReadBatchLines(path);
  if (!ParseBatchLines(lines, combine, combineName, rows)) {
    host.ShowMessage(MessageKind::Error, kInvalidBatchListText);
    return kExitFalse;
  }
  TBatchRunOptions options;
  // As in the window: the check box counts only while the rows qualify.
  options.Combine = combine && CanCombineBatch(rows);
  options.CombineName = combineName;
  options.Jobs = jobs;
  if (combine && !options.Combine) {
    std::fprintf(stderr, "%s\n",
                 "統合しません: 投影法または属性定義が行ごとに異なります。");
  }
  if (!RunBatch(rows, options, host)) return kExitFalse;
  bool allConverted = true;
  for (size_t i = 0; i < rows.size(); ++i) {
    const char* mark = rows[i].Mark == 0 ? "OK" : rows[i].Mark == 1 ? "NG" : "--";
    std::printf("%zu\t%s\t%s\t%s\n", i + 1, mark, rows[i].SourcePath.c_str(),
                rows[i].TargetPath.c_str());
    allConverted = allConverted && rows[i].Mark == 0;
  }
  if (options.Combine) std::printf("統合: %s\n", combineName.c_str());
  return allConverted ? kExitTrue : kExitFalse;
}

int PrintCoordSys() {
  for (int i = 0; i < kCoordSysCount; ++i) {
    std::printf("%d\t%s\t%s\n", i, GetCoordSysDisplayText(i).c_str(),
                GetCoordSysClause(i).c_str());
  }
  return kExitTrue;
}

int Main(int argc, char** argv) {
  CLI::App app{"Plexor Converter: ESRI シェープファイルを MapInfo MIF/MID に変換します。", "plexor"};
  app.set_version_flag("--version", std::string("plexor ") + PLEXOR_VERSION_TEXT);
  app.require_subcommand(1);
  app.fallthrough();
  std::string dateFormat = "yyyy/mm/dd";
  app.add_option("--date-format", dateFormat,
                 "MID の日付の書式 (yyyy, yy, mm, m, dd, d と /)。yyyymmdd は GDAL 系で読める形")
      ->capture_default_str();

  int index = -1;
  std::string source, target;
  CLI::App* convert = app.add_subcommand("convert", "シェープファイルを 1 つ変換します");
  convert->add_option("-c,--coordsys", index, "座標系の番号 (0-40, plexor coordsys で一覧)")
      ->required()
      ->check(CLI::Range(0, kCoordSysCount - 1));
  convert->add_option("source", source, "変換元の .shp")->required();
  convert->add_option("target", target, "変換先の .mif (省略時は .shp と同じ名前)");

  std::string batchFile;
  int jobs = 1;
  CLI::App* batch = app.add_subcommand("batch", "バッチファイルの全行を変換します");
  batch->add_option("batchfile", batchFile, "バッチファイル")->required();
  batch->add_option("-j,--jobs", jobs, "同時に変換する行数")->check(CLI::Range(1, 64));

  CLI::App* coordsys = app.add_subcommand("coordsys", "座標系の一覧を表示します");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? kExitTrue : kExitUsage;
  }

  // A comma or a double quote in a date would split or break the MID row it stands in.
  if (dateFormat.find_first_of(",\"\r\n") != std::string::npos) {
    std::fprintf(stderr, "--date-format: カンマ、二重引用符、改行は使えません: %s\n", dateFormat.c_str());
    return kExitUsage;
  }
  RegionalSettings regional;
  regional.ShortDateFormat = dateFormat;
  TerminalHost host(regional);
  try {
    if (*convert) return RunConvert(index, source, target, host);
    if (*batch) return RunBatchFile(batchFile, jobs, host);
    if (*coordsys) return PrintCoordSys();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Plexor Converter: %s\n", e.what());
    return kExitError;
  }
  return kExitUsage;
}

}  // namespace
}  // namespace plexor

int main(int argc, char** argv) { return plexor::Main(argc, argv); }
