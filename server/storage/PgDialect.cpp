#include "server/storage/PgDialect.h"

#include "common/AsciiText.h"
#include "server/storage/Schema.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vorteq::server {

namespace {

enum class Kind { Word, Number, String, Op, Open, Close, Comma, Dot };

struct Token {
    Kind kind;
    std::string text;
    bool spaceBefore = false;
};

// Deeper nesting than this is refused rather than followed (the translation recurses on it).
constexpr int kMaxDepth = 64;

Error refused(std::string reason)
{
    return makeError(ErrorCode::Server, "not translatable for PostgreSQL: " + std::move(reason));
}

bool isWordStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isWordChar(char c)
{
    return isWordStart(c) || isDigit(c);
}

bool oneOf(std::string_view word, std::initializer_list<std::string_view> list)
{
    return std::any_of(list.begin(), list.end(),
                       [&](std::string_view w) { return equalsIgnoringCase(word, w); });
}

Result<std::vector<Token>> tokenize(std::string_view sql)
{
    std::vector<Token> tokens;
    bool space = false;
    std::size_t i = 0;
    auto push = [&](Kind kind, std::string text) {
        tokens.push_back(Token{kind, std::move(text), space});
        space = false;
    };
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
            space = true;
            ++i;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const std::size_t end = sql.find('\n', i);
            i = end == std::string_view::npos ? sql.size() : end;
            space = true;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string_view::npos ? sql.size() : end + 2;
            space = true;
        } else if (c == '\'') {
            if (!tokens.empty() && !space && tokens.back().kind == Kind::Word)
                return refused("a prefixed string");
            std::string text = "'";
            std::size_t j = i + 1;
            for (;; ++j) {
                if (j >= sql.size())
                    return refused("an unterminated string");
                text += sql[j];
                if (sql[j] == '\'') {
                    if (j + 1 < sql.size() && sql[j + 1] == '\'') {
                        text += '\'';
                        ++j;
                        continue;
                    }
                    break;
                }
            }
            push(Kind::String, std::move(text));
            i = j + 1;
        } else if (isWordStart(c)) {
            std::size_t j = i;
            while (j < sql.size() && isWordChar(sql[j]))
                ++j;
            if (j < sql.size() && (sql[j] == '$' || sql[j] == '&'))
                return refused("a special string or name");
            push(Kind::Word, std::string(sql.substr(i, j - i)));
            i = j;
        } else if (isDigit(c) || (c == '.' && i + 1 < sql.size() && isDigit(sql[i + 1]))) {
            std::size_t j = i;
            while (j < sql.size() && isDigit(sql[j]))
                ++j;
            if (j < sql.size() && sql[j] == '.')
                for (++j; j < sql.size() && isDigit(sql[j]);)
                    ++j;
            if (j < sql.size() && (sql[j] == 'e' || sql[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < sql.size() && (sql[k] == '+' || sql[k] == '-'))
                    ++k;
                if (k < sql.size() && isDigit(sql[k])) {
                    while (k < sql.size() && isDigit(sql[k]))
                        ++k;
                    j = k;
                }
            }
            if (j < sql.size() && isWordChar(sql[j]))
                return refused("a number run into a name");
            push(Kind::Number, std::string(sql.substr(i, j - i)));
            i = j;
        } else if (c == '(') {
            push(Kind::Open, "(");
            ++i;
        } else if (c == ')') {
            push(Kind::Close, ")");
            ++i;
        } else if (c == ',') {
            push(Kind::Comma, ",");
            ++i;
        } else if (c == '.') {
            push(Kind::Dot, ".");
            ++i;
        } else {
            static constexpr std::array<std::string_view, 12> kOps{"<>", "!=", "<=", ">=", "==", "||",
                                                                   "=",  "<",  ">",  "+",  "-",  "*"};
            std::string_view op;
            for (std::string_view candidate : kOps)
                if (sql.substr(i, candidate.size()) == candidate) {
                    op = candidate;
                    break;
                }
            if (op.empty() && c == '/')
                op = "/";
            if (op.empty()) {
                const auto b = static_cast<unsigned char>(c);
                if (b >= 0x80)
                    return refused("a character outside ASCII outside a text");
                return refused(std::string("the character ") + c);
            }
            // "<<", ">>" and "||" runs such as "|||" are not SQLite's comparison or concatenation.
            if (i + op.size() < sql.size() && op.size() == 1 && (op == "<" || op == ">") &&
                sql[i + 1] == sql[i])
                return refused("a shift operator");
            push(Kind::Op, op == "==" ? "=" : std::string(op));
            i += op.size();
        }
    }
    return tokens;
}

