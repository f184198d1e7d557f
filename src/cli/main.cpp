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
#include <algorithm>
#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <string>

#include "PlexorVersion.h"
#include "engine/Batch.h"
#include "engine/CoordSys.h"
#include "engine/PrjFile.h"
#include "engine/ShapefileInfo.h"
#include "engine/ShpToMif.h"
#include "engine/SourceList.h"
#include "shp/uniShpUtils.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/NumberText.h"
#include "support/TextEncoding.h"

namespace plexor {
namespace {

constexpr int kExitTrue = 0;
constexpr int kExitFalse = 1;
constexpr int kExitUsage = 2;
constexpr int kExitError = 3;
constexpr int kExitInterrupted = 130;  // what shells report for a job ended by Ctrl-C

constexpr const char* kNoShapefilesText = "シェープファイルがありません。";

// Set by SIGINT or SIGTERM: the conversion stops at the next record and removes what it
// was writing. A second signal ends the program at once.
std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int signal) {
  interrupted.store(true);
  std::signal(signal, SIG_DFL);
}

void CatchInterrupts() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

// Messages go to stderr as "title: text"; the progress bar is drawn only on a terminal.
class TerminalHost : public IConvertHost {
 public:
  TerminalHost(RegionalSettings regional, TConvertOptions options)
      : regional_(std::move(regional)),
        options_(std::move(options)),
        progress_(::isatty(STDERR_FILENO) == 1) {}

  void ShowMessage(MessageKind kind, const std::string& text) override {
    ClearBar();
    std::fprintf(stderr, "%s: %s\n", MessageTitle(kind), text.c_str());
  }
  void SetStatusText(const std::string&) override {}
  RegionalSettings Regional() const override { return regional_; }
  TConvertOptions Options() const override { return options_; }
  bool CancelRequested() const override { return interrupted.load(std::memory_order_relaxed); }

  // A batch run of `rows` rows: the progress line says which row it is on.
  void StartBatch(int rows) {
    batchRows_ = rows;
    rowsStarted_ = 0;
  }
  void ConversionStarted(const std::string& source) override {
    current_ = GetFileName(source);
    ++rowsStarted_;
  }

  void ConversionProgress(int64_t done, int64_t total) override {
    if (!progress_ || total <= 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::string row;
    if (batchRows_ > 0)
      row = " " + std::to_string(rowsStarted_) + "/" + std::to_string(batchRows_) + " 行目";
    std::fprintf(stderr, "\r\x1b[K[%s%s] %3d%%%s %s", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), percent, row.c_str(), current_.c_str());
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
    if (summary.DeletedSkipped > 0) {
      line += "; deleted " + std::to_string(summary.DeletedSkipped);
    }
    if (summary.FromZM > 0) line += "; from Z/M " + std::to_string(summary.FromZM);
    if (!summary.Encoding.empty()) line += "; " + summary.Encoding;
    const std::vector<std::string> warnings = summary.Warnings();
    if (!warnings.empty()) line += "; warnings " + std::to_string(warnings.size());
    if (!result) line += " (変換に失敗しました。)";
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    for (const std::string& warning : warnings) {
      std::fprintf(stderr, "%s: %s: %s\n", MessageTitle(MessageKind::Warning), source.c_str(),
                   warning.c_str());
    }
    if (!result && !summary.FailureReason.empty()) {
      std::fprintf(stderr, "%s: %s: %s\n", MessageTitle(MessageKind::Error), source.c_str(),
                   summary.FailureReason.c_str());
    }
  }

 private:
  void ClearBar() {
    if (!barShown_) return;
    std::fprintf(stderr, "\r\x1b[K");
    barShown_ = false;
    lastPercent_ = -1;
  }

