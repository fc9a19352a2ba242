// A long task on a worker thread while the GUI thread keeps the window
// painted: after a short while a dialog shows the bytes done, the percent and
// the time left, with a Cancel button.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "desktop/additions.h"

class QWidget;

// How long a task runs before its progress is shown.
inline constexpr int kProgressDelayMs = 300;

// Runs `task` on a worker thread and returns when it has ended, running a
// nested event loop meanwhile. `parent` (may be null) is the window the
// dialog belongs to. `shown`, when given, is set once the dialog appears.
// `onCloseBox`, when given, answers the dialog's close box; without it the
// close box cancels as the button does.
void RunTaskWithProgress(QWidget* parent, const std::string& title, const ProgressTask& task,
                         std::function<void(bool shown)> onDialog = nullptr,
                         std::function<void()> onCloseBox = nullptr);

// Asks the task that runs now to stop, as its Cancel button does; false
// when no task runs.
bool CancelRunningTask();

// The whole percent of `done` of `total` that the text and the bar show.
int WholePercent(int64_t done, int64_t total);

// "12.5 MB of 200.0 MB, 6 %, about 3 s left" for `done` of `total` bytes
// after `elapsedSeconds`; without the parts that are not known yet.
std::string DescribeProgress(int64_t done, int64_t total, double elapsedSeconds);