// Names that say something about the database or the session rather than the market.
bool isForbiddenName(std::string_view word)
{
    if (word.size() >= 3 && equalsIgnoringCase(word.substr(0, 3), "pg_"))
        return true;
    return oneOf(word, {"information_schema",
                        "current_user",
                        "session_user",
                        "user",
                        "current_role",
                        "current_schema",
                        "current_catalog",
                        "current_date",
                        "current_time",
                        "current_timestamp",
                        "localtime",
                        "localtimestamp",
                        "into",
                        "glob",
                        "regexp",
                        "match",
                        "collate",
                        "escape",
                        "cast",
                        "similar",
                        "system_user",
                        "lateral"});
}

// Words a "(" may follow without being a function call.
bool isKeywordBeforeParen(std::string_view word)
{
    return oneOf(word, {"in",     "exists", "and",    "or",     "not",    "on",       "as",
                        "from",   "join",   "where",  "select", "union",  "all",      "distinct",
                        "by",     "then",   "else",   "when",   "case",   "is",       "between",
                        "having", "limit",  "offset", "like",   "except", "intersect"});
}

// Text columns of the market tables: a number compared with one is compared as its text in SQLite.
bool isTextColumn(std::string_view word)
{
    if (oneOf(word, {"STK_NM", "MKT_NM", "UPD_DATE"}))
        return true;
    const auto columns = dailyColumns();
    return std::any_of(columns.begin(), columns.end(), [&](const DailyColumn& column) {
        return column.type == ColumnType::Text && equalsIgnoringCase(word, column.name);
    });
}

bool isComparison(const Token& t)
{
    return t.kind == Kind::Op && (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "<" ||
                                  t.text == "<=" || t.text == ">" || t.text == ">=");
}

class Translator {
public:
    explicit Translator(std::vector<Token> tokens) : m_t(std::move(tokens)) {}

    Result<std::string> run()
    {
        if (auto st = emit(0, m_t.size(), 0); !st)
            return st.error();
        return std::move(m_out);
    }

private:
    // The token after the matching ")" of the "(" at open.
    Result<std::size_t> afterClose(std::size_t open, std::size_t end) const
    {
        int depth = 0;
        for (std::size_t i = open; i < end; ++i) {
            if (m_t[i].kind == Kind::Open)
                ++depth;
            else if (m_t[i].kind == Kind::Close && --depth == 0)
                return i + 1;
        }
        return refused("unbalanced parentheses");
    }

    // The end of the operand that starts at i: a parenthesised expression, a (qualified) name or a
    // function call, a number or a text, with any signs before it.
    Result<std::size_t> operandEnd(std::size_t i, std::size_t end) const
    {
        while (i < end && m_t[i].kind == Kind::Op && (m_t[i].text == "-" || m_t[i].text == "+"))
            ++i;
        if (i >= end)
            return refused("an operator without an operand");
        const Token& t = m_t[i];
        if (t.kind == Kind::Open)
            return afterClose(i, end);
        if (t.kind == Kind::Number || t.kind == Kind::String)
            return i + 1;
        if (t.kind != Kind::Word)
            return refused("an operator without an operand");
        std::size_t j = i + 1;
        while (j + 1 < end && m_t[j].kind == Kind::Dot && m_t[j + 1].kind == Kind::Word)
            j += 2;
        if (j < end && m_t[j].kind == Kind::Open)
            return afterClose(j, end);
        return j;
    }

    void put(const Token& t, std::string_view text)
    {
        if (t.spaceBefore)
            m_out += ' ';
        m_out += text;
    }

