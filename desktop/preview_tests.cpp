#include "desktop/preview_tests.h"

#include <map>

#include "outputs/reading_flags.h"

namespace {

std::map<std::string, std::string>& DeploymentByDump() {
  static std::map<std::string, std::string> files;
  return files;
}

}  // namespace

void ChooseDeploymentFor(const std::string& dumpPath, const std::string& deploymentFile) {
  if (deploymentFile.empty())
    DeploymentByDump().erase(dumpPath);
  else
    DeploymentByDump()[dumpPath] = deploymentFile;
}

VariableTests PreviewTestsFor(const std::string& dumpPath) {
  const auto known = DeploymentByDump().find(dumpPath);
  VariableTests tests;
  std::string ignored;
  if (known == DeploymentByDump().end() || !ReadQcTests(known->second, &tests, &ignored))
    return {};
  return tests;
}
