// The staff-length scale table: every row of the four tables, and the
// combinations that must miss.
#include <gtest/gtest.h>

#include <string>

#include "app/converters.h"
#include "app/shared_state.h"
#include "convert/status.h"

namespace {

struct Lookup {
  int fromType;
  int rangeCode;
  int staffCode;
};

// Runs the lookup from the dispatch's starting values.
void RunLookup(const Lookup& lookup) {
  ResetSharedState();
  ConvertState = kStatusReady;
  StaffScale = 1.0f;
  SelectFromType = lookup.fromType;
  RangeCode = lookup.rangeCode;
  QMAll = lookup.staffCode;
  SetQMKQStaffLength();
}

std::string Describe(const Lookup& lookup) {
  return "from type " + std::to_string(lookup.fromType) + ", range " +
         std::to_string(lookup.rangeCode) + ", staff " + std::to_string(lookup.staffCode);
}

struct Hit {
  Lookup lookup;
  float scale;
};

constexpr int kNoStaffCodeNeeded[] = {0, -1, -500, 1, 133, 148, 199, 223, 100000};

}  // namespace

TEST(StaffScale, EveryListedRowGivesItsScaleAndLeavesTheStatusAlone) {
  // clang-format off
  const Hit kHits[] = {
      // Table A, From type 2.
      {{2, 0, 133}, 1.5f}, {{2, 0, 199}, 1.0f},
      // Table A8.
      {{2, 8, 36}, 11.0f}, {{2, 8, 38}, 10.5f}, {{2, 8, 40}, 10.0f}, {{2, 8, 42}, 9.5f},
      {{2, 8, 44}, 9.0f}, {{2, 8, 47}, 8.5f}, {{2, 8, 50}, 8.0f}, {{2, 8, 53}, 7.5f},
      {{2, 8, 57}, 7.0f}, {{2, 8, 61}, 6.5f}, {{2, 8, 66}, 6.0f}, {{2, 8, 72}, 5.5f},
      {{2, 8, 80}, 5.0f}, {{2, 8, 88}, 4.5f}, {{2, 8, 100}, 4.0f}, {{2, 8, 114}, 3.5f},
      {{2, 8, 133}, 3.0f}, {{2, 8, 159}, 2.5f}, {{2, 8, 199}, 2.0f},
      // Table B, From type 1.
      {{1, 0, 148}, 3.0f}, {{1, 0, 178}, 2.5f}, {{1, 0, 223}, 2.0f}, {{1, 1, 148}, 1.5f},
      {{1, 1, 223}, 1.0f},
      // Table B8.
      {{1, 8, 34}, 20.0f}, {{1, 8, 36}, 19.0f}, {{1, 8, 38}, 18.0f}, {{1, 8, 40}, 17.0f},
      {{1, 8, 43}, 16.0f}, {{1, 8, 45}, 15.0f}, {{1, 8, 49}, 14.0f}, {{1, 8, 52}, 13.0f},
      {{1, 8, 57}, 12.0f}, {{1, 8, 62}, 11.0f}, {{1, 8, 65}, 10.5f}, {{1, 8, 68}, 10.0f},
      {{1, 8, 72}, 9.5f}, {{1, 8, 76}, 9.0f}, {{1, 8, 80}, 8.5f}, {{1, 8, 85}, 8.0f},
      {{1, 8, 91}, 7.5f}, {{1, 8, 97}, 7.0f}, {{1, 8, 105}, 6.5f}, {{1, 8, 113}, 6.0f},
      {{1, 8, 124}, 5.5f}, {{1, 8, 178}, 5.0f}, {{1, 8, 198}, 4.5f}, {{1, 8, 223}, 4.0f},
      {{1, 8, 254}, 3.5f},
  };
  // clang-format on
  for (const Hit& hit : kHits) {
    RunLookup(hit.lookup);
    EXPECT_EQ(StaffScale, hit.scale) << Describe(hit.lookup);
    EXPECT_EQ(ConvertState, kStatusReady) << Describe(hit.lookup);
  }
  // Rows that hold whatever the staff code, zero and negative codes included.
  const Hit kAnyStaffRows[] = {
      {{2, 1, 0}, 0.5f}, {{2, 2, 0}, 0.25f}, {{1, 2, 0}, 0.5f}, {{1, 3, 0}, 0.25f}};
  for (const Hit& row : kAnyStaffRows) {
    for (int staffCode : kNoStaffCodeNeeded) {
      Lookup lookup = row.lookup;
      lookup.staffCode = staffCode;
      RunLookup(lookup);
      EXPECT_EQ(StaffScale, row.scale) << Describe(lookup);
      EXPECT_EQ(ConvertState, kStatusReady) << Describe(lookup);
    }
  }
}

TEST(StaffScale, UnlistedCombinationsSetStatus3AndKeepTheScaleAt1) {
  // clang-format off
  const Lookup kMisses[] = {
      // Between two rows, or outside them: no nearest match.
      {1, 8, 150}, {2, 8, 37}, {1, 8, 33}, {1, 8, 255}, {2, 8, 35}, {2, 8, 200},
      {2, 0, 134}, {1, 0, 222}, {1, 1, 178},
      // Listed for the other From type only.
      {1, 0, 199}, {2, 0, 148}, {1, 0, 133}, {2, 8, 34}, {1, 8, 42},
      // Range codes the From type does not list.
      {2, 3, 100}, {2, 4, 0}, {2, 7, 100}, {2, 9, 100}, {1, 4, 100}, {1, 7, 0},
      {1, 9, 100}, {1, 100, 223}, {2, -1, 100}, {1, -1, 148}, {2, -8, 100}, {1, -2, 0},
      // Negative staff codes never match a listed code.
      {2, 0, -133}, {1, 8, -34}, {2, 8, -1},
      // Only From types 1 and 2 have a table.
      {3, 1, 0}, {3, 8, 100}, {0, 2, 0}, {-1, 8, 100}, {4, 8, 100},
  };
  // clang-format on
  for (const Lookup& lookup : kMisses) {
    RunLookup(lookup);
    EXPECT_EQ(ConvertState, kStatusStaffLengthError) << Describe(lookup);
    EXPECT_EQ(StaffScale, 1.0f) << Describe(lookup);
  }
}
