// What the desktop program adds around the shell's panel without touching
// its controls: the progress of a long task with Cancel, the kind of the
// From file, the conversion's details, the preview and files dropped on the
// panel. The functions forward to the installed additions: the Qt ones of
// the desktop program or the recording ones of the tests. With none
// installed a task runs where it is asked for and nothing more is shown.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "desktop/outcome_mark.h"
#include "desktop/preview_series.h"
#include "desktop/wave_run.h"
#include "outputs/export_run.h"

// What a long task tells the additions while it runs, and how it learns that
// the operator wants it stopped. Both are called from the task's thread.
class ProgressReporter {
 public:
  virtual ~ProgressReporter() = default;
  // `done` of `total` bytes so far; `total` is -1 when it is not known.
  virtual void Report(int64_t done, int64_t total) = 0;
  virtual bool CancelRequested() const = 0;
};
using ProgressTask = std::function<void(ProgressReporter&)>;

// Builds the data of a preview; `stop` turns true when it is no longer wanted.
using PreviewLoader = std::function<PreviewSeries(const std::atomic<bool>& stop)>;

class PanelAdditions {
 public:
  virtual ~PanelAdditions() = default;
  virtual int RunWithProgress(const char* title, const ProgressTask& task) = 0;
  virtual int ShowFromFileKind(int panel, int fromTypeRing, const char* path, const char* kindText,
                               const char* problemText, int fittingValue, int fittingToValue) = 0;
  virtual int ShowConversionDetails(int panel, int statusControl, const char* details,
                                    const OutcomeMark& mark) = 0;
  virtual int OfferPreview(int panel, const char* title, PreviewLoader loader) = 0;
  virtual int AcceptDroppedFiles(int panel, int menuItem) = 0;
  // The Export and Wave statistics windows for the last conversion's dump.
  virtual int OpenExport(int /*panel*/, const ExportSource& /*source*/) { return 0; }
  virtual int OpenWaveStatistics(int /*panel*/, const WaveResults& /*results*/) { return 0; }
  // A conversion's statistics came in: an open Wave statistics window shows them.
  virtual int FollowWaveStatistics(int /*panel*/, const WaveResults& /*results*/) { return 0; }
  // Chooses the From type the From file's header fits, and the To type that
  // goes with it, as the offer beside the From ring does.
  virtual int UseFittingTypes(int /*panel*/) { return 0; }
};

// Installs the additions the functions below forward to (replacing and
// destroying any earlier ones), and the shell's hooks that use them; an
// empty pointer uninstalls both. Install them after the UI backend they
// work on, and uninstall them before it goes.
void InstallPanelAdditions(std::unique_ptr<PanelAdditions> additions);
PanelAdditions* CurrentPanelAdditions();

// Runs `task` to its end and returns 0. The recording additions run it
// where it is called; the desktop ones run it on a worker thread while the
// panel waits and repaints, show its progress with a Cancel button once it
// has taken about 0.3 s, and keep the panel from being used meanwhile. The
// task must touch no control or popup.
int RunWithProgress(const char* title, const ProgressTask& task);
// A From file was opened (`path`) or closed (empty `path`): shows what its
// header looks like in `kindText` and names it in the window title. A ring
// `fromTypeRing` whose value differs from `fittingValue` is marked, never
// changed; `fittingValue` 0 marks nothing. `problemText` says what is wrong
// with the file and what to do (empty when nothing is). The desktop offers
// to choose `fittingValue` with one click, and `fittingToValue` (-1 for
// none) on the To ring with it, as the operator would.
int ShowFromFileKind(int panel, int fromTypeRing, const char* path, const char* kindText,
                     const char* problemText, int fittingValue, int fittingToValue);
// The last conversion's report in words, offered beside `statusControl`
// with `mark` saying what it came to (OutcomeKind::None marks nothing).
int ShowConversionDetails(int panel, int statusControl, const char* details,
                          const OutcomeMark& mark);
// Offers a preview of the last conversion's output; an empty loader
// withdraws the offer.
int OfferPreview(int panel, const char* title, PreviewLoader loader);
// A file dropped on the panel answers the next file-selection popup with its
// path, and `menuItem` is then selected as the operator would.
int AcceptDroppedFiles(int panel, int menuItem);
// Shows File > Export's form for `source`, or View > Wave statistics with
// the last conversion's statistics.
int OpenExport(int panel, const ExportSource& source);
int OpenWaveStatistics(int panel, const WaveResults& results);
// Shows `results` in the Wave statistics window when it is open; opens nothing.
int FollowWaveStatistics(int panel, const WaveResults& results);
int UseFittingTypes(int panel);
