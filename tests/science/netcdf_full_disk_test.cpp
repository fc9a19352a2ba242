// A disk that fills up under the NetCDF output, at each step of the file's
// life: the library's own writes fail (through a preloaded shim), and the
// command line must end with one clear line, no crash and no file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tests/cli_process.h"
#include "tests/science/science_test_support.h"
#include "tests/test_support.h"

namespace {

using science_test::Scratch;
using zorq_test::CliRun;
using zorq_test::CliRunResult;

constexpr int kFileError = 1;  // the output could not be made
constexpr int kWriteFailed = 5;
constexpr int kDumpRepeats = 3000;

// Which of the run's writes that grow the NetCDF file is the first to fail.
enum class FullFrom { kFirst, kMiddle, kOneBeforeLast, kLast };

struct FullDiskRow {
  const char* name;
  FullFrom from;
  bool waves;
  int status;
};

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  return lines;
}

class NetcdfFullDisk : public testing::TestWithParam<FullDiskRow> {
 protected:
  NetcdfFullDisk() {
    zorq_test::WriteWholeFile(scratch_.Path("big.txt"),
                              zorq_test::RepeatedWorkedLoggerDump(kDumpRepeats));
  }

  CliRun Run(const std::map<std::string, std::string>& shim) const {
    CliRun run{{"--format", "netcdf", "big.txt", "big.nc"}, folder_, {}, {}, {{"TZ", "UTC"}}};
    if (GetParam().waves)
      run.args.insert(run.args.begin(), {"--waves", "auto"});
    run.env = shim;
    run.env["TZ"] = "UTC";
    run.env["LD_PRELOAD"] = ZORQ_FULL_DISK_SHIM;
    // An AddressSanitizer build wants its runtime loaded first.
    const char* asan = std::getenv("ASAN_OPTIONS");
    run.env["ASAN_OPTIONS"] =
        std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
    return run;
  }

  // The writes a run that fits makes to its NetCDF file.
  long CountWrites() {
    const std::string countFile = scratch_.Path("writes");
    const CliRunResult result =
        zorq_test::RunCliProcess(Run({{"ZORQ_TEST_COUNT_WRITES_TO", countFile}}));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::filesystem::remove(scratch_.Path("big.nc"));
    std::filesystem::remove(scratch_.Path("big.waves.csv"));
    std::filesystem::remove(scratch_.Path("big.waves.nc"));
    long writes = 0;
    std::ifstream(countFile) >> writes;
    std::filesystem::remove(countFile);
    return writes;
  }

  Scratch scratch_;
  std::string folder_ = scratch_.Path("");
};

TEST_P(NetcdfFullDisk, EndsWithOneLineNamingTheFileAndLeavesNothing) {
  const long writes = CountWrites();
  ASSERT_GT(writes, 3);
  const long from = GetParam().from == FullFrom::kFirst           ? 1
                    : GetParam().from == FullFrom::kMiddle        ? writes / 2
                    : GetParam().from == FullFrom::kOneBeforeLast ? writes - 1
                                                                  : writes;
  const CliRunResult result =
      zorq_test::RunCliProcess(Run({{"ZORQ_TEST_FULL_DISK_AT", std::to_string(from)}}));

  EXPECT_EQ(result.exitCode, GetParam().status) << result.err;
  EXPECT_EQ(result.err.find("HDF5-DIAG"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.find("HDF5"), std::string::npos) << result.out;
  // The hidden temporary is never named; what the other outputs wrote is
  // kept as NAME.partial, and named.
  std::string told = result.err;
  for (size_t at; (at = told.find(".partial")) != std::string::npos;)
    told.erase(at, std::strlen(".partial"));
  EXPECT_EQ(told.find(".part"), std::string::npos) << result.err;
  int lines = 0;
  for (const std::string& line : Lines(result.err)) {
    if (line.find("No space left on device") == std::string::npos)
      continue;
    ++lines;
    // With statistics, the disk may fill under their NetCDF file first.
    const bool named = line.find("\"big.nc\"") != std::string::npos ||
                       (GetParam().waves && line.find("\"big.waves.nc\"") != std::string::npos);
    EXPECT_TRUE(named) << line;
  }
  EXPECT_EQ(lines, 1) << result.err;
  EXPECT_EQ(result.err.find("Permission denied"), std::string::npos) << result.err;
  std::set<std::string> left = Listing(folder_);
  for (const char* partial : {"big.waves.csv.partial", "big.waves.nc.partial"}) {
    if (left.count(partial) != 0 &&
        result.err.find("'" + std::string(partial) + "'") != std::string::npos)
      left.erase(partial);
  }
  EXPECT_EQ(left, (std::set<std::string>{"big.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, NetcdfFullDisk,
    testing::Values(FullDiskRow{"AtCreate", FullFrom::kFirst, false, kFileError},
                    FullDiskRow{"InTheMiddle", FullFrom::kMiddle, false, kWriteFailed},
                    FullDiskRow{"OneBeforeClose", FullFrom::kOneBeforeLast, false, kWriteFailed},
                    FullDiskRow{"AtClose", FullFrom::kLast, false, kWriteFailed},
                    FullDiskRow{"AtCreateWithWaves", FullFrom::kFirst, true, kFileError},
                    // The statistics' writes interleave with the readings' as the
                    // threads run, so the count of writes varies near the end.
                    FullDiskRow{"InTheMiddleWithWaves", FullFrom::kMiddle, true, kWriteFailed}),
    [](const testing::TestParamInfo<FullDiskRow>& row) { return std::string(row.param.name); });

}  // namespace
