#include "desktop/qt_panel_extras.h"

#include <QAbstractButton>
#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSizePolicy>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "desktop/csv_kind.h"
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
const QString kWarningStyle = QStringLiteral("color: #a04800; font-weight: bold;");
// The hint keeps room for this many lines, so that a longer hint never
// moves the controls under it.
constexpr int kHintLines = 4;
// On a screen less tall than this (such as 1024×600 at scale 1.5) the hint
// keeps room for fewer lines, and grows only for a hint that needs them.
constexpr int kShortScreenHeight = 480;
constexpr int kHintLinesOnShortScreens = 2;
// Room beside a button's words, on either side, where the row is tight.
constexpr int kTightButtonPadding = 6;

// The most a window's inside may take of the primary screen.
QSize ScreenRoom() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? SizeWithin(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX),
                                        screen->availableGeometry(), QMargins())
                           : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

int HintLinesKept(const QWidget* window) {
  const QScreen* screen =
      window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
  const bool shortScreen =
      screen != nullptr && screen->availableGeometry().height() < kShortScreenHeight;
  return shortScreen ? kHintLinesOnShortScreens : kHintLines;
}

// A button of the status row that may give up its style's spare width
// (down to its words) when the row is tight.
void LetShrinkToItsWords(QPushButton* button) {
  QString words = button->text();
  words.remove(QLatin1Char('&'));
  button->setMinimumWidth(button->fontMetrics().horizontalAdvance(words) + 2 * kTightButtonPadding);
  button->setSizePolicy(QSizePolicy::Preferred, button->sizePolicy().verticalPolicy());
}

struct DroppedUrls {
  QStringList files;
  QStringList folders;
};

DroppedUrls LocalUrls(const QMimeData* mime) {
  DroppedUrls dropped;
  if (mime == nullptr || !mime->hasUrls())
    return dropped;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile())
      continue;
    const QFileInfo info(url.toLocalFile());
    if (info.isDir()) {
      dropped.folders << info.filePath();
    } else if (info.isFile()) {
      dropped.files << info.filePath();
    }
  }
  return dropped;
}

QString Quoted(const QString& text) {
  return QStringLiteral("\u201c%1\u201d").arg(text);
}

QString CsvKindText(int kind) {
  return QString::fromStdString(CsvKindName(kind));
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

// "1 warning", "146,000 warnings".
QString Counted(int64_t count, const char* one, const char* many, const QLocale& locale) {
  return QStringLiteral("%1 %2").arg(locale.toString(static_cast<qlonglong>(count)),
                                     QString::fromLatin1(count == 1 ? one : many));
}

QStyle::StandardPixmap MarkIcon(OutcomeKind kind) {
  switch (kind) {
    case OutcomeKind::Anomalies:
      return QStyle::SP_MessageBoxWarning;
    case OutcomeKind::Failed:
      return QStyle::SP_MessageBoxCritical;
    case OutcomeKind::Cancelled:
      return QStyle::SP_MessageBoxInformation;
    default:
      return QStyle::SP_DialogApplyButton;
  }
}

}  // namespace

// The mark beside the status line: an icon and a few words that open
// Details when clicked, or when Space or Return is pressed on it. Its words
// wrap, so that a long one never widens the window.
// Pixels kept around the outcome mark's words for its focus ring.
constexpr int kFocusRingRoom = 2;
// Between the mark's icon and its words; the status row is tight on small screens.
constexpr int kIconGap = 3;

