#include "app/converters.h"

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "convert/staff_scale.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "runtime/ui.h"

namespace {

ConversionRequest RequestFromGlobals(int toType) {
  ConversionRequest request;
  request.fromType = SelectFromType;
  request.toType = toType;
  request.from = SourceOfHandle(FileFromHandle);
  request.to = SinkOfHandle(FileToHandle);
  request.carried = CarriedGaugeValues();
  request.startValues = CurrentHeaderValues();
  return request;
}

}  // namespace

Correction ReadCorrectionControls() {
  Correction correction;
  int switchValue = 0;
  GetCtrlVal(PanelHandle, kCtrlGainM, &correction.gain);
  GetCtrlVal(PanelHandle, kCtrlOffsetB, &correction.offset);
  GetCtrlVal(PanelHandle, kCtrlCorrection, &switchValue);
  correction.on = switchValue == 1;
  return correction;
}

GaugeCarry CarriedGaugeValues() {
  return GaugeCarry{BurstLength, BurstInterval, NewFileInterval, PartVariant, LoggerTypeCode};
}

LoggerHeaderValues CurrentHeaderValues() {
  return LoggerHeaderValues{FileSampleRate, RangeCode, QMAll, StaffScale};
}

void KeepLoggerValues(const LoggerHeaderValues& values) {
  FileSampleRate = values.sampleRate;
  RangeCode = values.rangeCode;
  QMAll = values.staffCode;
  StaffScale = values.staffScale;
}

void KeepGaugeValues(const GaugeHeaderValues& values) {
  FileSampleRate = values.sampleRate;
  BurstLength = values.values.burstLength;
  BurstInterval = values.values.burstInterval;
  NewFileInterval = values.values.newFileInterval;
  PartVariant = values.values.partVariant;
  LoggerTypeCode = values.values.loggerTypeCode;
}

void ConvertKQKQIIIFlashToCSV() {
  ConversionRequest request = RequestFromGlobals(0);
  request.correction = ReadCorrectionControls();
  const ConversionResult result = RunLoggerConversion(request);
  ConvertState = result.status;
  KeepLoggerValues(result.logger);
}

void ConvertJXFlashToJXBCSV() {
  const ConversionResult result = RunGaugeConversion(RequestFromGlobals(1));
  ConvertState = result.status;
  KeepGaugeValues(result.gauge);
}

void SetQMKQStaffLength() {
  if (!LookUpStaffScale(SelectFromType, RangeCode, QMAll, &StaffScale))
    ConvertState = kStatusStaffLengthError;
}