  RegionalSettings regional_;
  TConvertOptions options_;
  bool progress_;
  std::string current_;
  int batchRows_ = 0;
  int rowsStarted_ = 0;
  bool barShown_ = false;
  int lastPercent_ = -1;
};

// Where each source's MIF goes: beside it, into a folder, or one named target.
std::vector<std::string> TargetsFor(const std::vector<std::string>& sources,
                                    const std::string& output, const std::string& folder) {
  std::vector<std::string> targets;
  for (const std::string& source : sources) {
    if (!output.empty()) {
      targets.push_back(output);
    } else if (!folder.empty()) {
      std::string dir = folder;
      if (dir.back() != '/') dir += '/';
      targets.push_back(dir + ChangeFileExt(GetFileName(source), ".mif"));
    } else {
      targets.push_back(DefaultTargetOf(source));
    }
  }
  return targets;
}

// Two sources written to one pair would leave only the last; such a command line is a
// mistake, found before anything runs.
bool TargetsAreDistinct(const std::vector<std::string>& sources,
                        const std::vector<std::string>& targets) {
  // Each target is looked at once, so `-d OUT *.shp` over thousands of files is checked in
  // time proportional to them.
  FolderIdentities folders;
  std::map<FileIdentity, size_t> mifs, mids;
  for (size_t i = 0; i < targets.size(); ++i) {
    const auto mif = mifs.emplace(IdentityOf(targets[i], folders), i).first;
    const auto mid = mids.emplace(IdentityOf(MidPathOf(targets[i]), folders), i).first;
    const size_t j = std::min(mif->second, mid->second);
    if (j != i) {
      std::fprintf(stderr, "%s: %s と %s は同じ %s に出力されます。\n",
                   MessageTitle(MessageKind::Error), sources[j].c_str(), sources[i].c_str(),
                   targets[i].c_str());
      return false;
    }
  }
  return true;
}

// "-c auto": the entry the .prj beside each source names; one that names none is a usage
// error, found before anything runs.
bool IndicesFor(const std::string& coordsys, const std::vector<std::string>& sources,
                std::vector<int>& indices) {
  for (const std::string& source : sources) {
    if (coordsys != "auto") {
      indices.push_back(std::stoi(coordsys));
      continue;
    }
    const std::optional<TPrjMatch> prj = ReadPrjBeside(source);
    if (!prj || !prj->Found) {
      std::fprintf(
          stderr, "%s: %s: -c auto: %s\n", MessageTitle(MessageKind::Error), source.c_str(),
          prj ? prj->Reason.c_str() : ".prj がありません。-c で座標系の番号を指定してください。");
      return false;
    }
    std::fprintf(stderr, "%s: %s -> %d %s\n", source.c_str(), prj->Description.c_str(), prj->Index,
                 GetCoordSysDisplayText(prj->Index).c_str());
    indices.push_back(prj->Index);
  }
  return true;
}

int RunConvert(const std::string& coordsys, const std::vector<std::string>& sources,
               const std::string& output, const std::string& folder, TerminalHost& host) {
  const std::vector<std::string> targets = TargetsFor(sources, output, folder);
  if (!TargetsAreDistinct(sources, targets)) return kExitUsage;
  std::vector<int> indices;
  if (!IndicesFor(coordsys, sources, indices)) return kExitUsage;
  int rc = kExitTrue;
  size_t converted = 0;
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string prefix = sources.size() > 1 ? sources[i] + ": " : "";
    bool ok = false;
    try {
      ok = ConvertShpToMif(indices[i], sources[i], targets[i], host);
    } catch (const std::exception& e) {
      // A source that cannot be opened or whose table is refused stops only itself: the
      // others are converted, and the exit status tells the worst.
      if (sources.size() == 1) throw;
      std::fprintf(stderr, "Plexor Converter: %s%s\n", prefix.c_str(), e.what());
      rc = kExitError;
      if (!interrupted) continue;
    }
    if (interrupted) {
      host.ShowMessage(MessageKind::Warning, kCancelledText);
      const size_t finished = i + (ok ? 1 : 0);
      for (size_t k = 0; k < finished; ++k) {
        std::fprintf(stderr, "変換済み: %s\n", targets[k].c_str());
      }
      return kExitInterrupted;
    }
    host.ShowMessage(ok ? MessageKind::Information : MessageKind::Error,
                     prefix + (ok ? "変換に成功しました。" : "変換に失敗しました。"));
    if (ok) {
      ++converted;
    } else if (rc == kExitTrue) {
      rc = kExitFalse;
    }
  }
  if (sources.size() > 1) {
    std::fprintf(stderr, "%zu 件中 %zu 件を変換しました。\n", sources.size(), converted);
  }
  return rc;
}

