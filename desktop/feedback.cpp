#include "desktop/feedback.h"

#include <cstdio>
#include <string>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "convert/dump_types.h"
#include "convert/engine.h"
#include "convert/flash_line_reader.h"
#include "convert/report_text.h"
#include "desktop/additions.h"
#include "desktop/preview_data.h"

void PrepareShellAdditions() {
  ShowFromFileKind(PanelHandle, kCtrlFromType, "", "", 0);
  ShowConversionDetails(PanelHandle, kCtrlStatus, "");
  OfferPreview(PanelHandle, "", nullptr);
  AcceptDroppedFiles(PanelHandle, kMenuOpenFrom);
}

namespace {

// The first block of the dump judged as LookAtDumpFile judges it, read
// beside the file layer so that the look is no read of the conversions'.
DumpLook LookAtFromFile(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr)
    return DumpLook{};
  char block[FlashLineReader::kBlockSize];
  const size_t count = std::fread(block, 1, sizeof block, file);
  std::fclose(file);
  return LookAtHeader(block, static_cast<int>(count));
}

}  // namespace

void ShowFromFileLook() {
  if (!FileFromOpen) {
    ShowFromFileKind(PanelHandle, kCtrlFromType, "", "", 0);
    return;
  }
  const DumpLook look = LookAtFromFile(FileFromName);
  ShowFromFileKind(PanelHandle, kCtrlFromType, FileFromName, DescribeDumpLook(look).c_str(),
                   FromTypeForLook(look));
}

namespace {

PreviewLoader LoaderFor(PreviewKind kind, const std::string& path, int64_t begin, int64_t end) {
  return [kind, path, begin, end](const std::atomic<bool>& stop) {
    return ReadPreview(kind, path, begin, end, stop);
  };
}

}  // namespace

void ShowConversionOutcome(const DispatchRequest& request, const DispatchOutcome& outcome,
                           int64_t toBefore, int64_t toAfter) {
  ShowConversionDetails(PanelHandle, kCtrlStatus,
                        ReportInWords(outcome.result, request.fromType).c_str());
  const bool wrote =
      outcome.converterRan && !outcome.cancelled && toBefore >= 0 && toAfter > toBefore;
  if (!wrote) {
    OfferPreview(PanelHandle, "", nullptr);
    return;
  }
  const bool gauge = IsGaugeDump(request.fromType);
  OfferPreview(PanelHandle, gauge ? "Gauge values" : "Logger readings",
               LoaderFor(gauge ? PreviewKind::GaugeCsv : PreviewKind::LoggerCsv, FileToName,
                         toBefore, toAfter));
}

DispatchOutcome DispatchWithProgress(const DispatchRequest& given) {
  if (!given.fromOpen || !given.toOpen)
    return DispatchConversion(given);
  // The engine's run, on whatever thread the additions give it; it touches
  // no control and no popup.
  DispatchRequest request = given;
  DispatchOutcome outcome;
  RunWithProgress(kConvertingTitle, [&](ProgressReporter& progress) {
    request.progress = [&progress](int64_t done, int64_t total) { progress.Report(done, total); };
    request.cancelRequested = [&progress] { return progress.CancelRequested(); };
    outcome = DispatchConversion(request);
  });
  return outcome;
}

ShellHooks DesktopShellHooks() {
  ShellHooks hooks;
  hooks.panelLoaded = PrepareShellAdditions;
  hooks.fromFileChanged = ShowFromFileLook;
  hooks.dispatch = DispatchWithProgress;
  hooks.conversionShown = ShowConversionOutcome;
  return hooks;
}
