#include "cli/Options.h"

#include "cli/TextWidth.h"

namespace vorteq::cli {

namespace {

Error usage(std::string message)
{
    return makeError(ErrorCode::Validation, std::move(message));
}

const OptionDef* findOptionDef(std::span<const OptionDef> optionDefs, std::string_view name)
{
    for (const OptionDef& def : optionDefs)
        if (def.name == name)
            return &def;
    return nullptr;
}

} // namespace

std::optional<std::string> ParsedOptions::value(std::string_view name) const
{
    const auto it = m_given.find(name);
    if (it == m_given.end())
        return std::nullopt;
    return it->second;
}

std::string ParsedOptions::valueOr(std::string_view name, std::string fallback) const
{
    auto given = value(name);
    return given ? std::move(*given) : std::move(fallback);
}

Result<ParsedOptions> parseOptions(std::span<const std::string> args, std::span<const OptionDef> optionDefs)
{
    ParsedOptions parsed;
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") {
            parsed.m_help = true;
            return parsed;
        }

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0)
            return usage("余分な引数があります: \"" + arg + "\"");
        std::string_view body = std::string_view(arg).substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = body.find('='); eq != std::string_view::npos) {
            inlineValue = std::string(body.substr(eq + 1));
            body = body.substr(0, eq);
        }
        const OptionDef* def = findOptionDef(optionDefs, body);
        if (!def)
            return usage("不明なオプションです: --" + std::string(body));
        if (parsed.has(def->name))
            return usage("--" + def->name + " が2回指定されています。");

        std::string value;
        if (def->takesValue()) {
            if (inlineValue) {
                value = std::move(*inlineValue);
            } else {
                if (i + 1 >= args.size())
                    return usage("--" + def->name + " には値 (" + def->valueName + ") が必要です。");
                value = args[++i];
            }
        } else if (inlineValue) {
            return usage("--" + def->name + " は値をとりません。");
        }
        parsed.m_given.emplace(def->name, std::move(value));
        parsed.m_order.push_back(def->name);
    }

    for (const OptionDef& def : optionDefs)
        if (def.required && !parsed.has(def.name))
            return usage("--" + def.name + " を指定してください。");
    return parsed;
}

std::string describeOptions(std::span<const OptionDef> optionDefs)
{
    // Heads wider than this put their help on the next line, so that one long list of items does not
    // push every other help text off the screen.
    constexpr std::size_t kHelpColumn = 30;
    std::string text;
    for (const OptionDef& def : optionDefs) {
        std::string line = "  --" + def.name;
        if (def.takesValue())
            line += " " + def.valueName;
        const std::size_t width = displayWidth(line);
        if (width + 2 > kHelpColumn) {
            line += '\n';
            line.append(kHelpColumn, ' ');
        } else {
            line.append(kHelpColumn - width, ' ');
        }
        line += def.help;
        if (def.required)
            line += " (必須)";
        text += line + '\n';
    }
    return text;
}

} // namespace vorteq::cli
