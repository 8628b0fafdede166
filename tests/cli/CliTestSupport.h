#pragma once

#include "cli/CliApp.h"
#include "cli/CliIo.h"
#include "support/TempDir.h"
#include "support/TestServer.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vorteq::test {

// Standard streams and environment of one command-line run, captured.
class CapturingIo final : public cli::CliIo {
public:
    std::string out;
    std::string err;
    std::map<std::string, std::string> environment;
    std::optional<std::string> typedPassword; // what the prompt would read
    std::vector<std::string> prompts;
    bool failWrites = false;

    bool writeOut(std::string_view bytes) override
    {
        if (failWrites)
            return false;
        out += bytes;
        return true;
    }
    bool writeOutText(std::string_view utf8) override { return writeOut(utf8); }
    void writeErr(std::string_view utf8) override { err += utf8; }
    std::optional<std::string> readPassword(std::string_view prompt) override
    {
        prompts.emplace_back(prompt);
        return typedPassword;
    }
    std::optional<std::string> env(const char* name) override
    {
        const auto it = environment.find(name);
        if (it == environment.end())
            return std::nullopt;
        return it->second;
    }
};

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the command line in process with the demo user's password in VORTEQ_PASSWORD.
CliRun runCli(const std::vector<std::string>& args, const std::string& password = "demo1234");
CliRun runCli(const std::vector<std::string>& args, CapturingIo& io);

// "--server 127.0.0.1:<port> --user demo" for a server.
std::vector<std::string> withServer(const TestServer& server, std::vector<std::string> args,
                                    const std::string& user = "demo");

// Users demo/demo1234, blocked/block123 (blocked), bounce/bounce12 (mail undeliverable),
// quote/it's (a quote in the password); update dates 2006/05/15 (stocks) and 2006/05/12 (rates);
// stocks 1301 極洋, 1332 日本水産 and 7203 トヨタ自動車 in market 11, 9984 ソフトバンク in 12, with
// screening rows on 2006/05/15.
void seedCliMarket(TestServer& server);

// One day of a price series as the daily tables keep it.
struct PriceDay {
    std::string date; // yyyy/mm/dd
    std::string open, high, low, close, volume;
};

// The real series of data/goog_2004-08-19_2008-10-14.csv, oldest day first, dates as yyyy/mm/dd.
const std::vector<PriceDay>& googDays();

// Stock 6501 日立 of market 11 with the real series' days of 2005 and 2006 (the first yearly table
// is 2005's).
inline const std::string kSeriesCode = "6501";
void seedSeries(TestServer& server);

// Text as CP932 bytes (the expected form of a default output).
std::string cp932(const std::string& utf8);

} // namespace vorteq::test
