// The additions on the headless backend, for the tests: a task runs where
// it is asked for, and what the shell showed is kept to be looked at.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "desktop/additions.h"
#include "runtime/headless_ui.h"

class HeadlessAdditions : public PanelAdditions {
 public:
  // Works on whichever headless backend is installed at the time of each
  // call, so a test that installs another backend later is not left with one
  // that was freed.
  HeadlessAdditions() = default;

  // RunWithProgress runs its task at once; the reports it made and the
  // titles asked for are kept. With a cancel rule, the task is told to stop
  // once the rule says so (given the bytes reported so far).
  struct ProgressRun {
    std::string title;
    int reports = 0;
    int64_t lastDone = -1;
    int64_t lastTotal = -1;
  };
  const std::vector<ProgressRun>& ProgressRuns() const { return progressRuns_; }
  void CancelWhen(std::function<bool(int64_t done)> rule) { cancelRule_ = std::move(rule); }
  // What the shell last showed about the From file and the last conversion.
  const std::string& FromFileKind() const { return fromKind_; }
  const std::string& FromFileProblem() const { return fromProblem_; }
  const std::string& FromFilePath() const { return fromPath_; }
  int FittingFromType() const { return fittingValue_; }
  const std::string& ConversionDetails() const { return details_; }
  const OutcomeMark& ConversionMark() const { return mark_; }
  // The last preview offered (an empty loader when none or withdrawn).
  const PreviewLoader& OfferedPreview() const { return preview_; }
  const std::string& PreviewTitle() const { return previewTitle_; }
  // Drops a file on the panel: answers the next file selection with `path`
  // and selects the menu item AcceptDroppedFiles named. False when none was.
  bool DropFile(const std::string& path);

  // PanelAdditions
  int RunWithProgress(const char* title, const ProgressTask& task) override;
  int ShowFromFileKind(int panel, int fromTypeRing, const char* path, const char* kindText,
                       const char* problemText, int fittingValue, int fittingToValue) override;
  int ShowConversionDetails(int panel, int statusControl, const char* details,
                            const OutcomeMark& mark) override;
  int OfferPreview(int panel, const char* title, PreviewLoader loader) override;
  int AcceptDroppedFiles(int panel, int menuItem) override;

 private:
  static HeadlessUi* Ui() { return dynamic_cast<HeadlessUi*>(CurrentUiBackend()); }
  static bool IsLoaded(int panel) {
    const HeadlessUi* ui = Ui();
    return ui != nullptr && ui->Panel() > 0 && panel == ui->Panel();
  }

  std::vector<ProgressRun> progressRuns_;
  std::function<bool(int64_t)> cancelRule_;
  std::string fromKind_;
  std::string fromProblem_;
  std::string fromPath_;
  int fittingValue_ = 0;
  std::string details_;
  OutcomeMark mark_;
  PreviewLoader preview_;
  std::string previewTitle_;
  int dropMenuItem_ = 0;
};