class OutcomeMarkButton : public QWidget {
 public:
  OutcomeMarkButton(QWidget* parent, std::function<void()> onClick)
      : QWidget(parent), onClick_(std::move(onClick)) {
    setObjectName(QStringLiteral("outcomeMark"));
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    auto* row = new QHBoxLayout(this);
    // Room for the focus ring around the words.
    row->setContentsMargins(kFocusRingRoom, kFocusRingRoom, kFocusRingRoom, kFocusRingRoom);
    row->setSpacing(kIconGap);
    icon_ = new QLabel(this);
    icon_->setObjectName(QStringLiteral("outcomeMarkIcon"));
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("outcomeMarkText"));
    // Never wrapped word by word: the row gives it the width its lines take.
    text_->setWordWrap(false);
    text_->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    row->addWidget(icon_, 0, Qt::AlignVCenter);
    row->addWidget(text_, 1, Qt::AlignVCenter);
    hide();
  }

  void Show(const OutcomeMark& mark) {
    const QLocale locale;
    const QString text = OutcomeMarkText(mark, locale);
    if (text.isEmpty()) {
      hide();
      return;
    }
    const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    icon_->setPixmap(style()->standardIcon(MarkIcon(mark.kind), nullptr, this).pixmap(side, side));
    // Two lines at most, the narrower the better: what happened, then what
    // it left (or what else it met).
    QString shown = text;
    if (!shown.contains(QStringLiteral(" \u2014 ")))
      shown.replace(QStringLiteral(", "), QStringLiteral(",\n"));
    shown.replace(QStringLiteral(" \u2014 "), QStringLiteral("\n\u2014 "));
    text_->setText(shown);
    // The clean finish is quiet; the others read as something to open.
    QFont font = text_->font();
    font.setUnderline(mark.kind != OutcomeKind::Clean);
    text_->setFont(font);
    // The row may not squeeze the words: a long line number would be cut.
    text_->setMinimumWidth(text_->sizeHint().width());
    setToolTip(OutcomeMarkToolTip(mark, locale));
    setAccessibleName(text);
    show();
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (rect().contains(event->position().toPoint()))
      onClick_();
  }
  // A link reached with Tab shows where the focus is, as buttons do.
  void paintEvent(QPaintEvent* event) override {
    QWidget::paintEvent(event);
    if (!hasFocus())
      return;
    QStylePainter painter(this);
    QStyleOptionFocusRect ring;
    ring.initFrom(this);
    // Only Tab reaches it, so the focus came from the keyboard: styles that
    // draw the ring for keyboard focus alone draw it.
    ring.state |= QStyle::State_KeyboardFocusChange;
    ring.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, ring);
  }
  void focusInEvent(QFocusEvent* event) override {
    QWidget::focusInEvent(event);
    update();
  }
  void focusOutEvent(QFocusEvent* event) override {
    QWidget::focusOutEvent(event);
    update();
  }
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Space:
      case Qt::Key_Return:
      case Qt::Key_Enter:
        onClick_();
        return;
      default:
        QWidget::keyPressEvent(event);
    }
  }

 private:
  std::function<void()> onClick_;
  QLabel* icon_ = nullptr;
  QLabel* text_ = nullptr;
};

QString OutcomeMarkText(const OutcomeMark& mark, const QLocale& locale) {
  switch (mark.kind) {
    case OutcomeKind::None:
      return QString();
    case OutcomeKind::Clean:
      return mark.mixedKinds ? QStringLiteral("\u2713 kinds mixed") : QStringLiteral("\u2713");
    case OutcomeKind::Anomalies:
      return Counted(mark.anomalies, "warning", "warnings", locale) +
             (mark.mixedKinds ? QStringLiteral(", kinds mixed") : QString());
    case OutcomeKind::Cancelled:
      return QStringLiteral("cancelled \u2014 To file as it was");
    case OutcomeKind::Failed:
      break;
  }
  QString text = mark.failedLine > 0
                     ? QStringLiteral("failed at line %1")
                           .arg(locale.toString(static_cast<qlonglong>(mark.failedLine)))
                     : QStringLiteral("failed");
  text += QStringLiteral(" \u2014 ");
  text += mark.recordsKept > 0 ? Counted(mark.recordsKept, "record kept", "records kept", locale)
                               : QStringLiteral("no records written");
  return text;
}

