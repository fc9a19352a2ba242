// The desktop program's arguments: the dump files among them as Qt's parser
// reads them, and Qt's own options (with their values) never taken for files.
#include <gtest/gtest.h>

#include <QStringList>
#include <array>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "desktop/qt_command_line.h"

namespace {

struct ArgumentsCase {
  const char* name;
  std::vector<std::string> raw;  // as the program is given them
  std::vector<std::string> files;
};

// What Qt makes of the raw arguments, less its own options.
QStringList Decoded(const std::vector<std::string>& raw) {
  QStringList arguments;
  for (const std::string& argument : raw)
    arguments << QString::fromLocal8Bit(argument);
  return arguments;
}

void PrintTo(const ArgumentsCase& row, std::ostream* out) {
  *out << row.name;
}

class QtArguments : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(QtArguments, TheDumpFilesAreThePositionalArguments) {
  EXPECT_EQ(DumpFilesInArguments(Decoded(GetParam().raw), GetParam().raw), GetParam().files);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, QtArguments,
    testing::Values(
        ArgumentsCase{"None", {"zorqconvert"}, {}},
        ArgumentsCase{"Two", {"zorqconvert", "a dump.txt", "b.txt"}, {"a dump.txt", "b.txt"}},
        ArgumentsCase{"BesideCheckPanel", {"zorqconvert", "--check-panel", "a.txt"}, {"a.txt"}},
        ArgumentsCase{
            "UnknownOptionLeftAlone", {"zorqconvert", "--fast", "-q", "a.txt"}, {"a.txt"}},
        ArgumentsCase{"DashNameAfterDoubleDash", {"zorqconvert", "--", "-odd.txt"}, {"-odd.txt"}},
        ArgumentsCase{"NonAsciiName", {"zorqconvert", "mess\u00e9.txt"}, {"mess\u00e9.txt"}},
        // Bytes no encoding reads: the file keeps its own name.
        ArgumentsCase{
            "UndecodableName", {"zorqconvert", "a.txt", "bad\xff.txt"}, {"a.txt", "bad\xff.txt"}},
        ArgumentsCase{"SameNameTwice", {"zorqconvert", "a.txt", "a.txt"}, {"a.txt", "a.txt"}}),
    [](const testing::TestParamInfo<ArgumentsCase>& row) { return std::string(row.param.name); });

// The real program: Qt takes "-platform offscreen" and "-style fusion"
// before the parser sees the rest, so neither value is taken for a dump.
TEST(QtArgumentsOfTheProgram, QtsOwnOptionsAndTheirValuesAreNoFiles) {
  const std::string command = std::string("\"") + ZORQ_DESKTOP_PROGRAM +
                              "\" -platform offscreen --check-panel -style fusion "
                              "/nonexistent/missing-dump.txt 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  std::array<char, 512> chunk{};
  while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), pipe) != nullptr)
    output += chunk.data();
  EXPECT_EQ(pclose(pipe), 0) << output;
  EXPECT_NE(output.find("\"/nonexistent/missing-dump.txt\" is no file"), std::string::npos)
      << output;
  EXPECT_NE(output.find("loads and shows"), std::string::npos) << output;
  EXPECT_EQ(output.find("\"offscreen\""), std::string::npos) << output;
  EXPECT_EQ(output.find("\"fusion\""), std::string::npos) << output;
}

}  // namespace
