#include "desktop/headless_additions.h"

#include <algorithm>

namespace {

class InlineProgress : public ProgressReporter {
 public:
  InlineProgress(HeadlessAdditions::ProgressRun* run, const std::function<bool(int64_t)>& rule)
      : run_(run), rule_(rule) {}
  void Report(int64_t done, int64_t total) override {
    ++run_->reports;
    run_->lastDone = done;
    run_->lastTotal = total;
  }
  bool CancelRequested() const override {
    return rule_ && rule_(std::max<int64_t>(0, run_->lastDone));
  }

 private:
  HeadlessAdditions::ProgressRun* run_;
  const std::function<bool(int64_t)>& rule_;
};

}  // namespace

int HeadlessAdditions::RunWithProgress(const char* title, const ProgressTask& task) {
  ProgressRun run;
  run.title = title;
  InlineProgress reporter(&run, cancelRule_);
  task(reporter);
  progressRuns_.push_back(run);
  return 0;
}

int HeadlessAdditions::ShowFromFileKind(int panel, int /*fromTypeRing*/, const char* path,
                                        const char* kindText, const char* problemText,
                                        int fittingValue, int /*fittingToValue*/) {
  if (!IsLoaded(panel))
    return UIE_BAD_HANDLE;
  fromPath_ = path;
  fromKind_ = kindText;
  fromProblem_ = problemText;
  fittingValue_ = fittingValue;
  return 0;
}

int HeadlessAdditions::ShowConversionDetails(int panel, int /*statusControl*/, const char* details,
                                             const OutcomeMark& mark) {
  if (!IsLoaded(panel))
    return UIE_BAD_HANDLE;
  details_ = details;
  mark_ = mark;
  return 0;
}

int HeadlessAdditions::OfferPreview(int panel, const char* title, PreviewLoader loader) {
  if (!IsLoaded(panel))
    return UIE_BAD_HANDLE;
  previewTitle_ = title;
  preview_ = std::move(loader);
  return 0;
}

int HeadlessAdditions::AcceptDroppedFiles(int panel, int menuItem) {
  if (!IsLoaded(panel))
    return UIE_BAD_HANDLE;
  dropMenuItem_ = menuItem;
  return 0;
}

bool HeadlessAdditions::DropFile(const std::string& path) {
  if (dropMenuItem_ == 0)
    return false;
  HeadlessUi* ui = Ui();
  return ui != nullptr && ui->SelectMenuItemWithFile(dropMenuItem_, path);
}
