// Deployment metadata from the command line: a JSON file of where and how
// the instrument stood (--deployment) and single attributes (--attr).
#pragma once

#include <string>

#include "science/metadata.h"

// Reads the deployment file at `path` into `settings`: title, summary,
// site, instrument_serial, latitude, longitude, water_depth, sensor_height
// and creator (a name, or an object of name, email, url and institution).
// Any other key of text or a number becomes a global attribute of that
// name, unless the name is not one we write (AttributeNameProblem) or one
// the converter works out itself (IsComputedAttribute). False, with `error`
// naming the file and where in it, when the file cannot be read, a value is
// not what its key needs, or a number is beyond a double or a whole number
// beyond 64 bits.
bool ReadDeploymentFile(const std::string& path, ScienceSettings* settings, std::string* error);
// The same for text already read; `shown` names it in errors.
bool ReadDeploymentText(const std::string& text, const std::string& shown,
                        ScienceSettings* settings, std::string* error);

// "KEY=VALUE" of --attr: a global attribute with the text VALUE, which may
// replace a computed one. False, with `error`, when KEY is missing or not a
// name we write (AttributeNameProblem).
bool ParseAttributeOption(const std::string& option, Attribute* attribute, std::string* error);

// "LAT,LON" of --position: degrees north (-90 to 90) and east (-180 to
// 360). False, with `error`, when either is missing, not a finite number or
// out of its range.
bool ParsePositionOption(const std::string& option, Position* position, std::string* error);
