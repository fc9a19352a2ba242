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

// A file dialog in which an existing file can be picked or a new name
// typed. Returns false when cancelled; otherwise `path` is the absolute path.
bool AskForFilePath(QWidget* parent, const PopupRequest& request, std::string* path);

// A Yes/No question; true for Yes.
bool AskYesNo(QWidget* parent, const PopupRequest& request);

// An information box with OK; returns when it is dismissed.
void ShowMessage(QWidget* parent, const PopupRequest& request);
