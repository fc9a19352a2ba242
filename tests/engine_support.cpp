#include "tests/engine_support.h"

#include <algorithm>
#include <random>

#include "runtime/files.h"

namespace zorq_test {

std::string LoggerHeader(int rangeCode, int staffCode) {
  std::string header = "Y19,M06,D30,H14,M05,S30,F04";
  header.resize(41, ' ');
  header += "A" + std::to_string(rangeCode) + ",C" + std::to_string(staffCode);
  header.resize(61, ' ');
  return header + "\r\n";
}

std::string GaugeHeader(int typeCode) {
  std::string header =
      "Y19,M06,D30,H12,M00,S00,F04,L10,I60,N00,00000X03,T" + std::to_string(typeCode) + ",,,,,,,,,";
  header.resize(61, ',');
  return header + "\r\n";
}

std::string DumpOf(const std::string& header, const std::vector<std::string>& lines) {
  std::string dump = header;
  for (const std::string& line : lines)
    dump += line + "\r\n";
  while (dump.size() < 129)
    dump += ",,,,,,,,,,\r\n";
  return dump;
}

namespace {

std::string StampLine(int minute) {
  char text[64];
  std::snprintf(text, sizeof text, "Y19,M07,D01,H%02d,M%02d,S00,", minute / 60 % 24, minute % 60);
  return text;
}

template <typename MakeLine>
std::string LongDump(const std::string& header, size_t bytes, MakeLine makeLine) {
  std::string dump = header;
  std::mt19937 random(7);
  for (int line = 0; dump.size() < bytes; ++line) {
    dump += (line % 40 == 0 ? StampLine(line / 40) : makeLine(random)) + "\r\n";
  }
  return dump;
}

}  // namespace

std::string LongLoggerDump(size_t bytes) {
  return LongDump(LoggerHeader(), bytes, [](std::mt19937& random) {
    std::string line;
    for (int i = 0; i < 12; ++i)
      line += std::to_string(random() % 4096) + ",";
    return line + std::to_string(300 + random() % 100);
  });
}

std::string LongGaugeDump(size_t bytes) {
  return LongDump(GaugeHeader(), bytes, [](std::mt19937& random) {
    std::string line;
    for (int i = 0; i < 12; ++i) {
      char value[32];
      std::snprintf(value, sizeof value, "%.3f,",
                    static_cast<double>(random() % 30000) / 1000.0 - 5.0);
      line += value;
    }
    return line + std::to_string(300 + random() % 100) + ",";
  });
}

LinePlace PlaceOf(const std::string& dump, const std::string& text, size_t from) {
  LinePlace place;
  for (size_t at = from; at < dump.size();) {
    if (dump.compare(at, text.size(), text) == 0) {
      place.byte = static_cast<int64_t>(at);
      place.line =
          1 + std::count(dump.begin(), dump.begin() + static_cast<std::ptrdiff_t>(at), '\n');
      return place;
    }
    const size_t lf = dump.find('\n', at + 1);
    if (lf == std::string::npos)
      break;
    at = lf + 1;
  }
  return place;
}

EngineRun RunEngine(const std::string& dump, ConversionRequest request, const std::string& prior) {
  TempDir dir;
  const std::string fromPath = dir.Path("dump.txt");
  const std::string toPath = dir.Path("out.csv");
  WriteWholeFile(fromPath, dump);
  WriteWholeFile(toPath, prior);
  const int from = OpenFile(fromPath.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  const int to = OpenFile(toPath.c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  SetFilePtr(to, 0, VAL_END_OF_FILE);
  request.from = SourceOfHandle(from);
  request.to = SinkOfHandle(to);
  EngineRun run;
  run.result = RunConversion(request);
  CloseFile(from);
  CloseFile(to);
  run.toFile = ReadWholeFile(toPath);
  run.output = run.toFile.size() >= prior.size() ? run.toFile.substr(prior.size()) : "";
  return run;
}

std::vector<Anomaly> AnomaliesOf(const ConversionReport& report, AnomalyKind kind) {
  std::vector<Anomaly> found;
  for (const Anomaly& anomaly : report.anomalies) {
    if (anomaly.kind == kind)
      found.push_back(anomaly);
  }
  return found;
}

}  // namespace zorq_test
