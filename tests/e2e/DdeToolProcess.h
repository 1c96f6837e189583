// Runs the meldrix-dde tool against the DDE folder of an end-to-end setup:
// once to completion (RunDdeTool) or in the background (serve, advise).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "e2e/E2eHarness.h"

namespace meldrix::testing {

// meldrix-dde on the DDE folder `ddeFolder`, its output in `logBase`.out
// and .err.
class DdeToolProcess : public LoggedProcess {
 public:
  DdeToolProcess(const std::string& ddeFolder, const std::string& logBase, std::vector<std::string> arguments)
      : LoggedProcess("meldrix-dde", std::move(arguments), EnvironmentWith({"MELDRIX_DDE_DIR=" + ddeFolder}),
                      logBase) {}
};

struct DdeToolResult {
  int status = -1;
  std::string out, err;
};

inline DdeToolResult RunDdeTool(const E2eSetup& setup, std::vector<std::string> arguments) {
  static std::atomic<int> counter{0};
  DdeToolProcess tool(setup.RuntimeFolder() + "/dde",
                      setup.File("dde-tool-" + std::to_string(counter++)), std::move(arguments));
  DdeToolResult result;
  result.status = tool.WaitForExit().value_or(-1);
  result.out = tool.Output();
  result.err = tool.Errors();
  return result;
}

// Waits until `meldrix-dde list` shows the service (any process).
inline bool WaitForDdeService(const E2eSetup& setup, const std::string& service) {
  return WaitUntil([&] {
    return RunDdeTool(setup, {"list"}).out.find(service + "\t") != std::string::npos;
  });
}

}  // namespace meldrix::testing
