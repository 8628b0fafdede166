#include "server/policy/StatementShape.h"

#include <cctype>

namespace vorteq::server {

namespace {

enum class TokenKind { Word, Number, String, Symbol, Placeholder };

struct Token {
    TokenKind kind;
    std::string text; // for String: the value with doubled quotes undone
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isWordStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool isWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Splits a statement into tokens; nullopt for anything outside the small grammar of the shapes
// (comments, double quotes, an unterminated string, control bytes).
std::optional<std::vector<Token>> tokenize(std::string_view sql, bool placeholders)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (isSpace(c)) {
            ++i;
        } else if (isWordStart(c)) {
            std::size_t j = i + 1;
            while (j < sql.size() && isWordChar(sql[j]))
                ++j;
            tokens.push_back({TokenKind::Word, std::string(sql.substr(i, j - i))});
            i = j;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            std::size_t j = i + 1;
            while (j < sql.size() && isWordChar(sql[j]))
                ++j;
            tokens.push_back({TokenKind::Number, std::string(sql.substr(i, j - i))});
            i = j;
        } else if (c == '\'') {
            std::string value;
            std::size_t j = i + 1;
            bool closed = false;
            while (j < sql.size()) {
                if (sql[j] == '\'') {
                    if (j + 1 < sql.size() && sql[j + 1] == '\'') {
                        value += '\'';
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value += sql[j++];
            }
            if (!closed)
                return std::nullopt;
            tokens.push_back({TokenKind::String, std::move(value)});
            i = j;
        } else if (c == '?' && placeholders) {
            tokens.push_back({TokenKind::Placeholder, "?"});
            ++i;
        } else if (c == '<' && i + 1 < sql.size() && (sql[i + 1] == '>' || sql[i + 1] == '=')) {
            tokens.push_back({TokenKind::Symbol, std::string(sql.substr(i, 2))});
            i += 2;
        } else if (c == '>' && i + 1 < sql.size() && sql[i + 1] == '=') {
            tokens.push_back({TokenKind::Symbol, ">="});
            i += 2;
        } else if (c == '.' || c == ',' || c == '=' || c == '<' || c == '>' || c == '(' || c == ')') {
            tokens.push_back({TokenKind::Symbol, std::string(1, c)});
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

} // namespace

std::optional<std::vector<std::string>> matchShape(std::string_view pattern, std::string_view sql)
{
    const auto want = tokenize(pattern, true);
    const auto got = tokenize(sql, false);
    if (!want || !got || want->size() != got->size())
        return std::nullopt;
    std::vector<std::string> values;
    for (std::size_t i = 0; i < want->size(); ++i) {
        const Token& w = (*want)[i];
        const Token& g = (*got)[i];
        if (w.kind == TokenKind::Placeholder) {
            if (g.kind != TokenKind::String)
                return std::nullopt;
            values.push_back(g.text);
        } else if (w.kind != g.kind || w.text != g.text) {
            return std::nullopt;
        }
    }
    return values;
}

std::optional<LoginStatement> matchLogin(std::string_view sql)
{
    auto v = matchShape("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
                        "AND a.USR_ID = ? AND a.PASS_WORD = ?",
                        sql);
    if (!v)
        return std::nullopt;
    return LoginStatement{std::move((*v)[0]), std::move((*v)[1])};
}

bool matchUpdateDates(std::string_view sql)
{
    return matchShape("SELECT a.UPD_DATE FROM STK_UPD a ORDER BY a.UPD_FLG", sql).has_value();
}

std::optional<PasswordChange> matchPasswordChange(std::string_view sql)
{
    auto v = matchShape("UPDATE USR_INFO a SET a.PASS_WORD = ? WHERE a.USR_ID = ? AND a.PASS_WORD = ?", sql);
    if (!v)
        return std::nullopt;
    return PasswordChange{std::move((*v)[0]), std::move((*v)[1]), std::move((*v)[2])};
}

std::optional<MailChange> matchMailChange(std::string_view sql)
{
    auto v = matchShape("UPDATE USR_INFO a SET a.E_MAIL = ? WHERE a.USR_ID = ? AND a.E_MAIL = ?", sql);
    if (!v)
        return std::nullopt;
    return MailChange{std::move((*v)[0]), std::move((*v)[1]), std::move((*v)[2])};
}

std::string firstWord(std::string_view sql)
{
    std::size_t i = 0;
    while (i < sql.size() && isSpace(sql[i]))
        ++i;
    std::string word;
    while (i < sql.size() && isWordChar(sql[i]))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return word;
}

} // namespace vorteq::server
