// The data of a preview chart, kept small whatever the size of the file it
// comes from: a fixed number of min/max buckets along x, so that a single
// spike is never lost, and the marks (such as date stamps) along it. The
// chart asks for one min/max pair per pixel column of the range it shows.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct MinMaxBucket {
  float min = 0.0f;
  float max = 0.0f;
  int64_t count = 0;  // 0: no point fell into the bucket
};

// Buckets of equal width over [Lo(), Hi()). The range starts at the first
// point and doubles (merging neighbouring buckets) whenever a point falls
// outside it, so the points may come in any order of x.
class MinMaxEnvelope {
 public:
  // `buckets` is rounded up to an even number of at least 2; `firstWidth`
  // is the width of a bucket until the range has to grow.
  explicit MinMaxEnvelope(int buckets = 1 << 16, double firstWidth = 1.0);

  void Add(double x, float y);
  // Takes in every point of `other`, moved by `shift` along x. A bucket of
  // `other` lands where its middle does (kept within the points' x range),
  // so x is known to the width of the wider bucket; min, max and counts
  // are kept exactly.
  void Merge(const MinMaxEnvelope& other, double shift);

  bool Empty() const { return points_ == 0; }
  int64_t Points() const { return points_; }
  double Lo() const { return lo_; }
  double Hi() const { return lo_ + width_ * static_cast<double>(buckets_.size()); }
  double BucketWidth() const { return width_; }
  const std::vector<MinMaxBucket>& Buckets() const { return buckets_; }
  // The smallest and largest x and y of all points (0 when empty).
  double FirstX() const { return minX_; }
  double LastX() const { return maxX_; }
  float MinY() const { return minY_; }
  float MaxY() const { return maxY_; }

 private:
  void GrowUp();
  void GrowDown();
  // The bucket that holds x, the range grown to take it in.
  MinMaxBucket& BucketFor(double x);

  std::vector<MinMaxBucket> buckets_;
  double firstWidth_;
  double lo_ = 0.0;
  double width_ = 1.0;
  int64_t points_ = 0;
  double minX_ = 0.0;
  double maxX_ = 0.0;
  float minY_ = 0.0f;
  float maxY_ = 0.0f;
};

// One pixel column of the chart: the lowest and highest value among the
// buckets whose middle lies in the column (a bucket across an edge of the
// range belongs to the edge column).
struct ColumnRange {
  double x = 0.0;  // the column's middle
  float min = 0.0f;
  float max = 0.0f;
  int64_t count = 0;  // the points in the column
};

// The columns of [from, to) split into `columns` equal parts that hold at
// least one point, in order of x. The columns can be no finer than the
// buckets: zoomed in further, fewer columns come back.
std::vector<ColumnRange> DecimateToColumns(const MinMaxEnvelope& envelope, double from, double to,
                                           int columns);

// A point of a line drawn through all its points in order of x.
struct LinePoint {
  double x = 0.0;
  double y = 0.0;
};

// Lines longer than this are drawn as their envelope per pixel column.
inline constexpr size_t kMostPointsDrawnWhole = 2000;

// The points of `line` (sorted by x) to draw across [from, to] in `columns`
// pixel columns: all of them when no more than kMostPointsDrawnWhole fall
// inside; otherwise, per column, the points with its lowest and highest y
// in their order of x, so that no spike is lost. The nearest point outside
// each end is kept, so that the line runs on to the edge.
std::vector<LinePoint> LineEnvelope(const std::vector<LinePoint>& line, double from, double to,
                                    int columns);

struct PreviewMark {
  double x = 0.0;
  float y = 0.0f;
  std::string label;  // for example "2019-06-30 12:00:00"
};

struct PreviewSeries {
  std::string title;   // "Logger readings", "Gauge values"
  std::string xTitle;  // what x counts
  std::string yTitle;
  std::string markName;  // what the marks are, for the legend
  MinMaxEnvelope envelope;
  // The distance of neighbouring points where nothing is missing (one
  // sample interval, one value); wider steps are drawn as gaps.
  double pointSpacing = 1.0;
  // At most kMarksKept marks, spread evenly over all of them; all are
  // counted.
  std::vector<PreviewMark> marks;
  int64_t markCount = 0;
  // The readings flagged suspect (3) and bad (4), by the conversion or the
  // quality tests, in envelopes of their own: drawn over the readings, all
  // of them counted.
  MinMaxEnvelope suspect;
  MinMaxEnvelope bad;
  int64_t fillers = 0;   // gaps the legacy output filled: not drawn
  int64_t unplaced = 0;  // readings before any date stamp: no time to draw them at
  std::string dumpPath;  // the dump the conversion read; the PNG is saved beside it
  std::string error;     // why there is nothing to show, when that is so
};

inline constexpr size_t kMarksKept = 2000;