QString OutcomeMarkToolTip(const OutcomeMark& mark, const QLocale& locale) {
  QString details = QStringLiteral(" Click for Details (Ctrl+D).");
  if (mark.mixedKinds) {
    details.prepend(
        QStringLiteral(" The To file now holds logger and gauge records, one kind after the "
                       "other."));
  }
  switch (mark.kind) {
    case OutcomeKind::None:
      return QString();
    case OutcomeKind::Clean:
      return QStringLiteral("Finished with nothing unusual in the dump.") + details;
    case OutcomeKind::Anomalies:
      return QStringLiteral(
                 "Finished, and every record is written; the dump held %1. Details lists them "
                 "with their lines.")
                 .arg(Counted(mark.anomalies, "anomaly", "anomalies", locale)) +
             details;
    case OutcomeKind::Cancelled:
      return QStringLiteral("Cancelled: the To file was cut back to what it held before.") +
             details;
    case OutcomeKind::Failed:
      break;
  }
  if (mark.recordsKept > 0) {
    return QStringLiteral(
               "The %1 written before the failure stay in the To file: they are real data. "
               "Details says what went wrong and where.")
               .arg(Counted(mark.recordsKept, "record", "records", locale)) +
           details;
  }
  return QStringLiteral("Nothing was written to the To file. Details says what went wrong.") +
         details;
}

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
      "<li><b>File &gt; Open From File…</b> (Ctrl+O) or <b>Browse…</b> and choose the dump, "
      "or drop the dump on the window, or name it when starting the program. The line under "
      "the From type says what its header looks like, and what to do when something is "
      "wrong with it.</li>"
      "<li>Choose the <b>From type</b>: <i>Logger dump, type 1</i> or <i>type 2</i>, or "
      "<i>Gauge dump</i>. A From type that does not fit the header is marked; the <b>Use</b> "
      "button beside the line chooses the From and To types that fit in one click.</li>"
      "<li>A dump whose lines end in LF alone (copied in text mode, or through a Unix tool) "
      "lost its CRs: tick <b>Read each LF as CR LF</b> to convert it as the instrument wrote "
      "it.</li>"
      "<li>Choose the <b>To type</b>: <i>Logger CSV</i> for a logger dump, <i>Gauge CSV</i> "
      "for a gauge dump.</li>"
      "<li><b>File &gt; Open To File…</b> (Ctrl+T). A new name creates the file; an existing "
      "file is appended to, after you confirm.</li>"
      "<li>For logger dumps, <b>Linear correction (M·x + B)</b> writes M·x + B in place of "
      "each reading x.</li>"
      "<li>Press <b>START CONVERT</b>. A long conversion shows its progress and can be "
      "cancelled; a cancelled conversion leaves the To file as it was.</li>"
      "</ol>"
      "<p>The status line then reads <i>Finished All</i> or the first failure. The mark "
      "beside it says what the conversion came to: a tick for a clean finish, the number of "
      "warnings, the line a failure was found on and the records it left, or that it was "
      "cancelled. Click the mark (or Tab to it and press Space) for the details. "
      "<b>Details…</b> (Ctrl+D) tells what was read and written, with the line numbers of "
      "anything unusual; <b>Preview</b> (Ctrl+P) draws the converted readings: drag to zoom, "
      "Home to see them all, <b>Save as PNG…</b> to keep the picture. Readings flagged "
      "suspect (3) and bad (4) are coloured, and the legend counts them.</p>"
      "<p><b>File &gt; Export…</b> (Ctrl+E) writes the last conversion's dump as NetCDF-4 "
      "and as a tidy CSV, with times in UTC read in the <b>Time zone</b> shown, quality flags "
      "and the deployment's metadata. A <b>Deployment file</b> with a <i>qc</i> section runs "
      "its quality tests: Details then lists each test with its counts, and the dump's next "
      "preview colours what they flag. A <b>Barometer file</b> gives the air pressure taken "
      "off pressure readings. The settings belong to the dump they were used with.</p>"
      "<p><b>View &gt; Wave statistics…</b> shows Hm0, Tp, Hs and Tz of every segment of the "
      "last conversion, worked out while it converted; click a row for its spectrum, drag "
      "across the Hm0 and Tp chart to zoom. For a gauge dump of pressure choose the unit and "
      "the sensor's height, then <b>Apply to next conversion</b> and convert again. "
      "<b>Export table as CSV…</b> saves the table.</p>"
      "<p>Closing the window during a conversion asks whether to stop it; a stopped "
      "conversion leaves the To file as it was.</p>"
      "<p>Right-click START CONVERT for a short reminder.</p>");
}

