#include "desktop/qt_progress.h"

#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <utility>

#include "convert/report_text.h"

namespace {

constexpr int kPollMs = 40;

// Filled in by the worker, read by the GUI thread.
class SharedProgress : public ProgressReporter {
 public:
  void Report(int64_t done, int64_t total) override {
    done_.store(done, std::memory_order_relaxed);
    total_.store(total, std::memory_order_relaxed);
  }
  bool CancelRequested() const override { return cancel_.load(std::memory_order_relaxed); }
  void Cancel() { cancel_.store(true); }
  int64_t Done() const { return done_.load(std::memory_order_relaxed); }
  int64_t Total() const { return total_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int64_t> done_{0};
  std::atomic<int64_t> total_{-1};
  std::atomic<bool> cancel_{false};
};

// The task RunTaskWithProgress runs now (GUI thread only), for Cancel from
// elsewhere, such as the window's close box.
SharedProgress* gRunningTask = nullptr;

class ProgressDialog : public QDialog {
 public:
  ProgressDialog(QWidget* parent, const QString& title, SharedProgress* progress,
                 std::function<void()> onCloseBox)
      : QDialog(parent), progress_(progress), onCloseBox_(std::move(onCloseBox)) {
    setObjectName(QStringLiteral("progressDialog"));
    setWindowTitle(title);
    // Not modal: a modal window keeps the close box of the window below it
    // from working, and the panels are disabled meanwhile anyway.
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(QStringLiteral("Starting…"), this);
    text_->setObjectName(QStringLiteral("progressText"));
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("progressCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setMinimumWidth(380);
    connect(cancel_, &QPushButton::clicked, this, [this] {
      progress_->Cancel();
      cancel_->setEnabled(false);
      text_->setText(QStringLiteral("Cancelling…"));
    });
  }

  void Update(double elapsedSeconds) {
    if (progress_->CancelRequested())
      return;
    const int64_t done = progress_->Done();
    const int64_t total = progress_->Total();
    if (total > 0) {
      // The same whole percent as the text, so that the two agree.
      bar_->setRange(0, 100);
      bar_->setValue(WholePercent(done, total));
    } else {
      bar_->setRange(0, 0);  // busy: the size is not known
    }
    text_->setText(QString::fromStdString(DescribeProgress(done, total, elapsedSeconds)));
  }

 protected:
  // Escape cancels, as the button does; the dialog goes only when the task
  // has ended.
  void reject() override { cancel_->click(); }
  // The close box asks as the main window's does, where there is one to ask.
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (onCloseBox_)
      onCloseBox_();
    else
      reject();
  }

 private:
  SharedProgress* progress_;
  std::function<void()> onCloseBox_;
  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

}  // namespace

int WholePercent(int64_t done, int64_t total) {
  if (total <= 0 || done <= 0)
    return 0;
  return done >= total ? 100 : static_cast<int>(done * 100 / total);
}

std::string DescribeProgress(int64_t done, int64_t total, double elapsedSeconds) {
  std::string text = Megabytes(done);
  if (total <= 0)
    return text + " read";
  text += " of " + Megabytes(total);
  const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
  char part[64];
  std::snprintf(part, sizeof part, ", %d %%", WholePercent(done, total));
  text += part;
  if (fraction > 0.01 && elapsedSeconds > 0.2) {
    const double left = elapsedSeconds * (1.0 - fraction) / fraction;
    std::snprintf(part, sizeof part, ", about %.0f s left", std::ceil(left));
    text += part;
  }
  return text;
}

void RunTaskWithProgress(QWidget* parent, const std::string& title, const ProgressTask& task,
                         std::function<void(bool shown)> onDialog,
                         std::function<void()> onCloseBox) {
  SharedProgress progress;
  SharedProgress* outer = std::exchange(gRunningTask, &progress);
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    task(progress);
    finished.store(true);
  });

  QElapsedTimer clock;
  clock.start();
  ProgressDialog dialog(parent, QString::fromStdString(title), &progress, std::move(onCloseBox));
  // A window takes its parent's disabled state; the busy panel's is, this one is not.
  dialog.setEnabled(true);
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (finished.load()) {
      loop.quit();
      return;
    }
    if (!dialog.isVisible() && clock.elapsed() >= kProgressDelayMs) {
      dialog.show();
      if (onDialog)
        onDialog(true);
    }
    if (dialog.isVisible())
      dialog.Update(static_cast<double>(clock.elapsed()) / 1000.0);
  });
  poll.start(kPollMs);
  if (!finished.load())
    loop.exec();
  poll.stop();
  worker.join();
  gRunningTask = outer;
  dialog.hide();
}

bool CancelRunningTask() {
  if (gRunningTask == nullptr)
    return false;
  gRunningTask->Cancel();
  return true;
}
