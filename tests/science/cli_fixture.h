// The command line run in a scratch folder that holds the worked logger and
// gauge dumps, in UTC, with its temporaries kept in that folder too.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/cli_process.h"
#include "tests/science/science_test_support.h"
#include "tests/test_support.h"

namespace science_test {

class CliInScratch : public testing::Test {
 protected:
  CliInScratch() {
    zorq_test::WriteWholeFile(scratch_.Path("logger.txt"), zorq_test::WorkedLoggerDump());
    zorq_test::WriteWholeFile(scratch_.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
  }

  zorq_test::CliRunResult Run(std::vector<std::string> args) const {
    return zorq_test::RunCliProcess(
        zorq_test::CliRun{std::move(args), folder_, {}, {}, {{"TZ", "UTC"}, {"TMPDIR", folder_}}});
  }

  Scratch scratch_;
  std::string folder_ = scratch_.Path("");
};

}  // namespace science_test
