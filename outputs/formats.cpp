#include "outputs/formats.h"

#include <sstream>

namespace {

bool TakeFormat(const std::string& name, FormatSet* formats, std::string* error) {
  bool* slot = name == "legacy"   ? &formats->legacy
               : name == "netcdf" ? &formats->netcdf
               : name == "tidy"   ? &formats->tidy
                                  : nullptr;
  if (slot == nullptr) {
    *error = "--format takes legacy, netcdf and tidy, joined by commas; \"" + name +
             "\" is none of them";
    return false;
  }
  if (*slot) {
    *error = "--format names \"" + name + "\" twice";
    return false;
  }
  *slot = true;
  return true;
}

}  // namespace

bool ParseFormats(const std::string& text, FormatSet* formats, std::string* error) {
  FormatSet read;
  read.legacy = false;
  std::stringstream names(text);
  std::string name;
  bool any = false;
  while (std::getline(names, name, ',')) {
    if (!TakeFormat(name, &read, error))
      return false;
    any = true;
  }
  if (!any || text.back() == ',') {
    *error = "--format takes legacy, netcdf and tidy, joined by commas";
    return false;
  }
  *formats = read;
  return true;
}
