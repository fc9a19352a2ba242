#include "desktop/feedback.h"

#include <ctime>
#include <memory>
#include <string>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "convert/dump_types.h"
#include "convert/engine.h"
#include "convert/report_text.h"
#include "desktop/additions.h"
#include "desktop/csv_kind.h"
#include "desktop/preview_listener.h"
#include "desktop/preview_tests.h"
#include "desktop/wave_run.h"
#include "runtime/ui.h"

void PrepareShellAdditions() {
  ShowFromFileKind(PanelHandle, kCtrlFromType, "", "", "", 0, -1);
  ShowConversionDetails(PanelHandle, kCtrlStatus, "", OutcomeMark{});
  OfferPreview(PanelHandle, "", nullptr);
  AcceptDroppedFiles(PanelHandle, kMenuOpenFrom);
}

namespace {

// The switch that reads each LF as CR LF shows only for a dump whose lines
// end in LF alone; hidden, it is off.
void ShowLfLineEndsChoice(bool lfLineEnds) {
  if (!lfLineEnds)
    SetCtrlVal(PanelHandle, kCtrlLfLineEnds, 0);
  SetCtrlAttribute(PanelHandle, kCtrlLfLineEnds, ATTR_VISIBLE, lfLineEnds ? 1 : 0);
}

}  // namespace

void ShowFromFileLook() {
  if (!FileFromOpen) {
    ShowFromFileKind(PanelHandle, kCtrlFromType, "", "", "", 0, -1);
    ShowLfLineEndsChoice(false);
    return;
  }
  const DumpLook look = LookAtDumpFile(FileFromName);
  const int fits = FromTypeForLook(look);
  ShowFromFileKind(PanelHandle, kCtrlFromType, FileFromName, DescribeDumpLook(look).c_str(),
                   DumpLookProblem(look).c_str(), fits, ToTypeForFromType(fits));
  ShowLfLineEndsChoice(look.lfLineEnds);
}

namespace {

std::string NowInWords() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Which files the details are of, and when: a report read later, or after
// another file was opened, still says what it is about.
std::string DetailsHeading(const DispatchRequest& request) {
  std::string heading;
  heading += "From file: " + std::string(request.fromOpen ? FileFromName : "(none open)") + "\n";
  heading += "To file: " + std::string(request.toOpen ? FileToName : "(none open)") + "\n";
  heading += "Converted: " + NowInWords() + "\n";
  return heading;
}

// The last conversion: its dump for Export and Wave statistics, the
// preview its readings built while it ran, and their wave statistics.
struct LastConversion {
  ExportSource source;
  std::unique_ptr<PreviewListener> preview;
  std::shared_ptr<const WaveTable> waves;       // of the conversion shown
  std::shared_ptr<const WaveTable> wavesOfRun;  // of the one that just ran
};

LastConversion& Last() {
  static LastConversion last;
  return last;
}

PreviewLoader LoaderOf(std::shared_ptr<const PreviewSeries> series) {
  return [series](const std::atomic<bool>&) { return *series; };
}

void DimOutputMenus(bool dimmed) {
  const int menuBar = GetPanelMenuBar(PanelHandle);
  SetMenuBarAttribute(menuBar, kMenuExport, ATTR_DIMMED, dimmed ? 1 : 0);
  SetMenuBarAttribute(menuBar, kMenuWaveStatistics, ATTR_DIMMED, dimmed ? 1 : 0);
}

}  // namespace

ExportSource LastConversionSource() {
  return Last().source;
}

WaveResults LastConversionWaves() {
  return {Last().source, Last().waves};
}

// The To file held the other kind's records before this conversion
// appended its own (the file starts with the kind it first held).
int KindAppendedTo(const DispatchRequest& request, int64_t toBefore, int64_t toAfter) {
  if (!request.toOpen || toBefore <= 0 || toAfter <= toBefore)
    return kNoCsvKind;
  const int holds = CsvKindOfFile(FileToName);
  return holds != request.toType ? holds : kNoCsvKind;
}

