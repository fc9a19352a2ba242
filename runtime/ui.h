// Panel, menu bar, popups, timer and event loop of the run-time layer. The
// functions forward to the installed backend: the Qt desktop backend or the
// headless one used by the command-line front end and the tests. Nothing
// that calls them knows which one runs.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/callbacks.h"

// Attributes.
inline constexpr int ATTR_DIMMED = 500;
inline constexpr int ATTR_VISIBLE = 530;
inline constexpr int ATTR_CTRL_VAL = 630;

// FileSelectPopup results.
inline constexpr int VAL_NO_FILE_SELECTED = 0;
inline constexpr int VAL_EXISTING_FILE_SELECTED = 1;
inline constexpr int VAL_NEW_FILE_SELECTED = 2;

// Longest path a file-selection popup hands back, without its terminator.
inline constexpr int kMaxPathLength = 259;

// Error codes of the UI operations (all negative).
inline constexpr int UIE_NO_BACKEND = -1;
inline constexpr int UIE_PANEL_FILE = -2;
inline constexpr int UIE_BAD_HANDLE = -3;
inline constexpr int UIE_BAD_CONTROL = -4;
inline constexpr int UIE_BAD_BINDING = -5;

class UiBackend {
 public:
  virtual ~UiBackend() = default;
  virtual int Init(char* argv[]) = 0;
  virtual int LoadPanel(int parent, const char* fileName, int resourceId) = 0;
  virtual int DisplayPanel(int panel) = 0;
  virtual int DiscardPanel(int panel) = 0;
  virtual int RunUserInterface() = 0;
  virtual int QuitUserInterface(int code) = 0;
  virtual int GetPanelMenuBar(int panel) = 0;
  virtual int GetCtrlInt(int panel, int control, int* value) = 0;
  virtual int GetCtrlDouble(int panel, int control, double* value) = 0;
  virtual int SetCtrlInt(int panel, int control, int value) = 0;
  virtual int SetCtrlDouble(int panel, int control, double value) = 0;
  virtual int SetCtrlText(int panel, int control, const char* text) = 0;
  virtual int SetCtrlVisible(int panel, int control, bool visible) = 0;
  virtual int SetMenuItemDimmed(int menuBar, int item, bool dimmed) = 0;
  virtual int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                              const char* fileTypeList, const char* title, char* pathBuffer) = 0;
  virtual int ConfirmPopup(const char* title, const char* message) = 0;
  virtual int MessagePopup(const char* title, const char* message) = 0;
};

// Installs the backend that the functions below forward to (replacing and
// destroying any earlier one). An empty pointer uninstalls.
void InstallUiBackend(std::unique_ptr<UiBackend> backend);
UiBackend* CurrentUiBackend();

// Non-zero when the backend is ready.
int InitRuntime(int instance, char* argv[], int reserved);
// Panel handle (positive), or a negative error code.
int LoadPanel(int parent, const char* fileName, int resourceId);
int DisplayPanel(int panel);
int DiscardPanel(int panel);
int RunUserInterface();
int QuitUserInterface(int code);
int GetPanelMenuBar(int panel);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, double* value);
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
// ATTR_CTRL_VAL with a text sets a text display; ATTR_VISIBLE with 0 or 1
// hides or shows a control.
int SetCtrlAttribute(int panel, int control, int attribute, const char* text);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
// ATTR_DIMMED with 1 dims a menu item and with 0 undims it.
int SetMenuBarAttribute(int menuBar, int item, int attribute, int value);
// Returns 0 (cancelled), 1 (an existing file) or 2 (a new name), with the full
// path of at most kMaxPathLength characters in `pathBuffer` (260 bytes).
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                    const char* fileTypeList, const char* title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char* pathBuffer);
// Non-zero for Yes.
int ConfirmPopup(const char* title, const char* message);
int MessagePopup(const char* title, const char* message);