    void put(const Token& t) { put(t, t.text); }

    // The arguments of the call whose "(" is at open, split at its top-level commas.
    std::vector<std::pair<std::size_t, std::size_t>> arguments(std::size_t open, std::size_t close) const
    {
        std::vector<std::pair<std::size_t, std::size_t>> args;
        int depth = 0;
        std::size_t start = open + 1;
        for (std::size_t i = open + 1; i + 1 < close; ++i) {
            if (m_t[i].kind == Kind::Open)
                ++depth;
            else if (m_t[i].kind == Kind::Close)
                --depth;
            else if (m_t[i].kind == Kind::Comma && depth == 0) {
                args.emplace_back(start, i);
                start = i + 1;
            }
        }
        if (close - 1 > open + 1 || !args.empty())
            args.emplace_back(start, close - 1);
        return args;
    }

    Status call(std::size_t& i, std::size_t end, int depth)
    {
        const Token& name = m_t[i];
        const std::size_t open = i + 1;
        auto close = afterClose(open, end);
        if (!close)
            return close.error();
        const auto args = arguments(open, *close);
        auto emitArgs = [&](std::string_view separator) -> Status {
            for (std::size_t a = 0; a < args.size(); ++a) {
                if (a > 0)
                    m_out += separator;
                if (auto st = emit(args[a].first, args[a].second, depth + 1); !st)
                    return st;
            }
            return Status::success();
        };
        const std::string_view fn = name.text;
        Status st = Status::success();
        if (oneOf(fn,
                  {"abs", "count", "sum", "avg", "length", "upper", "lower", "substr", "trim", "coalesce"})) {
            put(name);
            m_out += '(';
            st = emitArgs(",");
            m_out += ')';
        } else if (oneOf(fn, {"min", "max"})) {
            if (args.size() != 1)
                return refused("min or max of several values");
            put(name);
            m_out += '(';
            st = emitArgs(",");
            m_out += ')';
        } else if (oneOf(fn, {"ifnull"})) {
            if (args.size() != 2)
                return refused("ifnull without two arguments");
            put(name, "coalesce");
            m_out += '(';
            st = emitArgs(",");
            m_out += ')';
        } else if (oneOf(fn, {"total"})) {
            if (args.size() != 1)
                return refused("total without one argument");
            put(name, "coalesce(sum((");
            st = emitArgs(",");
            m_out += ")::float8), 0::float8)";
        } else if (oneOf(fn, {"round"})) {
            if (args.empty() || args.size() > 2)
                return refused("round without one or two arguments");
            put(name, "round((");
            if (st = emit(args[0].first, args[0].second, depth + 1); !st)
                return st;
            m_out += ")::numeric";
            if (args.size() == 2) {
                m_out += ", (";
                if (st = emit(args[1].first, args[1].second, depth + 1); !st)
                    return st;
                m_out += ")::int";
            }
            m_out += ")::float8";
        } else {
            return refused("the function " + name.text);
        }
        i = *close;
        return st;
    }

