#include "CliTestSupport.h"

#include "common/Encoding.h"
#include "common/TextFile.h"

#include <stdexcept>
#include <unistd.h>

namespace vorteq::test {

CliRun runCli(const std::vector<std::string>& args, CapturingIo& io)
{
    CliRun run;
    run.status = cli::runCli(args, io);
    run.out = io.out;
    run.err = io.err;
    return run;
}

CliRun runCli(const std::vector<std::string>& args, const std::string& password)
{
    CapturingIo io;
    io.environment["VORTEQ_PASSWORD"] = password;
    return runCli(args, io);
}

std::vector<std::string> withServer(const TestServer& server, std::vector<std::string> args,
                                    const std::string& user)
{
    args.push_back("--server");
    args.push_back("127.0.0.1:" + std::to_string(server.port()));
    args.push_back("--user");
    args.push_back(user);
    return args;
}

void seedCliMarket(TestServer& server)
{
    server.addUser("demo", "demo1234", "デモ ユーザー", "demo@example.com");
    server.addUser("blocked", "block123", "止め", "blocked@example.com", true);
    server.addUser("bounce", "bounce12", "戻り", "bounce@example.com", false, "1");
    server.addUser("quote", "it's", "引用", "quote@example.com");
    server.execSql("INSERT INTO STK_UPD VALUES (2, '2006/05/12'), (1, '2006/05/15')");
    server.execSql("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11), ('1332', '日本水産', 11), "
                   "('7203', 'トヨタ自動車', 11), ('9984', 'ソフトバンク', 12)");
    server.execSql("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, "
                   "STK_VLM, PT_RANGE, MA_05, MA_25, RSI) VALUES "
                   "('1301', '2006/05/15', 295, 301.5, 294, 300, 123400, 1.69, 290, 285, 31), "
                   "('1332', '2006/05/15', 505, 510, 495, 500, 88000, -0.99, 520, 500, 55.25), "
                   "('7203', '2006/05/15', 6010, 6050, 5980, 6000, 1000000, -0.17, 5990, 6100, 29.5), "
                   "('9984', '2006/05/15', 3000, 3100, 2990, 3050, 2000000, 1.67, 3000, 2900, 60)");
}

const std::vector<PriceDay>& googDays()
{
    static const std::vector<PriceDay> days = [] {
        auto lines = readTextLines(std::filesystem::path(VORTEQ_DATA_DIR) / "goog_2004-08-19_2008-10-14.csv");
        if (!lines)
            throw std::runtime_error("googDays: " + lines.error().message);
        std::vector<PriceDay> out;
        for (std::size_t i = 1; i < lines->size(); ++i) {
            std::vector<std::string> f;
            std::string cell;
            for (char c : (*lines)[i] + ",") {
                if (c == ',') {
                    f.push_back(cell);
                    cell.clear();
                } else {
                    cell += c == '-' ? '/' : c;
                }
            }
            out.push_back({f.at(0), f.at(1), f.at(2), f.at(3), f.at(4), f.at(5)});
        }
        return out;
    }();
    return days;
}

void seedSeries(TestServer& server)
{
    server.execSql("INSERT INTO STK_INFO VALUES ('" + kSeriesCode + "', '日立', 11)");
    std::string table;
    std::string values;
    auto flush = [&] {
        if (!values.empty())
            server.execSql("INSERT INTO " + table +
                           " (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM) VALUES " +
                           values);
        values.clear();
    };
    for (const PriceDay& d : googDays()) {
        const std::string year = d.date.substr(0, 4);
        if (year != "2005" && year != "2006")
            continue;
        const std::string target = "STK_DAILY_TSE_" + year;
        if (target != table) {
            flush();
            table = target;
        }
        values += (values.empty() ? "('" : ", ('") + kSeriesCode + "', '" + d.date + "', " + d.open + ", " +
                  d.high + ", " + d.low + ", " + d.close + ", " + d.volume + ")";
    }
    flush();
}

std::string cp932(const std::string& utf8)
{
    auto bytes = utf8ToCp932(utf8);
    if (!bytes)
        throw std::runtime_error("cp932: " + bytes.error().message);
    return *bytes;
}

} // namespace vorteq::test
