#include "cli/kinds.h"

#include <algorithm>
#include <cstdio>

#include "convert/flash_line_reader.h"
#include "convert/status.h"

namespace {

constexpr int kExitUsage = 64;

bool IsTextByte(unsigned char byte) {
  return byte >= 0x20 ? byte != 0x7F : byte == '\t' || byte == '\r' || byte == '\n';
}

std::string ByteText(unsigned char byte) {
  if (byte > 0x20 && byte < 0x7F && byte != '\'')
    return std::string("'") + static_cast<char>(byte) + "'";
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

std::string ToTypeName(int toType) {
  return toType == 0 ? "To type 0 (logger CSV)" : "To type 1 (gauge CSV)";
}

std::string FromTypeName(int fromType) {
  return fromType == 3 ? "a gauge dump (From type 3)"
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

}  // namespace

std::string WhyNotADump(std::string_view head) {
  if (head.empty())
    return "it is empty";
  const auto binary = std::find_if(
      head.begin(), head.end(), [](char c) { return !IsTextByte(static_cast<unsigned char>(c)); });
  if (binary != head.end()) {
    return "it is not text (byte " + std::to_string(binary - head.begin()) + " is " +
           ByteText(static_cast<unsigned char>(*binary)) + ")";
  }
  if (head.size() < static_cast<size_t>(FlashLineReader::kMinimumFirstBlock)) {
    return "it holds only " + std::to_string(head.size()) +
           " bytes, and a dump's header alone takes " +
           std::to_string(FlashLineReader::kMinimumFirstBlock);
  }
  if (head.front() != 'Y') {
    return "it starts with " + ByteText(static_cast<unsigned char>(head.front())) +
           ", and a dump's header starts with 'Y'";
  }
  return "its header has neither a logger dump's letters (A at offset 41, C at offset 44) nor "
         "a gauge dump's (X at offset 45, T at offset 49)";
}

KindChoice ChooseKinds(const CliOptions& options, const DumpLook& look, std::string_view head,
                       const std::string& name) {
  KindChoice choice;
  choice.fromType = options.fromType != 0 ? options.fromType : FromTypeForLook(look);
  if (choice.fromType == 0)
    return Untold(look, head, name);
  if (choice.fromType == 3 && options.correction) {
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
  return choice;
}
