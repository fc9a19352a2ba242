#include "science/source_digest.h"

#include <nettle/sha2.h>

#include <cstdint>
#include <vector>

#include "runtime/worker.h"

namespace {

// The reader hands the bytes over a kilobyte at a time: they are gathered
// into blocks of this size for the hashing thread, of which a few wait.
constexpr size_t kBlockBytes = 256 * 1024;
constexpr size_t kBlocksWaiting = 8;

}  // namespace

struct SourceDigest::State {
  sha256_ctx context;
  std::vector<char> gathering;
  // Started at the first block; only it touches `context` until Hex.
  std::unique_ptr<Worker> hasher;

  void HandOver() {
    if (gathering.empty())
      return;
    if (!hasher)
      hasher = std::make_unique<Worker>(kBlocksWaiting);
    hasher->Post([context = &context, block = std::move(gathering)] {
      sha256_update(context, block.size(), reinterpret_cast<const uint8_t*>(block.data()));
    });
    gathering = {};
    gathering.reserve(kBlockBytes);
  }
};

SourceDigest::SourceDigest() : state_(std::make_unique<State>()) {
  sha256_init(&state_->context);
}

SourceDigest::~SourceDigest() = default;

void SourceDigest::Update(const char* bytes, size_t count) {
  State& state = *state_;
  // A buffer read ahead comes whole, on the reading thread, which has time
  // to hash it where it lies once the blocks before it are hashed.
  if (count >= kBlockBytes) {
    state.HandOver();
    if (state.hasher)
      state.hasher->Drain();
    sha256_update(&state.context, count, reinterpret_cast<const uint8_t*>(bytes));
    return;
  }
  state.gathering.insert(state.gathering.end(), bytes, bytes + count);
  if (state.gathering.size() >= kBlockBytes)
    state.HandOver();
}

std::string SourceDigest::Hex() {
  state_->HandOver();
  if (state_->hasher) {
    state_->hasher->Drain();
    state_->hasher.reset();
  }
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
