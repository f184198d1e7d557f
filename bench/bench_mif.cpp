// A whole MIF write: a million vertices of polygons through the CRLF text file to disk,
// the part of a conversion that grows with the data.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "mif/uniMifUtils.h"
#include "shp/UniSFMapUtil.h"
#include "support/TextFile.h"

namespace {

constexpr int kPolygonCount = 28572;
constexpr int kVerticesPerPolygon = 35;  // 34 corners and the closing vertex

// Closed clockwise rings, so that WriteMifRegion finds nothing to normalize and every
// iteration writes the same bytes.
std::vector<plexor::TSFPolygon> Polygons(double centreLow, double centreHigh, double radius) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> centre(centreLow, centreHigh);
  std::uniform_real_distribution<double> jitter(0.8, 1.2);
  std::vector<plexor::TSFPolygon> polygons(kPolygonCount);
  for (plexor::TSFPolygon& polygon : polygons) {
    const double cx = centre(rng);
    const double cy = centre(rng) * 0.5;
    polygon.NumParts = 1;
    polygon.Parts = {0};
    for (int i = 0; i < kVerticesPerPolygon - 1; ++i) {
      const double angle = -2 * std::numbers::pi * i / (kVerticesPerPolygon - 1);
      const double r = radius * jitter(rng);
      polygon.Points.push_back({cx + r * std::cos(angle), cy + r * std::sin(angle)});
    }
    polygon.Points.push_back(polygon.Points.front());
    polygon.NumPoints = static_cast<int32_t>(polygon.Points.size());
  }
  return polygons;
}

void WriteRegions(benchmark::State& state, std::vector<plexor::TSFPolygon>& polygons) {
  const std::string path = "/tmp/plexor_bench_mif_" + std::to_string(getpid()) + ".mif";
  for (auto _ : state) {
    plexor::TextFileWriter mif;
    mif.Create(path);
    plexor::WriteMifHeader(mif, "Earth Projection 1, 97");
    plexor::WriteMifColumns(mif, {});
    for (plexor::TSFPolygon& polygon : polygons) plexor::WriteMifRegion(mif, polygon);
    mif.Close();
  }
  const auto fileBytes = static_cast<int64_t>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
  state.SetBytesProcessed(fileBytes * static_cast<int64_t>(state.iterations()));
  state.counters["vertices"] = kPolygonCount * kVerticesPerPolygon;
}

void BM_MifWrite_Geographic(benchmark::State& state) {
  static std::vector<plexor::TSFPolygon> polygons = Polygons(125, 145, 0.01);
  WriteRegions(state, polygons);
}

void BM_MifWrite_Plane(benchmark::State& state) {
  static std::vector<plexor::TSFPolygon> polygons = Polygons(-250000, 250000, 40);
  WriteRegions(state, polygons);
}

BENCHMARK(BM_MifWrite_Geographic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MifWrite_Plane)->Unit(benchmark::kMillisecond);

}  // namespace
