// Deployment metadata from the command line: a JSON file of where and how
// the instrument stood (--deployment) and single attributes (--attr).
#pragma once

#include <string>

#include "science/metadata.h"

// Reads the deployment file at `path` into `settings`: title, summary,
// site, instrument_serial, latitude, longitude, water_depth, sensor_height
// and creator (a name, or an object of name, email, url and institution).
// Any other key of text or a number becomes a global attribute of that
// name. False, with `error` naming the file and where in it, when the file
// cannot be read or a value is not what its key needs.
bool ReadDeploymentFile(const std::string& path, ScienceSettings* settings, std::string* error);
// The same for text already read; `shown` names it in errors.
bool ReadDeploymentText(const std::string& text, const std::string& shown,
                        ScienceSettings* settings, std::string* error);

// "KEY=VALUE" of --attr: a global attribute with the text VALUE. False,
// with `error`, when KEY is missing or not a NetCDF name.
bool ParseAttributeOption(const std::string& option, Attribute* attribute, std::string* error);
