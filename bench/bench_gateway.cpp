// Reply decoding of one screening result: 4,000 stocks x 46 columns, the largest reply the client
// receives. Throughput is reported per byte of inflated reply text.
#include "common/NumberText.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 4000;
constexpr int kColumns = 46;

// Rows shaped like the screening SELECT: code, name, market code and name, date, four prices,
// volume, then indicator values (averages, ratios, oscillators) of the sizes the server stores.
std::vector<std::vector<std::string>> screeningRows()
{
    static const char* const kNames[] = {
        "極洋",         "日本水産", "トヨタ自動車", "みずほフィナンシャルグループ",
        "ソフトバンク", "ｿﾆｰ",      "三菱ＵＦＪ",   "任天堂"};
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> price(80.0, 9000.0);
    std::uniform_real_distribution<double> ratio(-30.0, 30.0);
    std::uniform_int_distribution<int> volume(1000, 9000000);
    std::vector<std::vector<std::string>> rows;
    rows.reserve(kRows);
    for (int r = 0; r < kRows; ++r) {
        std::vector<std::string> row;
        row.reserve(kColumns);
        const double close = price(rng);
        row.push_back(std::to_string(1301 + r));
        row.push_back(std::string(kNames[r % 8]) + std::to_string(r % 10));
        row.push_back("11");
        row.push_back("東証１部");
        row.push_back("2006/03/31");
        for (int i = 0; i < 4; ++i)
            row.push_back(std::to_string(static_cast<int>(close * (0.97 + 0.02 * i))));
        row.push_back(std::to_string(volume(rng)));
        while (static_cast<int>(row.size()) < kColumns) {
            const int kind = static_cast<int>(row.size()) % 3;
            const double v =
                kind == 0 ? close * (1.0 + ratio(rng) / 100.0) : ratio(rng) * (kind == 1 ? 1.0 : 3.0);
            row.push_back(vorteq::formatNumber(static_cast<long double>(vorteq::truncate2(v))));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

const std::string& replyText()
{
    static const std::string text = [] {
        vorteq::wire::ReplyWriter w;
        if (!w.addTable(kColumns, screeningRows()).ok())
            std::abort();
        return w.finish();
    }();
    return text;
}

const std::string& replyBody()
{
    static const std::string body = vorteq::zlibCompress(replyText(), vorteq::ZlibLevel::Default).value();
    return body;
}

void BM_ParseReply(benchmark::State& state)
{
    const std::string& text = replyText();
    for (auto _ : state) {
        auto r = vorteq::wire::parseReplyText(text, 1);
        if (!r.ok() || r->sections.at(0).rowCount != kRows)
            state.SkipWithError("reply did not parse");
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    state.counters["text_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseReply)->Unit(benchmark::kMillisecond);

void BM_InflateReply(benchmark::State& state)
{
    const std::string& body = replyBody();
    for (auto _ : state) {
        auto text = vorteq::zlibDecompress(body);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(replyText().size()));
    state.counters["body_bytes"] = static_cast<double>(body.size());
}
BENCHMARK(BM_InflateReply)->Unit(benchmark::kMillisecond);

void BM_InflateAndParseReply(benchmark::State& state)
{
    const std::string& body = replyBody();
    for (auto _ : state) {
        auto text = vorteq::zlibDecompress(body);
        auto r = vorteq::wire::parseReplyText(text.value(), 1);
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(replyText().size()));
}
BENCHMARK(BM_InflateAndParseReply)->Unit(benchmark::kMillisecond);

// The server's side of the same reply: rows written one by one, then compressed for sending.
void BM_WriteReply(benchmark::State& state)
{
    const auto rows = screeningRows();
    std::vector<std::string_view> fields;
    for (auto _ : state) {
        vorteq::wire::ReplyWriter w;
        w.beginTable(kColumns);
        for (const auto& row : rows) {
            fields.assign(row.begin(), row.end());
            if (!w.addRow(fields).ok())
                state.SkipWithError("row refused");
        }
        w.endTable();
        auto text = w.finish();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(replyText().size()));
}
BENCHMARK(BM_WriteReply)->Unit(benchmark::kMillisecond);

void BM_CompressReply(benchmark::State& state)
{
    const std::string& text = replyText();
    for (auto _ : state) {
        auto body = vorteq::zlibCompress(text, vorteq::ZlibLevel::Fastest);
        benchmark::DoNotOptimize(body);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_CompressReply)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