int RunBatchFile(const std::string& path, int jobs, TerminalHost& host) {
  bool combine = false;
  std::string combineName;
  std::vector<TBatchRow> rows;
  std::string why;
  // Paths in the file are taken from its own folder, wherever the command runs.
  if (!ParseBatchLines(ReadBatchLines(path), combine, combineName, rows, GetFileDir(path), &why)) {
    host.ShowMessage(MessageKind::Error, std::string(kInvalidBatchListText) + " " + why);
    return kExitFalse;
  }
  TBatchRunOptions options;
  // As in the window: the check box counts only while the rows qualify.
  const std::string cannotCombine = combine ? WhyBatchCannotCombine(rows) : std::string();
  options.Combine = combine && cannotCombine.empty();
  options.CombineName = combineName;
  options.Jobs = jobs;
  if (combine && !options.Combine) {
    host.ShowMessage(MessageKind::Warning, "統合しません: " + cannotCombine);
  }
  host.StartBatch(static_cast<int>(rows.size()));
  if (!RunBatch(rows, options, host)) {
    if (!interrupted) return kExitFalse;
    host.ShowMessage(MessageKind::Warning, kCancelledText);
    return kExitInterrupted;
  }
  bool allConverted = true;
  for (size_t i = 0; i < rows.size(); ++i) {
    const char* mark = rows[i].Mark == TBatchMark::Converted ? "OK"
                       : rows[i].Mark == TBatchMark::Failed  ? "NG"
                                                             : "--";
    std::printf("%zu\t%s\t%s\t%s", i + 1, mark, rows[i].SourcePath.c_str(),
                rows[i].TargetPath.c_str());
    if (rows[i].Mark == TBatchMark::Failed && !rows[i].Reason.empty())
      std::printf("\t%s", rows[i].Reason.c_str());
    std::printf("\n");
    allConverted = allConverted && rows[i].Mark == TBatchMark::Converted;
  }
  if (interrupted) {
    host.ShowMessage(MessageKind::Warning, kCancelledText);
    return kExitInterrupted;
  }
  if (options.Combine) {
    // Only what converted is combined: say so when rows are missing from it.
    const auto failed = std::count_if(rows.begin(), rows.end(), [](const TBatchRow& r) {
      return r.Mark != TBatchMark::Converted;
    });
    std::printf("統合: %s", combineName.c_str());
    if (failed > 0) std::printf(" (変換できなかった %ld 行を除く)", static_cast<long>(failed));
    std::printf("\n");
  }
  return allConverted ? kExitTrue : kExitFalse;
}

// The help speaks the language of the messages: CLI11's own words are replaced.
void SpeakJapanese(CLI::App& app) {
  const auto formatter = app.get_formatter();
  const std::pair<const char*, const char*> labels[] = {
      {"Usage", "使い方"},         {"OPTIONS", "オプション"}, {"SUBCOMMAND", "コマンド"},
      {"SUBCOMMANDS", "コマンド"}, {"Positionals", "引数"},   {"REQUIRED", "(必須)"},
      {"TEXT", "文字列"},          {"INT", "整数"},           {"Excludes", "同時に使えない"},
      {"Needs", "必要"},           {"Env", "環境変数"},       {"TEXT ...", "文字列 ..."},
      {"TEXT:DIR", "フォルダー"},  {"BOOLEAN", "真偽値"}};
  for (const auto& [key, value] : labels) formatter->label(key, value);
  app.option_defaults()->group("オプション");
  app.set_help_flag("-h,--help", "このヘルプを表示して終了します");
  app.failure_message([](const CLI::App* failed, const CLI::Error& e) {
    return std::string("エラー: ") + e.what() + "\n" + failed->get_name() +
           " --help で使い方を表示します。\n";
  });
}

// Folders and archives stand for the shapefiles they hold; one that cannot be listed, or a
// shapefile that is refused, is described by its reason alone.
std::vector<TShapefileInfo> DescribeAll(const std::vector<std::string>& files, bool recursive,
                                        const TConvertOptions& options) {
  std::vector<TShapefileInfo> infos;
  for (const std::string& file : files) {
    std::vector<TSourceItem> items;
    try {
      items = ExpandSource(file, recursive);
    } catch (const std::exception& e) {
      infos.push_back({});
      infos.back().Path = file;
      infos.back().Problems.push_back(e.what());
      continue;
    }
    if (items.empty()) {
      infos.push_back({});
      infos.back().Path = file;
      infos.back().Problems.push_back(kNoShapefilesText);
    }
    for (const TSourceItem& item : items) {
      if (item.Refusal.empty()) {
        infos.push_back(DescribeShapefile(item.Source, options.Encoding));
      } else {
        infos.push_back({});
        infos.back().Path = item.Source;
        infos.back().Problems.push_back(item.Refusal);
      }
    }
  }
  return infos;
}

int PrintInfo(const std::vector<std::string>& files, bool recursive, bool json,
              const TConvertOptions& options) {
  const std::vector<TShapefileInfo> infos = DescribeAll(files, recursive, options);
  if (json && infos.size() > 1) std::printf("[");
  for (size_t i = 0; i < infos.size(); ++i) {
    if (json) {
      std::printf("%s%s", i ? "," : "", ShapefileInfoJson(infos[i]).c_str());
    } else {
      std::printf("%s", ShapefileInfoText(infos[i]).c_str());
    }
  }
  if (json) std::printf(infos.size() > 1 ? "]\n" : "\n");
  return kExitTrue;
}

