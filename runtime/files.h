// File operations of the run-time layer: small integer handles over POSIX
// descriptors, with the results the shell relies on. Each handle is a byte
// source or sink (runtime/byte_streams.h), which the shell hands to the
// engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "runtime/byte_streams.h"

// Access modes and open actions.
inline constexpr int VAL_READ_ONLY = 1;
inline constexpr int VAL_WRITE_ONLY = 2;
inline constexpr int VAL_TRUNCATE = 0;
inline constexpr int VAL_OPEN_AS_IS = 2;
inline constexpr int VAL_BINARY = 0;
// Origins for SetFilePtr.
inline constexpr int VAL_START_OF_FILE = 0;
inline constexpr int VAL_END_OF_FILE = 2;

// Opens `path`. Returns a handle of 1 or more, or -1 when the file cannot be
// opened; LastFileErrorText() then says why. Reads on -1 fail and writes on
// it report a short count, so a failed open shows up at the first use.
int OpenFile(const char* path, int access, int action, int fileType);

// Reads up to `count` bytes. Returns the count read (fewer only at the end of
// the file), 0 once nothing is left, or a negative number on a failed read.
// The file is read ahead; a read(2) that fails is reported by the call that
// reaches it, after the bytes read before it.
long ReadFile(int handle, char* buffer, long count);

// Sets (or, with an empty tap, clears) the tap of a handle open for
// reading (see ByteSource); false for any other handle.
bool SetReadTap(int handle, ReadTap tap);

// Writes `count` bytes. Returns `count` on success; any other value means the
// write did not complete. Never throws.
long WriteFile(int handle, const char* buffer, long count);

// Moves the file pointer to `offset` from the start or the end. Returns the
// new position, or a negative number on failure.
long long SetFilePtr(int handle, long long offset, int origin);

// Hands everything written so far to the operating system. 0 on success,
// negative when some of it could not be written.
int FlushFile(int handle);

// Closes the handle (flushing first). 0 on success, negative on failure.
int CloseFile(int handle);

// The length of a regular file with the bytes still waiting in the handle's
// write buffer; -1 for a handle that is not open or not a regular file (a
// pipe, say).
long long FileLength(int handle);

// Cuts the file back to `length` bytes: the bytes waiting in the write buffer
// are dropped, the file is truncated and the file pointer set to its new end.
// 0 on success, negative on failure.
int CutFileBack(int handle, long long length);

// True when both handles are open on the same file (same device and inode).
bool FilesAreSame(int handleA, int handleB);

// The bytes that write(2) has taken on `handle` since it was opened: what
// the file, pipe or device accepted, not what waits in the write buffer.
// -1 for a handle that is not open.
long long BytesAccepted(int handle);

// True when `handle` is a handle this layer has open.
bool FileIsOpen(int handle);

// Text of the error of the last failed OpenFile in this thread.
const char* LastFileErrorText();

// The source or sink a handle stands for, so that the shell hands its open
// files to the engine; nullptr for a handle that is not open (or is open
// the other way). Valid until the handle is closed.
ByteSource* SourceOfHandle(int handle);
ByteSink* SinkOfHandle(int handle);

// --- Descriptors opened elsewhere ---

// Takes over `fd`, already open for `access` (VAL_READ_ONLY or
// VAL_WRITE_ONLY), as a handle of this layer; CloseFile closes it. Returns
// the handle, or -1 (the descriptor is then left open) when no handle is free
// or `fd` is not open.
int AdoptFileDescriptor(int fd, int access);
