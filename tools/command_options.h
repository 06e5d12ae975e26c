// One subcommand's command line, read by QCommandLineParser: the options it
// takes (each with a value name and a description), its positional arguments
// and --help, which prints the subcommand's usage. Also the strict readers of
// the values several subcommands share: whole numbers in a range, "a,b"
// pairs and "x,y x,y ..." point lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QCommandLineParser>

#include "tools/commands.h"

namespace veltro::tool {

// The exit status of a command line that cannot be read: an unknown option,
// an option without its value, or (for some subcommands) a malformed value.
inline constexpr int kUsageStatus = 2;

class CommandOptions {
public:
    // command: the words after "veltrotool" ("encode", "image scale");
    // summary: what the subcommand does, shown by --help.
    CommandOptions(std::string command, const std::string& summary);
    CommandOptions(const CommandOptions&) = delete;
    CommandOptions& operator=(const CommandOptions&) = delete;

    // An option that takes a value: --NAME VALUE or --NAME=VALUE.
    CommandOptions& value(const std::string& name, const std::string& valueName, const std::string& description);
    // An option without a value.
    CommandOptions& flag(const std::string& name, const std::string& description);
    // A positional argument as --help shows it; syntax replaces the name in
    // the usage line ("IMAGE...", "[ARGS...]").
    CommandOptions& argument(const std::string& name, const std::string& description, const std::string& syntax = {});
    // Everything from the first positional argument on is positional: for a
    // subcommand that dispatches on a word of its own (image info, ...).
    CommandOptions& stopAtFirstArgument();

    // Reads args. Nothing when the subcommand goes on; otherwise the status
    // to exit with: 0 once --help printed the usage on stdout, kUsageStatus
    // after one line on stderr naming an unknown option or the option whose
    // value is missing.
    std::optional<int> parse(const Args& args);

    bool isSet(const std::string& name) const;
    // The option's value, the last one when it was given more than once;
    // fallback when it was not given.
    std::string text(const std::string& name, const std::string& fallback = {}) const;
    // Every value of an option that may be given more than once, in order.
    std::vector<std::string> texts(const std::string& name) const;
    // The positional arguments, in order.
    const Args& arguments() const { return m_arguments; }

    // The option's value as a whole number from low to high, into value; value
    // is left as it is when the option was not given. False with a message
    // naming the option, the range and the text given otherwise.
    bool integer(const std::string& name, int low, int high, int& value, std::string& message) const;
    // The option's value as "a,b" (two whole numbers from low to high), into a
    // and b; left as they are when the option was not given. False with a
    // message otherwise.
    bool pair(const std::string& name, int low, int high, int& a, int& b, std::string& message) const;

    // The --help text: the usage line, the summary, the options and arguments.
    std::string helpText() const;

private:
    std::string m_command;
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    Args m_arguments;
};

// A whole number from low to high: an optional minus sign and decimal digits,
// nothing else (no spaces, no fraction).
bool parseInteger(std::string_view text, int low, int high, int& value);
// Two whole numbers from low to high joined by separator: "3,4", "320x240".
bool parseIntegerPair(std::string_view text, int low, int high, int& a, int& b, char separator = ',');
// "x,y x,y ...": pairs separated by white space, each number from low to
// high; false on anything else, on no pair at all, or beyond maxPoints pairs.
bool parsePoints(std::string_view text, int low, int high, size_t maxPoints, std::vector<std::pair<int, int>>& points);
// "NAME takes a whole number from LOW to HIGH, not "TEXT"": the message for
// a refused number.
std::string numberMessage(const std::string& name, int low, int high, const std::string& text);

}  // namespace veltro::tool
