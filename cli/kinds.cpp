#include "cli/kinds.h"

#include <cstdio>

#include "convert/dump_types.h"
#include "convert/flash_line_reader.h"
#include "convert/status.h"

namespace {

constexpr int kExitUsage = 64;

std::string ToTypeName(int toType) {
  return toType == TypeNumber(ToType::kLoggerCsv) ? "To type 0 (logger CSV)"
                                                  : "To type 1 (gauge CSV)";
}

std::string FromTypeName(int fromType) {
  return IsGaugeDump(fromType) ? "a gauge dump (From type 3)"
                               : "a logger dump (From type " + std::to_string(fromType) + ")";
}

std::string Codes(const DumpLook& look) {
  return "range code " + std::to_string(look.rangeCode) + " with staff code " +
         std::to_string(look.staffCode);
}

KindChoice Refused(KindChoice choice, std::string problem, uint8_t status, int exitStatus) {
  choice.problem = std::move(problem);
  choice.status = status;
  choice.exitStatus = exitStatus;
  return choice;
}

// Auto could not settle the From type.
KindChoice Untold(const DumpLook& look, std::string_view head, const std::string& name) {
  const KindChoice none;
  if (look.kind == DumpKind::Logger && look.tables == LoggerTables::Both) {
    return Refused(none,
                   "cannot tell which logger type " + name + " is: " + Codes(look) +
                       " is in the tables of both; give --from-type 1 or --from-type 2",
                   kStatusReady, kExitUsage);
  }
  if (look.kind == DumpKind::Logger) {
    return Refused(none,
                   name + " is a logger dump, but " + Codes(look) +
                       " is in neither logger type's table: no staff length is known for it",
                   kStatusStaffLengthError, kStatusStaffLengthError);
  }
  return Refused(none, name + " is not a dump this program knows: " + WhyNotADump(head),
                 kStatusHeaderError, kStatusHeaderError);
}

std::string Hertz(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The band of the wave statistics must start below the Nyquist frequency
// of the dump's sample rate, or it holds no frequency the spectrum has.
std::string BandProblem(const CliOptions& options, const DumpLook& look, const std::string& name) {
  if (options.wavesTo.empty() || look.sampleRate <= 0)
    return "";
  const double nyquist = look.sampleRate / 2.0;
  if (options.waves.bandLow < nyquist)
    return "";
  return "--band " + Hertz(options.waves.bandLow) + ":" + Hertz(options.waves.bandHigh) +
         " lies above the Nyquist frequency of " + name + ", " + Hertz(nyquist) +
         " Hz (half its sample rate of " + std::to_string(look.sampleRate) +
         " Hz): give a band that starts below " + Hertz(nyquist) + " Hz";
}

}  // namespace

KindChoice ChooseKinds(const CliOptions& options, const DumpLook& look, std::string_view head,
                       const std::string& name) {
  KindChoice choice;
  choice.fromType =
      options.fromType != TypeNumber(FromType::kNone) ? options.fromType : FromTypeForLook(look);
  if (choice.fromType == TypeNumber(FromType::kNone))
    return Untold(look, head, name);
  if (IsGaugeDump(choice.fromType) && options.correction) {
    return Refused(choice,
                   name + " is a gauge dump; --gain and --offset apply to From types 1 and 2 only",
                   kStatusReady, kExitUsage);
  }
  const int fitting = ToTypeForFromType(choice.fromType);
  choice.toType = options.toType >= 0 ? options.toType : fitting;
  if (choice.toType != fitting) {
    return Refused(choice,
                   ToTypeName(choice.toType) + " does not fit " + name + ", " +
                       FromTypeName(choice.fromType) + ": give --to-type " +
                       std::to_string(fitting) + ", or leave --to-type out",
                   kStatusToTypeError, kStatusToTypeError);
  }
  if (std::string problem = BandProblem(options, look, name); !problem.empty())
    return Refused(choice, std::move(problem), kStatusReady, kExitUsage);
  return choice;
}