int PrintCoordSys() {
  for (int i = 0; i < kCoordSysCount; ++i) {
    std::printf("%d\t%s\t%s\n", i, GetCoordSysDisplayText(i).c_str(), GetCoordSysClause(i).c_str());
  }
  return kExitTrue;
}

// Everything the command line can say, filled in by CLI11.
struct CommandLine {
  std::string DateFormat = "yyyy/mm/dd";
  std::string Charset = "cp932";
  TConvertOptions Options;
  // convert
  std::string Coordsys;
  std::vector<std::string> Sources;
  std::string Output;
  std::string Folder;
  bool Recursive = false;  // folders: their sub-folders too (convert and info)
  // batch
  std::string BatchFile;
  int Jobs = 1;
  // info
  std::vector<std::string> InfoFiles;
  bool Json = false;

  CLI::App* Convert = nullptr;
  CLI::App* Batch = nullptr;
  CLI::App* CoordsysList = nullptr;
  CLI::App* Info = nullptr;
};

void AddGlobalOptions(CLI::App& app, CommandLine& cl) {
  app.set_version_flag("--version", std::string("plexor ") + kPlexorVersionText,
                       "バージョンを表示して終了します");
  app.add_option("--date-format", cl.DateFormat,
                 "MID の日付の書式 (yyyy, yy, mm, m, dd, d と区切り / - .)。"
                 "yyyymmdd なら GDAL や QGIS が日付として読めます")
      ->capture_default_str()
      ->check([](const std::string& format) {
        return IsValidShortDateFormat(format)
                   ? std::string()
                   : "年・月・日を yyyy, yy, mm, m, dd, d と / - . で書いてください: " + format;
      });
  app.add_option(
         "--encoding", cl.Options.Encoding,
         "属性の文字コード (UTF-8, CP932, 1252 など)。省略時は .cpg、言語ドライバー、内容から判断")
      ->check([](const std::string& name) {
        return CodePageFromName(name) ? std::string() : "知らない文字コードです: " + name;
      });
  app.add_option("--charset", cl.Charset, "出力の文字コード: cp932 (WindowsJapanese) または utf-8")
      ->type_name("cp932|utf-8")
      ->check([](const std::string& name) {
        return SameTextAscii(name, "cp932") || SameTextAscii(name, "utf-8")
                   ? std::string()
                   : "cp932 か utf-8 を指定してください: " + name;
      })
      ->capture_default_str();
  app.add_option("--threads", cl.Options.Threads,
                 "1 つの変換が使うスレッド数 (既定: CPU のコア数、1 ですべてを順に処理)")
      ->check(CLI::Range(1, 64));
  app.add_flag("--skip-unsupported-fields", cl.Options.SkipUnsupportedFields,
               "対応していない型のフィールドを除いて変換する (警告を表示)");
}

CLI::App* AddCommand(CLI::App& app, const char* name, const char* description) {
  CLI::App* command = app.add_subcommand(name, description);
  command->set_help_flag("-h,--help", "このヘルプを表示して終了します");
  command->group("コマンド");
  return command;
}

void AddConvertCommand(CLI::App& app, CommandLine& cl) {
  CLI::App* convert = cl.Convert = AddCommand(app, "convert", "シェープファイルを変換します");
  convert
      ->add_option("-c,--coordsys", cl.Coordsys,
                   "座標系の番号 (0-40, plexor coordsys で一覧)、または auto (.prj から)")
      ->required()
      ->check([](const std::string& text) {
        if (text == "auto") return std::string();
        int value = -1;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
        const bool ok = r.ec == std::errc() && r.ptr == text.data() + text.size() && value >= 0 &&
                        value < kCoordSysCount;
        return ok ? std::string() : "0 から 40 の番号か auto を指定してください: " + text;
      });
  convert
      ->add_option("sources", cl.Sources,
                   "変換元の .shp、.zip (中のすべての .shp)、フォルダー (中のすべての .shp) "
                   "(複数可; 出力は各 .shp と同じ名前の .mif/.mid、ZIP の中のものは ZIP の隣)")
      ->required();
  convert->add_flag("-r,--recursive", cl.Recursive, "フォルダーのサブフォルダーの .shp も変換する");
  CLI::Option* outputOption =
      convert->add_option("-o,--output", cl.Output, "変換先の .mif (変換元が 1 つのときだけ)");
  convert->add_option("-d,--directory", cl.Folder, "変換先のフォルダー (名前は変換元と同じ)")
      ->check(CLI::ExistingDirectory)
      ->excludes(outputOption);
}

