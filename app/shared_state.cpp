#include "app/shared_state.h"

#include <cstdlib>
#include <cstring>

int PanelHandle = 0;
int FileFromHandle = 0;
int FileToHandle = 0;
char FileFromName[260] = {};
char FileToName[260] = {};
int FileFromOpen = 0;
int FileToOpen = 0;

uint8_t ConvertState = 0;
int OKToConvert = 0;
int SelectFromType = 0;
int SelectToType = 0;

int FileSampleRate = 0;
int RangeCode = 0;
int QMAll = 0;
float StaffScale = 1.0f;

int BurstLength = 0;
int BurstInterval = 0;
int NewFileInterval = 0;
int PartVariant = 0;
int LoggerTypeCode = 0;

ConversionReport LastConversionReport;

void ResetSharedState() {
  PanelHandle = 0;
  FileFromHandle = 0;
  FileToHandle = 0;
  std::memset(FileFromName, 0, sizeof FileFromName);
  std::memset(FileToName, 0, sizeof FileToName);
  FileFromOpen = 0;
  FileToOpen = 0;
  ConvertState = 0;
  OKToConvert = 0;
  SelectFromType = 0;
  SelectToType = 0;
  FileSampleRate = 0;
  RangeCode = 0;
  QMAll = 0;
  StaffScale = 1.0f;
  BurstLength = 0;
  BurstInterval = 0;
  NewFileInterval = 0;
  PartVariant = 0;
  LoggerTypeCode = 0;
  LastConversionReport = ConversionReport{};
}

Zone DumpClockZone;

Zone ZoneAtStart() {
  const char* given = std::getenv("TZ");
  if (given == nullptr)
    return Zone::System();
  return Zone::FromTzValue(given).value_or(Zone::System());
}
