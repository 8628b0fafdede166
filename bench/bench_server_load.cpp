// Screening requests against the statement server on loopback, over a generated market of 4,000
// stocks x 250 trading days, and the same statement run directly on SQLite for comparison.
//
//   BM_RawStatement/K        the screening SELECT on a plain connection: prepare (K = 0) or reuse
//                            a statement prepared once (K = 1), step, read every value in its stored
//                            type (no text conversion)
//   BM_ServiceInProcess/L/K  the server's whole handling of the request body without HTTP: inflate,
//                            split, session check, confined run (compiled once, then kept), value
//                            text, CP932, log line, and the reply deflated at level L (1: what a
//                            distant client gets; 0: stored blocks, what a client on this machine or
//                            a private network gets); K = 1 with the server's kept replies (the same
//                            batch again is answered from them, as long as the database is unchanged),
//                            K = 0 working every reply out
//   BM_ServiceAgainstRaw/L   the two above in pairs on one thread (service at level L working its
//                            reply out, raw statement kept), the order swapped every pair: the
//                            ratio of their CPU times, steady where separate runs drift with the load
//   BM_HttpScreening/L/K/threads:N   N clients, each POSTing the batch on a fresh HTTP/1.0 connection as
//                            the desktop client does, against a server on 2 threads replying at level
//                            L; requests per second, latency percentiles (p50_ms, p99_ms), the CPU
//                            time of the whole process (server and clients) per request and that of
//                            the server alone (the process less the client threads)
//
// The market is generated once per run into a temporary folder (VORTEQ_BENCH_DB=path keeps and
// reuses it). Run: bench_server_load --benchmark_counters_tabular=true
#include "common/DateText.h"
#include "gateway/ServletPath.h"
#include "gateway/THttpStatements.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "server/http/BatchService.h"
#include "server/http/HttpServer.h"
#include "server/policy/AccountStore.h"
#include "server/storage/Database.h"
#include "server/storage/Schema.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <random>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::server;
namespace fs = std::filesystem;

namespace {

constexpr int kStocks = 4000;
constexpr int kDays = 250;
constexpr int kYear = 2024;
constexpr int kClients = 8;

// Trading days of the year: weekdays from the first Monday, kDays of them.
std::vector<std::string> tradingDays()
{
    std::vector<std::string> days;
    Date d{kYear, 1, 4};
    while (static_cast<int>(days.size()) < kDays) {
        const int dow = dayOfWeek(d);
        if (dow != 0 && dow != 6)
            days.push_back(formatDate(d));
        d = addDays(d, 1);
    }
    return days;
}

double mean(const std::vector<double>& v, std::size_t end, std::size_t n)
{
    double s = 0;
    for (std::size_t i = end - n; i < end; ++i)
        s += v[i];
    return s / static_cast<double>(n);
}

// Random-walk prices with the indicator columns the screening compares filled from them (averages
// exact, the oscillators from simple windows); values have the sizes and spread of a real market.
void generateMarket(const std::string& path)
{
    auto db = Database::open(path, true);
    if (!db || !createSchema(*db, today().year)) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        std::exit(1);
    }
    (void)db->exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF");
    (void)db->exec("BEGIN");
    auto info = db->prepare("INSERT INTO STK_INFO VALUES (?, ?, 11)");
    for (int s = 0; s < kStocks; ++s) {
        info->bind(1, std::to_string(1300 + s)).bind(2, "銘柄" + std::to_string(s));
        (void)info->run();
        info->reset();
    }
    const std::string table = dailyTableName("STK_DAILY_TSE_", kYear);
    std::string sql = "INSERT INTO " + table + " VALUES (";
    for (std::size_t i = 0; i < dailyColumns().size(); ++i)
        sql += i == 0 ? "?" : ", ?";
    sql += ")";
    auto insert = db->prepare(sql);