PanelExtras::PanelExtras(QWidget* window, std::function<void(const std::string&)> onDrop,
                         std::function<bool()> busy)
    : QObject(window), window_(window), onDrop_(std::move(onDrop)), busy_(std::move(busy)) {
  AddMenus();
  FollowBrowseButtons();
  AddKeypadEnter();
  startButton_ = window_->findChild<QWidget*>(QStringLiteral("startConvert"));
  if (startButton_ != nullptr)
    startToolTip_ = startButton_->toolTip();
  toRing_ = window_->findChild<QComboBox*>(QStringLiteral("toType"));
  if (toRing_ != nullptr)
    connect(toRing_, &QComboBox::currentIndexChanged, this, [this] { MarkRing(); });
  // Either file changing makes the last outcome another file's; the To
  // file's first bytes say what a conversion would append to.
  for (const char* name : {"fromName", "toName"}) {
    if (auto* field = window_->findChild<QLineEdit*>(QString::fromLatin1(name))) {
      connect(field, &QLineEdit::textChanged, this, [this] {
        MarkOutcomeStale();
        LookAtToFile();
      });
    }
  }
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
      const DroppedUrls dropped = LocalUrls(drag->mimeData());
      // A folder is taken too, to say on the drop why it is refused.
      if (!busy_() && (!dropped.files.isEmpty() || !dropped.folders.isEmpty())) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const DroppedUrls dropped = LocalUrls(drop->mimeData());
      if (busy_() || (dropped.files.isEmpty() && dropped.folders.isEmpty())) {
        drop->ignore();
        return true;
      }
      drop->acceptProposedAction();
      if (!dropped.files.isEmpty())
        onDrop_(QFile::encodeName(dropped.files.first()).toStdString());
      ExplainDrop(dropped.files, dropped.folders);
      return true;
    }
    case QEvent::Resize:
      FitHintHeight();
      return false;
    case QEvent::Show:
      if (!fittedAtFirstShow_) {
        fittedAtFirstShow_ = true;
        FitMinimumSize();
        // The panel file's size may be more than a small screen has.
        FitToScreen(window_, window_->size());
      }
      return false;
    case QEvent::LayoutRequest:
      // A longer text (a status message, a path) may need more room than
      // the size fitted at the start.
      window_->setMinimumSize(
          window_->minimumSize().expandedTo(window_->minimumSizeHint()).boundedTo(ScreenRoom()));
      return false;
    default:
      return false;
  }
}

void PanelExtras::PlaceHint(QComboBox* ring) {
  auto* hint = new QWidget(window_);
  hint->setObjectName(QStringLiteral("fromHint"));
  auto* row = new QHBoxLayout(hint);
  row->setContentsMargins(0, 0, 0, 0);
  kindLabel_ = new QLabel(hint);
  kindLabel_->setObjectName(QStringLiteral("fromKind"));
  kindLabel_->setWordWrap(true);
  kindLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  kindLabel_->setMinimumHeight(HintLinesKept(window_) * kindLabel_->fontMetrics().lineSpacing());
  kindLabel_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  kindLabel_->setToolTip(
      QStringLiteral("What the From file's header looks like; the From type is yours to "
                     "choose"));
  useButton_ = new QPushButton(hint);
  useButton_->setObjectName(QStringLiteral("useFittingType"));
  // Hidden, it keeps its room: showing it moves nothing.
  QSizePolicy keep = useButton_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  useButton_->setSizePolicy(keep);
  useButton_->hide();
  connect(useButton_, &QPushButton::clicked, this, [this] { UseFittingTypes(); });
  row->addWidget(kindLabel_, 1);
  row->addWidget(useButton_, 0, Qt::AlignTop);
  if (auto* form = qobject_cast<QFormLayout*>(ring->parentWidget()->layout())) {
    int at = 0;
    QFormLayout::ItemRole role = QFormLayout::FieldRole;
    form->getWidgetPosition(ring, &at, &role);
    form->insertRow(at + 1, QStringLiteral("Looks like:"), hint);
  } else if (auto* box = qobject_cast<QBoxLayout*>(ring->parentWidget()->layout())) {
    box->addWidget(hint);
  }
  connect(ring, &QComboBox::currentIndexChanged, this, [this] {
    MarkRing();
    LookAtToFile();
  });
}

