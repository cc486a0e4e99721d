// Costs paid on every conversion start: loading the media libraries (cold and once loaded) and
// copying a task's options into its converter.
#include <benchmark/benchmark.h>

#include "engine/options.h"
#include "media/media_loader.h"

namespace {

using namespace zembra;

void BM_LoadMediaLibrariesCold(benchmark::State& state) {
  for (auto _ : state) {
    media::UnloadMediaLibraries();
    media::LoadMediaLibraries();
  }
}
BENCHMARK(BM_LoadMediaLibrariesCold)->Unit(benchmark::kMillisecond);

void BM_LoadMediaLibrariesWarm(benchmark::State& state) {
  media::LoadMediaLibraries();
  for (auto _ : state) media::LoadMediaLibraries();
}
BENCHMARK(BM_LoadMediaLibrariesWarm);

void BM_AssignConvertOptions(benchmark::State& state) {
  engine::TAVConvertOptions source;
  for (int i = 0; i < 8; ++i) source.SetAdvancedOption("opt" + std::to_string(i), "1");
  source.VideoOptions().SetEncoderVideoCodecName("libx264");
  for (auto _ : state) {
    engine::TAVConvertOptions target;
    target.Assign(source);
    benchmark::DoNotOptimize(target);
  }
}
BENCHMARK(BM_AssignConvertOptions);

}  // namespace
