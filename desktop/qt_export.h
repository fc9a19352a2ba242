// File > Export…: a small form for the last conversion's dump written as
// NetCDF and/or tidy CSV, with the settings of the command line (units,
// clock offset and drift, time zone, the deployment file with its `qc`
// section, the barometer record). The settings
// belong to one dump: another dump starts from the defaults, or from what
// it was last exported with. An export shows its progress with Cancel, as a
// conversion does, and the window keeps painting meanwhile.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QDialog>

#include "outputs/export_run.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

class ExportWindow : public QDialog {
 public:
  explicit ExportWindow(QWidget* parent = nullptr);

  // The dump the last conversion read; an empty path when there is none.
  void SetSource(const ExportSource& source);
  ExportForm Form() const;
  // The folder the outputs go to; the dump's own when empty.
  QString Folder() const;
  // Runs the export as the Export button does; the outcome is shown in the
  // window and returned.
  ExportResult Export();

  // For the tests.
  QCheckBox* NetcdfBox() const { return netcdf_; }
  QCheckBox* TidyBox() const { return tidy_; }
  QLineEdit* UnitsEdit() const { return units_; }
  QDoubleSpinBox* OffsetBox() const { return offset_; }
  QCheckBox* DriftBox() const { return driftGiven_; }
  QDoubleSpinBox* DriftValueBox() const { return drift_; }
  QLineEdit* DeploymentEdit() const { return deployment_; }
  QLineEdit* BarometerEdit() const { return barometer_; }
  QLineEdit* ZoneEdit() const { return zone_; }
  QLineEdit* FolderEdit() const { return folder_; }
  QLabel* Outcome() const { return outcome_; }
  QPushButton* ExportButton() const { return export_; }
  // Answers the question before files are replaced in place of the dialog
  // that asks it (true: replace).
  void AnswerReplaceWith(std::function<bool(const std::vector<std::string>&)> answer) {
    answerReplace_ = std::move(answer);
  }
  // Told of every export that wrote its files, with the words for Details.
  void TellExported(std::function<void(const QString& words)> told) { told_ = std::move(told); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowTargets();
  void ChooseDeployment();
  void ChooseBarometer();
  // What is wrong with the files the form names, in words; empty when
  // they can be read.
  QString FileProblem(const ExportForm& form) const;
  void ChooseFolder();
  bool MayReplace(const std::vector<std::string>& existing);
  // Fills the settings that belong to one dump (units, clock, zone,
  // deployment) from `form`.
  void ShowDumpSettings(const ExportForm& form);

  ExportSource source_;
  QLabel* dump_;
  QCheckBox* netcdf_;
  QCheckBox* tidy_;
  QLineEdit* units_;
  QDoubleSpinBox* offset_;
  QCheckBox* driftGiven_;
  QDoubleSpinBox* drift_;
  QLineEdit* deployment_;
  QLineEdit* barometer_;
  QLineEdit* zone_;
  QLineEdit* folder_;
  // The settings last exported with, by dump: one instrument's clock
  // correction is never carried over to another's dump.
  std::map<std::string, ExportForm> formsByDump_;
  QLabel* targets_;
  QLabel* outcome_;
  QPushButton* export_;
  std::function<bool(const std::vector<std::string>&)> answerReplace_;
  std::function<void(const QString&)> told_;
};
