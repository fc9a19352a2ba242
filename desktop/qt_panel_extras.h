// What the desktop backend adds around a loaded panel without touching its
// controls: the line that says what the From file looks like, the window
// title, the Details… and Preview buttons beside the status, the Help and
// View menus, the files dropped on the window and a minimum size at which
// nothing is cut off.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "desktop/additions.h"

class QAction;
class QMenuBar;

class QComboBox;
class QLocale;
class OutcomeMarkButton;
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
// The words of the mark beside the status line ("3 warnings", "failed at
// line 12 — 2 records kept"), its counts grouped as `locale` groups them;
// empty for OutcomeKind::None. The tooltip says what the words mean.
QString OutcomeMarkText(const OutcomeMark& mark, const QLocale& locale);
QString OutcomeMarkToolTip(const OutcomeMark& mark, const QLocale& locale);

class PanelExtras : public QObject {
 public:
  // `onDrop` opens a dropped file; `busy` is true while a long task runs.
  PanelExtras(QWidget* window, std::function<void(const std::string&)> onDrop,
              std::function<bool()> busy);
  ~PanelExtras() override;

  void ShowFromFileKind(QWidget* fromTypeRing, const std::string& path, const std::string& kind,
                        const std::string& problem, int fittingValue, int fittingToValue);
  void ShowDetails(QWidget* statusControl, const std::string& details, const OutcomeMark& mark);
  void OfferPreview(QWidget* statusControl, const std::string& title, PreviewLoader loader);
  void AcceptDrops(bool accept);

  // Opened on demand (and kept); the window is a child of the panel window.
  void OpenDetails();
  void OpenPreview();
  void OpenHowTo();
  void OpenExport(const ExportSource& source);
  void OpenWaveStatistics(const WaveResults& results);
  // Shows a new conversion's statistics in the window when it is open.
  void FollowWaveStatistics(const WaveResults& results);
  // True once the preview's data has been read.
  bool PreviewReady() const { return previewData_ != nullptr; }
  // Chooses the From type the header fits, and the To type that goes with
  // it, as the "Use …" button does.
  void UseFittingTypes();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The tests look at the parts as they stand.
  friend class QtTestAccess;

  void AddMenus();
  void PlaceButtons(QWidget* statusControl);
  void MarkRing();
  void PlaceHint(QComboBox* ring);
  void FollowBrowseButtons();
  void AddKeypadEnter();
  void LookAtToFile();
  void FitHintHeight();
  void MarkOutcomeStale();
  void ShowOutcomeMark(const OutcomeMark& mark);
  void AddToDetails(const QString& words);
  void WidenForTheRow();
  QStringList HintWarnings() const;
  void ExplainDrop(const QStringList& files, const QStringList& folders);
  void StopPreviewLoad();
  void PreviewLoaded(std::shared_ptr<const PreviewSeries> data, unsigned generation);
  void FitMinimumSize();

  QWidget* window_;
  std::function<void(const std::string&)> onDrop_;
  std::function<bool()> busy_;
  QLabel* kindLabel_ = nullptr;
  QPushButton* useButton_ = nullptr;
  QPointer<QComboBox> ring_;
  QPointer<QComboBox> toRing_;
  QPointer<QWidget> startButton_;
  QString startToolTip_;
  int fittingValue_ = 0;
  int fittingToValue_ = -1;
  QString kindText_;
  QString problemText_;
  QString fromPath_;
  // What the To file holds: one of the To ring's values, or -1.
  int toHolds_ = -1;
  QPushButton* detailsButton_ = nullptr;
  QPushButton* previewButton_ = nullptr;
  OutcomeMarkButton* outcomeMark_ = nullptr;
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
