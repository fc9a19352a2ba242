#include "runtime/qt/qt_popups.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

namespace {

QString FilterFor(const QString& pattern) {
  if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) {
    return QStringLiteral("All files (*)");
  }
  return pattern;
}

}  // namespace

QStringList FileDialogFilters(const std::string& defaultFileSpec, const std::string& fileTypeList) {
  QStringList patterns;
  patterns << QString::fromStdString(defaultFileSpec)
           << QString::fromStdString(fileTypeList).split(QLatin1Char(';'));
  QStringList filters;
  for (const QString& pattern : patterns) {
    const QString trimmed = pattern.trimmed();
    if (trimmed.isEmpty())
      continue;
    const QString filter = FilterFor(trimmed);
    if (!filters.contains(filter))
      filters << filter;
  }
  if (filters.isEmpty())
    filters << FilterFor(QStringLiteral("*"));
  return filters;
}

bool AskForFilePath(QWidget* parent, const PopupRequest& request, std::string* path) {
  QFileDialog dialog(parent, QString::fromStdString(request.title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // AnyFile lets the operator type the name of a file that does not exist yet.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.defaultDirectory.empty()) {
    dialog.setDirectory(QString::fromStdString(request.defaultDirectory));
  }
  dialog.setNameFilters(FileDialogFilters(request.defaultFileSpec, request.fileTypeList));
  if (dialog.exec() != QDialog::Accepted)
    return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty())
    return false;
  *path = QFile::encodeName(QDir::toNativeSeparators(chosen.first())).toStdString();
  return true;
}

bool AskYesNo(QWidget* parent, const PopupRequest& request) {
  return QMessageBox::question(
             parent, QString::fromStdString(request.title), QString::fromStdString(request.message),
             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void ShowMessage(QWidget* parent, const PopupRequest& request) {
  QMessageBox::information(parent, QString::fromStdString(request.title),
                           QString::fromStdString(request.message), QMessageBox::Ok);
}
