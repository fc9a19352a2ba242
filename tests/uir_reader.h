// Reads the panel file without Qt, so that the core build can hold it
// against the panel the program expects: the panel a form describes, read
// by the rules the Qt backend loads it by.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "runtime/panel_description.h"

namespace zorq_test {

// Parses a whole document. On failure returns false, and *error says what
// and at which byte.
bool ParseXml(const std::string& xml, pugi::xml_document* document, std::string* error);

// The panel of a form: the top widget's title and callback, every widget
// tagged with a zorqId as a control and every action tagged with one as a
// menu item. False, with *error, for a form the Qt backend would refuse.
bool PanelFromForm(const pugi::xml_document& form, PanelDescription* panel, std::string* error);

}  // namespace zorq_test
