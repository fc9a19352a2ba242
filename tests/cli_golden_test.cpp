// The command line's messages and JSON reports, compared byte for byte with
// the files checked in under tests/cli-golden (see its README.md): each
// NAME.sh runs in a fresh folder of dumps, and what it writes to standard
// output and error, and its exit status, must equal NAME.stdout,
// NAME.stderr and NAME.exit. With ZORQ_UPDATE_GOLDEN=1 the files are
// written instead.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

const std::filesystem::path kGoldenFolder =
    std::filesystem::path(ZORQ_SOURCE_DIR) / "tests/cli-golden";

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kGoldenFolder)) {
    if (entry.path().extension() == ".sh")
      names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The dumps every case finds in its folder.
void WriteDumps(const TempDir& dir) {
  const std::string logger = zorq_test::WorkedLoggerDump();
  const std::string gauge = zorq_test::WorkedGaugeDump();
  WriteWholeFile(dir.Path("logger.txt"), logger);
  WriteWholeFile(dir.Path("gauge.txt"), gauge);
  // A date-stamp line too short to decode, on line 2.
  WriteWholeFile(dir.Path("stamp.txt"),
                 gauge.substr(0, 63) + "Y19,M06\r\n" + std::string(80, '1') + "\r\n");
  std::string both = logger;  // range code 2: in both logger tables
  WriteWholeFile(dir.Path("both.txt"), both.replace(41, 3, "A2,"));
  std::string unscaled = logger;  // range code 9: in neither
  WriteWholeFile(dir.Path("unscaled.txt"), unscaled.replace(41, 3, "A9,"));
  std::string odd = logger;  // a count that is not one number
  WriteWholeFile(dir.Path("odd.txt"), odd.replace(odd.find("2048,2050"), 9, "22x1,2050"));
  WriteWholeFile(dir.Path("empty.txt"), "");
}

struct Ran {
  std::string out;
  std::string err;
  std::string exit;
};

Ran RunCase(const std::string& name) {
  TempDir dir;
  WriteDumps(dir);
  const std::string folder = std::filesystem::path(ZORQ_CLI_PATH).parent_path().string();
  const std::string script = (kGoldenFolder / (name + ".sh")).string();
  const std::string command = "cd '" + dir.path() + "' && env -u NO_COLOR TZ=UTC LC_ALL=C PATH='" +
                              folder + "':\"$PATH\" bash '" + script +
                              "' < /dev/null > .out 2> .err";
  const int status = std::system(command.c_str());
  Ran ran;
  ran.out = ReadWholeFile(dir.Path(".out"));
  ran.err = ReadWholeFile(dir.Path(".err"));
  ran.exit = std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "\n";
  return ran;
}

class CliGolden : public testing::TestWithParam<std::string> {};

TEST_P(CliGolden, OutputErrorAndExitStatusAreAsCheckedIn) {
  const std::string name = GetParam();
  const Ran ran = RunCase(name);
  const std::filesystem::path base = kGoldenFolder / name;
  const char* update = std::getenv("ZORQ_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    WriteWholeFile(base.string() + ".stdout", ran.out);
    WriteWholeFile(base.string() + ".stderr", ran.err);
    WriteWholeFile(base.string() + ".exit", ran.exit);
    GTEST_SKIP() << "written anew: review them with git diff " << kGoldenFolder.string();
  }
  ASSERT_TRUE(std::filesystem::exists(base.string() + ".exit"))
      << "no expected files for " << name << ".sh: write them as README.md says";
  EXPECT_EQ(ran.out, ReadWholeFile(base.string() + ".stdout"));
  EXPECT_EQ(ran.err, ReadWholeFile(base.string() + ".stderr"));
  EXPECT_EQ(ran.exit, ReadWholeFile(base.string() + ".exit"));
}

INSTANTIATE_TEST_SUITE_P(Cases, CliGolden, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
