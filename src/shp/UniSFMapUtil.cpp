#include "shp/UniSFMapUtil.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace plexor {

void ReverseBytes(int32_t count, void* buffer) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  const int32_t half = count / 2;
  for (int32_t i = 0; i < half; ++i) std::swap(bytes[i], bytes[count - 1 - i]);
}

namespace {

// The shoelace sum over any vertex source, so the Region writer can measure a ring in place.
template <typename GetX, typename GetY>
double ShoelaceArea(size_t n, GetX x, GetY y) {
  if (n >= 3) {
    // The same terms added in the same order as below, without the checks: a sum that comes
    // out finite had no infinite or invalid term, since either would have carried into it.
    double plain = 0;
    plain += x(0) * (y(1) - y(n - 1));
    for (size_t i = 1; i + 1 < n; ++i) plain += x(i) * (y(i + 1) - y(i - 1));
    plain += x(n - 1) * (y(0) - y(n - 2));
    if (std::isfinite(plain)) return plain / 2;
  }
  double sum = 0;
  bool invalid = false;
  for (size_t i = 0; i < n; ++i) {
    const size_t next = i + 1 == n ? 0 : i + 1;
    const size_t prev = i == 0 ? n - 1 : i - 1;
    const double dy = y(next) - y(prev);
    const double term = x(i) * dy;
    // Floating-point errors do not trap in C++: an infinity, or a NaN made from numbers, is
    // the overflow or invalid operation the area reports as -1. A NaN coordinate is no error.
    if (std::isinf(dy) || std::isinf(term) ||
        (std::isnan(term) && !std::isnan(x(i)) && !std::isnan(y(next)) && !std::isnan(y(prev)))) {
      invalid = true;
    }
    sum += term;
  }
  if (invalid || std::isinf(sum)) return -1;
  return sum / 2;
}

}  // namespace

double SignedArea(const double* xs, size_t xCount, const double* ys, size_t yCount) {
  if (yCount != xCount || xCount < 3) return 0;
  return ShoelaceArea(
      xCount, [xs](size_t i) { return xs[i]; }, [ys](size_t i) { return ys[i]; });
}

double SignedArea(const std::vector<double>& xs, const std::vector<double>& ys) {
  return SignedArea(xs.data(), xs.size(), ys.data(), ys.size());
}

void NormalizeRing(TSFPolygon& polygon) {
  if (polygon.NumParts > 1 || polygon.NumPoints < 3) return;
  auto& points = polygon.Points;
  // NumPoints matches Points after a read; a hand-made record that disagrees is clipped so
  // nothing is read outside Points.
  const size_t n = std::min(static_cast<size_t>(polygon.NumPoints), points.size());
  if (n < 3) return;
  const TSFPoint* p = points.data();
  const double area = ShoelaceArea(
      n, [p](size_t i) { return p[i].X; }, [p](size_t i) { return p[i].Y; });
  if (area > 0) std::reverse(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(n));
  const TSFPoint first = points.front();
  const TSFPoint& last = points.back();
  if (last.X != first.X || last.Y != first.Y) {
    ++polygon.NumPoints;
    points.push_back(first);
  }
}

}  // namespace plexor
