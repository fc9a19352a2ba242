// Whatever ends a conversion early, its outputs keep one contract: nothing
// stands under a final name, what each output wrote is kept as
// NAME.partial, and standard error and the JSON report name every partial.
// Each row is a set of formats crossed with one way of failing.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli_process.h"
#include "tests/test_support.h"

namespace {

using zorq_test::CliRun;
using zorq_test::CliRunResult;

enum class Fault {
  FailingLine,  // a date stamp the dump cannot have, well into it
  Sigint,
  Sigterm,
  DiskFullEarly,   // writes past 4 KB fail, as on a full disk
  DiskFullLater,   // writes past 1 MB fail
  NoSpaceAtWrite,  // the Nth write that grows an output fails with ENOSPC
  ReadFailsAt,     // the Nth read of the dump fails with EIO
};

struct FaultRow {
  const char* name;
  Fault fault;
  std::set<int> exitCodes;  // 1 when the output could not be made at all
  long at = 0;              // N, for the rows that count writes or reads
};

struct FormatRow {
  const char* name;
  std::vector<std::string> options;
};

const FaultRow kFaults[] = {
    {"FailingLine", Fault::FailingLine, {4}},
    {"Sigint", Fault::Sigint, {130}},
    {"Sigterm", Fault::Sigterm, {143}},
    {"DiskFullEarly", Fault::DiskFullEarly, {1, 5}},
    {"DiskFullLater", Fault::DiskFullLater, {5}},
    {"NoSpaceAtFirstWrite", Fault::NoSpaceAtWrite, {1, 5}, 1},
    {"NoSpaceAtThirdWrite", Fault::NoSpaceAtWrite, {1, 5}, 3},
    // A NetCDF file's creation, its description, takes some twenty writes:
    // the tenth may fail it before the dump is read, the thirtieth comes
    // mid-run for every output.
    {"NoSpaceAtTenthWrite", Fault::NoSpaceAtWrite, {1, 5}, 10},
    {"NoSpaceAtThirtiethWrite", Fault::NoSpaceAtWrite, {5}, 30},
    {"ReadFailsAtFirst", Fault::ReadFailsAt, {1}, 1},
    {"ReadFailsAtThird", Fault::ReadFailsAt, {1}, 3},
};

const FormatRow kFormats[] = {
    {"Legacy", {"--format", "legacy"}},
    {"Netcdf", {"--format", "netcdf", "--units", "m"}},
    {"Tidy", {"--format", "tidy"}},
    {"All", {"--format", "legacy,netcdf,tidy", "--units", "m"}},
    {"NetcdfTidyWaves", {"--format", "netcdf,tidy", "--units", "m", "--waves", "auto"}},
    // The statistics' CSV and their NetCDF file beside the legacy CSV and NAME.nc.
    {"LegacyNetcdfWaves", {"--format", "legacy,netcdf", "--units", "m", "--waves", "auto"}},
};

constexpr const char* kGaugeLine = "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n";

// A gauge dump of about `bytes`, in bursts of 200 lines under their own
// date stamps; with `failAt`, the stamp of burst `failAt` is cut short.
std::string GaugeDump(size_t bytes, int failAt = -1) {
  std::string dump = "Y24,M03,D12,H09,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n";
  for (int burst = 0; dump.size() < bytes; ++burst) {
    const int minute = burst % 60;
    const int hour = 9 + burst / 60 % 12;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "Y24,M03,D12,H%02d,M%02d,S00,\r\n", hour, minute);
    dump += burst == failAt ? std::string("Y24,M03,\r\n") : std::string(stamp);
    for (int line = 0; line < 200; ++line)
      dump += kGaugeLine;
  }
  return dump;
}

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
    names.insert(entry.path().filename().string());
  return names;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void PrintTo(const FormatRow& row, std::ostream* out) {
  *out << row.name;
}

void PrintTo(const FaultRow& row, std::ostream* out) {
  *out << row.name;
}