    std::mt19937_64 rng(42);
    std::normal_distribution<double> step(0.0, 0.02);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::vector<double>> closes(kStocks);
    std::vector<double> volume(kStocks, 0);
    std::vector<int> renzoku(kStocks, 0);
    for (int s = 0; s < kStocks; ++s)
        closes[static_cast<std::size_t>(s)].push_back(100.0 + unit(rng) * 5000.0);
    const auto days = tradingDays();
    auto ma = [](const std::vector<double>& c, std::size_t n) {
        const std::size_t k = std::min(n, c.size());
        return mean(c, c.size(), k);
    };
    auto round1 = [](double v) { return std::round(v * 10.0) / 10.0; };
    auto round2 = [](double v) { return std::round(v * 100.0) / 100.0; };
    // Day by day, every stock, as a daily import writes them.
    for (const std::string& day : days) {
        for (int s = 0; s < kStocks; ++s) {
            auto& c = closes[static_cast<std::size_t>(s)];
            const double prev = c.back();
            const double close = std::max(1.0, std::round(prev * std::exp(step(rng))));
            const double open = std::round(prev * (1.0 + step(rng) / 4));
            const double high = std::max({open, close}) * (1.0 + unit(rng) * 0.01);
            const double low = std::min({open, close}) * (1.0 - unit(rng) * 0.01);
            const double vol = std::round(1000.0 + unit(rng) * 1e6);
            c.push_back(close);
            int& rz = renzoku[static_cast<std::size_t>(s)];
            rz = close > prev ? (rz > 0 ? rz + 1 : 1) : close < prev ? (rz < 0 ? rz - 1 : -1) : 0;
            const double m5 = ma(c, 5), m15 = ma(c, 15), m25 = ma(c, 25), m50 = ma(c, 50);
            const double pv = volume[static_cast<std::size_t>(s)];
            volume[static_cast<std::size_t>(s)] = vol;
            const double rsi = round2(unit(rng) * 100.0);
            const double sd = std::abs(step(rng)) * m25 * 2.0;
            const std::array<double, 45> v = {open,
                                              round1(high),
                                              round1(low),
                                              close,
                                              vol,
                                              round2((close - open) / open * 100.0),
                                              round2((close - prev) / prev * 100.0),
                                              round2((close - high) / high * 100.0),
                                              round2((close - low) / low * 100.0),
                                              pv > 0 ? round2((vol - pv) / pv * 100.0) : 0.0,
                                              static_cast<double>(std::abs(rz)),
                                              round2(m5),
                                              round2(m15),
                                              round2(m25),
                                              round2(m50),
                                              round2((close - m5) / m5 * 100.0),
                                              round2((close - m15) / m15 * 100.0),
                                              round2((close - m25) / m25 * 100.0),
                                              round2((close - m50) / m50 * 100.0),
                                              round2(unit(rng) * 100.0),
                                              round2(unit(rng) * 100.0),
                                              round2(unit(rng) * 100.0),
                                              rsi,
                                              round2(unit(rng) * 100.0),
                                              round2(-unit(rng) * 100.0),
                                              round2(unit(rng) * 200.0 - 100.0),
                                              round2(unit(rng) * 400.0 - 200.0),
                                              round2(50.0 + unit(rng) * 150.0),
                                              round2(50.0 + unit(rng) * 150.0),
                                              round2(close * (0.95 + unit(rng) * 0.1)),
                                              round2(close * (0.95 + unit(rng) * 0.1)),
                                              round2(m25 + 2 * sd),
                                              round2(m25 - 2 * sd),
                                              round2(m25 + sd),
                                              round2(m25 - sd),
                                              round2(unit(rng) * 300.0),
                                              round2(unit(rng) * 100.0),
                                              round2(unit(rng) * 200.0 - 100.0),
                                              round2(unit(rng) * 50.0),
                                              round2(unit(rng) * 50.0),
                                              round2(unit(rng) * 60.0),
                                              round2(step(rng) * close),
                                              round2(step(rng) * close),
                                              round2(unit(rng) * 100.0),
                                              round2(unit(rng) * 100.0)};
            insert->bind(1, std::to_string(1300 + s)).bind(2, day);
            for (std::size_t i = 0; i < v.size(); ++i)
                sqlite3_bind_double(insert->handle(), static_cast<int>(i) + 3, v[i]);
            (void)insert->run();
            insert->reset();
        }
    }
    (void)db->exec("COMMIT");
    (void)db->exec("INSERT INTO STK_UPD VALUES (1, '" + days.back() + "'), (2, '" + days.back() + "')");
    (void)addUser(*db, NewUser{"bench", "bench123", "負荷", "bench@example.com"}, HashCost::Min);
    (void)db->exec("ANALYZE; PRAGMA journal_mode=WAL");
}

