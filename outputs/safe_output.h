// Outputs that never look finished before they are: a new output is written
// under a temporary name in its folder and put in place only when the
// conversion ends; an appended output is locked against a second converter
// and cut back when the run is stopped.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/byte_streams.h"

struct OutputPolicy {
  bool append = false;        // an existing output is appended to
  bool appendAllowed = true;  // the refusal of an existing output offers --append
  bool overwrite = false;     // an existing output is replaced
  // The refusal of an existing output names only --append, as the converter
  // always did before --overwrite existed.
  bool legacyWording = false;
  // The output is written by a library that opens it by name (NetCDF, whose
  // HDF5 layer cannot create a file through /proc): the temporary gets a
  // hidden name in the output's folder instead of none.
  bool namedTemporary = false;
  // Becomes readable when the run is asked to stop: a write waiting for a
  // pipe's reader ends then. -1: none.
  int stopFd = -1;
};

class SafeOutput {
 public:
  enum class Kind {
    New,      // written as a temporary, linked in place at the end
    Replace,  // written as a temporary, renamed over the old file at the end
    Append,   // written in place after its old bytes, under a lock
    Stream,   // standard output or /dev/null: written as it goes
  };

  SafeOutput() = default;
  ~SafeOutput();
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // Readies the output at `path` (a full path; `shown` is its name in
  // messages). `from` is the input's device and inode, so that it is never
  // replaced by its own output. A replaced file keeps its mode, and its
  // owner when run as root; a read-only one is refused. False, with `error`
  // saying why, when the output cannot be used; nothing has been created or
  // changed then.
  bool Prepare(const std::string& path, const std::string& shown, const OutputPolicy& policy,
               dev_t fromDevice, ino_t fromInode, std::string* error);
  // The same, with the full path as the name in messages.
  bool Prepare(const std::string& path, const OutputPolicy& policy, dev_t fromDevice,
               ino_t fromInode, std::string* error) {
    return Prepare(path, path, policy, fromDevice, fromInode, error);
  }
  // Writes into the descriptor `fd` as it goes (standard output), or
  // counts the bytes and throws them away when `fd` is -1 (--check).
  // `stopFd` as in OutputPolicy.
  bool PrepareStream(int fd, int stopFd, std::string* error);
  // The bytes the stream took so far: what its pipe, file or device
  // accepted.
  int64_t streamedBytes() const { return sink_ ? sink_->Accepted() : 0; }
  // The errno of the stream's failed write (EPIPE: its reader went away), 0.
  int streamError() const { return sink_ ? sink_->error() : 0; }

  // Where the conversion writes the output. Valid until Commit, KeepPartial
  // or Abandon.
  ByteSink* Sink();
  // The temporary's hidden name, where a library that opens files by name
  // writes the output before it is put in place (OutputPolicy's
  // namedTemporary); empty when the temporary has no name.
  std::string WritablePath() const;

  // Has the disk start writing each whole window of what the conversion
  // wrote so far (a new or replacing output), so that the sync at the end
  // finds little left to wait for. Sink() calls it after each buffer it
  // hands on; an output written by name is told from the progress hook.
  void StartWriteback();
  static constexpr int64_t kWritebackWindow = 8 << 20;
  // A file output's bytes past this many are written by a thread of the
  // sink's own while the conversion formats the next ones; a small output
  // is not worth a thread.
  static constexpr int64_t kWriteBehindFrom = 4 << 20;

  // Syncs the output and puts it in place (New, Replace): Ready, then
  // Place. False with `error` when it could not be put in place; the
  // temporary is gone then.
  bool Commit(std::string* error);
  // The first half: every byte handed on and on the disk. A run with
  // several outputs makes all of them ready before it places any, so that
  // a failure leaves none of them in place.
  bool Ready(std::string* error);
  // The second half: the output takes its name (New, Replace), the lock
  // goes (Append), the stream's failure is told (Stream).
  bool Place(std::string* error);
  // Removes a new output after Place, when another output of the same run
  // could not be placed.
  void TakeBack();
  // After a failed conversion (New, Replace): nothing appears under the
  // output's name; what was written is kept as NAME.partial, replacing an
  // older one. False when nothing was written (then nothing is kept) or it
  // could not be kept (`error` says why).
  bool KeepPartial(std::string* error);
  // Takes back what this run wrote: a new output never appears, a replaced
  // one stays as it was, an appended one is cut back to its old length.
  void Abandon();

  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }

 private:
  bool PrepareExisting(const OutputPolicy& policy, dev_t fromDevice, ino_t fromInode,
                       std::string* error);
  bool PrepareAppend(std::string* error);
  bool PrepareReplace(dev_t fromDevice, ino_t fromInode, std::string* error);
  bool CreateTemporary(const std::string& folder, const std::string& name, std::string* error);
  std::string CannotWriteIn(int error) const;
  std::string ShownFolder() const;
  bool LinkNew(std::string* error);
  bool RenameOver(std::string* error);
  void Close();
  bool EndStream(std::string* error);

  Kind kind_ = Kind::Stream;
  std::string path_;      // where the output ends up
  std::string shown_;     // its name in messages
  std::string tempPath_;  // a named temporary (when O_TMPFILE is not available)
  int fd_ = -1;           // our own descriptor of the file written
  int lockFd_ = -1;       // holds the advisory lock
  bool namedTemporary_ = false;
  bool placedNew_ = false;  // Place linked a new file, which TakeBack removes
  int stopFd_ = -1;
  int64_t lengthBefore_ = 0;
  int64_t writtenBack_ = 0;  // the output's bytes whose writeback has started
  bool done_ = false;
  // Over fd_, or (Stream) over its own copy of the descriptor, or counting.
  std::unique_ptr<ByteSink> sink_;
};

inline constexpr const char* kPartialSuffix = ".partial";

// Syncs the folders that outputs were put into, so that their new names
// reach the disk too. Call once when every output is in place.
void SyncPlacedFolders();

// Notes the process's umask, which a new output's permissions follow. Call
// once at start, before any thread runs (reading it means setting it).
void RememberUmask();
