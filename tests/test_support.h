// Helpers shared by the tests: temporary files, whole-file reads, and a
// headless panel with the shell's callbacks bound.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "desktop/headless_additions.h"
#include "runtime/headless_ui.h"

namespace zorq_test {

// The C library's zone for one test, put back at its end. Tests read times
// with localtime_r and mktime as a check that does not share the program's
// zone code; TZ is how the C library is told its zone (POSIX tzset). The
// program itself never reads TZ this way.
class CLibraryZone {
 public:
  explicit CLibraryZone(const char* zone);
  ~CLibraryZone();
  CLibraryZone(const CLibraryZone&) = delete;
  CLibraryZone& operator=(const CLibraryZone&) = delete;

 private:
  std::optional<std::string> before_;
};

// A folder of its own for one test, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// The worked examples: a logger dump (From type 2; F04, A8, C100) and the
// 1054 bytes of logger CSV it converts into, and a gauge dump (T10) with the
// gauge CSV it converts into.
std::string WorkedLoggerDump();
// The worked logger dump with its data lines before the short last one
// repeated `times` times: a dump as long as a test needs.
std::string RepeatedWorkedLoggerDump(int times);
std::string WorkedLoggerCsv();
std::string WorkedGaugeDump();
std::string WorkedGaugeCsv();
// The seven header lines (and the empty line) the gauge worked example writes.
std::string WorkedGaugeOutputHeader();

// Expects `got` (a panel as a backend or a reader of the panel file found
// it) to hold what `want` describes: the same title and callbacks, every
// control with its kind, callback, ring items, starting value and
// visibility, and every menu item with its label and dimming.
void ExpectSamePanel(const PanelDescription& want, const PanelDescription& got);

// Closes the From and To files a test left open and clears their flags.
void CloseSharedFiles();

// Installs a fresh headless backend built from the shell's panel, with the
// recording additions on it, clears
// every shared value, loads the panel (PanelHandle set), records Delay calls
// instead of sleeping, and closes any file left open by an earlier test.
class HeadlessShell {
 public:
  HeadlessShell();
  ~HeadlessShell();
  HeadlessUi& ui() { return *ui_; }
  HeadlessAdditions& additions() { return *additions_; }
  const std::vector<double>& Pauses() const { return pauses_; }

  // Answers the next file-selection popup with `result` and `path`, the
  // next confirmation with `yes`. Answers queue up in order.
  void AnswerFileSelect(int result, const std::string& path);
  void AnswerConfirm(bool yes);

  // Menu shortcuts: open a From file (existing), open a To file (new or
  // appended to), each through its menu callback.
  void OpenFrom(const std::string& path);
  void OpenToNew(const std::string& path);
  void OpenToAppend(const std::string& path);
  // Chooses the rings (commits the From ring), requests and runs one
  // conversion, and returns the status line.
  std::string Convert(int fromType, int toType);

 private:
  HeadlessUi* ui_;
  HeadlessAdditions* additions_;
  std::vector<double> pauses_;
  std::vector<PopupAnswer> answers_;
};

}  // namespace zorq_test
