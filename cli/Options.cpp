#include "cli/Options.h"

#include "common/CommandLine.h"
#include "common/TextWidth.h"

#include <algorithm>

namespace vorteq::cli {

namespace {

Error usage(std::string message)
{
    return makeError(ErrorCode::Validation, std::move(message));
}

std::string dashed(std::string_view name)
{
    return "--" + std::string(name);
}

// The option an unparsed argument names ("--bogus=1" names "--bogus"), or nothing for a stray word.
std::optional<std::string> unknownOptionOf(const std::string& arg)
{
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0)
        return std::nullopt;
    return arg.substr(0, arg.find('='));
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
    if (std::ranges::any_of(args, [](const std::string& arg) { return arg == "--help" || arg == "-h"; })) {
        parsed.m_help = true;
        return parsed;
    }

    // The library reads the words; each mistake is then named here in Japanese: options keep every
    // occurrence (a second one is a mistake), unknown words stay behind, nothing is required while reading.
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    std::vector<CLI::Option*> options;
    for (const OptionDef& def : optionDefs) {
        CLI::Option* option =
            def.takesValue() ? app.add_option(dashed(def.name))->expected(1) : app.add_flag(dashed(def.name));
        options.push_back(option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll));
    }

    const CommandLineReading reading = readCommandLine(app, args);
    if (!reading.failure.empty())
        return usage(reading.failure);
    // Mistakes are named in the order of the command line: a word before the option that lacks
    // its value is named first.
    if (!reading.leftOver.empty()) {
        if (auto option = unknownOptionOf(reading.leftOver.front()))
            return usage("不明なオプションです: " + *option);
        return usage("余分な引数があります: \"" + reading.leftOver.front() + "\"");
    }
    if (!reading.missingValue.empty()) {
        const auto def = std::ranges::find(optionDefs, reading.missingValue,
                                           [](const OptionDef& d) { return dashed(d.name); });
        const std::string valueName = def == optionDefs.end() ? std::string("値") : def->valueName;
        return usage(reading.missingValue + " には値 (" + valueName + ") が必要です。");
    }
    for (std::size_t i = 0; i < optionDefs.size(); ++i) {
        const OptionDef& def = optionDefs[i];
        const std::vector<std::string>& results = options[i]->results();
        if (results.empty())
            continue;
        if (results.size() > 1)
            return usage(dashed(def.name) + " が2回指定されています。");
        // A flag given as "--flag=value" keeps the value instead of "true".
        if (!def.takesValue() && results.front() != "true")
            return usage(dashed(def.name) + " は値をとりません。");
        parsed.m_given.emplace(def.name, def.takesValue() ? results.front() : std::string());
    }
    for (const OptionDef& def : optionDefs)
        if (def.required && !parsed.has(def.name))
            return usage(dashed(def.name) + " を指定してください。");
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
