// The expression language: scanner, grammar and evaluator. Every input is
// evaluated, checked, and expanded as a configured text, against a fresh
// variable store. Starting commands and writing INI files are cut off at the
// link (see CMakeLists.txt): a fuzzer must not run what it writes.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "expr/DataValueStorage.h"
#include "expr/ExprEvaluator.h"
#include "expr/ExprParser.h"
#include "expr/ExternalAccess.h"

namespace {
// Set by the stand-ins, so the start-up check knows the link took them.
bool standInsUsed[2] = {false, false};
// True on the fuzzing thread while it runs an input.
thread_local bool runningInput = false;
}  // namespace

void CountErrorLimits(const std::string& error) {
  if (error.starts_with("Parser stack overflow")) meldrix::fuzz::LimitCounts::Met("parser stack");
  if (error.starts_with("Token buffer overflow")) meldrix::fuzz::LimitCounts::Met("token buffer");
}

extern "C" {
// FILETEXT waits 100 ms between its attempts on a file it cannot open; an
// input never waits (libFuzzer's own threads still sleep as they ask).
int __real_nanosleep(const timespec* duration, timespec* left);
int __wrap_nanosleep(const timespec* duration, timespec* left) {
  if (runningInput) return 0;
  return __real_nanosleep(duration, left);
}

meldrix::ExpressionRun __real__ZN7meldrix13RunExpressionESt17basic_string_viewIcSt11char_traitsIcEEPNS_17CDataValueStorageEmbiPi(
    std::string_view, meldrix::CDataValueStorage*, std::size_t, bool, int, int*);
// Every run of an expression passes here, EVAL's inner runs with their depth.
meldrix::ExpressionRun __wrap__ZN7meldrix13RunExpressionESt17basic_string_viewIcSt11char_traitsIcEEPNS_17CDataValueStorageEmbiPi(
    std::string_view expression, meldrix::CDataValueStorage* store, std::size_t capacity, bool checkMode,
    int depth, int* runsLeft) {
  if (depth >= meldrix::yy_parse::kMaxEvalDepth) meldrix::fuzz::LimitCounts::Met("EVAL at the deepest nesting");
  if (runsLeft && *runsLeft == 0) meldrix::fuzz::LimitCounts::Met("EVAL run budget spent");
  meldrix::ExpressionRun run =
      __real__ZN7meldrix13RunExpressionESt17basic_string_viewIcSt11char_traitsIcEEPNS_17CDataValueStorageEmbiPi(
          expression, store, capacity, checkMode, depth, runsLeft);
  // An inner run's error stays inside EVAL; only here is it seen.
  CountErrorLimits(run.message);
  return run;
}

int __wrap__ZN7meldrix13SpawnDetachedERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(
    const std::string&) {
  standInsUsed[0] = true;
  return 0;
}
bool __wrap__ZN7meldrix14PrivateProfile11WriteStringERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEESt17basic_string_viewIcS4_ESA_SA_(
    const std::string&, std::string_view, std::string_view, std::string_view) {
  standInsUsed[1] = true;
  return true;
}

// Refuses to fuzz when the stand-ins are not in place.
int LLVMFuzzerInitialize(int*, char***) {
  using namespace meldrix;
  for (const char* limit : {"EVAL at the deepest nesting", "EVAL run budget spent", "parser stack", "token buffer"})
    fuzz::LimitCounts::Watch(limit);
  fuzz::InstallEnv();
  CDataValueStorage store(false);
  std::string result;
  EvaluateExpression("EXECUTE('true'); INIWRITE('/nonexistent/fuzz.ini', 'S', 'K', 'V')", store, result);
  if (!standInsUsed[0] || !standInsUsed[1]) {
    std::fputs("fuzz_expr: EXECUTE or INIWRITE reached the real system; not fuzzing\n", stderr);
    std::abort();
  }
  return 0;
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::InstallEnv();
  runningInput = true;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CDataValueStorage store(false, std::make_shared<UnavailableDdeAccess>(),
                          std::make_shared<UnavailableOpcAccess>());
  store.Set("$MESSAGE", "Brand;Halle 3;Melder 7");
  store.Set("$LINE", "Melder 7 ausgeloest");

  std::string result, error;
  if (!EvaluateExpression(text, store, result, &error) && error.empty()) std::abort();
  CountErrorLimits(error);
  (void)CheckExpression(text, store);
  const bool html = size > 0 && (data[0] & 1) != 0;
  (void)ExpandText(text, store, html);
  (void)CheckText(text, store);
  runningInput = false;
  return 0;
}
