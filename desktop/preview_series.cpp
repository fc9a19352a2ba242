#include "desktop/preview_series.h"

#include <algorithm>
#include <cmath>

MinMaxEnvelope::MinMaxEnvelope(int buckets, double firstWidth)
    : buckets_(static_cast<size_t>(std::max(2, buckets + (buckets & 1)))),
      firstWidth_(firstWidth > 0.0 ? firstWidth : 1.0),
      width_(firstWidth_) {}

namespace {

void MergeBucket(MinMaxBucket* into, const MinMaxBucket& from) {
  if (from.count == 0)
    return;
  if (into->count == 0) {
    *into = from;
    return;
  }
  into->min = std::min(into->min, from.min);
  into->max = std::max(into->max, from.max);
  into->count += from.count;
}

}  // namespace

// Twice the width from the same start: bucket j takes old buckets 2j, 2j+1.
void MinMaxEnvelope::GrowUp() {
  const size_t n = buckets_.size();
  for (size_t j = 0; j < n / 2; ++j) {
    MinMaxBucket merged = buckets_[2 * j];
    MergeBucket(&merged, buckets_[2 * j + 1]);
    buckets_[j] = merged;
  }
  std::fill(buckets_.begin() + static_cast<std::ptrdiff_t>(n / 2), buckets_.end(), MinMaxBucket{});
  width_ *= 2.0;
}

// Twice the width ending at the same end: the old range becomes the upper half.
void MinMaxEnvelope::GrowDown() {
  const size_t n = buckets_.size();
  for (size_t j = n / 2; j-- > 0;) {
    MinMaxBucket merged = buckets_[2 * j];
    MergeBucket(&merged, buckets_[2 * j + 1]);
    buckets_[n / 2 + j] = merged;
  }
  std::fill(buckets_.begin(), buckets_.begin() + static_cast<std::ptrdiff_t>(n / 2),
            MinMaxBucket{});
  lo_ -= width_ * static_cast<double>(n);
  width_ *= 2.0;
}

MinMaxBucket& MinMaxEnvelope::BucketFor(double x) {
  while (x >= Hi())
    GrowUp();
  while (x < lo_)
    GrowDown();
  const auto index = std::min(buckets_.size() - 1, static_cast<size_t>((x - lo_) / width_));
  return buckets_[index];
}

void MinMaxEnvelope::Merge(const MinMaxEnvelope& other, double shift) {
  if (other.Empty())
    return;
  const double first = other.FirstX() + shift;
  const double last = other.LastX() + shift;
  if (points_ == 0) {
    lo_ = first;
    minX_ = first;
    maxX_ = last;
    minY_ = other.MinY();
    maxY_ = other.MaxY();
  }
  for (size_t j = 0; j < other.buckets_.size(); ++j) {
    const MinMaxBucket& from = other.buckets_[j];
    if (from.count == 0)
      continue;
    const double middle = other.lo_ + (static_cast<double>(j) + 0.5) * other.width_ + shift;
    MergeBucket(&BucketFor(std::clamp(middle, first, last)), from);
  }
  points_ += other.points_;
  minX_ = std::min(minX_, first);
  maxX_ = std::max(maxX_, last);
  minY_ = std::min(minY_, other.MinY());
  maxY_ = std::max(maxY_, other.MaxY());
}

void MinMaxEnvelope::Add(double x, float y) {
  if (!std::isfinite(x) || !std::isfinite(y))
    return;
  if (points_ == 0) {
    lo_ = x;
    minX_ = maxX_ = x;
    minY_ = maxY_ = y;
  }
  MinMaxBucket& bucket = BucketFor(x);
  if (bucket.count == 0) {
    bucket.min = bucket.max = y;
  } else {
    bucket.min = std::min(bucket.min, y);
    bucket.max = std::max(bucket.max, y);
  }
  ++bucket.count;
  ++points_;
  minX_ = std::min(minX_, x);
  maxX_ = std::max(maxX_, x);
  minY_ = std::min(minY_, y);
  maxY_ = std::max(maxY_, y);
}

std::vector<ColumnRange> DecimateToColumns(const MinMaxEnvelope& envelope, double from, double to,
                                           int columns) {
  std::vector<ColumnRange> result;
  if (envelope.Empty() || columns <= 0 || !(to > from))
    return result;
  const double columnWidth = (to - from) / columns;
  const std::vector<MinMaxBucket>& buckets = envelope.Buckets();
  const double width = envelope.BucketWidth();
  // Every bucket that overlaps [from, to) counts, in the column of its
  // middle (or the edge column), so the edges lose nothing either.
  const double firstIndex = std::floor((from - envelope.Lo()) / width);
  size_t j = firstIndex <= 0.0 ? 0 : static_cast<size_t>(firstIndex);
  int current = -1;
  for (; j < buckets.size(); ++j) {
    const double start = envelope.Lo() + static_cast<double>(j) * width;
    if (start >= to)
      break;
    const MinMaxBucket& bucket = buckets[j];
    if (bucket.count == 0 || start + width <= from)
      continue;
    const double middle = std::clamp(start + 0.5 * width, from, to);
    const int column = std::clamp(static_cast<int>((middle - from) / columnWidth), 0, columns - 1);
    if (column != current) {
      result.push_back({from + (column + 0.5) * columnWidth, bucket.min, bucket.max, bucket.count});
      current = column;
    } else {
      result.back().min = std::min(result.back().min, bucket.min);
      result.back().max = std::max(result.back().max, bucket.max);
      result.back().count += bucket.count;
    }
  }
  return result;
}

namespace {

// The lowest and highest point of one pixel column.
struct ColumnExtremes {
  int column = -1;
  LinePoint low;
  LinePoint high;
};

void AppendExtremes(const ColumnExtremes& extremes, std::vector<LinePoint>* out) {
  if (extremes.column < 0)
    return;
  const bool lowFirst = extremes.low.x <= extremes.high.x;
  out->push_back(lowFirst ? extremes.low : extremes.high);
  if (extremes.low.x != extremes.high.x || extremes.low.y != extremes.high.y)
    out->push_back(lowFirst ? extremes.high : extremes.low);
}

}  // namespace

std::vector<LinePoint> LineEnvelope(const std::vector<LinePoint>& line, double from, double to,
                                    int columns) {
  const auto byX = [](const LinePoint& p, double x) { return p.x < x; };
  const auto first = std::lower_bound(line.begin(), line.end(), from, byX);
  const auto last = std::upper_bound(line.begin(), line.end(), to,
                                     [](double x, const LinePoint& p) { return x < p.x; });
  std::vector<LinePoint> out;
  if (first != line.begin())
    out.push_back(*(first - 1));
  const auto inside = static_cast<size_t>(last - first);
  if (inside <= kMostPointsDrawnWhole || columns <= 0 || !(to > from)) {
    out.insert(out.end(), first, last);
  } else {
    const double columnWidth = (to - from) / columns;
    ColumnExtremes current;
    for (auto p = first; p != last; ++p) {
      const int column = std::clamp(static_cast<int>((p->x - from) / columnWidth), 0, columns - 1);
      if (column != current.column) {
        AppendExtremes(current, &out);
        current = {column, *p, *p};
        continue;
      }
      if (p->y < current.low.y)
        current.low = *p;
      if (p->y > current.high.y)
        current.high = *p;
    }
    AppendExtremes(current, &out);
  }
  if (last != line.end())
    out.push_back(*last);
  return out;
}