void PanelExtras::ShowFromFileKind(QWidget* fromTypeRing, const std::string& path,
                                   const std::string& kind, const std::string& problem,
                                   int fittingValue, int fittingToValue) {
  auto* ring = qobject_cast<QComboBox*>(fromTypeRing);
  if (kindLabel_ == nullptr && ring != nullptr) {
    PlaceHint(ring);
    FitMinimumSize();
  }
  ring_ = ring;
  fromPath_ = QFile::decodeName(path.c_str());
  fittingValue_ = path.empty() ? 0 : fittingValue;
  fittingToValue_ = path.empty() ? -1 : fittingToValue;
  kindText_ = path.empty() ? QString() : QString::fromStdString(kind);
  problemText_ = path.empty() ? QString() : QString::fromStdString(problem);
  const QString name = QFileInfo(fromPath_).fileName();
  window_->setWindowTitle(name.isEmpty() ? kProgram : name + QStringLiteral(" \u2014 ") + kProgram);
  MarkRing();
}

// Sets the rings as the operator would: the From ring's choice is a commit,
// so its callback runs; the To ring follows when one To type goes with it.
void PanelExtras::UseFittingTypes() {
  if (ring_ == nullptr || fittingValue_ == 0 || busy_())
    return;
  const int from = ring_->findData(fittingValue_);
  if (from >= 0 && from != ring_->currentIndex()) {
    ring_->setCurrentIndex(from);
    emit ring_->activated(from);
  }
  if (toRing_ != nullptr && fittingToValue_ >= 0) {
    const int to = toRing_->findData(fittingToValue_);
    if (to >= 0 && to != toRing_->currentIndex()) {
      toRing_->setCurrentIndex(to);
      emit toRing_->activated(to);
    }
  }
  MarkRing();
}

// What would go wrong with the rings and files as they stand, each saying
// what to do.
QStringList PanelExtras::HintWarnings() const {
  QStringList warnings;
  if (ring_ == nullptr || fromPath_.isEmpty())
    return warnings;
  const int chosen = ring_->currentData().toInt();
  const int toChosen = toRing_ != nullptr ? toRing_->currentData().toInt() : -1;
  if (fittingValue_ != 0 && chosen != fittingValue_) {
    warnings << QStringLiteral("the header fits %1, not the From type chosen")
                    .arg(Quoted(ring_->itemText(ring_->findData(fittingValue_))));
  } else if (fittingToValue_ >= 0 && toRing_ != nullptr && toChosen != fittingToValue_) {
    warnings << QStringLiteral(
                    "the To type %1 does not go with %2, so the conversion would end "
                    "in \"Convert To File Type Error\": choose %3")
                    .arg(Quoted(toRing_->currentText()), Quoted(ring_->currentText()),
                         Quoted(toRing_->itemText(toRing_->findData(fittingToValue_))));
  }
  if (!problemText_.isEmpty())
    warnings << problemText_;
  if (toHolds_ >= 0 && toRing_ != nullptr && toChosen != toHolds_) {
    warnings << QStringLiteral(
                    "the To file already holds %1, and %2 would be appended after "
                    "them: open another To file to keep the kinds apart")
                    .arg(CsvKindText(toHolds_), CsvKindText(toChosen));
  }
  return warnings;
}

void PanelExtras::MarkRing() {
  if (kindLabel_ == nullptr || ring_ == nullptr)
    return;
  const int chosen = ring_->currentData().toInt();
  const bool disagrees = fittingValue_ != 0 && chosen != fittingValue_;
  ring_->setProperty(kDisagreesProperty, disagrees);
  const QStringList warnings = HintWarnings();
  QString text = kindText_;
  if (!warnings.isEmpty()) {
    text = QStringLiteral("\u26a0 ") + kindText_ + QStringLiteral(" \u2014 ") +
           warnings.join(QStringLiteral("; "));
  }
  kindLabel_->setStyleSheet(warnings.isEmpty() ? QString() : kWarningStyle);
  if (disagrees) {
    ring_->setToolTip(QStringLiteral("The From file's header fits %1; this choice does not")
                          .arg(Quoted(ring_->itemText(ring_->findData(fittingValue_)))));
  } else {
    ring_->setToolTip(QStringLiteral("The kind of dump the From file holds"));
  }
  kindLabel_->setText(text);
  FitHintHeight();
  const int toChosen = toRing_ != nullptr ? toRing_->currentData().toInt() : -1;
  const bool offer =
      fittingValue_ != 0 && (disagrees || (fittingToValue_ >= 0 && toChosen != fittingToValue_));
  if (useButton_ != nullptr) {
    useButton_->setText(
        QStringLiteral("Use %1").arg(Quoted(ring_->itemText(ring_->findData(fittingValue_)))));
    useButton_->setToolTip(
        QStringLiteral("Choose the From type the header fits, and the To "
                       "type that goes with it"));
    useButton_->setVisible(offer);
  }
  if (startButton_ != nullptr) {
    QStringList why = warnings;
    const auto* fromField = window_->findChild<QLineEdit*>(QStringLiteral("fromName"));
    const auto* toField = window_->findChild<QLineEdit*>(QStringLiteral("toName"));
    if ((fromField != nullptr && fromField->text().isEmpty()) ||
        (toField != nullptr && toField->text().isEmpty())) {
      why.prepend(
          QStringLiteral("open the From file and the To file first, or the conversion "
                         "ends in \"File Error\""));
    }
    startButton_->setToolTip(why.isEmpty() ? startToolTip_
                                           : startToolTip_ + QStringLiteral("\n\nAs it stands: ") +
                                                 why.join(QStringLiteral(";\n")));
  }
}