// A screening as the query builder writes it: market 東証一部 on the last day, with three ticked
// conditions: 株価当日比 以上 2 %, 株価と移動平均線 5日 以上, RSI 以下 30.
std::string screeningSql(const std::string& day)
{
    return "SELECT a.STK_CD, a.STK_NM, b.MKT_NM, c.STK_DATE, c.S_PRICE, c.H_PRICE, c.L_PRICE, c.E_PRICE, "
           "c.STK_VLM, c.PT_RANGE, c.PY_RANGE, c.H_RANGE, c.L_RANGE, c.V_RANGE, c.RENZOKU, c.MA_05, c.MA_15, "
           "c.MA_25, c.MA_50, c.STC_K, c.STC_D, c.STC_SD, c.RSI, c.U_OSI, c.WIL_R, c.RCI, c.CCI, c.ARATIO, "
           "c.BRATIO, c.PAR_SAR, c.WIL_SAR, c.VOL_P2, c.VOL_M2, c.VOL_P1, c.VOL_M1, c.VR_A, c.VR_B, c.VR_W, "
           "c.DMI_P, c.DMI_M, c.DMI_ADX, c.MACD, c.MACD_S, c.SAI_A, c.SAI_B, a.MKT_CD FROM "
           "STK_INFO a, MKT_INFO b , STK_DAILY_TSE_" +
           std::to_string(kYear) +
           " c WHERE a.MKT_CD = b.MKT_CD AND a.MKT_CD = 11 AND c.PT_RANGE >= 2 AND c.MA_05 <= c.E_PRICE "
           "AND c.RSI <= 30 AND c.RSI >= 0  AND a.STK_CD = c.STK_CD  AND c.E_PRICE <> 0  AND c.STK_DATE = '" +
           day + "' ORDER BY a.STK_CD ";
}

// Everything the three benchmarks share, made once.
struct Fixture {
    fs::path dir;
    std::string dbPath;
    std::string sql;
    std::string body;                              // the compressed request
    std::string cookie;                            // "VQSESSION=..."
    std::unique_ptr<BatchService> service;         // replies at zlib level 1
    std::unique_ptr<BatchService> serviceStored;   // replies in stored blocks
    std::unique_ptr<BatchService> serviceUncached; // the same without kept replies
    std::unique_ptr<BatchService> serviceStoredUncached;
    std::unique_ptr<HttpServer> http;
    std::unique_ptr<HttpServer> httpStored;
    std::unique_ptr<HttpServer> httpUncached;
    std::unique_ptr<HttpServer> httpStoredUncached;
    unsigned short port = 0;
    unsigned short portStored = 0;
    unsigned short portUncached = 0;
    unsigned short portStoredUncached = 0;
    int rows = 0;

