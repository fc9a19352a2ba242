#include "tests/uir_reader.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string_view>

#include "runtime/truncate_to_int.h"

namespace zorq_test {

const std::string* XmlElement::Attribute(const std::string& key) const {
  for (const auto& [attributeName, value] : attributes) {
    if (attributeName == key)
      return &value;
  }
  return nullptr;
}

const XmlElement* XmlElement::Child(const std::string& childName) const {
  for (const XmlElement& child : children) {
    if (child.name == childName)
      return &child;
  }
  return nullptr;
}

namespace {

// --- XML ---

class XmlParser {
 public:
  explicit XmlParser(std::string_view xml) : xml_(xml) {}

  bool Document(XmlElement* root) {
    if (!SkipMisc())
      return false;
    if (!Element(root, 0))
      return false;
    if (!SkipMisc())
      return false;
    return at_ == xml_.size() || Fail("text after the root element");
  }

  std::string error() const { return error_; }

 private:
  static constexpr int kMaxDepth = 256;

  bool Fail(const std::string& what) {
    if (error_.empty())
      error_ = what + " at byte " + std::to_string(at_);
    return false;
  }
  bool StartsWith(std::string_view text) const { return xml_.substr(at_, text.size()) == text; }
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  void SkipSpace() {
    while (at_ < xml_.size() && IsSpace(xml_[at_]))
      ++at_;
  }
  // Moves past the next `end`; false when there is none.
  bool SkipPast(std::string_view end, const char* what) {
    const size_t found = xml_.find(end, at_);
    if (found == std::string_view::npos)
      return Fail(std::string("unterminated ") + what);
    at_ = found + end.size();
    return true;
  }

  // Space, comments and processing instructions around the root element.
  bool SkipMisc() {
    for (;;) {
      SkipSpace();
      if (StartsWith("<?")) {
        if (!SkipPast("?>", "processing instruction"))
          return false;
      } else if (StartsWith("<!--")) {
        if (!SkipPast("-->", "comment"))
          return false;
      } else if (StartsWith("<!")) {
        return Fail("a document type declaration, which a form does not have");
      } else {
        return true;
      }
    }
  }

  bool Name(std::string* name) {
    const size_t start = at_;
    while (at_ < xml_.size() && !IsSpace(xml_[at_]) &&
           std::strchr("<>/=\"'&", xml_[at_]) == nullptr)
      ++at_;
    if (at_ == start)
      return Fail("a name expected");
    name->assign(xml_.substr(start, at_ - start));
    return true;
  }

