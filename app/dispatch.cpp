// START CONVERT, the conversion timer and the dispatch to a converter.
#include "app/shell.h"
#include "convert/converters.h"
#include "convert/panel_ids.h"
#include "convert/shared_state.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "runtime/numbers.h"
#include "runtime/ui.h"

namespace {

// True while a conversion request is being carried out. A modal popup of
// the dispatch runs a nested event loop whose timer ticks must not start the
// same request a second time.
bool gDispatching = false;

// Runs the converter that fits the two rings. Returns true when one ran.
bool RunConverterForRings() {
  switch (SelectFromType) {
    case 1:
    case 2:
      if (SelectToType != 0) {
        ConvertState = kStatusToTypeError;
        return false;
      }
      ConvertKQKQIIIFlashToCSV();
      return true;
    case 3:
      if (SelectToType != 1) {
        ConvertState = kStatusToTypeError;
        return false;
      }
      ConvertJXFlashToJXBCSV();
      return true;
    default:
      return false;  // nothing to convert; the status stays "Ready"
  }
}

// Converts with both files open. Returns the popup text to show with a File
// Error, if the conversion ends with one.
const char* ConvertOpenFiles() {
  // Reading a file while appending to it would never reach its end.
  if (FilesAreSame(FileFromHandle, FileToHandle)) {
    ConvertState = kStatusFileError;
    return kSameFileText;
  }
  SetFilePtr(FileFromHandle, 0, VAL_START_OF_FILE);
  SetFilePtr(FileToHandle, 0, VAL_END_OF_FILE);
  GetCtrlVal(PanelHandle, kCtrlFromType, &SelectFromType);
  GetCtrlVal(PanelHandle, kCtrlToType, &SelectToType);
  if (!RunConverterForRings())
    return nullptr;
  // The operator may open the output while the program stays open: hand its
  // bytes to the operating system before the outcome is shown.
  if (FileIsOpen(FileToHandle) && FlushFile(FileToHandle) < 0)
    ConvertState = kStatusWriteError;
  return ConvertState == kStatusFileError ? kReadFailedText : nullptr;
}

}  // namespace

int StartConvert(int /*panel*/, int /*control*/, int event, void* /*callbackData*/,
                 int /*eventData1*/, int /*eventData2*/) {
  if (event == EVENT_COMMIT) {
    int on = 0;
    GetCtrlVal(PanelHandle, kCtrlStartConvert, &on);
    OKToConvert = on != 0 ? 1 : 0;
  } else if (event == EVENT_RIGHT_CLICK) {
    MessagePopup(kStartConvertHelpTitle, kStartConvertHelpText);
  }
  return 0;
}

int ConvertTimer(int /*panel*/, int /*control*/, int event, void* /*callbackData*/,
                 int /*eventData1*/, int /*eventData2*/) {
  if (event != EVENT_TIMER_TICK || gDispatching)
    return 0;
  if (OKToConvert) {
    gDispatching = true;
    DoTheConvert();
    gDispatching = false;
  }
  OKToConvert = 0;
  return 0;
}

void DoTheConvert() {
  ConvertState = kStatusReady;
  FileSampleRate = 1;
  StaffScale = 1.0f;
  const char* errorText = kSelectFilesText;
  if (!FileFromOpen || !FileToOpen) {
    ConvertState = kStatusFileError;
  } else {
    errorText = ConvertOpenFiles();
  }
  char message[64];
  FormatText(message, sizeof message, "%s", StatusMessage(ConvertState));
  if (ConvertState == kStatusFileError && errorText != nullptr) {
    MessagePopup(kConvertErrorTitle, errorText);
  }
  SetCtrlAttribute(PanelHandle, kCtrlStatus, ATTR_CTRL_VAL, message);
  SetCtrlVal(PanelHandle, kCtrlStartConvert, 0);
}
