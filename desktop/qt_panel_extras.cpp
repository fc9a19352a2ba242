#include "desktop/qt_panel_extras.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <vector>

#include "desktop/qt_export.h"
#include "desktop/qt_preview.h"
#include "desktop/qt_wave_window.h"
#include "desktop/window_fit.h"

#ifndef ZORQ_VERSION
#error "ZORQ_VERSION must name the program's version"
#endif

namespace {

const QString kProgram = QStringLiteral("ZORQConvert");
constexpr char kDisagreesProperty[] = "zorqDisagrees";

// The first local file among the dropped URLs; empty when there is none.
QString DroppedFile(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls())
    return QString();
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
      return url.toLocalFile();
  }
  return QString();
}

QBoxLayout* BoxLayoutHolding(QWidget* window, QWidget* widget, int* index) {
  for (QBoxLayout* layout : window->findChildren<QBoxLayout*>()) {
    const int found = layout->indexOf(widget);
    if (found >= 0) {
      *index = found;
      return layout;
    }
  }
  return nullptr;
}

}  // namespace

QString AboutText() {
  return QStringLiteral(
             "<h3>ZORQConvert %1</h3>"
             "<p>Converts the flash dumps of wave instruments (logger and gauge dumps) into "
             "fixed-format CSV files.</p>"
             "<p>Free software under the GNU General Public License, version 3 or later "
             "(GPL-3.0-or-later). It comes with no warranty.</p>"
             "<p>Built with Qt %2; the preview is drawn with Qt Charts, used under the GNU "
             "General Public License, version 3.</p>")
      .arg(QStringLiteral(ZORQ_VERSION), QString::fromLatin1(qVersion()));
}

QString HowToConvertText() {
  return QStringLiteral(
      "<h3>How to convert a dump</h3>"
      "<ol>"
      "<li><b>File &gt; Open From File…</b> (Ctrl+O) and choose the dump, or drop the dump on "
      "the window. The line under the From type says what its header looks like.</li>"
      "<li>Choose the <b>From type</b>: <i>Logger dump, type 1</i> or <i>type 2</i>, or "
      "<i>Gauge dump</i>. A From type that does not fit the header is marked.</li>"
      "<li>Choose the <b>To type</b>: <i>Logger CSV</i> for a logger dump, <i>Gauge CSV</i> "
      "for a gauge dump.</li>"
      "<li><b>File &gt; Open To File…</b> (Ctrl+T). A new name creates the file; an existing "
      "file is appended to, after you confirm.</li>"
      "<li>For logger dumps, <b>Linear correction</b> writes M·x + B in place of each "
      "reading x.</li>"
      "<li>Press <b>START CONVERT</b>. A long conversion shows its progress and can be "
      "cancelled; a cancelled conversion leaves the To file as it was.</li>"
      "</ol>"
      "<p>The status line then reads <i>Finished All</i> or the first failure. "
      "<b>Details…</b> (Ctrl+D) tells what was read and written, with the line numbers of "
      "anything unusual; <b>Preview</b> (Ctrl+P) draws the converted readings.</p>"
      "<p>Right-click START CONVERT for a short reminder.</p>");
}

PanelExtras::PanelExtras(QWidget* window, std::function<void(const std::string&)> onDrop,
                         std::function<bool()> busy)
    : QObject(window), window_(window), onDrop_(std::move(onDrop)), busy_(std::move(busy)) {
  AddMenus();
  window_->installEventFilter(this);
}

PanelExtras::~PanelExtras() {
  StopPreviewLoad();
}

