#include "science/source_digest.h"

#include <nettle/sha2.h>

#include <cstdint>

struct SourceDigest::State {
  sha256_ctx context;
};

SourceDigest::SourceDigest() : state_(std::make_unique<State>()) {
  sha256_init(&state_->context);
}

SourceDigest::~SourceDigest() = default;

void SourceDigest::Update(const char* bytes, size_t count) {
  sha256_update(&state_->context, count, reinterpret_cast<const uint8_t*>(bytes));
}

std::string SourceDigest::Hex() {
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&state_->context, SHA256_DIGEST_SIZE, digest);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * SHA256_DIGEST_SIZE);
  for (const uint8_t byte : digest) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0f]);
  }
  return hex;
}
