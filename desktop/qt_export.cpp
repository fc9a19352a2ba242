#include "desktop/qt_export.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "convert/dump_types.h"
#include "desktop/additions.h"
#include "desktop/preview_tests.h"
#include "desktop/window_fit.h"
#include "outputs/formats.h"

namespace {

constexpr double kLargestClockError = 1e8;  // seconds, about three years
constexpr int kClockDecimals = 3;
const QSize kPreferredSize(520, 360);

QDoubleSpinBox* SecondsBox(QWidget* parent, const QString& name) {
  auto* box = new QDoubleSpinBox(parent);
  box->setObjectName(name);
  box->setRange(-kLargestClockError, kLargestClockError);
  box->setDecimals(kClockDecimals);
  box->setSuffix(QStringLiteral(" s"));
  return box;
}

// A line edit with a Browse… button beside it.
QWidget* WithBrowse(QLineEdit* edit, QPushButton** button, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(edit, 1);
  *button = new QPushButton(QStringLiteral("Browse…"), row);
  layout->addWidget(*button);
  return row;
}

QString Native(const std::string& path) {
  return QDir::toNativeSeparators(QString::fromStdString(path));
}

// What an export wrote and the flags its readings got, for Details.
QString ExportInWords(const ExportResult& result, const ExportForm& form) {
  QStringList written;
  for (const std::string& path : result.written)
    written << Native(path);
  QString text = QStringLiteral("Exported: %1\n").arg(written.join(QStringLiteral(", ")));
  if (!form.deploymentFile.empty())
    text += QStringLiteral("Deployment file: %1\n").arg(Native(form.deploymentFile));
  if (!form.barometerFile.empty())
    text += QStringLiteral("Barometer file: %1\n").arg(Native(form.barometerFile));
  text += QStringLiteral("Quality flags of the readings, by test:\n") +
          QString::fromStdString(TalliesInWords(result.flags));
  return text;
}

}  // namespace

