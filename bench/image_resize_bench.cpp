// The smooth resize of the image table beside stb_image_resize's Mitchell
// filter on the same input, in megapixels of output per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/image_table.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wnull-dereference"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>
#pragma GCC diagnostic pop

namespace {

std::vector<std::uint8_t> noise(int width, int height) {
  std::mt19937 random(42);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  for (auto& b : pixels) b = static_cast<std::uint8_t>(random());
  return pixels;
}

void report(benchmark::State& state, int dstWidth, int dstHeight) {
  state.counters["Mpx/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * dstWidth * dstHeight / 1e6,
      benchmark::Counter::kIsRate);
}

void larkspurMitchell(benchmark::State& state) {
  const int sw = static_cast<int>(state.range(0)), tw = static_cast<int>(state.range(1));
  const auto src = noise(sw, sw);
  std::vector<std::uint8_t> dst(static_cast<std::size_t>(tw) * tw * 4);
  for (auto _ : state) {
    benchmark::DoNotOptimize(larkspur::resampleSmooth(src.data(), sw, sw, dst.data(), tw, tw));
    benchmark::ClobberMemory();
  }
  report(state, tw, tw);
}

void stbMitchell(benchmark::State& state) {
  const int sw = static_cast<int>(state.range(0)), tw = static_cast<int>(state.range(1));
  const auto src = noise(sw, sw);
  std::vector<std::uint8_t> dst(static_cast<std::size_t>(tw) * tw * 4);
  for (auto _ : state) {
    // Channels filtered independently, as ours are: no premultiplying.
    benchmark::DoNotOptimize(stbir_resize_uint8_generic(
        src.data(), sw, sw, 0, dst.data(), tw, tw, 0, 4, 3, STBIR_FLAG_ALPHA_PREMULTIPLIED,
        STBIR_EDGE_CLAMP, STBIR_FILTER_MITCHELL, STBIR_COLORSPACE_LINEAR, nullptr));
    benchmark::ClobberMemory();
  }
  report(state, tw, tw);
}

}  // namespace

BENCHMARK(larkspurMitchell)->Args({640, 268})->Args({256, 128})->Unit(benchmark::kMicrosecond);
BENCHMARK(stbMitchell)->Args({640, 268})->Args({256, 128})->Unit(benchmark::kMicrosecond);