// Room for kHintLines lines at least, so that the usual hints move
// nothing; more when a long one needs it, so that none is cut off.
void PanelExtras::FitHintHeight() {
  if (kindLabel_ == nullptr)
    return;
  const int lines = HintLinesKept(window_) * kindLabel_->fontMetrics().lineSpacing();
  const int needed = kindLabel_->width() > 0 ? kindLabel_->heightForWidth(kindLabel_->width()) : 0;
  kindLabel_->setMinimumHeight(std::max(lines, needed));
}

void PanelExtras::LookAtToFile() {
  auto* toField = window_->findChild<QLineEdit*>(QStringLiteral("toName"));
  const QString path = toField != nullptr ? toField->text() : QString();
  toHolds_ = path.isEmpty() ? kNoCsvKind : CsvKindOfFile(path.toStdString());
  if (toField != nullptr && !path.isEmpty()) {
    toField->setToolTip(toHolds_ < 0 ? QStringLiteral("The To file holds no CSV records yet")
                                     : QStringLiteral("The To file holds %1; a conversion "
                                                      "appends after them")
                                           .arg(CsvKindText(toHolds_)));
  }
  MarkRing();
}

void PanelExtras::ShowOutcomeMark(const OutcomeMark& mark) {
  if (outcomeMark_ == nullptr)
    return;
  outcomeMark_->Show(mark);
  // The row learns of the new words now, not on a later pass of the loop:
  // the mark's own layout first, then the window's.
  if (QLayout* words = outcomeMark_->layout()) {
    words->invalidate();
    outcomeMark_->setMinimumWidth(words->minimumSize().width());
  }
  outcomeMark_->updateGeometry();
  // Longer words widen the window rather than squeeze the row, as far as
  // the screen allows; once more when the nested layouts have settled.
  WidenForTheRow();
  QTimer::singleShot(0, this, [this] { WidenForTheRow(); });
}

void PanelExtras::WidenForTheRow() {
  FitMinimumSize();
  if (window_->isVisible())
    FitToScreen(window_, window_->size().expandedTo(window_->minimumSize()));
}

// Details and the preview were of the files open then; the mark, of the
// conversion of those files, goes.
void PanelExtras::MarkOutcomeStale() {
  ShowOutcomeMark(OutcomeMark{});
  static const QString kStale =
      QStringLiteral("(Of an earlier conversion: the From or To file has changed since.)\n\n");
  if (!details_.isEmpty() && !details_.startsWith(kStale)) {
    details_.prepend(kStale);
    if (detailsView_ != nullptr)
      detailsView_->setPlainText(details_);
  }
  if (previewButton_ != nullptr && previewButton_->isEnabled()) {
    StopPreviewLoad();
    previewData_.reset();
    ++previewGeneration_;
    previewButton_->setEnabled(false);
    LetShrinkToItsWords(detailsButton_);
    LetShrinkToItsWords(previewButton_);
    if (previewAction_ != nullptr)
      previewAction_->setEnabled(false);
    // An open preview stays, saying it is of the files before.
    if (previewWindow_ != nullptr && previewWindow_->isVisible())
      previewWindow_->ShowLoading(previewTitle_,
                                  QStringLiteral("Of an earlier conversion: the From or To file "
                                                 "has changed since. Convert again to draw it."));
  }
}

