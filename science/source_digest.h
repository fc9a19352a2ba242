// The SHA-256 of a dump, taken from the bytes the conversion reads as it
// reads them, so that the dump is never read a second time for it. Small
// pieces are gathered and hashed on a thread of their own, off the
// converting thread, which is the busier one for a gauge dump; a piece of a
// block or more (a buffer read ahead, on the reading thread) is hashed
// where it lies.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class SourceDigest {
 public:
  SourceDigest();
  ~SourceDigest();
  SourceDigest(const SourceDigest&) = delete;
  SourceDigest& operator=(const SourceDigest&) = delete;

  // The bytes may be reused once this returns. Calls may come from
  // different threads, one after another, never two at once.
  void Update(const char* bytes, size_t count);
  // The digest of every byte so far, 64 lower-case hexadecimal digits. Ends
  // the digest: a later Update starts a new one.
  std::string Hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
