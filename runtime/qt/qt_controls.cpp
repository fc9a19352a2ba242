#include "runtime/qt/qt_controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <cmath>

#include "runtime/truncate_to_int.h"

namespace {

bool WriteRing(QComboBox* ring, int value) {
  const int index = ring->findData(value);
  if (index < 0)
    return false;
  ring->setCurrentIndex(index);
  return true;
}

}  // namespace

// "&Open" shows as "Open" with O underlined; "&&" is a plain ampersand.
std::string TextWithoutMnemonics(const QString& text) {
  QString plain;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size())
      ++i;
    plain += text[i];
  }
  return plain.toStdString();
}

bool WidgetFitsKind(const QWidget* widget, ControlKind kind) {
  switch (kind) {
    case ControlKind::Ring:
      return qobject_cast<const QComboBox*>(widget) != nullptr;
    case ControlKind::ToggleButton:
    case ControlKind::BinarySwitch: {
      const auto* button = qobject_cast<const QAbstractButton*>(widget);
      return button != nullptr && button->isCheckable();
    }
    case ControlKind::TextDisplay:
      return qobject_cast<const QLabel*>(widget) != nullptr ||
             qobject_cast<const QLineEdit*>(widget) != nullptr;
    case ControlKind::Numeric:
      return qobject_cast<const QDoubleSpinBox*>(widget) != nullptr;
    case ControlKind::Timer:
      return widget != nullptr;
    case ControlKind::CommandButton: {
      const auto* button = qobject_cast<const QAbstractButton*>(widget);
      return button != nullptr && !button->isCheckable();
    }
  }
  return false;
}

bool ReadControlDouble(const QWidget* widget, ControlKind kind, double* value) {
  if (value == nullptr)
    return false;
  switch (kind) {
    case ControlKind::Ring: {
      const QVariant data = qobject_cast<const QComboBox*>(widget)->currentData();
      if (!data.isValid())
        return false;
      *value = data.toInt();
      return true;
    }
    case ControlKind::ToggleButton:
    case ControlKind::BinarySwitch:
      *value = qobject_cast<const QAbstractButton*>(widget)->isChecked() ? 1 : 0;
      return true;
    case ControlKind::Numeric:
      *value = qobject_cast<const QDoubleSpinBox*>(widget)->value();
      return true;
    case ControlKind::TextDisplay:
    case ControlKind::Timer:
    case ControlKind::CommandButton:
      return false;
  }
  return false;
}

// Only a numeric control's value can have a fraction, which is cut off.
bool ReadControlInt(const QWidget* widget, ControlKind kind, int* value) {
  double exact = 0.0;
  if (value == nullptr || !ReadControlDouble(widget, kind, &exact))
    return false;
  *value = TruncateToInt(exact);
  return true;
}

bool ReadControlText(const QWidget* widget, ControlKind kind, std::string* text) {
  if (kind != ControlKind::TextDisplay)
    return false;
  if (const auto* label = qobject_cast<const QLabel*>(widget)) {
    *text = label->text().toStdString();
  } else {
    *text = qobject_cast<const QLineEdit*>(widget)->text().toStdString();
  }
  return true;
}

// Only a numeric control takes a fraction; the others take the value cut to
// a whole number.
bool WriteControlDouble(QWidget* widget, ControlKind kind, double value) {
  switch (kind) {
    case ControlKind::Ring:
      return WriteRing(qobject_cast<QComboBox*>(widget), TruncateToInt(value));
    case ControlKind::ToggleButton:
    case ControlKind::BinarySwitch:
      qobject_cast<QAbstractButton*>(widget)->setChecked(TruncateToInt(value) != 0);
      return true;
    case ControlKind::Numeric:
      if (std::isnan(value))
        return false;
      qobject_cast<QDoubleSpinBox*>(widget)->setValue(value);
      return true;
    case ControlKind::TextDisplay:
    case ControlKind::Timer:
    case ControlKind::CommandButton:
      return false;
  }
  return false;
}

bool WriteControlInt(QWidget* widget, ControlKind kind, int value) {
  return WriteControlDouble(widget, kind, value);
}

bool WriteControlText(QWidget* widget, ControlKind kind, const char* text) {
  if (kind != ControlKind::TextDisplay)
    return false;
  const QString value = QString::fromLocal8Bit(text == nullptr ? "" : text);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(value);
  } else {
    auto* line = qobject_cast<QLineEdit*>(widget);
    line->setText(value);
    line->setCursorPosition(0);
  }
  return true;
}

void ShowControl(QWidget* widget, bool visible) {
  widget->setVisible(visible);
  QWidget* window = widget->window();
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->buddy() == widget)
      label->setVisible(visible);
  }
}

std::string ControlLabel(const QWidget* widget) {
  for (const QLabel* label : widget->window()->findChildren<QLabel*>()) {
    if (label->buddy() == widget)
      return TextWithoutMnemonics(label->text());
  }
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
    return TextWithoutMnemonics(button->text());
  return widget->toolTip().toStdString();
}
