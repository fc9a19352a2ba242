#include "science/qc_variables.h"

#include <iterator>
#include <vector>

#include "qc/flags.h"

namespace {

NetcdfVariable& AddFlagSeries(NetcdfLayout* layout, const char* name, const char* dimension,
                              size_t chunk, const std::string& coordinates) {
  NetcdfVariable& variable = layout->AddVariable(name, NetcdfType::kByte, {dimension});
  if (!coordinates.empty())
    variable.Attribute("coordinates", coordinates);
  variable.chunks = {chunk};
  variable.deflate = true;
  variable.fill = NetcdfFill::kNone;
  variable.cacheBytes = chunk + 1;
  return variable;
}

std::vector<double> SpanOf(const QcSpan& span) {
  return {span.low, span.high};
}

}  // namespace

void DescribeQartodFlags(NetcdfVariable* variable, const char* standardName,
                         const std::string& longName) {
  variable->Attribute("long_name", longName)
      .Attribute("standard_name", standardName)
      .Attribute("flag_values", std::vector<signed char>(std::begin(kQartodFlagValues),
                                                         std::end(kQartodFlagValues)))
      .Attribute("flag_meanings", kQartodFlagMeanings)
      .Attribute("references", kQartodReference);
}

void DescribeGrossRange(NetcdfVariable* variable, const GrossRangeThresholds& thresholds) {
  variable->Attribute("fail_span", SpanOf(thresholds.fail))
      .Attribute("suspect_span", SpanOf(thresholds.suspect));
}

void AddReadingTestVariables(NetcdfLayout* layout, const VariableTests& tests,
                             const char* dimension, size_t chunk, const std::string& coordinates) {
  NetcdfVariable& gross = AddFlagSeries(layout, kGrossRangeFlagName, dimension, chunk, coordinates);
  DescribeQartodFlags(&gross, kGrossRangeFlagName, "gross range test of the reading");
  if (tests.grossRange) {
    DescribeGrossRange(&gross, *tests.grossRange);
    gross.Attribute("comment",
                    "4 outside fail_span, else 3 outside suspect_span, else 1; a reading from a "
                    "count at the sensor's limit (0 or 4095) is at least 3");
  } else {
    gross.Attribute("comment",
                    "no range configured: 3 for a reading from a count at the sensor's limit (0 "
                    "or 4095), else 2");
  }
  if (tests.spike) {
    NetcdfVariable& spike = AddFlagSeries(layout, kSpikeFlagName, dimension, chunk, coordinates);
    DescribeQartodFlags(&spike, kSpikeFlagName, "spike test of the reading");
    spike.Attribute("suspect_threshold", tests.spike->suspect)
        .Attribute("fail_threshold", tests.spike->fail)
        .Attribute("comment",
                   "r = |x[i] - (x[i-1] + x[i+1]) / 2|: 4 where r > fail_threshold, else 3 where r "
                   "> suspect_threshold, else 1; 2 at either end of a series");
  }
  if (tests.rateOfChange) {
    NetcdfVariable& rate =
        AddFlagSeries(layout, kRateOfChangeFlagName, dimension, chunk, coordinates);
    DescribeQartodFlags(&rate, kRateOfChangeFlagName, "rate of change test of the reading");
    rate.Attribute("threshold", tests.rateOfChange->threshold)
        .Attribute("comment",
                   "3 where |x[i] - x[i-1]| / (t[i] - t[i-1]) > threshold (per second), else 1; 1 "
                   "at the start of a series");
  }
  if (tests.flatLine) {
    NetcdfVariable& flat = AddFlagSeries(layout, kFlatLineFlagName, dimension, chunk, coordinates);
    DescribeQartodFlags(&flat, kFlatLineFlagName, "flat line test of the reading");
    flat.Attribute("tolerance", tests.flatLine->tolerance)
        .Attribute("suspect_threshold", tests.flatLine->suspectSeconds)
        .Attribute("fail_threshold", tests.flatLine->failSeconds)
        .Attribute("comment",
                   "thresholds in seconds: 4 where the series has lasted fail_threshold and its "
                   "readings of the last fail_threshold seconds span less than tolerance, else 3 "
                   "for suspect_threshold, else 1");
  }
}

void DescribeAsAggregate(NetcdfVariable* variable) {
  DescribeQartodFlags(variable, kAggregateFlagName, "aggregate quality flag of the reading");
}

std::string ReadingFlagVariables(const VariableTests& tests) {
  std::string names = std::string(kAggregateVariable) + " " + kGrossRangeFlagName;
  if (tests.spike)
    names += std::string(" ") + kSpikeFlagName;
  if (tests.rateOfChange)
    names += std::string(" ") + kRateOfChangeFlagName;
  if (tests.flatLine)
    names += std::string(" ") + kFlatLineFlagName;
  return names;
}
