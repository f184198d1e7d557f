// Number texts per second: the coordinate and general texts against the C library's printf
// conversions, on the same values. Coordinates are what a conversion spends its time on.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

#include "support/NumberText.h"

namespace {

constexpr size_t kValueCount = 1 << 16;

// Longitudes of Japan, and plane rectangular coordinates in metres, all with full binary
// precision, as a shapefile stores them after any projection.
std::vector<double> Values(double low, double high) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> uniform(low, high);
  std::vector<double> values(kValueCount);
  for (double& v : values) v = uniform(rng);
  return values;
}

const std::vector<double>& Longitudes() {
  static const std::vector<double> values = Values(120, 150);
  return values;
}

const std::vector<double>& PlaneCoordinates() {
  static const std::vector<double> values = Values(-300000, 300000);
  return values;
}

// Attribute values: measured quantities with many digits and amounts with two decimals.
const std::vector<double>& AttributeValues() {
  static const std::vector<double> values = [] {
    std::vector<double> v = Values(-1e6, 1e6);
    for (size_t i = 0; i < v.size(); i += 2)
      v[i] = static_cast<double>(static_cast<long>(v[i] * 100)) / 100;
    return v;
  }();
  return values;
}

template <typename Format>
void Run(benchmark::State& state, const std::vector<double>& values, Format format) {
  char buffer[64];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(format(values[i], buffer));
    benchmark::ClobberMemory();
    i = (i + 1) % values.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

size_t CoordFast(double v, char* out) {
  return plexor::FormatCoord(v, '.', out);
}
size_t CoordPrintf(double v, char* out) {
  return static_cast<size_t>(std::snprintf(out, 64, "%.8f", v));
}
size_t GeneralFast(double v, char* out) {
  return plexor::FormatGeneral(v, '.', out);
}
size_t GeneralPrintf(double v, char* out) {
  return static_cast<size_t>(std::snprintf(out, 64, "%.15g", v));
}

void BM_CoordText_Longitude(benchmark::State& s) {
  Run(s, Longitudes(), CoordFast);
}
void BM_Snprintf8f_Longitude(benchmark::State& s) {
  Run(s, Longitudes(), CoordPrintf);
}
void BM_CoordText_Plane(benchmark::State& s) {
  Run(s, PlaneCoordinates(), CoordFast);
}
void BM_Snprintf8f_Plane(benchmark::State& s) {
  Run(s, PlaneCoordinates(), CoordPrintf);
}
void BM_GeneralText_Attribute(benchmark::State& s) {
  Run(s, AttributeValues(), GeneralFast);
}
void BM_Snprintf15g_Attribute(benchmark::State& s) {
  Run(s, AttributeValues(), GeneralPrintf);
}

BENCHMARK(BM_CoordText_Longitude);
BENCHMARK(BM_Snprintf8f_Longitude);
BENCHMARK(BM_CoordText_Plane);
BENCHMARK(BM_Snprintf8f_Plane);
BENCHMARK(BM_GeneralText_Attribute);
BENCHMARK(BM_Snprintf15g_Attribute);

}  // namespace