    Fixture()
    {
        tuneAllocatorForServing(); // as the server program does
        if (const char* keep = std::getenv("VORTEQ_BENCH_DB")) {
            dbPath = keep;
        } else {
            std::string tmpl = (fs::temp_directory_path() / "vorteq_bench_XXXXXX").string();
            dir = ::mkdtemp(tmpl.data());
            dbPath = (dir / "market.db").string();
        }
        if (!fs::exists(dbPath)) {
            const auto t0 = std::chrono::steady_clock::now();
            generateMarket(dbPath);
            std::fprintf(stderr, "generated %d stocks x %d days in %.1f s (%s)\n", kStocks, kDays,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
                         dbPath.c_str());
        }
        sql = screeningSql(tradingDays().back());
        auto makeService = [&](ZlibLevel level, bool keepReplies = true) {
            ServerConfig config;
            if (!keepReplies)
                config.replyCacheBytes = 0;
            config.hashCost = HashCost::Min;
            config.replyCompression = level;
            config.storedRepliesNearby = false;   // the level asked for, though the clients are on loopback
            config.log = [](std::string_view) {}; // the line is still built; only its output is skipped
            return std::move(BatchService::open(dbPath, std::move(config)).value());
        };
        service = makeService(ZlibLevel::Fastest);
        serviceStored = makeService(ZlibLevel::None);
        serviceUncached = makeService(ZlibLevel::Fastest, false);
        serviceStoredUncached = makeService(ZlibLevel::None, false);
        HttpOptions options;
        options.port = 0;
        options.threads = 2;
        auto serve = [&](BatchService& s, std::unique_ptr<HttpServer>& server, unsigned short& p) {
            server = std::make_unique<HttpServer>(s, options);
            p = *server->start();
        };
        serve(*service, http, port);
        serve(*serviceStored, httpStored, portStored);
        serve(*serviceUncached, httpUncached, portUncached);
        serve(*serviceStoredUncached, httpStoredUncached, portStoredUncached);

        THttpStatements login("http://127.0.0.1:" + std::to_string(port) + std::string(kServletPath));
        login.Add("Query");
        login.Add("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
                  "AND a.USR_ID = 'bench' AND a.PASS_WORD = 'bench123' ");
        if (!login.Execute().ok() || login.Item(1).RowCount != 1) {
            std::fprintf(stderr, "login failed\n");
            std::exit(1);
        }
        cookie = sessionCookie();
        cookie = cookie.substr(0, cookie.find(';'));
        body = *zlibCompress(wire::buildRequestText({"Query", sql}), ZlibLevel::Fastest);
        THttpStatements screen(login.url());
        screen.Add("Query");
        screen.Add(sql);
        auto ok = screen.Execute();
        if (!ok.ok() || !*ok) {
            std::fprintf(stderr, "screening failed\n");
            std::exit(1);
        }
        rows = screen.Item(1).RowCount;
        std::fprintf(stderr, "screening statement returns %d rows of 46 columns\n", rows);
    }
    ~Fixture()
    {
        http.reset();
        httpStored.reset();
        httpUncached.reset();
        httpStoredUncached.reset();
        service.reset();
        serviceStored.reset();
        serviceUncached.reset();
        serviceStoredUncached.reset();
        if (!dir.empty())
            fs::remove_all(dir);
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// The screening statement on a plain read-only connection, every value read in its stored type.
class RawStatement {
public:
    explicit RawStatement(const Fixture& f) : m_sql(f.sql)
    {
        sqlite3_open_v2(f.dbPath.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        sqlite3_exec(m_db, "PRAGMA mmap_size=1073741824; PRAGMA cache_size=-16384", nullptr, nullptr,
                     nullptr);
    }
    ~RawStatement()
    {
        sqlite3_finalize(m_stmt);
        sqlite3_close(m_db);
    }
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;

    // One run; kept: the statement prepared once is reused, otherwise prepared and finalized.
    double run(bool kept)
    {
        if (m_stmt == nullptr)
            sqlite3_prepare_v2(m_db, m_sql.c_str(), static_cast<int>(m_sql.size()), &m_stmt, nullptr);
        double sum = 0;
        const int columns = sqlite3_column_count(m_stmt);
        while (sqlite3_step(m_stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(m_stmt, c)) {
                case SQLITE_FLOAT:
                    sum += sqlite3_column_double(m_stmt, c);
                    break;
                case SQLITE_INTEGER:
                    sum += static_cast<double>(sqlite3_column_int64(m_stmt, c));
                    break;
                case SQLITE_TEXT:
                    sum += sqlite3_column_bytes(m_stmt, c);
                    break;
                default:
                    break;
                }
            }
        }
        if (kept) {
            sqlite3_reset(m_stmt);
        } else {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
        return sum;
    }

private:
    std::string m_sql;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

void BM_RawStatement(benchmark::State& state)
{
    Fixture& f = fixture();
    const bool kept = state.range(0) == 1;
    RawStatement raw(f);
    double sum = 0;
    for (auto _ : state)
        sum += raw.run(kept);
    benchmark::DoNotOptimize(sum);
    state.counters["rows"] = f.rows;
}
BENCHMARK(BM_RawStatement)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// Arg L: the reply's zlib level (0 or 1); Arg K: 1 for the server's kept replies (the same batch
// again is answered from them), 0 for a server that works every reply out.
BatchService& serviceOf(Fixture& f, std::int64_t level, std::int64_t keep)
{
    if (keep != 0)
        return level == 0 ? *f.serviceStored : *f.service;
    return level == 0 ? *f.serviceStoredUncached : *f.serviceUncached;
}

void BM_ServiceInProcess(benchmark::State& state)
{
    Fixture& f = fixture();
    BatchService& service = serviceOf(f, state.range(0), state.range(1));
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes += service.handle(f.body, f.cookie).body.size();
    benchmark::DoNotOptimize(bytes);
    state.counters["reply_bytes"] = static_cast<double>(service.handle(f.body, f.cookie).body.size());
}
BENCHMARK(BM_ServiceInProcess)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(2.0);

double threadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// The service's first screening (Arg L: reply level, nothing kept) against the raw statement (kept),
// run in pairs on this thread, the order swapped every pair, each timed by the thread's CPU clock:
// both halves of a pair see the same load on the machine, so their ratio holds where separate runs
// of the two benchmarks drift apart. Counters: raw_us and service_us (medians of their runs),
// ratio (service / raw of each pair, the median) and ratio_sum (the sums' ratio).
void BM_ServiceAgainstRaw(benchmark::State& state)
{
    Fixture& f = fixture();
    BatchService& service = serviceOf(f, state.range(0), 0);
    RawStatement raw(f);
    double sum = raw.run(true); // both warm before the first pair
    std::size_t bytes = service.handle(f.body, f.cookie).body.size();
    std::vector<double> rawUs;
    std::vector<double> serviceUs;
    std::vector<double> ratios;
    for (auto _ : state) {
        double r = 0;
        double s = 0;
        for (int half = 0; half < 2; ++half) {
            const double t0 = threadCpuUs();
            if ((half == 0) == (rawUs.size() % 2 == 0)) {
                sum += raw.run(true);
                r = threadCpuUs() - t0;
            } else {
                bytes += service.handle(f.body, f.cookie).body.size();
                s = threadCpuUs() - t0;
            }
        }
        rawUs.push_back(r);
        serviceUs.push_back(s);
        ratios.push_back(s / r);
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(bytes);
    state.counters["raw_us"] = median(rawUs);
    state.counters["service_us"] = median(serviceUs);
    state.counters["ratio"] = median(ratios);
    double rawSum = 0;
    double serviceSum = 0;
    for (std::size_t i = 0; i < rawUs.size(); ++i) {
        rawSum += rawUs[i];
        serviceSum += serviceUs[i];
    }
    state.counters["ratio_sum"] = rawSum > 0 ? serviceSum / rawSum : 0.0;
}
BENCHMARK(BM_ServiceAgainstRaw)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->MinTime(4.0);

// One request on a fresh connection, HTTP/1.0 as the desktop client sends it; false on any failure.
bool postOnce(unsigned short port, const std::string& request, std::string& buffer)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    bool ok =
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    buffer.clear();
    std::array<char, 65536> chunk{};
    while (ok) {
        const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        buffer.append(chunk.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok && buffer.rfind("HTTP/1.0 200", 0) == 0;
}

std::mutex g_latencyMutex;
std::vector<double> g_latencies;
int g_finished = 0;
double g_cpuStart = 0;
double g_clientCpu = 0; // CPU time of the client threads' loops, summed

double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// CPU time of the whole process (server threads and load clients), in milliseconds.
double processCpuMs()
{
    return cpuMs(CLOCK_PROCESS_CPUTIME_ID);
}

void BM_HttpScreening(benchmark::State& state)
{
    Fixture& f = fixture();
    const bool keep = state.range(1) != 0;
    const unsigned short port =
        state.range(0) == 0 ? (keep ? f.portStored : f.portStoredUncached) : (keep ? f.port : f.portUncached);
    if (state.thread_index() == 0) {
        std::lock_guard lock(g_latencyMutex);
        g_latencies.clear();
        g_finished = 0;
        g_clientCpu = 0;
        g_cpuStart = processCpuMs();
    }
    const std::string request = "POST " + std::string(kServletPath) +
                                " HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\nContent-Length: " +
                                std::to_string(f.body.size()) + "\r\nCookie:" + f.cookie + "\r\n\r\n" +
                                f.body;
    std::string buffer;
    std::vector<double> mine;
    std::int64_t failures = 0;
    const double threadCpuStart = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!postOnce(port, request, buffer))
            ++failures;
        mine.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["failures"] = static_cast<double>(failures);
    // Each thread adds its samples after its loop; the last one to do so reports the percentiles
    // (the other threads leave the counters unset, so the summed counter is its value).
    const double threadCpu = cpuMs(CLOCK_THREAD_CPUTIME_ID) - threadCpuStart;
    std::lock_guard lock(g_latencyMutex);
    g_latencies.insert(g_latencies.end(), mine.begin(), mine.end());
    g_clientCpu += threadCpu;
    if (++g_finished == state.threads()) {
        auto all = g_latencies;
        std::sort(all.begin(), all.end());
        auto pct = [&](double p) {
            return all.empty() ? 0.0 : all[static_cast<std::size_t>(p * static_cast<double>(all.size() - 1))];
        };
        state.counters["p50_ms"] = pct(0.50);
        state.counters["p99_ms"] = pct(0.99);
        // Server and clients together: what one request costs the machine.
        const double processCpu = processCpuMs() - g_cpuStart;
        state.counters["cpu_ms_per_req"] = processCpu / static_cast<double>(all.size());
        // The server's threads alone (their system time included): the process less the clients.
        state.counters["server_cpu_ms_per_req"] =
            (processCpu - g_clientCpu) / static_cast<double>(all.size());
    }
}
BENCHMARK(BM_HttpScreening)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Threads(1)
    ->UseRealTime()
    ->MinTime(3.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HttpScreening)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Threads(kClients)
    ->UseRealTime()
    ->MinTime(5.0)
    ->Unit(benchmark::kMillisecond);
// More clients than worker threads: stored replies (what clients on loopback get) and level 1.
BENCHMARK(BM_HttpScreening)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Threads(32)
    ->Threads(64)
    ->UseRealTime()
    ->MinTime(5.0)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
