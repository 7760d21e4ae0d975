#include "cli/cli.h"

#include <cstdio>

#include "cli/options.h"
#include "cli/runner.h"
#include "io/one_line.h"

namespace holescan::cli {

int Run(const std::vector<std::string>& arguments) {
  const ParsedArguments parsed = ParseArguments(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, OneLine(parsed.error).c_str());
    return kExitUsage;
  }
  if (parsed.options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }
  if (parsed.options.version) {
    std::printf("%s %s\n", kProgram, HOLESCAN_VERSION);
    return kExitOk;
  }
  return Runner(parsed.options).RunAll();
}

}  // namespace holescan::cli
