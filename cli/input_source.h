// One input of the command line, a named dump or standard input, opened so
// that its header can be looked at before it is converted. A pipe cannot be
// rewound: its first block is read ahead and a relay thread hands the
// conversion those bytes and then the rest of the pipe, through a pipe of
// its own. A file is looked at with pread and converted from byte 0.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "convert/engine.h"

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file or pipe opened later takes one of their numbers (and "-" never
// reads a pipe of our own). Call first thing, before anything is opened.
void KeepStandardDescriptorsOpen();

class InputSource {
 public:
  InputSource() = default;
  ~InputSource();
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;

  // Opens `fullPath` ("-" for standard input) and reads its first block.
  // False, with `error` saying why, when it cannot be read.
  bool Open(const std::string& fullPath, std::string* error);

  const DumpLook& look() const { return look_; }
  // The input's first block, as read to look at its header.
  const std::string& head() const { return head_; }
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }
  // The size of a named file; -1 for a pipe or a device.
  int64_t size() const { return size_; }

  // A handle of the file layer that reads the input from its first byte.
  // -1 when none could be had.
  int OpenHandle();
  // After the conversion has closed the handle: stops the relay. True when
  // every byte of a pipe was read; else `error` says why not.
  bool Finish(std::string* error);

 private:
  void Relay(int sink);

  int fd_ = -1;
  bool stream_ = false;
  std::string ahead_;  // a pipe's first block, read ahead
  std::string shown_;  // the input's name in messages
  std::string head_;
  DumpLook look_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  int64_t size_ = -1;
  std::thread relay_;
  int stopWrite_ = -1;  // closing it tells the relay to stop
  int stopRead_ = -1;
  std::atomic<int> readError_{0};
};
