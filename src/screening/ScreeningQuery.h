#pragma once

#include "common/Result.h"
#include "conditions/ConditionFiles.h" // conditionIndexPath
#include "screening/ScreeningCriteria.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

inline constexpr std::string_view kNumberMissingMessage = "検索条件の数値が入力されていません。";
inline constexpr std::string_view kNumberInvalidMessage = "検索条件には数値を入力してください。";
inline constexpr std::string_view kNoRegisteredStocksMessage =
    "売買条件の登録されている銘柄はありませんでした。";

// The first ticked condition whose number is missing or does not read as a decimal number.
struct NumberCheckFailure {
    std::size_t condition; // index into screeningConditions()
    std::string message;   // one of the two messages above
};

// Checks the numbers of the ticked conditions in table order; unticked ones are not looked at,
// whatever their fields hold. No range is enforced.
std::optional<NumberCheckFailure> search_check_numbers(const ScreeningCriteria& criteria);

// The SELECT of one screening: stock master, market master and the daily table of the market's
// family and the base date's year, restricted to the base date and every ticked condition, in
// condition-table order, typed numbers copied literally. `registeredFilter` is the restriction of
// search_registered_filter and is used only for the registered-stocks target.
// Fails (Validation) when a ticked number does not pass search_check_numbers, when the registered
// target comes without a restriction, or when a list position lies outside its list.
Result<std::string> buildScreeningSql(const ScreeningCriteria& criteria,
                                      std::string_view registeredFilter = {});

// The restriction to the stocks that index lines list for one market code: empty when none does;
// "AND a.STK_CD = '<code>'" for one (no blank after the quote); "AND a.STK_CD IN (c1,c2) " for
// several, in file order, duplicates kept. Lines with fewer than two commas are skipped. A code
// that is not plain digits is quoted with its quotes doubled, so an index line cannot change the
// statement's shape.
std::string registeredStockFilter(const std::vector<std::string>& indexLines, std::string_view marketCode);

// registeredStockFilter over <baseDir>/UsrData/UsrCndCd.dat for the market at this list position.
// A missing index gives an empty restriction; an index that cannot be read is an error.
Result<std::string> search_registered_filter(const std::filesystem::path& baseDir, int marketPosition);

// The stock master's statements. The market code is a checked market code (digits only).
// The name of one stock: one row, STK_NM.
std::string stockNameQuery(std::string_view stockCode, std::string_view marketCode);
// The codes of a market's stocks in code order: STK_CD.
std::string marketCodesQuery(std::string_view marketCode);
// The stocks of a market in code order: STK_CD, STK_NM, MKT_CD.
std::string marketStocksQuery(std::string_view marketCode);

} // namespace vorteq