    Status emit(std::size_t begin, std::size_t end, int depth)
    {
        if (depth > kMaxDepth)
            return refused("nesting deeper than " + std::to_string(kMaxDepth));
        for (std::size_t i = begin; i < end;) {
            const Token& t = m_t[i];
            switch (t.kind) {
            case Kind::Word: {
                if (isForbiddenName(t.text))
                    return refused("the name " + t.text);
                const bool qualified = i + 1 < end && m_t[i + 1].kind == Kind::Dot;
                if (!qualified && i + 1 < end && m_t[i + 1].kind == Kind::Open &&
                    !isKeywordBeforeParen(t.text)) {
                    if (auto st = call(i, end, depth); !st)
                        return st;
                    break;
                }
                if (equalsIgnoringCase(t.text, "like")) {
                    // SQLite's LIKE ignores the case of ASCII letters and knows no escape character.
                    if (i + 1 >= end || m_t[i + 1].kind != Kind::String)
                        return refused("LIKE with a pattern other than a text");
                    put(t, "ILIKE");
                    put(m_t[i + 1]);
                    m_out += " ESCAPE ''";
                    i += 2;
                    break;
                }
                if (equalsIgnoringCase(t.text, "limit")) {
                    // SQLite's "LIMIT offset, count" has no PostgreSQL form here.
                    for (std::size_t j = i + 1; j < end && m_t[j].kind != Kind::Close; ++j)
                        if (m_t[j].kind == Kind::Comma)
                            return refused("LIMIT with a comma");
                }
                put(t);
                ++i;
                if (!qualified && isTextColumn(t.text)) {
                    if (auto st = quoteNumbersAfterTextColumn(i, end); !st)
                        return st;
                }
                break;
            }
            case Kind::Op:
                if (t.text == "/") {
                    // Division by zero is an empty value in SQLite, an error in PostgreSQL.
                    auto operand = operandEnd(i + 1, end);
                    if (!operand)
                        return operand.error();
                    put(t, "/ NULLIF(");
                    if (auto st = emit(i + 1, *operand, depth + 1); !st)
                        return st;
                    m_out += ", 0)";
                    i = *operand;
                    break;
                }
                put(t);
                ++i;
                break;
            case Kind::Open: {
                auto close = afterClose(i, end);
                if (!close)
                    return close.error();
                put(t);
                if (auto st = emit(i + 1, *close - 1, depth + 1); !st)
                    return st;
                put(m_t[*close - 1]);
                i = *close;
                break;
            }
            case Kind::Close:
                return refused("unbalanced parentheses");
            case Kind::Dot:
                put(t);
                ++i;
                if (i < end && m_t[i].kind == Kind::Word && isTextColumn(m_t[i].text)) {
                    if (isForbiddenName(m_t[i].text))
                        return refused("the name " + m_t[i].text);
                    put(m_t[i]);
                    ++i;
                    if (auto st = quoteNumbersAfterTextColumn(i, end); !st)
                        return st;
                }
                break;
            default:
                put(t);
                ++i;
                break;
            }
        }
        return Status::success();
    }

    // After a text column at i: "= 1301" and "IN (1301, 1332)" compare the numbers' texts, as SQLite
    // does for a column of text affinity.
    Status quoteNumbersAfterTextColumn(std::size_t& i, std::size_t end)
    {
        auto quoted = [&](const Token& number) { put(number, "'" + number.text + "'"); };
        if (i + 1 < end && isComparison(m_t[i]) && m_t[i + 1].kind == Kind::Number) {
            put(m_t[i]);
            quoted(m_t[i + 1]);
            i += 2;
            return Status::success();
        }
        std::size_t j = i;
        if (j < end && m_t[j].kind == Kind::Word && equalsIgnoringCase(m_t[j].text, "not"))
            ++j;
        if (j + 1 >= end || m_t[j].kind != Kind::Word || !equalsIgnoringCase(m_t[j].text, "in") ||
            m_t[j + 1].kind != Kind::Open)
            return Status::success();
        // A list of plain values only; a sub-select is left as it is.
        auto close = afterClose(j + 1, end);
        if (!close)
            return close.error();
        for (std::size_t k = j + 2; k + 1 < *close; ++k) {
            const Kind kind = m_t[k].kind;
            const bool value = kind == Kind::Number || kind == Kind::String;
            if ((k - j) % 2 == 0 ? !value : kind != Kind::Comma)
                return Status::success();
        }
        for (; i < j + 2; ++i)
            put(m_t[i]);
        for (; i + 1 < *close; ++i) {
            if (m_t[i].kind == Kind::Number)
                quoted(m_t[i]);
            else
                put(m_t[i]);
        }
        put(m_t[i]);
        ++i;
        return Status::success();
    }

    std::vector<Token> m_t;
    std::string m_out;
};

} // namespace

Result<std::string> translateSelectForPostgres(std::string_view sql)
{
    auto tokens = tokenize(sql);
    if (!tokens)
        return tokens.error();
    if (tokens->empty() || tokens->front().kind != Kind::Word ||
        !equalsIgnoringCase(tokens->front().text, "select"))
        return refused("not a SELECT statement");
    return Translator(std::move(*tokens)).run();
}

} // namespace vorteq::server