ExportWindow::ExportWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("exportWindow"));
  setWindowTitle(QStringLiteral("Export — ZORQConvert"));
  setModal(false);

  dump_ = new QLabel(this);
  dump_->setWordWrap(true);
  netcdf_ = new QCheckBox(QStringLiteral("&NetCDF-4 (.nc)"), this);
  netcdf_->setObjectName(QStringLiteral("exportNetcdf"));
  netcdf_->setChecked(true);
  tidy_ = new QCheckBox(QStringLiteral("&Tidy CSV (.tidy.csv)"), this);
  tidy_->setObjectName(QStringLiteral("exportTidy"));
  auto* formats = new QHBoxLayout;
  formats->addWidget(netcdf_);
  formats->addWidget(tidy_);
  formats->addStretch(1);

  units_ = new QLineEdit(this);
  units_->setObjectName(QStringLiteral("exportUnits"));
  units_->setPlaceholderText(QStringLiteral("m for logger dumps, 1 for gauge dumps"));
  units_->setToolTip(QStringLiteral("The readings' units, as --units gives them"));
  offset_ = SecondsBox(this, QStringLiteral("exportClockOffset"));
  offset_->setToolTip(QStringLiteral("Instrument clock minus true time at the first reading"));
  driftGiven_ = new QCheckBox(QStringLiteral("at the last reading:"), this);
  driftGiven_->setObjectName(QStringLiteral("exportDriftGiven"));
  drift_ = SecondsBox(this, QStringLiteral("exportClockDrift"));
  drift_->setEnabled(false);
  drift_->setToolTip(QStringLiteral(
      "Instrument clock minus true time at the last reading; applied linearly over the time "
      "between the first and last readings"));
  auto* driftRow = new QHBoxLayout;
  driftRow->addWidget(driftGiven_);
  driftRow->addWidget(drift_, 1);
  deployment_ = new QLineEdit(this);
  deployment_->setObjectName(QStringLiteral("exportDeployment"));
  deployment_->setPlaceholderText(QStringLiteral("none"));
  deployment_->setToolTip(QStringLiteral(
      "A JSON file of title, site, instrument serial, position, depths and creator, and in "
      "its qc section the quality tests to run"));
  zone_ = new QLineEdit(this);
  zone_->setObjectName(QStringLiteral("exportZone"));
  zone_->setToolTip(QStringLiteral(
      "The time zone the dump's clock was set to, as a name of the time-zone database "
      "(Europe/Berlin, UTC); its times are converted from there to UTC"));
  QPushButton* deploymentBrowse = nullptr;
  QWidget* deploymentRow = WithBrowse(deployment_, &deploymentBrowse, this);
  barometer_ = new QLineEdit(this);
  barometer_->setObjectName(QStringLiteral("exportBarometer"));
  barometer_->setPlaceholderText(QStringLiteral("none"));
  barometer_->setToolTip(QStringLiteral(
      "The air pressure at the site (a CSV of time and air_pressure, or a NetCDF file), taken "
      "off pressure readings"));
  QPushButton* barometerBrowse = nullptr;
  QWidget* barometerRow = WithBrowse(barometer_, &barometerBrowse, this);
  folder_ = new QLineEdit(this);
  folder_->setObjectName(QStringLiteral("exportFolder"));
  folder_->setPlaceholderText(QStringLiteral("beside the dump"));
  QPushButton* folderBrowse = nullptr;
  QWidget* folderRow = WithBrowse(folder_, &folderBrowse, this);

  auto* form = new QFormLayout;
  form->setRowWrapPolicy(QFormLayout::WrapLongRows);
  form->addRow(QStringLiteral("Dump:"), dump_);
  form->addRow(QStringLiteral("Write:"), formats);
  form->addRow(QStringLiteral("&Units:"), units_);
  form->addRow(QStringLiteral("Clock &offset:"), offset_);
  form->addRow(QStringLiteral("Clock drift:"), driftRow);
  form->addRow(QStringLiteral("Time &zone:"), zone_);
  form->addRow(QStringLiteral("&Deployment file:"), deploymentRow);
  form->addRow(QStringLiteral("&Barometer file:"), barometerRow);
  form->addRow(QStringLiteral("&Folder:"), folderRow);

  targets_ = new QLabel(this);
  targets_->setObjectName(QStringLiteral("exportTargets"));
  targets_->setWordWrap(true);
  outcome_ = new QLabel(this);
  outcome_->setObjectName(QStringLiteral("exportOutcome"));
  outcome_->setWordWrap(true);
  outcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  export_ = buttons->addButton(QStringLiteral("&Export"), QDialogButtonBox::ActionRole);
  export_->setObjectName(QStringLiteral("exportRun"));
  export_->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(targets_);
  layout->addWidget(outcome_);
  layout->addStretch(1);
  layout->addWidget(buttons);

  connect(driftGiven_, &QCheckBox::toggled, drift_, &QWidget::setEnabled);
  connect(netcdf_, &QCheckBox::toggled, this, [this] { ShowTargets(); });
  connect(tidy_, &QCheckBox::toggled, this, [this] { ShowTargets(); });
  connect(folder_, &QLineEdit::textChanged, this, [this] { ShowTargets(); });
  connect(deploymentBrowse, &QPushButton::clicked, this, [this] { ChooseDeployment(); });
  connect(barometerBrowse, &QPushButton::clicked, this, [this] { ChooseBarometer(); });
  connect(folderBrowse, &QPushButton::clicked, this, [this] { ChooseFolder(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
  connect(export_, &QPushButton::clicked, this, [this] { Export(); });
  SetSource({});
  resize(kPreferredSize);
}

void ExportWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FitToScreen(this, size());
}

void ExportWindow::SetSource(const ExportSource& source) {
  if (source.dumpPath != source_.dumpPath) {
    const auto known = formsByDump_.find(source.dumpPath);
    ShowDumpSettings(known != formsByDump_.end() ? known->second : ExportForm{});
  }
  source_ = source;
  zone_->setPlaceholderText(QString::fromStdString(source_.zone.name()));
  if (zone_->text().isEmpty())
    zone_->setText(QString::fromStdString(source_.zone.name()));
  if (source_.dumpPath.empty()) {
    dump_->setText(QStringLiteral("No conversion yet: convert a dump, then export it."));
  } else {
    dump_->setText(QStringLiteral("%1 (%2)").arg(
        Native(source_.dumpPath), IsGaugeDump(source_.fromType) ? QStringLiteral("gauge dump")
                                                                : QStringLiteral("logger dump")));
  }
  outcome_->clear();
  ShowTargets();
}

ExportForm ExportWindow::Form() const {
  ExportForm form;
  form.netcdf = netcdf_->isChecked();
  form.tidy = tidy_->isChecked();
  form.units = units_->text().trimmed().toStdString();
  form.clockOffset = offset_->value();
  form.driftGiven = driftGiven_->isChecked();
  form.clockDrift = drift_->value();
  form.deploymentFile = deployment_->text().trimmed().toStdString();
  form.barometerFile = barometer_->text().trimmed().toStdString();
  form.zone = zone_->text().trimmed().toStdString();
  return form;
}

void ExportWindow::ShowDumpSettings(const ExportForm& form) {
  units_->setText(QString::fromStdString(form.units));
  offset_->setValue(form.clockOffset);
  driftGiven_->setChecked(form.driftGiven);
  drift_->setValue(form.clockDrift);
  deployment_->setText(QString::fromStdString(form.deploymentFile));
  barometer_->setText(QString::fromStdString(form.barometerFile));
  zone_->setText(QString::fromStdString(form.zone));
}

QString ExportWindow::Folder() const {
  return folder_->text().trimmed();
}

void ExportWindow::ShowTargets() {
  const bool any = netcdf_->isChecked() || tidy_->isChecked();
  export_->setEnabled(!source_.dumpPath.empty() && any);
  if (source_.dumpPath.empty()) {
    targets_->clear();
    return;
  }
  QStringList names;
  const std::string folder = Folder().toStdString();
  if (netcdf_->isChecked())
    names << Native(ExportPathFor(source_.dumpPath, folder, kNetcdfExtension));
  if (tidy_->isChecked())
    names << Native(ExportPathFor(source_.dumpPath, folder, kTidyExtension));
  targets_->setText(any ? QStringLiteral("Writes %1").arg(names.join(QStringLiteral(" and ")))
                        : QStringLiteral("Choose NetCDF, tidy CSV or both."));
}

void ExportWindow::ChooseDeployment() {
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("Deployment File"), deployment_->text(),
                                   QStringLiteral("JSON files (*.json);;All files (*)"));
  if (!path.isEmpty())
    deployment_->setText(path);
}

