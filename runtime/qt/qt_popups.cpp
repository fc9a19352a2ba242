#include "runtime/qt/qt_popups.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace {

const QString kOpenFromTitle = QStringLiteral("Open From File");
const QString kOpenToTitle = QStringLiteral("Open To File");

QString FilterFor(const QString& pattern) {
  if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*"))
    return QStringLiteral("All files (*)");
  return pattern;
}

QString ExistingFolderOr(const QString& folder, const QString& fallback) {
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : fallback;
}

// Qt's own file dialog opens larger than a small screen, its file-type row
// and buttons below the edge; it is made to fit inside the available area
// with room for a frame.
void FitOnScreen(QWidget* dialog, QWidget* parent) {
  const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr)
    return;
  const QSize frame(16, 48);
  const QSize room = screen->availableGeometry().size() - frame;
  const QSize size = dialog->sizeHint().expandedTo(dialog->size()).boundedTo(room);
  dialog->setMinimumSize(dialog->minimumSizeHint().boundedTo(size));
  dialog->resize(size);
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

FileDialogPlan PlanFileDialog(const PopupRequest& request, const FileDialogMemory& memory) {
  FileDialogPlan plan;
  plan.title = QString::fromStdString(request.title);
  const QString lastFolder = ExistingFolderOr(memory.lastFolder, QDir::homePath());
  if (plan.title == kOpenFromTitle) {
    plan.filters =
        QStringList{QStringLiteral("Dumps (*.txt *.csv)"), QStringLiteral("All files (*)")};
    plan.directory = lastFolder;
    plan.existingOnly = true;
  } else if (plan.title == kOpenToTitle) {
    plan.filters =
        QStringList{QStringLiteral("CSV files (*.csv)"), QStringLiteral("All files (*)")};
    plan.defaultSuffix = QStringLiteral("csv");
    plan.directory = lastFolder;
    if (!memory.lastFromPath.isEmpty()) {
      const QFileInfo from(memory.lastFromPath);
      plan.directory = ExistingFolderOr(from.absolutePath(), lastFolder);
      plan.proposedName = from.completeBaseName() + QStringLiteral(".csv");
    }
  } else {
    plan.filters = FileDialogFilters(request.defaultFileSpec, request.fileTypeList);
    plan.directory = QString::fromStdString(request.defaultDirectory);
  }
  return plan;
}

void RememberChosenFile(const PopupRequest& request, const std::string& path,
                        FileDialogMemory* memory) {
  const QString chosen = QFile::decodeName(path.c_str());
  const QFileInfo info(chosen);
  memory->lastFolder = info.absolutePath();
  if (QString::fromStdString(request.title) == kOpenFromTitle && info.isFile())
    memory->lastFromPath = info.absoluteFilePath();
}

QString RefusalOf(const QString& path) {
  const QFileInfo info(path);
  if (!QFileInfo(info.absolutePath()).isDir())
    return QStringLiteral("The folder %1 does not exist. Choose a folder that exists.")
        .arg(QDir::toNativeSeparators(info.absolutePath()));
  return QString();
}

bool AskForFilePath(QWidget* parent, const FileDialogPlan& plan, std::string* path) {
  QFileDialog dialog(parent, plan.title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // AnyFile lets the operator type the name of a file that does not exist yet.
  dialog.setFileMode(plan.existingOnly ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!plan.directory.isEmpty())
    dialog.setDirectory(plan.directory);
  dialog.setNameFilters(plan.filters);
  if (!plan.defaultSuffix.isEmpty())
    dialog.setDefaultSuffix(plan.defaultSuffix);
  if (!plan.proposedName.isEmpty())
    dialog.selectFile(plan.proposedName);
  FitOnScreen(&dialog, parent);
  for (;;) {
    if (dialog.exec() != QDialog::Accepted)
      return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
      return false;
    const QString refusal = RefusalOf(chosen.first());
    if (refusal.isEmpty()) {
      *path = QFile::encodeName(QDir::toNativeSeparators(chosen.first())).toStdString();
      return true;
    }
    QMessageBox::warning(&dialog, plan.title, refusal);
  }
}

bool AskYesNo(QWidget* parent, const PopupRequest& request) {
  return QMessageBox::question(
             parent, QString::fromStdString(request.title), QString::fromStdString(request.message),
             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool AskWithButtons(QWidget* parent, const PopupRequest& request, const QString& yesText,
                    const QString& noText) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(request.title),
                  QString::fromStdString(request.message), QMessageBox::NoButton, parent);
  QPushButton* yes = box.addButton(yesText, QMessageBox::AcceptRole);
  QPushButton* no = box.addButton(noText, QMessageBox::RejectRole);
  // The safe answer is the one Return gives.
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

void ShowMessage(QWidget* parent, const PopupRequest& request) {
  QMessageBox::information(parent, QString::fromStdString(request.title),
                           QString::fromStdString(request.message), QMessageBox::Ok);
}