void PanelExtras::AddMenus() {
  auto* mainWindow = qobject_cast<QMainWindow*>(window_);
  QMenuBar* bar = mainWindow != nullptr ? mainWindow->menuBar() : window_->findChild<QMenuBar*>();
  if (bar == nullptr)
    return;
  // The panel file's View menu (Wave statistics) when it has one.
  QMenu* view = bar->findChild<QMenu*>(QStringLiteral("viewMenu"));
  QAction* first = nullptr;
  if (view == nullptr) {
    view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
  } else if (!view->actions().isEmpty()) {
    first = view->actions().first();
  }
  detailsAction_ = new QAction(QStringLiteral("Conversion &Details…"), view);
  view->insertAction(first, detailsAction_);
  detailsAction_->setObjectName(QStringLiteral("actionDetails"));
  detailsAction_->setShortcut(QKeySequence(QStringLiteral("Ctrl+D")));
  detailsAction_->setEnabled(false);
  connect(detailsAction_, &QAction::triggered, this, [this] { OpenDetails(); });
  previewAction_ = new QAction(QStringLiteral("&Preview…"), view);
  view->insertAction(first, previewAction_);
  previewAction_->setObjectName(QStringLiteral("actionPreview"));
  previewAction_->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
  previewAction_->setEnabled(false);
  connect(previewAction_, &QAction::triggered, this, [this] { OpenPreview(); });
  if (first != nullptr)
    view->insertSeparator(first);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("helpMenu"));
  QAction* howTo = help->addAction(QStringLiteral("&How to convert a dump"));
  howTo->setObjectName(QStringLiteral("actionHowTo"));
  howTo->setShortcut(QKeySequence::HelpContents);
  connect(howTo, &QAction::triggered, this, [this] { OpenHowTo(); });
  help->addSeparator();
  QAction* about = help->addAction(QStringLiteral("&About ZORQConvert"));
  about->setObjectName(QStringLiteral("actionAbout"));
  connect(about, &QAction::triggered, this, [this] {
    QMessageBox::about(window_, QStringLiteral("About ZORQConvert"), AboutText());
  });
}

// A scrolling page, so that its OK button stays on a small screen.
void PanelExtras::OpenHowTo() {
  QDialog box(window_);
  box.setObjectName(QStringLiteral("howToDialog"));
  box.setWindowTitle(QStringLiteral("How to convert a dump"));
  auto* text = new QTextBrowser(&box);
  text->setHtml(HowToConvertText());
  text->setOpenExternalLinks(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  auto* layout = new QVBoxLayout(&box);
  layout->addWidget(text, 1);
  layout->addWidget(buttons);
  box.resize(560, 520);
  FitToScreen(&box, box.size());
  box.exec();
}

void PanelExtras::AcceptDrops(bool accept) {
  window_->setAcceptDrops(accept);
}

bool PanelExtras::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window_)
    return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (!busy_() && !DroppedFile(drag->mimeData()).isEmpty()) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QString path = DroppedFile(drop->mimeData());
      if (busy_() || path.isEmpty()) {
        drop->ignore();
        return true;
      }
      drop->acceptProposedAction();
      onDrop_(QFile::encodeName(path).toStdString());
      return true;
    }
    case QEvent::Show:
      if (!fittedAtFirstShow_) {
        fittedAtFirstShow_ = true;
        FitMinimumSize();
      }
      return false;
    case QEvent::LayoutRequest:
      // A longer text (a status message, a path) may need more room than
      // the size fitted at the start.
      window_->setMinimumSize(window_->minimumSize().expandedTo(window_->minimumSizeHint()));
      return false;
    default:
      return false;
  }
}

void PanelExtras::ShowFromFileKind(QWidget* fromTypeRing, const std::string& path,
                                   const std::string& kind, int fittingValue) {
  auto* ring = qobject_cast<QComboBox*>(fromTypeRing);
  if (kindLabel_ == nullptr && ring != nullptr) {
    kindLabel_ = new QLabel(window_);
    kindLabel_->setObjectName(QStringLiteral("fromKind"));
    kindLabel_->setWordWrap(true);
    kindLabel_->setToolTip(
        QStringLiteral("What the From file's header looks like; the From type is yours to "
                       "choose"));
    if (auto* form = qobject_cast<QFormLayout*>(ring->parentWidget()->layout())) {
      int row = 0;
      QFormLayout::ItemRole role = QFormLayout::FieldRole;
      form->getWidgetPosition(ring, &row, &role);
      form->insertRow(row + 1, QStringLiteral("Looks like:"), kindLabel_);
    } else if (auto* box = qobject_cast<QBoxLayout*>(ring->parentWidget()->layout())) {
      box->addWidget(kindLabel_);
    }
    connect(ring, &QComboBox::currentIndexChanged, this, [this] { MarkRing(); });
    FitMinimumSize();
  }
  ring_ = ring;
  fittingValue_ = path.empty() ? 0 : fittingValue;
  kindText_ = path.empty() ? QString() : QString::fromStdString(kind);
  const QString name = QFileInfo(QFile::decodeName(path.c_str())).fileName();
  window_->setWindowTitle(name.isEmpty() ? kProgram : name + QStringLiteral(" \u2014 ") + kProgram);
  MarkRing();
}

