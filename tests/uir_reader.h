// Reads the panel file without Qt, so that the core build can hold it
// against the panel the program expects. A small XML reader for what Qt
// Designer forms use (elements, attributes, text, the five named entities
// and character references, comments, CDATA, processing instructions), and
// the panel a form describes, read by the rules the Qt backend loads it by.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "runtime/panel_description.h"

namespace zorq_test {

struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;  // the character data directly inside, references resolved
  std::vector<XmlElement> children;

  // nullptr when absent.
  const std::string* Attribute(const std::string& key) const;
  const XmlElement* Child(const std::string& childName) const;
};

// Parses a whole document. On failure returns false, and *error says what
// and at which byte.
bool ParseXml(const std::string& xml, XmlElement* root, std::string* error);

// The panel of a form: the top widget's title and callback, every widget
// tagged with a zorqId as a control and every action tagged with one as a
// menu item. False, with *error, for a form the Qt backend would refuse.
bool PanelFromForm(const XmlElement& form, PanelDescription* panel, std::string* error);

}  // namespace zorq_test
