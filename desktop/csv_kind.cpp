#include "desktop/csv_kind.h"

#include <fstream>
#include <string_view>

namespace {

constexpr std::string_view kLoggerCsvStart = "f001,";
constexpr std::string_view kGaugeCsvStart = " Wave Gauge Converted File";

}  // namespace

int CsvKindOfFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string head(kGaugeCsvStart.size(), '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  if (head.starts_with(kLoggerCsvStart))
    return kLoggerCsvKind;
  return head.starts_with(kGaugeCsvStart) ? kGaugeCsvKind : kNoCsvKind;
}

std::string CsvKindName(int kind) {
  return kind == kLoggerCsvKind ? "logger CSV records (f001)" : "gauge CSV records (D1)";
}
