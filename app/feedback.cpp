#include "app/feedback.h"

#include <cstdio>
#include <string>

#include "app/panel_ids.h"
#include "app/preview_data.h"
#include "app/shared_state.h"
#include "convert/engine.h"
#include "convert/flash_line_reader.h"
#include "convert/report_text.h"
#include "runtime/ui.h"

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
  const bool gauge = request.fromType == 3;
  OfferPreview(PanelHandle, gauge ? "Gauge values" : "Logger readings",
               LoaderFor(gauge ? PreviewKind::GaugeCsv : PreviewKind::LoggerCsv, FileToName,
                         toBefore, toAfter));
}
