#include "desktop/window_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace {

// Before a window is shown its frame is not known; this is what the common
// window managers put around it.
constexpr QMargins kLikelyFrame(4, 32, 4, 4);

QScreen* ScreenOf(const QWidget* window) {
  if (window->screen() != nullptr)
    return window->screen();
  return QGuiApplication::primaryScreen();
}

QMargins FrameOf(const QWidget* window) {
  if (!window->isVisible())
    return kLikelyFrame;
  const QRect frame = window->frameGeometry();
  const QRect inside = window->geometry();
  const QMargins measured(inside.left() - frame.left(), inside.top() - frame.top(),
                          frame.right() - inside.right(), frame.bottom() - inside.bottom());
  return measured.isNull() ? kLikelyFrame : measured;
}

}  // namespace

QSize SizeWithin(QSize wanted, QRect available, QMargins frame) {
  const int width = available.width() - frame.left() - frame.right();
  const int height = available.height() - frame.top() - frame.bottom();
  return QSize(std::max(1, std::min(wanted.width(), width)),
               std::max(1, std::min(wanted.height(), height)));
}

void FitToScreen(QWidget* window, QSize wanted) {
  const QScreen* screen = ScreenOf(window);
  if (screen == nullptr) {
    window->resize(wanted);
    return;
  }
  const QRect available = screen->availableGeometry();
  const QMargins frame = FrameOf(window);
  const QSize room = SizeWithin(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), available, frame);
  // A layout would hold the window at its size hint however small the screen.
  const QSize least = window->minimumSize().expandedTo(window->minimumSizeHint()).boundedTo(room);
  window->setMinimumSize(least);
  const QSize size = SizeWithin(wanted.expandedTo(least), available, frame);
  window->resize(size);
  // pos() is where the frame starts.
  const int outerWidth = size.width() + frame.left() + frame.right();
  const int outerHeight = size.height() + frame.top() + frame.bottom();
  const int left = std::clamp(window->x(), available.left(),
                              std::max(available.left(), available.right() + 1 - outerWidth));
  const int top = std::clamp(window->y(), available.top(),
                             std::max(available.top(), available.bottom() + 1 - outerHeight));
  window->move(left, top);
}

void CentreOver(QWidget* window, const QWidget* anchor) {
  if (anchor == nullptr || !anchor->isVisible())
    return;
  const QRect over = anchor->frameGeometry();
  const QMargins frame = FrameOf(window);
  const int outerWidth = window->width() + frame.left() + frame.right();
  const int outerHeight = window->height() + frame.top() + frame.bottom();
  window->move(over.center().x() - outerWidth / 2, over.center().y() - outerHeight / 2);
}