void PanelExtras::MarkRing() {
  if (kindLabel_ == nullptr || ring_ == nullptr)
    return;
  const int chosen = ring_->currentData().toInt();
  const bool disagrees = fittingValue_ != 0 && chosen != fittingValue_;
  ring_->setProperty(kDisagreesProperty, disagrees);
  QString text = kindText_;
  if (disagrees) {
    const QString fits = ring_->itemText(ring_->findData(fittingValue_));
    text = QStringLiteral("\u26a0 ") + kindText_ +
           QStringLiteral(" \u2014 the header fits \u201c%1\u201d, not the From type chosen")
               .arg(fits);
    kindLabel_->setStyleSheet(QStringLiteral("color: #a04800; font-weight: bold;"));
    ring_->setToolTip(
        QStringLiteral("The From file's header fits \u201c%1\u201d; this choice does not")
            .arg(fits));
  } else {
    kindLabel_->setStyleSheet(QString());
    ring_->setToolTip(QStringLiteral("The kind of dump the From file holds"));
  }
  kindLabel_->setText(text);
}

void PanelExtras::PlaceButtons(QWidget* statusControl) {
  if (detailsButton_ != nullptr || statusControl == nullptr)
    return;
  detailsButton_ = new QPushButton(QStringLiteral("&Details…"), window_);
  detailsButton_->setObjectName(QStringLiteral("detailsButton"));
  detailsButton_->setToolTip(
      QStringLiteral("What the last conversion read and wrote, with the line numbers of anything "
                     "unusual (Ctrl+D)"));
  detailsButton_->setEnabled(false);
  connect(detailsButton_, &QPushButton::clicked, this, [this] { OpenDetails(); });
  previewButton_ = new QPushButton(QStringLiteral("&Preview"), window_);
  previewButton_->setObjectName(QStringLiteral("previewButton"));
  previewButton_->setToolTip(
      QStringLiteral("Draw the readings the last conversion wrote (Ctrl+P)"));
  previewButton_->setEnabled(false);
  connect(previewButton_, &QPushButton::clicked, this, [this] { OpenPreview(); });
  int index = 0;
  if (QBoxLayout* box = BoxLayoutHolding(window_, statusControl, &index)) {
    box->insertWidget(index + 1, detailsButton_);
    box->insertWidget(index + 2, previewButton_);
  }
  FitMinimumSize();
}

void PanelExtras::ShowDetails(QWidget* statusControl, const std::string& details) {
  PlaceButtons(statusControl);
  details_ = QString::fromStdString(details);
  const bool any = !details_.isEmpty();
  if (detailsButton_ != nullptr)
    detailsButton_->setEnabled(any);
  if (detailsAction_ != nullptr)
    detailsAction_->setEnabled(any);
  if (detailsView_ != nullptr)
    detailsView_->setPlainText(details_);
}

void PanelExtras::OpenDetails() {
  if (busy_() || details_.isEmpty())
    return;
  if (detailsDialog_ == nullptr) {
    detailsDialog_ = new QDialog(window_);
    detailsDialog_->setObjectName(QStringLiteral("detailsDialog"));
    detailsDialog_->setWindowTitle(QStringLiteral("Conversion details \u2014 ZORQConvert"));
    auto* layout = new QVBoxLayout(detailsDialog_);
    detailsView_ = new QPlainTextEdit(detailsDialog_);
    detailsView_->setObjectName(QStringLiteral("detailsText"));
    detailsView_->setReadOnly(true);
    detailsView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, detailsDialog_);
    connect(buttons, &QDialogButtonBox::rejected, detailsDialog_, &QDialog::hide);
    layout->addWidget(detailsView_);
    layout->addWidget(buttons);
    detailsDialog_->resize(620, 360);
    FitToScreen(detailsDialog_, detailsDialog_->size());
  }
  detailsView_->setPlainText(details_);
  detailsDialog_->show();
  detailsDialog_->raise();
}

