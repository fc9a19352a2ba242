#include "tests/uir_reader.h"

#include <charconv>
#include <cstdlib>
#include <set>
#include <string_view>

#include "runtime/truncate_to_int.h"

namespace zorq_test {

namespace {

// The value element of a widget's or action's property `name`; a null node
// when absent.
pugi::xml_node PropertyValue(pugi::xml_node object, const std::string& name) {
  for (pugi::xml_node property : object.children("property")) {
    if (property.attribute("name").value() != name)
      continue;
    for (pugi::xml_node value : property.children()) {
      if (value.type() == pugi::node_element)
        return value;
    }
  }
  return {};
}

// All character data directly inside, as Qt reads an element's text.
std::string TextOf(pugi::xml_node element) {
  std::string text;
  for (pugi::xml_node part : element.children()) {
    if (part.type() == pugi::node_pcdata || part.type() == pugi::node_cdata)
      text += part.value();
  }
  return text;
}

bool Named(pugi::xml_node node, std::string_view name) {
  return node && node.name() == name;
}

std::string StringProperty(pugi::xml_node object, const std::string& name) {
  const pugi::xml_node value = PropertyValue(object, name);
  return Named(value, "string") || Named(value, "cstring") ? TextOf(value) : "";
}

bool ParseInt(const std::string& text, int* value) {
  const char* end = text.data() + text.size();
  const auto [stop, problem] = std::from_chars(text.data(), end, *value);
  return problem == std::errc() && stop == end;
}

// A <number> property; false when absent or not a whole number.
bool IntProperty(pugi::xml_node object, const std::string& name, int* value) {
  const pugi::xml_node element = PropertyValue(object, name);
  return Named(element, "number") && ParseInt(TextOf(element), value);
}

// Absent: `absent`.
bool BoolProperty(pugi::xml_node object, const std::string& name, bool absent) {
  const pugi::xml_node value = PropertyValue(object, name);
  return !value ? absent : Named(value, "bool") && TextOf(value) == "true";
}

double DoubleProperty(pugi::xml_node object, const std::string& name) {
  const pugi::xml_node value = PropertyValue(object, name);
  return value ? std::strtod(TextOf(value).c_str(), nullptr) : 0.0;
}

// "&Open" shows as "Open"; "&&" is a plain ampersand.
std::string TextWithoutMnemonics(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size())
      ++i;
    plain += text[i];
  }
  return plain;
}

void CollectTagged(pugi::xml_node element, const char* tag, std::vector<pugi::xml_node>* found) {
  for (pugi::xml_node child : element.children()) {
    if (Named(child, tag))
      found->push_back(child);
    CollectTagged(child, tag, found);
  }
}

bool IsButton(const std::string& widgetClass) {
  return widgetClass == "QPushButton" || widgetClass == "QCheckBox" ||
         widgetClass == "QRadioButton" || widgetClass == "QToolButton";
}

bool FitsKind(pugi::xml_node widget, ControlKind kind) {
  const std::string c = widget.attribute("class").value();
  switch (kind) {
    case ControlKind::Ring:
      return c == "QComboBox";
    case ControlKind::ToggleButton:
    case ControlKind::BinarySwitch:  // checkable: a push button only when it says so
      return IsButton(c) && BoolProperty(widget, "checkable", c != "QPushButton");
    case ControlKind::TextDisplay:
      return c == "QLabel" || c == "QLineEdit";
    case ControlKind::Numeric:
      return c == "QDoubleSpinBox";
    case ControlKind::Timer:
      return true;
    case ControlKind::CommandButton:
      // check boxes and radio buttons are always checkable
      return IsButton(c) && c != "QCheckBox" && c != "QRadioButton" &&
             !BoolProperty(widget, "checkable", false);
  }
  return false;
}

bool KindFromName(const std::string& name, ControlKind* kind) {
  for (ControlKind candidate :
       {ControlKind::Ring, ControlKind::ToggleButton, ControlKind::TextDisplay,
        ControlKind::Numeric, ControlKind::BinarySwitch, ControlKind::Timer,
        ControlKind::CommandButton}) {
    if (name == ControlKindName(candidate)) {
      *kind = candidate;
      return true;
    }
  }
  return false;
}

// A ring's items with their values from zorqValues (a string list, or one
// string of comma-separated values), and the value of its current item.
bool ReadRing(pugi::xml_node widget, ControlDescription* control, std::string* error) {
  std::vector<std::string> texts;
  if (const pugi::xml_node values = PropertyValue(widget, "zorqValues")) {
    if (Named(values, "stringlist")) {
      for (pugi::xml_node text : values.children("string"))
        texts.push_back(TextOf(text));
    } else {
      std::string field;
      for (const char c : TextOf(values) + ",") {
        if (c != ',') {
          field += c;
        } else if (!field.empty()) {
          texts.push_back(field);
          field.clear();
        }
      }
    }
  }
  std::vector<std::string> labels;
  for (pugi::xml_node item : widget.children("item"))
    labels.push_back(StringProperty(item, "text"));
  if (texts.size() != labels.size()) {
    *error = "a ring has " + std::to_string(labels.size()) + " items but " +
             std::to_string(texts.size()) + " values";
    return false;
  }
  std::set<int> seen;
  for (size_t i = 0; i < texts.size(); ++i) {
    int value = 0;
    if (!ParseInt(texts[i], &value) || !seen.insert(value).second) {
      *error = "a ring value \"" + texts[i] + "\" is not a whole number or is listed twice";
      return false;
    }
    control->items.push_back(RingItem{labels[i], value});
  }
  int current = 0;
  IntProperty(widget, "currentIndex", &current);
  if (current >= 0 && static_cast<size_t>(current) < control->items.size())
    control->intValue = control->items[static_cast<size_t>(current)].value;
  return true;
}

