// The popups as modal Qt dialogs.
#pragma once

#include <QStringList>
#include <string>

#include "runtime/popups.h"

class QWidget;

// The name filters a file dialog offers: the default file pattern first, then each
// pattern of the semicolon-separated list, without repeats. "*.*" means
// every file, as it does where these lists come from.
QStringList FileDialogFilters(const std::string& defaultFileSpec, const std::string& fileTypeList);

// What the file dialogs remember between popups.
struct FileDialogMemory {
  QString lastFolder;    // the folder of the last file chosen
  QString lastFromPath;  // the last file chosen in "Open From File"
};

// How one file dialog is shown. "Open From File" lists the dumps first and
// takes existing files only, starting in the last folder used (or home);
// "Open To File" starts in the From file's folder, proposes "<dump name>.csv"
// and adds ".csv" to a name typed without an extension. Any other title
// gets the filters and folder the request names.
struct FileDialogPlan {
  QString title;
  QStringList filters;
  QString directory;     // empty: the dialog's own choice
  QString proposedName;  // empty: none
  QString defaultSuffix;
  bool existingOnly = false;
};
FileDialogPlan PlanFileDialog(const PopupRequest& request, const FileDialogMemory& memory);

// Remembers the folder (and for "Open From File" the file) of a chosen path.
void RememberChosenFile(const PopupRequest& request, const std::string& path,
                        FileDialogMemory* memory);

// Why a chosen path is refused (a folder that does not exist), or empty.
QString RefusalOf(const QString& path);

// A file dialog shown as `plan` says. Returns false when cancelled;
// otherwise `path` is the absolute path. A path in a folder that does not
// exist is explained and the dialog shown again.
bool AskForFilePath(QWidget* parent, const FileDialogPlan& plan, std::string* path);

// A Yes/No question; true for Yes.
bool AskYesNo(QWidget* parent, const PopupRequest& request);
// The same question with buttons that say what each answer does; true for
// `yesText`, false for `noText`, Escape or the close box.
bool AskWithButtons(QWidget* parent, const PopupRequest& request, const QString& yesText,
                    const QString& noText);

// An information box with OK; returns when it is dismissed.
void ShowMessage(QWidget* parent, const PopupRequest& request);
