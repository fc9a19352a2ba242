// Closing the program while a conversion runs, through the close box of the
// main window or of the progress dialog. On a real X server the close box
// is the window manager's request (WM_DELETE_WINDOW), which Qt refuses to a
// window that a modal one blocks; offscreen the window is closed as Qt's
// own close() does.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <QApplication>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "runtime/ui.h"
#include "tests/qt/qt_test_access.h"
#include "tests/qt/qt_test_support.h"
#include "tests/test_support.h"

using zorq_qt_test::kPatienceMs;
using zorq_qt_test::Panel;
using zorq_test::ReadWholeFile;
using zorq_test::WriteWholeFile;

namespace {

// What the loop returns when the test ends it rather than the program.
constexpr int kEndedByTheTest = 7;
constexpr int kDumpRepeats = 20000;
constexpr int kSlowdownMs = 20;
constexpr int kCloseAfterMs = 500;
// Long enough for a close that went through to end the loop first.
constexpr int kEndAfterMs = 300;

QWidget* ProgressDialog() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->objectName() == QLatin1String("progressDialog") && window->isVisible())
      return window;
  }
  return nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// Clicks the close box of `window` as the window manager passes it on.
void ClickCloseBox(QWidget* window) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection =
      x11 != nullptr && QGuiApplication::platformName() == "xcb" ? x11->connection() : nullptr;
  if (connection == nullptr) {
    window->close();
    return;
  }
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = static_cast<xcb_window_t>(window->winId());
  message.type = Atom(connection, "WM_PROTOCOLS");
  message.data.data32[0] = Atom(connection, "WM_DELETE_WINDOW");
  message.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(connection);
}

enum class CloseBox { MainWindow, ProgressDialog };

struct CloseCase {
  const char* name;
  CloseBox box;
  bool stop;  // the answer: Stop and quit, or Keep converting
};

class QtCloseWhileConverting : public testing::TestWithParam<CloseCase> {};

TEST_P(QtCloseWhileConverting, AsksThenStopsAndQuitsOrKeepsConverting) {
  const CloseCase& c = GetParam();
  Panel panel;
  const std::string dump = zorq_test::RepeatedWorkedLoggerDump(kDumpRepeats);
  WriteWholeFile(panel.dir.Path("long.txt"), dump);
  WriteWholeFile(panel.dir.Path("out.csv"), "kept\r\n");
  panel.OpenFrom(panel.dir.Path("long.txt"));
  panel.Choose(kCtrlFromType, 2);
  panel.OpenTo(panel.dir.Path("out.csv"));
  // Slow the conversion down so that the close box meets it running.
  QtTestAccess::SetProgressObserver(panel.shell.additions(), [](int64_t, int64_t) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kSlowdownMs));
  });
  panel.shell.AnswerConfirm(c.stop);

  std::string outcome;
  QTimer::singleShot(0, panel.Window(), [&] {
    QTimer::singleShot(kCloseAfterMs, panel.Window(), [&] {
      QWidget* target = panel.Window();
      if (c.box == CloseBox::ProgressDialog) {
        target = ProgressDialog();
        ASSERT_NE(target, nullptr) << "no progress dialog shown";
      }
      ClickCloseBox(target);
    });
    outcome = panel.Convert();
    // Kept converting: the program goes on until the test ends it.
    QTimer::singleShot(kEndAfterMs, panel.Window(), [] { QuitUserInterface(kEndedByTheTest); });
  });
  QTimer::singleShot(kPatienceMs, panel.Window(), [] { QuitUserInterface(-1); });
  const int ended = RunUserInterface();

  EXPECT_EQ(panel.shell.Count(PopupRequest::Kind::Confirm, "Converting"), 1);
  if (c.stop) {
    EXPECT_EQ(outcome, "Cancelled");
    EXPECT_EQ(ended, 0) << "the close went through once the conversion had stopped";
    EXPECT_EQ(ReadWholeFile(panel.dir.Path("out.csv")), "kept\r\n");
  } else {
    EXPECT_EQ(outcome, "Finished All");
    EXPECT_EQ(ended, kEndedByTheTest);
    EXPECT_GT(ReadWholeFile(panel.dir.Path("out.csv")).size(), std::string("kept\r\n").size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, QtCloseWhileConverting,
    testing::Values(CloseCase{"MainWindowStopAndQuit", CloseBox::MainWindow, true},
                    CloseCase{"MainWindowKeepConverting", CloseBox::MainWindow, false},
                    CloseCase{"ProgressDialogStopAndQuit", CloseBox::ProgressDialog, true},
                    CloseCase{"ProgressDialogKeepConverting", CloseBox::ProgressDialog, false}),
    [](const testing::TestParamInfo<CloseCase>& row) { return std::string(row.param.name); });

}  // namespace
