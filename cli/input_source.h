// One input of the command line, a named dump or standard input, opened so
// that its header can be looked at before it is converted. Its first block
// is read ahead into the source's own buffer, so the conversion reads a pipe
// from its first byte too, with no second read and no thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "convert/engine.h"
#include "runtime/byte_streams.h"

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file or pipe opened later takes one of their numbers (and "-" never
// reads a pipe of our own). Call first thing, before anything is opened.
void KeepStandardDescriptorsOpen();

class InputSource {
 public:
  // Opens `fullPath` ("-" for standard input) without reading from it.
  // False, with `error` saying why, when it cannot be opened.
  bool Open(const std::string& fullPath, std::string* error);
  // Reads its first block, to look at its header. False, with `error`
  // saying why, when the read failed.
  bool ReadHead(std::string* error);

  const DumpLook& look() const { return look_; }
  // The input's first block, as read to look at its header.
  const std::string& head() const { return head_; }
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }
  // The size of a named file; -1 for a pipe or a device.
  int64_t size() const { return size_; }

  // What the conversion reads, from the first byte. A wait for a pipe's
  // bytes ends when a stop signal arrives.
  ByteSource& source() { return *source_; }
  // After the conversion: true when no read failed; else `error` says why.
  bool Finish(std::string* error) const;
  // Waits for a read in flight and closes the input: nothing is read, and
  // no byte is told to a tap, after this.
  void Close();

 private:
  std::unique_ptr<DescriptorSource> source_;
  std::string shown_;  // the input's name in messages
  std::string head_;
  DumpLook look_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  int64_t size_ = -1;
};