void ExportWindow::ChooseBarometer() {
  const QString path = QFileDialog::getOpenFileName(
      this, QStringLiteral("Barometer File"), barometer_->text(),
      QStringLiteral("Air pressure records (*.csv *.nc);;All files (*)"));
  if (!path.isEmpty())
    barometer_->setText(path);
}

QString ExportWindow::FileProblem(const ExportForm& form) const {
  const struct {
    const std::string& path;
    const char* what;
  } files[] = {{form.deploymentFile, "deployment file"}, {form.barometerFile, "barometer file"}};
  for (const auto& file : files) {
    if (file.path.empty())
      continue;
    const QFileInfo info(QString::fromStdString(file.path));
    const QString name = QDir::toNativeSeparators(info.filePath());
    if (!info.exists())
      return QStringLiteral(
                 "The %1 %2 does not exist. Choose it with Browse…, or clear the "
                 "field to export without one.")
          .arg(QString::fromLatin1(file.what), name);
    if (info.isDir() || !info.isReadable())
      return QStringLiteral("The %1 %2 cannot be read: choose a file you may read.")
          .arg(QString::fromLatin1(file.what), name);
  }
  return QString();
}

void ExportWindow::ChooseFolder() {
  QString start = Folder();
  if (start.isEmpty() && !source_.dumpPath.empty())
    start = QFileInfo(QString::fromStdString(source_.dumpPath)).absolutePath();
  const QString path =
      QFileDialog::getExistingDirectory(this, QStringLiteral("Export Into Folder"), start);
  if (!path.isEmpty())
    folder_->setText(path);
}

// Asks before files that exist are replaced; a dump is never replaced by
// its own export (the export refuses that whatever is answered here).
bool ExportWindow::MayReplace(const std::vector<std::string>& existing) {
  if (answerReplace_)
    return answerReplace_(existing);
  QStringList names;
  for (const std::string& path : existing)
    names << Native(path);
  const QString text = existing.size() == 1
                           ? QStringLiteral("%1 exists. Replace it?").arg(names.front())
                           : QStringLiteral("These files exist: %1. Replace them?")
                                 .arg(names.join(QStringLiteral(", ")));
  return QMessageBox::question(this, QStringLiteral("Replace Files?"), text,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

ExportResult ExportWindow::Export() {
  const ExportForm form = Form();
  const std::string folder = Folder().toStdString();
  formsByDump_[source_.dumpPath] = form;
  ExportResult result;
  if (const QString problem = FileProblem(form); !problem.isEmpty()) {
    result.error = problem.toStdString();
    outcome_->setText(problem);
    return result;
  }
  const std::vector<std::string> existing = ExistingExportPaths(source_, form, folder);
  if (!existing.empty() && !MayReplace(existing)) {
    outcome_->setText(QStringLiteral("Not exported: nothing was replaced."));
    return result;
  }
  outcome_->setText(QStringLiteral("Exporting…"));
  export_->setEnabled(false);
  RunWithProgress("Exporting", [&](ProgressReporter& progress) {
    result = RunExport(
        source_, form, folder, !existing.empty(),
        [&](int64_t done, int64_t total) { progress.Report(done, total); },
        [&] { return progress.CancelRequested(); });
  });
  export_->setEnabled(true);
  QString text;
  if (result.ok) {
    QStringList written;
    for (const std::string& path : result.written)
      written << Native(path);
    text = QStringLiteral("Written: %1").arg(written.join(QStringLiteral(", ")));
  } else if (result.cancelled) {
    text = QStringLiteral("Cancelled: nothing was written.");
  } else {
    text = QString::fromStdString(result.error);
  }
  for (const std::string& warning : result.warnings)
    text += QStringLiteral("\n") + QString::fromStdString(warning);
  outcome_->setText(text);
  if (result.ok) {
    ChooseDeploymentFor(source_.dumpPath, form.deploymentFile);
    if (told_)
      told_(ExportInWords(result, form));
  }
  return result;
}
