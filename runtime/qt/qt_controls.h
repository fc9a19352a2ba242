// Reading and writing the value of one panel control, by the kind the panel
// file gives it. Each kind maps to one widget class: ring QComboBox (each
// item's integer value in its item data), toggle and switch a checkable
// QAbstractButton, text QLabel or QLineEdit, numeric QDoubleSpinBox, timer
// any placeholder widget.
#pragma once

#include <string>

#include "runtime/panel_description.h"

class QString;
class QWidget;

// True when `widget` is of the class that `kind` needs.
bool WidgetFitsKind(const QWidget* widget, ControlKind kind);

// Each returns false when the kind has no such value (a text display has no
// number, a ring no item with that value), and a read when `value` is null.
bool ReadControlInt(const QWidget* widget, ControlKind kind, int* value);
bool ReadControlDouble(const QWidget* widget, ControlKind kind, double* value);
bool ReadControlText(const QWidget* widget, ControlKind kind, std::string* text);
bool WriteControlInt(QWidget* widget, ControlKind kind, int value);
bool WriteControlDouble(QWidget* widget, ControlKind kind, double value);
bool WriteControlText(QWidget* widget, ControlKind kind, const char* text);

// Shows or hides a control together with the labels that name it as buddy.
void ShowControl(QWidget* widget, bool visible);

// `text` as shown, without the "&" that marks a shortcut letter.
std::string TextWithoutMnemonics(const QString& text);

// The text an operator reads next to the control: its buddy label, or its
// own text for buttons.
std::string ControlLabel(const QWidget* widget);