void ShowConversionOutcome(const DispatchRequest& request, const DispatchOutcome& outcome,
                           int64_t toBefore, int64_t toAfter) {
  std::string details = DetailsHeading(request);
  OutcomeMark mark = MarkOfOutcome(outcome);
  const int held = KindAppendedTo(request, toBefore, toAfter);
  if (held != kNoCsvKind) {
    mark.mixedKinds = true;
    details += "Mixed kinds: the To file held " + CsvKindName(held) + "; " +
               CsvKindName(request.toType) +
               " were appended after them. A reader of either kind will not take the whole "
               "file: convert into a new To file to keep the kinds apart.\n";
  }
  details += ReportInWords(outcome.result, request.fromType);
  ShowConversionDetails(PanelHandle, kCtrlStatus, details.c_str(), mark);
  std::unique_ptr<PreviewListener> preview = std::move(Last().preview);
  std::shared_ptr<const WaveTable> waves = std::move(Last().wavesOfRun);
  if (outcome.converterRan && !outcome.cancelled) {
    Last().source = {FileFromName, request.fromType, request.correction, request.lfLineEnds,
                     request.zone};
    Last().waves = std::move(waves);
    DimOutputMenus(false);
    FollowWaveStatistics(PanelHandle, LastConversionWaves());
  }
  // A cancelled conversion put the To file back: what the preview shows
  // still stands.
  if (outcome.cancelled)
    return;
  const bool wrote = outcome.converterRan && toBefore >= 0 && toAfter > toBefore;
  if (!wrote || preview == nullptr) {
    OfferPreview(PanelHandle, "", nullptr);
    return;
  }
  auto series = std::make_shared<PreviewSeries>(preview->Finish());
  series->dumpPath = FileFromName;
  const std::string title = series->title;
  OfferPreview(PanelHandle, title.c_str(), LoaderOf(std::move(series)));
}

// Asks before records of one kind go after the other's in the To file;
// false when the operator keeps them apart.
bool MayMixKinds(const DispatchRequest& request) {
  // Types that do not go together, or a dump of another kind, write
  // nothing: the conversion says so.
  const int fits = FromTypeForLook(LookAtDumpFile(FileFromName));
  if (ToTypeForFromType(request.fromType) != request.toType || fits == 0 ||
      IsGaugeDump(fits) != IsGaugeDump(request.fromType))
    return true;
  const int holds = CsvKindOfFile(FileToName);
  if (holds == kNoCsvKind || holds == request.toType)
    return true;
  const std::string question = "The To file holds " + CsvKindName(holds) + ". Append " +
                               CsvKindName(request.toType) +
                               " after them?\n\nA reader of either kind will not take the whole "
                               "file. Choose No, then open another To file.";
  return ConfirmPopup("Mix Record Kinds?", question.c_str()) != 0;
}

DispatchOutcome DispatchWithProgress(const DispatchRequest& given) {
  Last().preview.reset();
  Last().wavesOfRun.reset();
  if (!given.fromOpen || !given.toOpen)
    return DispatchConversion(given);
  if (!MayMixKinds(given)) {
    DispatchOutcome kept;
    kept.cancelled = true;
    return kept;
  }
  // The preview and the wave statistics listen to the conversion's own pass
  // over the dump; the statistics are worked out on a thread beside it.
  Last().preview =
      std::make_unique<PreviewListener>(IsGaugeDump(given.fromType), PreviewTestsFor(FileFromName));
  WaveCapture waves(ChosenWaveSettings(), given.fromType, given.zone);
  ReadingFanOut listeners;
  listeners.Add(Last().preview.get());
  listeners.Add(waves.listener());
  // The engine's run, on whatever thread the additions give it; it touches
  // no control and no popup. The progress stays until the last segments'
  // statistics are in.
  DispatchRequest request = given;
  request.readings = &listeners;
  DispatchOutcome outcome;
  WaveTable table;
  RunWithProgress(kConvertingTitle, [&](ProgressReporter& progress) {
    request.progress = [&progress](int64_t done, int64_t total) { progress.Report(done, total); };
    request.cancelRequested = [&progress] { return progress.CancelRequested(); };
    outcome = DispatchConversion(request);
    table = waves.Finish(outcome.cancelled, outcome.status);
  });
  Last().wavesOfRun = std::make_shared<const WaveTable>(std::move(table));
  return outcome;
}

ShellHooks DesktopShellHooks() {
  ShellHooks hooks;
  hooks.panelLoaded = PrepareShellAdditions;
  hooks.fromFileChanged = ShowFromFileLook;
  hooks.dispatch = DispatchWithProgress;
  hooks.conversionShown = ShowConversionOutcome;
  // A dump given at start-up starts as the kind its header shows: nobody
  // chose another yet.
  hooks.givenDumpOpened = [] { UseFittingTypes(PanelHandle); };
  hooks.exportChosen = [] { OpenExport(PanelHandle, LastConversionSource()); };
  hooks.waveStatisticsChosen = [] { OpenWaveStatistics(PanelHandle, LastConversionWaves()); };
  return hooks;
}