void PanelExtras::ExplainDrop(const QStringList& files, const QStringList& folders) {
  QString text;
  if (files.isEmpty()) {
    text = QStringLiteral(
               "%1 is a folder, and a folder cannot be converted. Drop the dump file "
               "itself, or open it with File > Open From File.")
               .arg(Quoted(QFileInfo(folders.first()).fileName()));
  } else if (files.size() + folders.size() > 1) {
    text = QStringLiteral(
               "Only the first dropped file was taken: %1. A conversion reads one "
               "dump; convert the others one at a time.")
               .arg(Quoted(QFileInfo(files.first()).fileName()));
  } else {
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Dropped files"), text,
                              QMessageBox::Ok, window_);
  box->setObjectName(QStringLiteral("dropNote"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

// The Browse… buttons are dimmed with the menu items they stand for.
void PanelExtras::FollowBrowseButtons() {
  const struct {
    const char* button;
    const char* action;
  } browse[] = {{"browseFrom", "actionOpenFromFile"}, {"browseTo", "actionOpenToFile"}};
  for (const auto& b : browse) {
    auto* button = window_->findChild<QAbstractButton*>(QString::fromLatin1(b.button));
    auto* open = window_->findChild<QAction*>(QString::fromLatin1(b.action));
    if (button == nullptr || open == nullptr)
      continue;
    button->setEnabled(open->isEnabled());
    connect(open, &QAction::changed, button,
            [button, open] { button->setEnabled(open->isEnabled()); });
  }
}

// Convert > START CONVERT answers the keypad's Enter too.
void PanelExtras::AddKeypadEnter() {
  auto* start = window_->findChild<QAction*>(QStringLiteral("actionStartConvert"));
  if (start == nullptr)
    return;
  QList<QKeySequence> keys = start->shortcuts();
  keys << QKeySequence(Qt::CTRL | Qt::Key_Enter);
  start->setShortcuts(keys);
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
  outcomeMark_ = new OutcomeMarkButton(window_, [this] { OpenDetails(); });
  int index = 0;
  if (QBoxLayout* box = BoxLayoutHolding(window_, statusControl, &index)) {
    box->insertWidget(index + 1, outcomeMark_);
    box->insertWidget(index + 2, detailsButton_);
    box->insertWidget(index + 3, previewButton_);
  }
  FitMinimumSize();
}

void PanelExtras::ShowDetails(QWidget* statusControl, const std::string& details,
                              const OutcomeMark& mark) {
  PlaceButtons(statusControl);
  ShowOutcomeMark(details.empty() ? OutcomeMark{} : mark);
  details_ = QString::fromStdString(details);
  const bool any = !details_.isEmpty();
  if (detailsButton_ != nullptr)
    detailsButton_->setEnabled(any);
  if (detailsAction_ != nullptr)
    detailsAction_->setEnabled(any);
  if (detailsView_ != nullptr)
    detailsView_->setPlainText(details_);
}

// An export of the last conversion's dump: what it wrote and the flags of
// its readings follow the conversion's own details.
void PanelExtras::AddToDetails(const QString& words) {
  if (details_.isEmpty())
    return;
  details_ += QStringLiteral("\n") + words;
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
  // Inner widgets' layouts pass a change up by posted requests: taken now,
  // so that the window's layout sees it.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
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
  if (exportWindow_ == nullptr) {
    exportWindow_ = new ExportWindow(window_);
    exportWindow_->TellExported([this](const QString& words) { AddToDetails(words); });
  }
  exportWindow_->SetSource(source);
  exportWindow_->show();
  exportWindow_->raise();
}

void PanelExtras::OpenWaveStatistics(const WaveResults& results) {
  if (busy_())
    return;
  if (waveWindow_ == nullptr)
    waveWindow_ = new WaveWindow(window_);
  waveWindow_->SetResults(results);
  waveWindow_->show();
  waveWindow_->raise();
}

void PanelExtras::FollowWaveStatistics(const WaveResults& results) {
  if (waveWindow_ != nullptr && waveWindow_->isVisible())
    waveWindow_->SetResults(results);
}