  static void AppendUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      *out += static_cast<char>(0xE0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (code >> 18));
      *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // A reference at `at_` (on its '&'), appended to *out resolved.
  bool Reference(std::string* out) {
    const size_t semicolon = xml_.find(';', at_);
    if (semicolon == std::string_view::npos || semicolon - at_ > 12)
      return Fail("an unterminated reference");
    const std::string_view name = xml_.substr(at_ + 1, semicolon - at_ - 1);
    static const std::map<std::string_view, char> kNamed = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    if (const auto found = kNamed.find(name); found != kNamed.end()) {
      *out += found->second;
    } else if (name.size() >= 2 && name[0] == '#') {
      const bool hex = name[1] == 'x';
      const std::string_view digits = name.substr(hex ? 2 : 1);
      uint32_t code = 0;
      const auto [end, problem] =
          std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
      if (digits.empty() || problem != std::errc() || end != digits.data() + digits.size() ||
          code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return Fail("a character reference to no character");
      AppendUtf8(code, out);
    } else {
      return Fail("an unknown entity &" + std::string(name) + ";");
    }
    at_ = semicolon + 1;
    return true;
  }

  bool AttributeValue(std::string* value) {
    if (at_ >= xml_.size() || (xml_[at_] != '"' && xml_[at_] != '\''))
      return Fail("a quoted attribute value expected");
    const char quote = xml_[at_++];
    while (at_ < xml_.size() && xml_[at_] != quote) {
      if (xml_[at_] == '<')
        return Fail("'<' in an attribute value");
      if (xml_[at_] == '&') {
        if (!Reference(value))
          return false;
      } else {
        *value += xml_[at_++];
      }
    }
    if (at_ >= xml_.size())
      return Fail("an unterminated attribute value");
    ++at_;
    return true;
  }

  // The element at `at_` (on its '<').
  bool Element(XmlElement* element, int depth) {
    if (depth > kMaxDepth)
      return Fail("elements nested too deep");
    if (!StartsWith("<"))
      return Fail("an element expected");
    ++at_;
    if (!Name(&element->name))
      return false;
    for (;;) {
      SkipSpace();
      if (StartsWith("/>")) {
        at_ += 2;
        return true;
      }
      if (StartsWith(">")) {
        ++at_;
        break;
      }
      std::string key;
      std::string value;
      if (!Name(&key))
        return false;
      SkipSpace();
      if (!StartsWith("="))
        return Fail("'=' expected after the attribute " + key);
      ++at_;
      SkipSpace();
      if (!AttributeValue(&value))
        return false;
      if (element->Attribute(key) != nullptr)
        return Fail("the attribute " + key + " given twice");
      element->attributes.emplace_back(std::move(key), std::move(value));
    }
    return Content(element, depth);
  }

  // What lies between an element's start and end tags, and its end tag.
  bool Content(XmlElement* element, int depth) {
    while (at_ < xml_.size()) {
      if (StartsWith("</")) {
        at_ += 2;
        std::string closing;
        if (!Name(&closing))
          return false;
        if (closing != element->name)
          return Fail("</" + closing + "> closes <" + element->name + ">");
        SkipSpace();
        if (!StartsWith(">"))
          return Fail("'>' expected");
        ++at_;
        return true;
      }
      if (StartsWith("<!--")) {
        if (!SkipPast("-->", "comment"))
          return false;
      } else if (StartsWith("<![CDATA[")) {
        const size_t start = at_ + 9;
        if (!SkipPast("]]>", "CDATA section"))
          return false;
        element->text.append(xml_.substr(start, at_ - 3 - start));
      } else if (StartsWith("<?")) {
        if (!SkipPast("?>", "processing instruction"))
          return false;
      } else if (StartsWith("<")) {
        element->children.emplace_back();
        if (!Element(&element->children.back(), depth + 1))
          return false;
      } else if (xml_[at_] == '&') {
        if (!Reference(&element->text))
          return false;
      } else {
        element->text += xml_[at_++];
      }
    }
    return Fail("<" + element->name + "> is not closed");
  }

  std::string_view xml_;
  size_t at_ = 0;
  std::string error_;
};

// --- The form's panel ---

// The value element of a widget's or action's property `name`, or nullptr.
const XmlElement* PropertyValue(const XmlElement& object, const std::string& name) {
  for (const XmlElement& child : object.children) {
    const std::string* key = child.Attribute("name");
    if (child.name == "property" && key != nullptr && *key == name && !child.children.empty())
      return &child.children.front();
  }
  return nullptr;
}

std::string StringProperty(const XmlElement& object, const std::string& name) {
  const XmlElement* value = PropertyValue(object, name);
  return value != nullptr && (value->name == "string" || value->name == "cstring") ? value->text
                                                                                   : "";
}

bool ParseInt(const std::string& text, int* value) {
  const char* end = text.data() + text.size();
  const auto [stop, problem] = std::from_chars(text.data(), end, *value);
  return problem == std::errc() && stop == end;
}

// A <number> property; false when absent or not a whole number.
bool IntProperty(const XmlElement& object, const std::string& name, int* value) {
  const XmlElement* element = PropertyValue(object, name);
  return element != nullptr && element->name == "number" && ParseInt(element->text, value);
}

// Absent: `absent`.
bool BoolProperty(const XmlElement& object, const std::string& name, bool absent) {
  const XmlElement* value = PropertyValue(object, name);
  return value == nullptr ? absent : value->name == "bool" && value->text == "true";
}

double DoubleProperty(const XmlElement& object, const std::string& name) {
  const XmlElement* value = PropertyValue(object, name);
  return value != nullptr ? std::strtod(value->text.c_str(), nullptr) : 0.0;
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

void CollectTagged(const XmlElement& element, const char* tag,
                   std::vector<const XmlElement*>* found) {
  for (const XmlElement& child : element.children) {
    if (child.name == tag)
      found->push_back(&child);
    CollectTagged(child, tag, found);
  }
}

bool IsButton(const std::string& widgetClass) {
  return widgetClass == "QPushButton" || widgetClass == "QCheckBox" ||
         widgetClass == "QRadioButton" || widgetClass == "QToolButton";
}

bool FitsKind(const XmlElement& widget, ControlKind kind) {
  const std::string* widgetClass = widget.Attribute("class");
  const std::string c = widgetClass != nullptr ? *widgetClass : "";
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
  }
  return false;
}

bool KindFromName(const std::string& name, ControlKind* kind) {
  for (ControlKind candidate :
       {ControlKind::Ring, ControlKind::ToggleButton, ControlKind::TextDisplay,
        ControlKind::Numeric, ControlKind::BinarySwitch, ControlKind::Timer}) {
    if (name == ControlKindName(candidate)) {
      *kind = candidate;
      return true;
    }
  }
  return false;
}

// A ring's items with their values from zorqValues (a string list, or one
// string of comma-separated values), and the value of its current item.
bool ReadRing(const XmlElement& widget, ControlDescription* control, std::string* error) {
  std::vector<std::string> texts;
  if (const XmlElement* values = PropertyValue(widget, "zorqValues")) {
    if (values->name == "stringlist") {
      for (const XmlElement& text : values->children)
        texts.push_back(text.text);
    } else {
      std::string field;
      for (const char c : values->text + ",") {
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
  for (const XmlElement& child : widget.children) {
    if (child.name == "item")
      labels.push_back(StringProperty(child, "text"));
  }
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
std::string ControlLabel(const XmlElement& widget, const std::vector<const XmlElement*>& widgets) {
  const std::string* name = widget.Attribute("name");
  for (const XmlElement* label : widgets) {
    const std::string* labelClass = label->Attribute("class");
    if (name != nullptr && labelClass != nullptr && *labelClass == "QLabel" &&
        StringProperty(*label, "buddy") == *name)
      return TextWithoutMnemonics(StringProperty(*label, "text"));
  }
  const std::string* widgetClass = widget.Attribute("class");
  if (widgetClass != nullptr && IsButton(*widgetClass))
    return TextWithoutMnemonics(StringProperty(widget, "text"));
  return StringProperty(widget, "toolTip");
}

bool ReadControl(const XmlElement& widget, int id, const std::vector<const XmlElement*>& widgets,
                 ControlDescription* control, std::string* error) {
  const std::string* name = widget.Attribute("name");
  const std::string described = "control \"" + (name != nullptr ? *name : "") + "\"";
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
int IdOf(const XmlElement& object) {
  if (PropertyValue(object, "zorqId") == nullptr)
    return 0;
  int id = 0;
  return IntProperty(object, "zorqId", &id) && id > 0 ? id : -1;
}

}  // namespace

bool ParseXml(const std::string& xml, XmlElement* root, std::string* error) {
  XmlParser parser(xml);
  *root = XmlElement{};
  if (parser.Document(root))
    return true;
  *error = parser.error();
  return false;
}

bool PanelFromForm(const XmlElement& form, PanelDescription* panel, std::string* error) {
  const XmlElement* window = form.name == "ui" ? form.Child("widget") : nullptr;
  if (window == nullptr) {
    *error = "the file holds no form";
    return false;
  }
  *panel = PanelDescription{};
  panel->title = StringProperty(*window, "windowTitle");
  panel->callback = StringProperty(*window, "zorqCallback");
  std::vector<const XmlElement*> widgets;
  CollectTagged(*window, "widget", &widgets);
  for (const XmlElement* widget : widgets) {
    const int id = IdOf(*widget);
    if (id == 0)
      continue;
    if (id < 0 || panel->FindControl(id) != nullptr) {
      *error = "a control has the identifier " + std::to_string(id) +
               ", not a positive number or another control's";
      return false;
    }
    ControlDescription control;
    if (!ReadControl(*widget, id, widgets, &control, error))
      return false;
    panel->controls.push_back(std::move(control));
  }
  std::vector<const XmlElement*> actions;
  CollectTagged(*window, "action", &actions);
  for (const XmlElement* action : actions) {
    const int id = IdOf(*action);
    if (id == 0)
      continue;
    if (id < 0 || panel->FindMenuItem(id) != nullptr) {
      *error = "a menu item has the identifier " + std::to_string(id) +
               ", not a positive number or another menu item's";
      return false;
    }
    panel->menuItems.push_back(MenuItemDescription{
        id, TextWithoutMnemonics(StringProperty(*action, "text")),
        StringProperty(*action, "zorqCallback"), !BoolProperty(*action, "enabled", true)});
  }
  return true;
}

}  // namespace zorq_test
