#pragma once

#include "common/Result.h"

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::cli {

// One option of a command: "--name VALUE" (or "--name=VALUE") when valueName is set, else a flag.
struct OptionDef {
    std::string name;      // without the leading "--"
    std::string valueName; // shown in the help ("CODE|NAME"); empty for a flag
    std::string help;      // one line of help, in Japanese
    bool required = false;

    bool takesValue() const { return !valueName.empty(); }
};

// The options given on one command line. Each option may be given once.
class ParsedOptions {
public:
    bool has(std::string_view name) const { return m_given.count(std::string(name)) != 0; }
    // The value of an option that takes one, or nothing when it was not given.
    std::optional<std::string> value(std::string_view name) const;
    std::string valueOr(std::string_view name, std::string fallback) const;
    bool helpRequested() const { return m_help; }

private:
    friend Result<ParsedOptions> parseOptions(std::span<const std::string>, std::span<const OptionDef>);
    std::map<std::string, std::string, std::less<>> m_given;
    bool m_help = false;
};

// Reads the arguments after the command word with the command-line library. "--help" or "-h" anywhere
// asks for the help and skips every other check. Unknown options, positional arguments, a missing value, an
// option given twice and a missing required option are usage errors (ErrorCode::Validation) with a Japanese
// message.
Result<ParsedOptions> parseOptions(std::span<const std::string> args, std::span<const OptionDef> optionDefs);

// The option part of a command's help: one line per option, aligned.
std::string describeOptions(std::span<const OptionDef> optionDefs);

} // namespace vorteq::cli
