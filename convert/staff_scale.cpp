// The full-scale value of a logger dump, looked up from the From type, the
// header's range code and its staff code. Exact integer matches only: a
// staff code between two rows is not a near match but a miss.
#include <cstddef>

#include "convert/staff_scale.h"

namespace {

// Marks a row that holds for every staff code of its range code.
constexpr int kAnyStaffCode = -1;

struct ScaleRow {
  int rangeCode;
  int staffCode;  // kAnyStaffCode, or the exact staff code
  float scale;
};

// From type 2: table A, with its range-code-8 rows (A8).
constexpr ScaleRow kTableA[] = {
    {0, 133, 1.5f},
    {0, 199, 1.0f},
    {1, kAnyStaffCode, 0.5f},
    {2, kAnyStaffCode, 0.25f},
    {8, 36, 11.0f},
    {8, 38, 10.5f},
    {8, 40, 10.0f},
    {8, 42, 9.5f},
    {8, 44, 9.0f},
    {8, 47, 8.5f},
    {8, 50, 8.0f},
    {8, 53, 7.5f},
    {8, 57, 7.0f},
    {8, 61, 6.5f},
    {8, 66, 6.0f},
    {8, 72, 5.5f},
    {8, 80, 5.0f},
    {8, 88, 4.5f},
    {8, 100, 4.0f},
    {8, 114, 3.5f},
    {8, 133, 3.0f},
    {8, 159, 2.5f},
    {8, 199, 2.0f},
};

// From type 1: table B, with its range-code-8 rows (B8).
constexpr ScaleRow kTableB[] = {
    {0, 148, 3.0f},
    {0, 178, 2.5f},
    {0, 223, 2.0f},
    {1, 148, 1.5f},
    {1, 223, 1.0f},
    {2, kAnyStaffCode, 0.5f},
    {3, kAnyStaffCode, 0.25f},
    {8, 34, 20.0f},
    {8, 36, 19.0f},
    {8, 38, 18.0f},
    {8, 40, 17.0f},
    {8, 43, 16.0f},
    {8, 45, 15.0f},
    {8, 49, 14.0f},
    {8, 52, 13.0f},
    {8, 57, 12.0f},
    {8, 62, 11.0f},
    {8, 65, 10.5f},
    {8, 68, 10.0f},
    {8, 72, 9.5f},
    {8, 76, 9.0f},
    {8, 80, 8.5f},
    {8, 85, 8.0f},
    {8, 91, 7.5f},
    {8, 97, 7.0f},
    {8, 105, 6.5f},
    {8, 113, 6.0f},
    {8, 124, 5.5f},
    {8, 178, 5.0f},
    {8, 198, 4.5f},
    {8, 223, 4.0f},
    {8, 254, 3.5f},
};

template <size_t N>
const ScaleRow* FindRow(const ScaleRow (&table)[N], int rangeCode, int staffCode) {
  for (const ScaleRow& row : table) {
    if (row.rangeCode != rangeCode)
      continue;
    if (row.staffCode == kAnyStaffCode || row.staffCode == staffCode)
      return &row;
  }
  return nullptr;
}

const ScaleRow* FindRowForFromType(int fromType, int rangeCode, int staffCode) {
  switch (fromType) {
    case 2:
      return FindRow(kTableA, rangeCode, staffCode);
    case 1:
      return FindRow(kTableB, rangeCode, staffCode);
    default:
      return nullptr;
  }
}

}  // namespace

bool LookUpStaffScale(int fromType, int rangeCode, int staffCode, float* scale) {
  const ScaleRow* row = FindRowForFromType(fromType, rangeCode, staffCode);
  if (row == nullptr)
    return false;
  *scale = row->scale;
  return true;
}
