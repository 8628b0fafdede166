#include "simulation/MoneySettings.h"

#include "common/NumberText.h"
#include "simulation/SignalRules.h" // choiceIndex

namespace vorteq {
namespace {

Error settingError(std::string_view caption, std::string_view key, const std::string& text)
{
    return makeError(ErrorCode::Validation, "売買条件の設定が正しくありません: " + std::string(caption) +
                                                " " + std::string(key) + " = \"" + text + "\"");
}

} // namespace

Result<MoneySettings> readMoneySettings(const TJouken& j)
{
    MoneySettings m;
    const auto text = [&](std::string_view key) -> const std::string& { return j.value(key); };

    if (const auto v = parseNumber(text("AmtTousi")))
        m.capital = *v;
    else
        return settingError("初期投資金額", "AmtTousi", text("AmtTousi"));

    static constexpr long double kUnits[] = {1000, 100, 10, 1};
    const int unit = choiceIndex(text("KbnTani"));
    if (unit < 0)
        return settingError("売買単位株式数", "KbnTani", text("KbnTani"));
    m.unitShares = kUnits[unit];

    // "0" long only, "1" short only, "2" both; reversals only with both.
    const std::string& trade = text("KbnTrade");
    m.openLong = trade != "1";
    m.openShort = trade != "0";
    m.reverse = trade == "2";

    // With commission off its amount and unit are not read: leftovers there change nothing.
    if (text("UseTesuryo") == "1") {
        const std::string& kind = text("KbnTesuryo");
        if (kind == "0")
            m.commission = CommissionKind::Yen;
        else if (kind == "1")
            m.commission = CommissionKind::Percent;
        else
            return settingError("取引手数料の単位", "KbnTesuryo", kind);
        const std::string& amount = text("AmtTesuryo");
        if (!amount.empty()) {
            const auto v = parseNumber(amount);
            if (!v)
                return settingError("取引手数料", "AmtTesuryo", amount);
            m.commissionAmount = *v;
        }
    }

    if (text("UseRikaku") == "1") {
        const auto v = parseNumber(text("AmtRikaku"));
        if (!v)
            return settingError("利益確定", "AmtRikaku", text("AmtRikaku"));
        m.takeProfit = true;
        m.takeProfitPercent = *v;
    }
    m.reverseAfterProfit = text("KbnRikaku") == "0";

    if (text("UseSongiri") == "1") {
        const auto v = parseNumber(text("AmtSongiri"));
        if (!v)
            return settingError("損切り", "AmtSongiri", text("AmtSongiri"));
        m.cutLoss = true;
        m.cutLossPercent = *v;
    }
    m.reverseAfterLoss = text("KbnSongiri") == "0";

    static constexpr DayField kPrices[] = {DayField::SPrice, DayField::EPrice, DayField::HPrice,
                                           DayField::LPrice};
    const std::string& price = text("UseTradePrice");
    if (price.size() != 1 || price[0] < '1' || price[0] > '4')
        return settingError("売買時の取引価格", "UseTradePrice", price);
    m.tradePrice = kPrices[price[0] - '1'];
    return m;
}

} // namespace vorteq
