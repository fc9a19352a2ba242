// The attributes data centres look for to find, cite and accept a file
// (ACDD-1.3 highly recommended, recommended and suggested; those IOOS-1.2
// requires): each from the deployment file when it gives it, else a default.
#pragma once

#include <vector>

#include "science/metadata.h"

// Adds the defaults to `list`; the deployment file's attributes, written
// after them, replace any of them.
void AddDiscoveryAttributes(const ScienceSettings& settings, const RunFacts& run,
                            std::vector<Attribute>* list);
