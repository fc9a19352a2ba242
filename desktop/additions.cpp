#include "desktop/additions.h"

#include <utility>

#include "app/shell_hooks.h"
#include "desktop/feedback.h"

namespace {

std::unique_ptr<PanelAdditions>& Additions() {
  static std::unique_ptr<PanelAdditions> additions;
  return additions;
}

// A task run where it is asked for, when no additions are installed.
class InlineProgress : public ProgressReporter {
 public:
  void Report(int64_t, int64_t) override {}
  bool CancelRequested() const override { return false; }
};

}  // namespace

void InstallPanelAdditions(std::unique_ptr<PanelAdditions> additions) {
  SetShellHooks(additions ? DesktopShellHooks() : ShellHooks{});
  Additions() = std::move(additions);
}

PanelAdditions* CurrentPanelAdditions() {
  return Additions().get();
}

int RunWithProgress(const char* title, const ProgressTask& task) {
  PanelAdditions* additions = CurrentPanelAdditions();
  if (additions == nullptr) {
    InlineProgress progress;
    task(progress);
    return 0;
  }
  return additions->RunWithProgress(title == nullptr ? "" : title, task);
}

int ShowFromFileKind(int panel, int fromTypeRing, const char* path, const char* kindText,
                     const char* problemText, int fittingValue, int fittingToValue) {
  PanelAdditions* additions = CurrentPanelAdditions();
  return additions == nullptr
             ? 0
             : additions->ShowFromFileKind(panel, fromTypeRing, path == nullptr ? "" : path,
                                           kindText == nullptr ? "" : kindText,
                                           problemText == nullptr ? "" : problemText, fittingValue,
                                           fittingToValue);
}

int ShowConversionDetails(int panel, int statusControl, const char* details,
                          const OutcomeMark& mark) {
  PanelAdditions* additions = CurrentPanelAdditions();
  return additions == nullptr ? 0
                              : additions->ShowConversionDetails(
                                    panel, statusControl, details == nullptr ? "" : details, mark);
}

int OfferPreview(int panel, const char* title, PreviewLoader loader) {
  PanelAdditions* additions = CurrentPanelAdditions();
  return additions == nullptr
             ? 0
             : additions->OfferPreview(panel, title == nullptr ? "" : title, std::move(loader));
}

int AcceptDroppedFiles(int panel, int menuItem) {
  PanelAdditions* additions = CurrentPanelAdditions();
  return additions == nullptr ? 0 : additions->AcceptDroppedFiles(panel, menuItem);
}

int UseFittingTypes(int panel) {
  PanelAdditions* additions = CurrentPanelAdditions();
  return additions == nullptr ? 0 : additions->UseFittingTypes(panel);
}

int OpenExport(int panel, const ExportSource& source) {
  PanelAdditions* additions = CurrentPanelAdditions();
  return additions == nullptr ? 0 : additions->OpenExport(panel, source);
}

int OpenWaveStatistics(int panel, const WaveResults& results) {
  PanelAdditions* additions = CurrentPanelAdditions();
  return additions == nullptr ? 0 : additions->OpenWaveStatistics(panel, results);
}

int FollowWaveStatistics(int panel, const WaveResults& results) {
  PanelAdditions* additions = CurrentPanelAdditions();
  return additions == nullptr ? 0 : additions->FollowWaveStatistics(panel, results);
}
