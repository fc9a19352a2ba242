// The QARTOD flag variables of the readings file: one per test configured
// (the gross range's always) beside `reading`, and the attributes that make
// `reading_quality_control` the aggregate of them all.
#pragma once

#include <cstddef>
#include <string>

#include "netcdf/netcdf_file.h"
#include "qc/settings.h"

inline constexpr const char* kAggregateVariable = "reading_quality_control";

// Adds the tests' flag variables on `dimension`, in chunks of `chunk`.
// `coordinates`: those of the readings, named by each flag variable too.
void AddReadingTestVariables(NetcdfLayout* layout, const VariableTests& tests,
                             const char* dimension, size_t chunk, const std::string& coordinates);

// The QARTOD attributes of the aggregate variable, which keeps the name
// readers of earlier files know.
void DescribeAsAggregate(NetcdfVariable* variable);

// `reading`'s ancillary_variables: the aggregate and each test's variable.
std::string ReadingFlagVariables(const VariableTests& tests);

// The flag, meanings and reference attributes of a QARTOD test's variable.
void DescribeQartodFlags(NetcdfVariable* variable, const char* standardName,
                         const std::string& longName);
// The gross range test's thresholds and what they mean.
void DescribeGrossRange(NetcdfVariable* variable, const GrossRangeThresholds& thresholds);
