#pragma once

#include <CLI/CLI.hpp>
#include <span>
#include <string>
#include <vector>

namespace vorteq {

// What reading a command line with the command-line library found. The programs word every
// mistake themselves (the library's texts are English and not theirs).
struct CommandLineReading {
    std::string missingValue;          // "--name" of an option that ended the line without its value
    std::string failure;               // a failed check of the library: "--name: message"
    std::vector<std::string> leftOver; // unknown options and stray words, in the order given

    bool ok() const { return missingValue.empty() && failure.empty() && leftOver.empty(); }
};

// Reads the words after the command into the app, which must allow extras (so that unknown
// words are left over instead of thrown).
inline CommandLineReading readCommandLine(CLI::App& app, std::span<const std::string> words)
{
    CommandLineReading reading;
    // The library takes the words from the back of a list.
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& e) {
        // Only an option without its value stops the reading; the message starts with its name.
        const std::string what = e.what();
        reading.missingValue = what.substr(0, what.find(':'));
    } catch (const CLI::ParseError& e) {
        reading.failure = e.what();
    }
    reading.leftOver = app.remaining();
    return reading;
}

} // namespace vorteq
