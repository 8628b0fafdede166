// Number text hot path: every computed value is written in the general format and read back.
#include "common/NumberText.h"

#include <benchmark/benchmark.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<long double> sampleValues()
{
    // Prices, averages and ratios of the sizes the engine produces.
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> d(0.0, 5000.0);
    std::vector<long double> v(4096);
    for (auto& x : v)
        x = static_cast<long double>(d(rng)) / 7.0L;
    return v;
}

void BM_FormatAndParse(benchmark::State& state)
{
    const auto values = sampleValues();
    std::string text;
    std::size_t i = 0;
    for (auto _ : state) {
        text.clear();
        vorteq::appendNumber(text, values[i++ & 4095]);
        auto back = vorteq::parseNumber(text);
        benchmark::DoNotOptimize(back);
    }
}
BENCHMARK(BM_FormatAndParse);

void BM_Format(benchmark::State& state)
{
    const auto values = sampleValues();
    std::string text;
    std::size_t i = 0;
    for (auto _ : state) {
        text.clear();
        vorteq::appendNumber(text, values[i++ & 4095]);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_Format);

void BM_Parse(benchmark::State& state)
{
    std::vector<std::string> texts;
    for (auto v : sampleValues())
        texts.push_back(vorteq::formatNumber(v));
    std::size_t i = 0;
    for (auto _ : state) {
        auto back = vorteq::parseNumber(texts[i++ & 4095]);
        benchmark::DoNotOptimize(back);
    }
}
BENCHMARK(BM_Parse);

void BM_FormatExactReference(benchmark::State& state)
{
    const auto values = sampleValues();
    std::size_t i = 0;
    for (auto _ : state) {
        auto t = vorteq::formatNumberExact(values[i++ & 4095]);
        benchmark::DoNotOptimize(t.data());
    }
}
BENCHMARK(BM_FormatExactReference);

} // namespace

BENCHMARK_MAIN();
