// File names in messages, quoted as `ls` quotes them on a terminal: in
// single quotes when a shell would take them apart, with control bytes,
// bytes that are not UTF-8 and the characters that turn text around or
// break lines written as $'\n', $'\033', $'\377'. A name so quoted never
// moves the cursor, never changes the terminal and stays on one line.
#pragma once

#include <string>
#include <string_view>

// Quoted only when the name needs it: "stamp.txt", "'my dump.txt'". For the
// NAME: and NAME:LINE: starts of lines.
std::string ShownName(std::string_view name);

// Always quoted: "'stamp.txt'". For names inside a sentence.
std::string QuotedName(std::string_view name);