void PanelExtras::StopPreviewLoad() {
  if (previewStop_ != nullptr)
    previewStop_->store(true);
  if (previewThread_.joinable())
    previewThread_.join();
  previewStop_.reset();
}

void PanelExtras::OfferPreview(QWidget* statusControl, const std::string& title,
                               PreviewLoader loader) {
  PlaceButtons(statusControl);
  StopPreviewLoad();
  previewData_.reset();
  previewTitle_ = QString::fromStdString(title);
  const unsigned generation = ++previewGeneration_;
  const bool offered = static_cast<bool>(loader);
  if (previewButton_ != nullptr)
    previewButton_->setEnabled(offered);
  if (previewAction_ != nullptr)
    previewAction_->setEnabled(offered);
  if (!offered) {
    if (previewWindow_ != nullptr)
      previewWindow_->hide();
    return;
  }
  if (previewWindow_ != nullptr && previewWindow_->isVisible())
    previewWindow_->ShowLoading(previewTitle_, QStringLiteral("Drawing the readings…"));
  // The output is read on a thread of its own; the panel stays free.
  auto stop = std::make_shared<std::atomic<bool>>(false);
  previewStop_ = stop;
  previewThread_ = std::thread([this, loader = std::move(loader), stop, generation] {
    auto data = std::make_shared<const PreviewSeries>(loader(*stop));
    if (stop->load())
      return;
    QMetaObject::invokeMethod(
        this, [this, data, generation] { PreviewLoaded(data, generation); }, Qt::QueuedConnection);
  });
}

void PanelExtras::PreviewLoaded(std::shared_ptr<const PreviewSeries> data, unsigned generation) {
  if (generation != previewGeneration_)
    return;
  previewData_ = std::move(data);
  if (previewWindow_ != nullptr && previewWindow_->isVisible())
    previewWindow_->SetSeries(previewData_);
}

void PanelExtras::OpenPreview() {
  if (busy_() || previewButton_ == nullptr || !previewButton_->isEnabled())
    return;
  if (previewWindow_ == nullptr)
    previewWindow_ = new PreviewWindow(window_);
  if (previewData_ != nullptr) {
    previewWindow_->SetSeries(previewData_);
  } else {
    previewWindow_->ShowLoading(previewTitle_, QStringLiteral("Drawing the readings…"));
  }
  previewWindow_->show();
  previewWindow_->raise();
}

// The smallest size at which every control fits, the correction's hidden
// ones included, so that switching them on never cuts anything off.
void PanelExtras::FitMinimumSize() {
  std::vector<QWidget*> shownForAMoment;
  for (QWidget* widget : window_->findChildren<QWidget*>()) {
    const bool tagged = widget->property("zorqId").isValid() &&
                        widget->property("zorqKind").toString() != QLatin1String("timer");
    auto* label = qobject_cast<QLabel*>(widget);
    const bool buddyLabel = label != nullptr && label->buddy() != nullptr &&
                            label->buddy()->property("zorqId").isValid();
    if ((tagged || buddyLabel) && widget->isHidden()) {
      widget->setVisible(true);
      shownForAMoment.push_back(widget);
    }
  }
  if (QLayout* layout = window_->layout())
    layout->activate();
  const QSize needed = window_->minimumSizeHint();
  for (QWidget* widget : shownForAMoment)
    widget->setVisible(false);
  if (QLayout* layout = window_->layout())
    layout->activate();
  window_->setMinimumSize(window_->minimumSize().expandedTo(needed));
}

void PanelExtras::OpenExport(const ExportSource& source) {
  if (busy_())
    return;
  if (exportWindow_ == nullptr)
    exportWindow_ = new ExportWindow(window_);
  exportWindow_->SetSource(source);
  exportWindow_->show();
  exportWindow_->raise();
}

void PanelExtras::OpenWaveStatistics(const ExportSource& source) {
  if (busy_())
    return;
  if (waveWindow_ == nullptr)
    waveWindow_ = new WaveWindow(window_);
  waveWindow_->SetSource(source);
  waveWindow_->show();
  waveWindow_->raise();
}
