// The core as the page's worker calls it: plain C functions over paths in the worker's own
// file system. The inputs are the user's files mounted read-only (nothing is copied), the
// outputs go to a folder whose writes the worker hands on to the page as they are made.
// Every answer is one JSON text (UTF-8) that stays valid until the next call.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CoordSys.h"
#include "engine/ShapefileInfo.h"
#include "engine/ShpToMif.h"
#include "engine/SourceList.h"
#include "shp/uniShpUtils.h"
#include "support/InputFile.h"
#include "support/NumberText.h"
#include "support/UserMessages.h"
#include "support/ZipArchive.h"

// Posted to the page from inside a conversion: the worker cannot take messages while the
// core runs, but it can send them.
// clang-format off
EM_JS(void, plexor_web_progress, (double done, double total), {
  if (typeof plexorWebProgress === "function") plexorWebProgress(done, total);
});
// clang-format on

namespace plexor {
namespace {

void AppendJsonString(std::string_view text, std::string& out) {
  out.push_back('"');
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20) {
          static const char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out.push_back(kHex[u >> 4]);
          out.push_back(kHex[u & 15]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

std::string JsonString(std::string_view text) {
  std::string out;
  AppendJsonString(text, out);
  return out;
}

std::string JsonStringArray(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i) out.push_back(',');
    AppendJsonString(texts[i], out);
  }
  out.push_back(']');
  return out;
}

// What the command line's host does, minus the terminal: the messages are kept for the page,
// which shows them in the order they came.
class WebHost : public IConvertHost {
 public:
  WebHost(RegionalSettings regional, TConvertOptions options)
      : regional_(std::move(regional)), options_(std::move(options)) {}

  void ShowMessage(MessageKind kind, const std::string& text) override {
    messages_ += messages_.empty() ? "[" : ",";
    messages_ +=
        "{\"kind\":" + JsonString(MessageTitle(kind)) + ",\"text\":" + JsonString(text) + "}";
  }
  void SetStatusText(const std::string&) override {}
  RegionalSettings Regional() const override { return regional_; }
  TConvertOptions Options() const override { return options_; }

  void ConversionProgress(int64_t done, int64_t total) override {
    // A thousandth at a time: a message per record would cost more than the record.
    const int64_t step = total > 0 ? done * 1000 / total : 0;
    if (step == lastStep_) return;
    lastStep_ = step;
    plexor_web_progress(static_cast<double>(done), static_cast<double>(total));
  }
  void ConversionFinished(const std::string&, bool, const TConvertSummary& summary) override {
    summary_ = summary;
  }

  std::string Messages() const { return messages_.empty() ? "[]" : messages_ + "]"; }
  const TConvertSummary& Summary() const { return summary_; }

 private:
  RegionalSettings regional_;
  TConvertOptions options_;
  std::string messages_;
  TConvertSummary summary_;
  int64_t lastStep_ = -1;
};

std::string SkippedJson(const TConvertSummary& summary) {
  std::string out = "[";
  bool first = true;
  for (const auto& [type, count] : summary.SkippedByShapeType) {
    if (!first) out.push_back(',');
    first = false;
    const char* name = ShapeTypeName(type);
    out += "{\"type\":" + std::to_string(type) +
           ",\"name\":" + JsonString(name ? name : "type " + std::to_string(type)) +
           ",\"count\":" + std::to_string(count) + "}";
  }
  out.push_back(']');
  return out;
}

std::string answer;

}  // namespace
}  // namespace plexor

using namespace plexor;

extern "C" {

// The 41 texts of the coordinate-system list, index 0 first.
EMSCRIPTEN_KEEPALIVE const char* plexor_web_coordsys() {
  std::vector<std::string> texts;
  for (int i = 0; i < kCoordSysCount; ++i) texts.push_back(GetCoordSysDisplayText(i));
  answer = JsonStringArray(texts);
  return answer.c_str();
}

// What `plexor info --json` says of one .shp.
EMSCRIPTEN_KEEPALIVE const char* plexor_web_info(const char* shpPath, const char* encoding) {
  try {
    answer = ShapefileInfoJson(DescribeShapefile(shpPath, encoding));
  } catch (const std::exception& e) {
    answer = "{\"error\":" + JsonString(e.what()) + "}";
  }
  return answer.c_str();
}

// The shapefiles of a zip archive, as `plexor convert` and `info` take them from it: each
// member's path through the archive, the reason when it is refused, and the bytes the
// conversion reads (the .shp and the .dbf beside it, inflated), so the page can tell a
// download too large before it starts. An archive that cannot be read at all gives its reason.
EMSCRIPTEN_KEEPALIVE const char* plexor_web_list(const char* archivePath) {
  try {
    const std::vector<TSourceItem> items = ExpandSource(archivePath, true);
    const TZipDirectory directory(archivePath);
    std::string out = "{\"items\":[";
    for (size_t i = 0; i < items.size(); ++i) {
      if (i) out.push_back(',');
      uint64_t bytes = 0;
      std::string member;
      if (const std::optional<TArchivePath> split = SplitArchivePath(items[i].Source)) {
        member = split->Member;
        for (const char* ext : {".shp", ".dbf"}) {
          const std::string name = member.substr(0, member.size() - 4) + ext;
          if (const TZipEntry* e = directory.FindAnyCase(name)) bytes += e->Size;
        }
      }
      out += "{\"source\":" + JsonString(items[i].Source) + ",\"member\":" + JsonString(member) +
             ",\"refusal\":" + JsonString(items[i].Refusal) +
             ",\"bytes\":" + std::to_string(bytes) + "}";
    }
    answer = out + "]}";
  } catch (const std::exception& e) {
    answer = "{\"error\":" + JsonString(e.what()) + "}";
  }
  return answer.c_str();
}

// One conversion on the caller's thread, as `plexor convert --threads 1` makes it.
EMSCRIPTEN_KEEPALIVE const char* plexor_web_convert(int index, const char* source,
                                                    const char* target, const char* dateFormat,
                                                    int utf8Output, const char* encoding) {
  RegionalSettings regional;
  regional.ShortDateFormat = dateFormat;
  TConvertOptions options;
  options.Encoding = encoding;
  options.Utf8Output = utf8Output != 0;
  options.Threads = 1;  // no thread is ever started in the page
  WebHost host(regional, options);
  bool ok = false;
  std::string error;
  if (!IsValidShortDateFormat(dateFormat)) {
    error =
        std::string("年・月・日を yyyy, yy, mm, m, dd, d と / - . で書いてください: ") + dateFormat;
  } else {
    try {
      ok = ConvertShpToMif(index, source, target, host);
    } catch (const std::exception& e) {
      error = e.what();
    }
  }
  const TConvertSummary& s = host.Summary();
  answer = "{\"ok\":" + std::string(ok ? "true" : "false") + ",\"error\":" + JsonString(error) +
           ",\"objects\":" + std::to_string(s.Objects) +
           ",\"midRows\":" + std::to_string(s.MidRows) + ",\"skipped\":" + SkippedJson(s) +
           ",\"deleted\":" + std::to_string(s.DeletedSkipped) +
           ",\"fromZM\":" + std::to_string(s.FromZM) + ",\"encoding\":" + JsonString(s.Encoding) +
           ",\"warnings\":" + JsonStringArray(s.Warnings()) +
           ",\"failureReason\":" + JsonString(s.FailureReason) +
           ",\"messages\":" + host.Messages() + "}";
  return answer.c_str();
}

}  // extern "C"
