// Evaluations per second of typical message texts: a few variables, CONCAT,
// MID, FORMAT and an IF, as configured message texts use them.
#include <benchmark/benchmark.h>

#include <string>

#include "expr/DataValueStorage.h"
#include "expr/ExprEvaluator.h"

namespace {

meldrix::CDataValueStorage& Store() {
  static meldrix::CDataValueStorage store(false);
  static bool filled = [] {
    store.Set("$MESSAGE", "BMZ 03;Brand;Halle 3 Melder 7;2019-05-06 07:08:09");
    store.Set("$MSGFIELD[1]", "BMZ 03");
    store.Set("$MSGFIELD[2]", "Brand");
    store.Set("$MSGFIELD[3]", "Halle 3 Melder 7");
    store.Set("$INPORT", "COM1");
    store.Set("temp", "21.456");
    return true;
  }();
  (void)filled;
  return store;
}

void BM_SimpleExpression(benchmark::State& state) {
  auto& store = Store();
  std::string result;
  for (auto _ : state) {
    meldrix::EvaluateExpression("CONCAT($MSGFIELD[2], ' ', $MSGFIELD[3])", store, result);
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimpleExpression);

void BM_TypicalMessageText(benchmark::State& state) {
  auto& store = Store();
  const std::string text =
      "Alarm {{ $MSGFIELD[2] }} in {{ MID($MSGFIELD[3], 1, 7) }}: "
      "{{ IF FIND($MESSAGE, 'Brand') > 0 THEN prio := 1 ELSE prio := 3 END_IF; "
      "CONCAT('Prio ', prio) }}, Temperatur {{ FORMAT(temp, '##0.0') }} Grad, "
      "Quelle {{ $INPORT }}";
  for (auto _ : state) {
    std::string expanded = meldrix::ExpandText(text, store);
    benchmark::DoNotOptimize(expanded);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TypicalMessageText);

void BM_CheckText(benchmark::State& state) {
  auto& store = Store();
  const std::string text =
      "{{ IF a > 1 THEN b := CONCAT('x', MID(c, 2, 3)) ELSE b := FORMAT(1.5, '0.00') END_IF }}";
  for (auto _ : state) benchmark::DoNotOptimize(meldrix::CheckText(text, store));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CheckText);

}  // namespace