class OutputsContract : public testing::TestWithParam<std::tuple<FormatRow, FaultRow>> {
 protected:
  CliRunResult Run(const std::vector<std::string>& args, const FaultRow& row) {
    const Fault fault = row.fault;
    CliRun run{args, dir_.path(), {}, {}, {}};
    if (fault == Fault::NoSpaceAtWrite || fault == Fault::ReadFailsAt) {
      run.env["LD_PRELOAD"] = ZORQ_FULL_DISK_SHIM;
      // An AddressSanitizer build wants its runtime loaded first.
      const char* asan = std::getenv("ASAN_OPTIONS");
      run.env["ASAN_OPTIONS"] =
          std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
      const std::string at = std::to_string(row.at);
      if (fault == Fault::NoSpaceAtWrite) {
        run.env["ZORQ_TEST_FULL_DISK_AT"] = at;
        run.env["ZORQ_TEST_FULL_DISK_MARK"] = "/out/";  // every output, named or not
      } else {
        run.env["ZORQ_TEST_READ_FAIL_AT"] = at;
      }
    }
    if (fault == Fault::DiskFullEarly)
      run.fileSizeLimit = 4 * 1024;
    if (fault == Fault::DiskFullLater)
      run.fileSizeLimit = 1024 * 1024;
    if (fault != Fault::Sigint && fault != Fault::Sigterm)
      return zorq_test::RunCliProcess(run);
    const int signal = fault == Fault::Sigint ? SIGINT : SIGTERM;
    zorq_test::RunningCli cli(run);
    EXPECT_TRUE(cli.WaitUntilCatching(signal));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cli.Signal(signal);
    return cli.Wait();
  }

  zorq_test::TempDir dir_;
};

TEST_P(OutputsContract, NothingUnderAFinalNameAndEveryPartialNamed) {
  const auto& [formats, fault] = GetParam();
  // Large enough that a signal 50 ms in, or a 1 MB limit, comes mid-run.
  const size_t bytes = fault.fault == Fault::FailingLine ? 400'000 : 24'000'000;
  zorq_test::WriteWholeFile(dir_.Path("dump.txt"),
                            GaugeDump(bytes, fault.fault == Fault::FailingLine ? 20 : -1));
  std::vector<std::string> args = {"--json"};
  args.insert(args.end(), formats.options.begin(), formats.options.end());
  args.insert(args.end(), {"-o", "out", "dump.txt"});

  const CliRunResult result = Run(args, fault);
  EXPECT_TRUE(fault.exitCodes.count(result.exitCode)) << result.exitCode << "\n" << result.err;
  EXPECT_EQ(result.err.find("HDF5"), std::string::npos) << result.err;
  const std::vector<zorq_test::Json> reports = zorq_test::JsonLines(result.out);
  ASSERT_EQ(reports.size(), 1u) << result.out << result.err;
  std::set<std::string> reported;
  for (const auto& partial : reports[0].at("partial_outputs"))
    reported.insert(std::filesystem::path(partial.get<std::string>()).filename().string());

  std::set<std::string> kept;
  for (const std::string& name : Listing(dir_.Path("out"))) {
    EXPECT_TRUE(EndsWith(name, ".partial")) << name << " stands under a final name";
    EXPECT_NE(name.front(), '.') << name << ": a temporary was left behind";
    EXPECT_NE(result.err.find("'out/" + name + "'"), std::string::npos)
        << name << " is not named on standard error:\n"
        << result.err;
    kept.insert(name);
  }
  EXPECT_EQ(reported, kept);
}

INSTANTIATE_TEST_SUITE_P(Rows, OutputsContract,
                         testing::Combine(testing::ValuesIn(kFormats), testing::ValuesIn(kFaults)),
                         [](const testing::TestParamInfo<std::tuple<FormatRow, FaultRow>>& row) {
                           return std::string(std::get<0>(row.param).name) + "_" +
                                  std::get<1>(row.param).name;
                         });

}  // namespace
