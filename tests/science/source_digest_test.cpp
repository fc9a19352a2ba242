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

// A file read ahead: kilobytes from the converting thread first, then whole
// buffers hashed where they lie, then a short last buffer; the buffers wait
// for the kilobytes gathered before them.
TEST(SourceDigestMixed, KilobytesThenWholeBuffersThenTheTailKeepTheirOrder) {
  std::string text(3000000, '\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char>(i * 7 % 251);
  SourceDigest inOddPieces;
  for (size_t at = 0; at < text.size(); at += 4099)
    inOddPieces.Update(text.data() + at, std::min<size_t>(4099, text.size() - at));
  SourceDigest digest;
  size_t at = 0;
  for (; at < 900000; at += 1000)
    digest.Update(text.data() + at, 1000);
  constexpr size_t kBuffer = 256 * 1024;
  for (; at + kBuffer <= text.size(); at += kBuffer)
    digest.Update(text.data() + at, kBuffer);
  digest.Update(text.data() + at, text.size() - at);
  EXPECT_EQ(digest.Hex(), inOddPieces.Hex());
}

}  // namespace
