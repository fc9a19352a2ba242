#include "science/source_digest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

struct DigestRow {
  const char* name;
  std::string text;
  size_t piece;  // bytes per Update
  const char* hex;
};

class SourceDigestRows : public testing::TestWithParam<DigestRow> {};

// The hashing thread takes the pieces in the order they came, and Hex
// starts the next digest afresh.
TEST_P(SourceDigestRows, PiecesGiveTheDigestOfTheWholeTwice) {
  const DigestRow& row = GetParam();
  SourceDigest digest;
  for (int round = 0; round < 2; ++round) {
    for (size_t at = 0; at < row.text.size(); at += row.piece)
      digest.Update(row.text.data() + at, std::min(row.piece, row.text.size() - at));
    EXPECT_EQ(digest.Hex(), row.hex) << round;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SourceDigestRows,
    testing::Values(DigestRow{"Empty", "", 1,
                              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                    DigestRow{"AbcByteByByte", "abc", 1,
                              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                    DigestRow{"MillionAInOddPieces", std::string(1000000, 'a'), 4099,
                              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
                    DigestRow{"MillionAInReadSizedPieces", std::string(1000000, 'a'), 256 * 1024,
                              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const testing::TestParamInfo<DigestRow>& row) { return std::string(row.param.name); });

}  // namespace
