#include "server/storage/ConfinementPolicy.h"

#include "common/AsciiText.h"
#include "server/storage/Schema.h"

#include <algorithm>
#include <array>
#include <sqlite3.h>
#include <string_view>

namespace vorteq::server {

namespace {

bool equalsNoCase(const char* a, std::string_view b)
{
    return a != nullptr && equalsIgnoringCase(a, b);
}

bool isMarketTable(const char* table)
{
    if (table == nullptr)
        return false;
    const std::string_view name(table);
    return equalsNoCase(table, "STK_INFO") || equalsNoCase(table, "MKT_INFO") ||
           equalsNoCase(table, "STK_UPD") || isDailyTableName(name);
}

// Plain functions a screening might reasonably use; everything else (load_extension, randomblob,
// printf, the sqlite_ introspection functions, ...) is refused.
bool isAllowedFunction(const char* name)
{
    static constexpr std::array<std::string_view, 16> kAllowed{
        "abs",    "round", "min",   "max",    "count", "sum",    "avg",      "total",
        "length", "upper", "lower", "substr", "trim",  "ifnull", "coalesce", "like"};
    return std::any_of(kAllowed.begin(), kAllowed.end(),
                       [&](std::string_view f) { return equalsNoCase(name, f); });
}

std::string describe(const char* what, const char* a, const char* b)
{
    std::string text = what;
    if (a) {
        text += ' ';
        text += a;
    }
    if (b) {
        text += '.';
        text += b;
    }
    return text;
}

} // namespace

int authorizeConfined(void* context, int action, const char* arg3, const char* arg4, const char* dbName,
                      const char*)
{
    auto* confinement = static_cast<Confinement*>(context);
    if (!confinement->confined)
        return SQLITE_OK;
    std::string refused;
    switch (action) {
    case SQLITE_SELECT:
        return SQLITE_OK;
    case SQLITE_READ:
        // A table of the FROM list is reported with an empty column and no database name.
        if ((dbName == nullptr || std::string_view(dbName) == "main") && isMarketTable(arg3))
            return SQLITE_OK;
        refused = describe("reading", arg3, arg4);
        break;
    case SQLITE_FUNCTION:
        if (isAllowedFunction(arg4))
            return SQLITE_OK;
        refused = describe("function", arg4, nullptr);
        break;
    case SQLITE_PRAGMA:
        refused = describe("PRAGMA", arg3, nullptr);
        break;
    case SQLITE_ATTACH:
        refused = "ATTACH";
        break;
    default:
        refused = "action " + std::to_string(action);
        break;
    }
    if (confinement->denied.empty())
        confinement->denied = std::move(refused);
    return SQLITE_DENY;
}

} // namespace vorteq::server
