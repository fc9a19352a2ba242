// Runs one conversion through the shell's own callbacks on the headless
// panel, as an operator would on the desktop: open both files through the
// menu, choose the rings and the correction, press START CONVERT, let one
// timer tick carry it out, read the status line, leave through Exit.
#pragma once

#include <string>

struct PanelRequest {
  std::string fromPath;  // full path of an existing file
  std::string toPath;    // full path
  bool toIsNew = false;  // answer the To popup with "new file" instead of "existing"
  bool append = false;   // answer the append question with Yes
  int fromType = 1;
  int toType = 0;
  bool correction = false;
  double gain = 1.0;
  double offset = 0.0;
};

struct PanelOutcome {
  bool converted = false;    // the request was carried out and the status line written
  std::string status;        // the status line after the conversion
  std::string error;         // why nothing was converted
  bool fileProblem = false;  // ... because a file could not be opened
};

// Message popups are written to standard error as "TITLE: text".
PanelOutcome ConvertOnHeadlessPanel(const PanelRequest& request);
