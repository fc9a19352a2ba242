// What the shell tells the operator around its callbacks, beyond the status
// line: what the From file looks like, the last conversion's report in
// words and a preview of what it wrote. None of it changes a control, a
// file or a status text that the callbacks own.
#pragma once

#include <cstdint>

#include "app/shell_hooks.h"
#include "convert/dispatch.h"
#include "desktop/wave_run.h"
#include "outputs/export_run.h"

// The title of the progress shown while a conversion runs.
inline constexpr const char* kConvertingTitle = "Converting";
// Readies the additions once the panel is loaded: the places for the
// From file's kind and the conversion's details, and files dropped on the
// panel opening through Open From File.
void PrepareShellAdditions();

// Shows what the open From file's header looks like (or nothing when no
// From file is open).
void ShowFromFileLook();

// Carries out one request while the progress shows, with Cancel.
DispatchOutcome DispatchWithProgress(const DispatchRequest& request);

// Hands the report of one dispatch to the panel, and offers the preview its
// readings built when a conversion wrote bytes [toBefore, toAfter) of the
// To file; undims Export and Wave statistics once a conversion has run.
void ShowConversionOutcome(const DispatchRequest& request, const DispatchOutcome& outcome,
                           int64_t toBefore, int64_t toAfter);

// The dump of the last conversion that ran (an empty path before one has).
ExportSource LastConversionSource();
// That dump and the wave statistics of its conversion.
WaveResults LastConversionWaves();

// The four above, and the Export and Wave statistics windows, as the
// shell's hooks.
ShellHooks DesktopShellHooks();
