#include "fuzz/fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/shared_state.h"
#include "app/shell.h"
#include "convert/panel_ids.h"
#include "runtime/files.h"
#include "runtime/headless_ui.h"
#include "runtime/ui.h"

namespace zorq_fuzz {

void Fail(const char* format, ...) {
  std::fputs("invariant violated: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::abort();
}

void InitEnvironment() {
  setenv("TZ", "UTC", 1);
  tzset();
}

MemoryFile::MemoryFile(const char* name, const void* bytes, size_t size) {
  fd_ = memfd_create(name, MFD_CLOEXEC);
  ZORQ_FUZZ_CHECK(fd_ >= 0, "memfd_create failed");
  const char* p = static_cast<const char*>(bytes);
  size_t left = size;
  while (left > 0) {
    const ssize_t put = ::write(fd_, p, left);
    ZORQ_FUZZ_CHECK(put > 0, "writing the memory file failed");
    p += put;
    left -= static_cast<size_t>(put);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() {
  if (fd_ >= 0)
    ::close(fd_);
}

std::string MemoryFile::Contents() const {
  std::string bytes;
  char chunk[65536];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = ::pread(fd_, chunk, sizeof chunk, offset);
    ZORQ_FUZZ_CHECK(got >= 0, "reading the memory file failed");
    if (got == 0)
      break;
    bytes.append(chunk, static_cast<size_t>(got));
    offset += got;
  }
  return bytes;
}

HeadlessUi& Panel() {
  static HeadlessUi* panel = [] {
    RegisterShellCallbacks();
    auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
    HeadlessUi* ui = backend.get();
    InstallUiBackend(std::move(backend));
    return ui;
  }();
  if (PanelHandle <= 0) {
    PanelHandle = LoadPanel(0, "ZORQConvert.uir", 1);
    ZORQ_FUZZ_CHECK(PanelHandle > 0, "the headless panel did not load");
  }
  return *panel;
}

HeadlessUi& ResetKeepingPanel() {
  HeadlessUi& panel = Panel();
  const int handle = PanelHandle;
  ResetSharedState();
  PanelHandle = handle;
  return panel;
}

ConversionRun RunConversion(const uint8_t* dump, size_t size, int fromType, int toType,
                            const std::string& prior) {
  HeadlessUi& ui = Panel();
  ui.ClearPopups();
  MemoryFile from("from", dump, size);
  MemoryFile to("to", prior.data(), prior.size());

  FileFromHandle = OpenFile(from.Path().c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  FileToHandle = OpenFile(to.Path().c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ZORQ_FUZZ_CHECK(FileFromHandle > 0 && FileToHandle > 0, "the memory files did not open");
  FileFromOpen = 1;
  FileToOpen = 1;
  ui.SetValue(kCtrlFromType, fromType);
  ui.SetValue(kCtrlToType, toType);

  DoTheConvert();

  ConversionRun run;
  run.status = ConvertState;
  FileFromOpen = 0;
  FileToOpen = 0;
  CloseFile(FileFromHandle);
  CloseFile(FileToHandle);
  ui.ClearPopups();

  const std::string written = to.Contents();
  ZORQ_FUZZ_CHECK(written.size() >= prior.size() && written.compare(0, prior.size(), prior) == 0,
                  "the To file lost what it held before the conversion");
  run.output = written.substr(prior.size());
  return run;
}

bool SplitCrLfLines(const std::string& text, std::vector<std::string>* lines) {
  lines->clear();
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos || end + 1 >= text.size())
      return false;
    if (text[end] != '\r' || text[end + 1] != '\n')
      return false;
    lines->push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return true;
}

void CheckSameBothWays(const ConversionRun& fast, const ConversionRun& plain) {
  ZORQ_FUZZ_CHECK(fast.status == plain.status && fast.output == plain.output,
                  "fast number paths: status %d, %zu bytes; C library: status %d, %zu bytes",
                  fast.status, fast.output.size(), plain.status, plain.output.size());
}

}  // namespace zorq_fuzz