// The text of the label whose buddy the widget is; a button's own text; or
// the tool tip.
std::string ControlLabel(pugi::xml_node widget, const std::vector<pugi::xml_node>& widgets) {
  const pugi::xml_attribute name = widget.attribute("name");
  for (pugi::xml_node label : widgets) {
    if (name && std::string_view(label.attribute("class").value()) == "QLabel" &&
        StringProperty(label, "buddy") == name.value())
      return TextWithoutMnemonics(StringProperty(label, "text"));
  }
  if (IsButton(widget.attribute("class").value()))
    return TextWithoutMnemonics(StringProperty(widget, "text"));
  return StringProperty(widget, "toolTip");
}

bool ReadControl(pugi::xml_node widget, int id, const std::vector<pugi::xml_node>& widgets,
                 ControlDescription* control, std::string* error) {
  const std::string described = std::string("control \"") + widget.attribute("name").value() + "\"";
  control->id = id;
  if (!KindFromName(StringProperty(widget, "zorqKind"), &control->kind)) {
    *error = described + " has no known zorqKind";
    return false;
  }
  if (!FitsKind(widget, control->kind)) {
    *error = described + " cannot be a " + ControlKindName(control->kind) + " control";
    return false;
  }
  control->callback = StringProperty(widget, "zorqCallback");
  control->label = ControlLabel(widget, widgets);
  control->visible = BoolProperty(widget, "zorqVisible", true);
  switch (control->kind) {
    case ControlKind::Ring:
      if (!ReadRing(widget, control, error)) {
        *error = described + ": " + *error;
        return false;
      }
      break;
    case ControlKind::ToggleButton:
    case ControlKind::BinarySwitch:
      control->intValue = BoolProperty(widget, "checked", false) ? 1 : 0;
      break;
    case ControlKind::Numeric:
      control->doubleValue = DoubleProperty(widget, "value");
      control->intValue = TruncateToInt(control->doubleValue);
      break;
    case ControlKind::TextDisplay:
      control->text = StringProperty(widget, "text");
      break;
    case ControlKind::CommandButton:
      break;
    case ControlKind::Timer: {
      int interval = 0;
      if (!IntProperty(widget, "zorqInterval", &interval) || interval <= 0) {
        *error = described + " needs a positive zorqInterval in milliseconds";
        return false;
      }
      control->interval = interval / 1000.0;
      control->visible = false;
      break;
    }
  }
  if (control->kind != ControlKind::Ring && control->kind != ControlKind::Numeric)
    control->doubleValue = control->intValue;
  return true;
}

// The zorqId of an object: 0 when untagged, -1 when not a positive number.
int IdOf(pugi::xml_node object) {
  if (!PropertyValue(object, "zorqId"))
    return 0;
  int id = 0;
  return IntProperty(object, "zorqId", &id) && id > 0 ? id : -1;
}

}  // namespace

bool ParseXml(const std::string& xml, pugi::xml_document* document, std::string* error) {
  const pugi::xml_parse_result result = document->load_buffer(xml.data(), xml.size());
  if (!result) {
    *error = std::string(result.description()) + " at byte " + std::to_string(result.offset);
    return false;
  }
  // pugixml keeps a second top-level element; a form has one.
  if (document->document_element().next_sibling().type() == pugi::node_element) {
    *error = "more than one top-level element at byte " + std::to_string(xml.size());
    return false;
  }
  return true;
}

bool PanelFromForm(const pugi::xml_document& form, PanelDescription* panel, std::string* error) {
  const pugi::xml_node root = form.document_element();
  const pugi::xml_node window = Named(root, "ui") ? root.child("widget") : pugi::xml_node();
  if (!window) {
    *error = "the file holds no form";
    return false;
  }
  *panel = PanelDescription{};
  panel->title = StringProperty(window, "windowTitle");
  panel->callback = StringProperty(window, "zorqCallback");
  std::vector<pugi::xml_node> widgets;
  CollectTagged(window, "widget", &widgets);
  for (pugi::xml_node widget : widgets) {
    const int id = IdOf(widget);
    if (id == 0)
      continue;
    if (id < 0 || panel->FindControl(id) != nullptr) {
      *error = "a control has the identifier " + std::to_string(id) +
               ", not a positive number or another control's";
      return false;
    }
    ControlDescription control;
    if (!ReadControl(widget, id, widgets, &control, error))
      return false;
    panel->controls.push_back(std::move(control));
  }
  std::vector<pugi::xml_node> actions;
  CollectTagged(window, "action", &actions);
  for (pugi::xml_node action : actions) {
    const int id = IdOf(action);
    if (id == 0)
      continue;
    if (id < 0 || panel->FindMenuItem(id) != nullptr) {
      *error = "a menu item has the identifier " + std::to_string(id) +
               ", not a positive number or another menu item's";
      return false;
    }
    panel->menuItems.push_back(MenuItemDescription{
        id, TextWithoutMnemonics(StringProperty(action, "text")),
        StringProperty(action, "zorqCallback"), !BoolProperty(action, "enabled", true)});
  }
  return true;
}

}  // namespace zorq_test
