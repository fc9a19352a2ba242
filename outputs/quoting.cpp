#include "outputs/quoting.h"

#include <cstdio>

namespace {

// One character of a name: its bytes, and whether it is shown as it is.
struct Piece {
  size_t length = 1;
  bool printable = true;
};

// The code points that reorder text or end a line on a terminal.
bool IsLayoutControl(char32_t code) {
  return (code >= 0x200E && code <= 0x200F) || (code >= 0x2028 && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

// A UTF-8 sequence of 2 to 4 bytes at `at`, or 0 when the bytes there are
// none (overlong forms and surrogates are none either).
size_t SequenceLength(std::string_view text, size_t at, char32_t* code) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    *code = lead & 0x1Fu;
    least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    *code = lead & 0x0Fu;
    least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    *code = lead & 0x07u;
    least = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size())
    return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80u)
      return 0;
    *code = (*code << 6) | (byte(at + i) & 0x3Fu);
  }
  if (*code < least || *code > 0x10FFFF || (*code >= 0xD800 && *code <= 0xDFFF))
    return 0;
  return length;
}

Piece PieceAt(std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80)
    return {1, lead >= 0x20 && lead != 0x7F};
  char32_t code = 0;
  const size_t length = SequenceLength(text, at, &code);
  if (length == 0)
    return {1, false};
  return {length, code >= 0xA0 && !IsLayoutControl(code)};
}

// Characters a shell would read as more than a letter of a name.
bool IsShellSpecial(char c, bool first) {
  if (first && (c == '~' || c == '#'))
    return true;
  switch (c) {
    case ' ':
    case '!':
    case '"':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case ';':
    case '<':
    case '>':
    case '?':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

void AppendEscape(std::string* out, unsigned char byte) {
  switch (byte) {
    case '\a':
      *out += "\\a";
      return;
    case '\b':
      *out += "\\b";
      return;
    case '\t':
      *out += "\\t";
      return;
    case '\n':
      *out += "\\n";
      return;
    case '\v':
      *out += "\\v";
      return;
    case '\f':
      *out += "\\f";
      return;
    case '\r':
      *out += "\\r";
      return;
    default:
      break;
  }
  char octal[8];
  std::snprintf(octal, sizeof octal, "\\%03o", byte);
  *out += octal;
}

struct NameLook {
  bool special = false;         // something a shell would take apart
  bool escapes = false;         // bytes that are shown escaped
  bool apostrophe = false;      // a ' in it
  bool doubleQuoteSafe = true;  // nothing that double quotes would expand
};

NameLook LookAt(std::string_view name) {
  NameLook look;
  for (size_t at = 0; at < name.size();) {
    const Piece piece = PieceAt(name, at);
    if (!piece.printable) {
      look.escapes = true;
    } else if (piece.length == 1) {
      const char c = name[at];
      look.special = look.special || IsShellSpecial(c, at == 0);
      look.apostrophe = look.apostrophe || c == '\'';
      look.doubleQuoteSafe =
          look.doubleQuoteSafe && c != '"' && c != '$' && c != '`' && c != '\\' && c != '!';
    }
    at += piece.length;
  }
  return look;
}

// 'a'$'\n''b': printable runs in single quotes, the others as $'...'.
std::string SingleQuoted(std::string_view name) {
  std::string out;
  bool inQuotes = false;
  bool inEscapes = false;
  for (size_t at = 0; at < name.size();) {
    const Piece piece = PieceAt(name, at);
    if (piece.printable) {
      if (inEscapes)
        out += '\'';
      inEscapes = false;
      if (!inQuotes)
        out += '\'';
      inQuotes = true;
      const std::string_view text = name.substr(at, piece.length);
      out += text == "'" ? "'\\''" : std::string(text);
    } else {
      if (inQuotes)
        out += '\'';
      inQuotes = false;
      if (!inEscapes)
        out += "$'";
      inEscapes = true;
      for (size_t i = 0; i < piece.length; ++i)
        AppendEscape(&out, static_cast<unsigned char>(name[at + i]));
    }
    at += piece.length;
  }
  if (inQuotes || inEscapes)
    out += '\'';
  return out.empty() ? "''" : out;
}

std::string Quote(std::string_view name, bool always) {
  const NameLook look = LookAt(name);
  if (!always && !name.empty() && !look.special && !look.escapes)
    return std::string(name);
  if (look.apostrophe && !look.escapes && look.doubleQuoteSafe)
    return "\"" + std::string(name) + "\"";
  return SingleQuoted(name);
}

}  // namespace

std::string ShownName(std::string_view name) {
  return Quote(name, false);
}

std::string QuotedName(std::string_view name) {
  return Quote(name, true);
}