void AddOtherCommands(CLI::App& app, CommandLine& cl) {
  cl.Batch = AddCommand(app, "batch", "バッチファイルの全行を変換します");
  cl.Batch->add_option("batchfile", cl.BatchFile, "バッチファイル")->required();
  cl.Batch->add_option("-j,--jobs", cl.Jobs, "同時に変換する行数 (既定 1)")
      ->check(CLI::Range(1, 64));
  cl.CoordsysList = AddCommand(app, "coordsys", "座標系の一覧を表示します");
  cl.Info = AddCommand(app, "info", "シェープファイルの内容と変換のされ方を表示します");
  cl.Info->add_option("files", cl.InfoFiles, "調べる .shp、.zip、フォルダー (複数可)")->required();
  cl.Info->add_flag("-r,--recursive", cl.Recursive, "フォルダーのサブフォルダーの .shp も調べる");
  cl.Info->add_flag("--json", cl.Json, "JSON で出力する");
}

// The checks CLI11 cannot state, then the conversions.
int RunConvertCommand(const CommandLine& cl, TerminalHost& host) {
  if (!cl.Output.empty() && cl.Sources.size() > 1) {
    std::fprintf(stderr, "%s: -o は変換元が 1 つのときだけ使えます (複数なら -d フォルダー)。\n",
                 MessageTitle(MessageKind::Error));
    return kExitUsage;
  }
  // The old form "convert SOURCE TARGET.mif" would now read the target as a source.
  for (const std::string& source : cl.Sources) {
    const std::string name = GetFileName(source);
    const std::string_view ext =
        name.size() >= 4 ? std::string_view(name).substr(name.size() - 4) : "";
    if (SameTextAscii(ext, ".mif") || SameTextAscii(ext, ".mid")) {
      std::fprintf(stderr, "%s: %s は変換元になりません。変換先は -o で指定します。\n",
                   MessageTitle(MessageKind::Error), source.c_str());
      return kExitUsage;
    }
  }
  // Archives and folders become their shapefiles; what cannot be listed or is refused is said
  // here and leaves the others to convert.
  std::vector<std::string> sources;
  bool refused = false;
  for (const std::string& argument : cl.Sources) {
    std::vector<TSourceItem> items;
    try {
      items = ExpandSource(argument, cl.Recursive);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", MessageTitle(MessageKind::Error), e.what());
      refused = true;
      continue;
    }
    if (items.empty()) {
      std::fprintf(stderr, "%s: %s: %s\n", MessageTitle(MessageKind::Error), argument.c_str(),
                   kNoShapefilesText);
      refused = true;
    }
    for (const TSourceItem& item : items) {
      if (item.Refusal.empty()) {
        sources.push_back(item.Source);
      } else {
        std::fprintf(stderr, "%s: %s\n", MessageTitle(MessageKind::Error), item.Refusal.c_str());
        refused = true;
      }
    }
  }
  if (sources.empty()) return kExitError;
  if (!cl.Output.empty() && sources.size() > 1) {
    std::fprintf(stderr, "%s: -o は変換元が 1 つのときだけ使えます (複数なら -d フォルダー)。\n",
                 MessageTitle(MessageKind::Error));
    return kExitUsage;
  }
  const int rc = RunConvert(cl.Coordsys, sources, cl.Output, cl.Folder, host);
  if (refused && (rc == kExitTrue || rc == kExitFalse)) return kExitError;
  return rc;
}

int Main(int argc, char** argv) {
  CLI::App app{"Plexor Converter: ESRI シェープファイルを MapInfo MIF/MID に変換します。",
               "plexor"};
  SpeakJapanese(app);
  app.require_subcommand(1);
  app.fallthrough();
  CommandLine cl;
  AddGlobalOptions(app, cl);
  AddConvertCommand(app, cl);
  AddOtherCommands(app, cl);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? kExitTrue : kExitUsage;
  }

  RegionalSettings regional;
  regional.ShortDateFormat = cl.DateFormat;
  cl.Options.Utf8Output = SameTextAscii(cl.Charset, "utf-8");
  TerminalHost host(regional, cl.Options);
  CatchInterrupts();
  try {
    if (*cl.Convert) return RunConvertCommand(cl, host);
    if (*cl.Batch) return RunBatchFile(cl.BatchFile, cl.Jobs, host);
    if (*cl.CoordsysList) return PrintCoordSys();
    if (*cl.Info) return PrintInfo(cl.InfoFiles, cl.Recursive, cl.Json, cl.Options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Plexor Converter: %s\n", e.what());
    return kExitError;
  }
  return kExitUsage;
}

}  // namespace
}  // namespace plexor

int main(int argc, char** argv) {
  return plexor::Main(argc, argv);
}
