// What the desktop backend adds around a loaded panel without touching its
// controls: the line that says what the From file looks like, the window
// title, the Details… and Preview buttons beside the status, the Help and
// View menus, the files dropped on the window and a minimum size at which
// nothing is cut off.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "desktop/additions.h"

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class PreviewWindow;
class ExportWindow;
class WaveWindow;
struct ExportSource;

// The About box's text.
QString AboutText();
// The "How to convert a dump" page, as rich text.
QString HowToConvertText();

class PanelExtras : public QObject {
 public:
  // `onDrop` opens a dropped file; `busy` is true while a long task runs.
  PanelExtras(QWidget* window, std::function<void(const std::string&)> onDrop,
              std::function<bool()> busy);
  ~PanelExtras() override;

  void ShowFromFileKind(QWidget* fromTypeRing, const std::string& path, const std::string& kind,
                        int fittingValue);
  void ShowDetails(QWidget* statusControl, const std::string& details);
  void OfferPreview(QWidget* statusControl, const std::string& title, PreviewLoader loader);
  void AcceptDrops(bool accept);

  // Opened on demand (and kept); the window is a child of the panel window.
  void OpenDetails();
  void OpenPreview();
  void OpenHowTo();
  void OpenExport(const ExportSource& source);
  void OpenWaveStatistics(const ExportSource& source);
  // For the tests: the parts as they stand.
  QLabel* KindLabel() const { return kindLabel_; }
  QPushButton* DetailsButton() const { return detailsButton_; }
  QPushButton* PreviewButton() const { return previewButton_; }
  QDialog* DetailsDialog() const { return detailsDialog_; }
  PreviewWindow* Preview() const { return previewWindow_; }
  ExportWindow* Export() const { return exportWindow_; }
  WaveWindow* Waves() const { return waveWindow_; }
  // True once the preview's data has been read.
  bool PreviewReady() const { return previewData_ != nullptr; }
  const QString& DetailsText() const { return details_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddMenus();
  void PlaceButtons(QWidget* statusControl);
  void MarkRing();
  void StopPreviewLoad();
  void PreviewLoaded(std::shared_ptr<const PreviewSeries> data, unsigned generation);
  void FitMinimumSize();

  QWidget* window_;
  std::function<void(const std::string&)> onDrop_;
  std::function<bool()> busy_;
  QLabel* kindLabel_ = nullptr;
  QPointer<QComboBox> ring_;
  int fittingValue_ = 0;
  QString kindText_;
  QPushButton* detailsButton_ = nullptr;
  QPushButton* previewButton_ = nullptr;
  QAction* detailsAction_ = nullptr;
  QAction* previewAction_ = nullptr;
  QDialog* detailsDialog_ = nullptr;
  QPlainTextEdit* detailsView_ = nullptr;
  PreviewWindow* previewWindow_ = nullptr;
  ExportWindow* exportWindow_ = nullptr;
  WaveWindow* waveWindow_ = nullptr;
  QString details_;
  QString previewTitle_;
  std::shared_ptr<const PreviewSeries> previewData_;
  std::shared_ptr<std::atomic<bool>> previewStop_;
  std::thread previewThread_;
  unsigned previewGeneration_ = 0;
  bool fittedAtFirstShow_ = false;
};
