// The sheet's editing operations on large sheets: adding, finding, selecting by
// pattern, restacking the selection, splitting and switching the measurement.
#include "Mivora.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace mivora;

namespace {

// A sheet of Count cells named C0, C1, ... laid out in rows of 100.
std::unique_ptr<TMivora> MakeSheet(int64_t Count) {
  auto sheet = std::make_unique<TMivora>(nullptr);
  for (int64_t i = 0; i < Count; ++i)
    sheet->AddCell("C" + std::to_string(i), static_cast<float>(i % 100) * 0.2f,
                   static_cast<float>(i / 100) * 0.2f, 0.2f, 0.2f);
  return sheet;
}

void SheetSizes(benchmark::internal::Benchmark* B) {
  B->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);
}

void BM_AddCells(benchmark::State& State) {
  for (auto _ : State) {
    auto sheet = MakeSheet(State.range(0));
    benchmark::DoNotOptimize(sheet.get());
  }
  State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BM_AddCells)->Apply(SheetSizes);

void BM_Find(benchmark::State& State) {
  auto sheet = MakeSheet(State.range(0));
  int64_t i = 0;
  const std::string prefix = "c"; // another letter case than stored
  for (auto _ : State) {
    benchmark::DoNotOptimize(sheet->Find(prefix + std::to_string(i)));
    i = (i + 7919) % State.range(0);
  }
}
BENCHMARK(BM_Find)->Apply(SheetSizes);

void BM_SelectAll(benchmark::State& State) {
  auto sheet = MakeSheet(State.range(0));
  for (auto _ : State) benchmark::DoNotOptimize(sheet->Select("*"));
  State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BM_SelectAll)->Apply(SheetSizes);

void BM_SelectPrefix(benchmark::State& State) {
  auto sheet = MakeSheet(State.range(0));
  for (auto _ : State) benchmark::DoNotOptimize(sheet->Select("C1*;*99"));
  State.counters["selected"] = sheet->GetSelectionCount();
}
BENCHMARK(BM_SelectPrefix)->Apply(SheetSizes);

void BM_BringSelectionToFront(benchmark::State& State) {
  auto sheet = MakeSheet(State.range(0));
  sheet->Select("*");
  for (auto _ : State) sheet->BringToFront(nullptr);
  State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BM_BringSelectionToFront)->Apply(SheetSizes);

void BM_SendHalfToBack(benchmark::State& State) {
  auto sheet = MakeSheet(State.range(0));
  sheet->Select("*1;*3;*5;*7;*9");
  for (auto _ : State) sheet->SendToBack(nullptr);
}
BENCHMARK(BM_SendHalfToBack)->Apply(SheetSizes);

// Splitting one cell into 100 x 100 new cells on a sheet that already holds n.
void BM_Split100x100(benchmark::State& State) {
  auto sheet = MakeSheet(State.range(0));
  for (auto _ : State) {
    sheet->Add("Cut", 0, 0, 20, 20);
    sheet->Split("T", 100, 100);
    State.PauseTiming();
    sheet->Remove(nullptr);
    sheet->PurgeRemovedCells();
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * 10'000);
}
BENCHMARK(BM_Split100x100)->Apply(SheetSizes);

void BM_SwitchMeasurement(benchmark::State& State) {
  auto sheet = MakeSheet(State.range(0));
  bool inches = false;
  for (auto _ : State) {
    inches = !inches;
    sheet->SetMeasurement(inches ? mtInches : mtCentimeters);
  }
  State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BM_SwitchMeasurement)->Apply(SheetSizes);

} // namespace
