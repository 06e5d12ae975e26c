// The subcommands of veltrotool. Each group lives in its own file and takes
// the arguments after the subcommand name, read with CommandOptions
// (tools/command_options.h) so that every subcommand answers --help; it
// returns the exit status.
#pragma once

#include <string>
#include <vector>

#include <QJsonObject>
#include <QString>

namespace veltro::tool {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;  // one or more lines, shown by --help
    int (*run)(const Args& args);
};

// The table of every subcommand, in the order --help lists them.
const std::vector<Command>& commands();

// Prints "veltrotool: <message>" on stderr and returns 1, for one-line failures.
int fail(const std::string& message);

// The text as a JSON string value. Valid UTF-8 passes through; a byte that is
// not part of a UTF-8 character becomes the code point of its value, so the
// output is always valid JSON whatever bytes a path or title holds.
QString jsonText(const std::string& text);

// Prints value on stdout as one JSON document followed by a line end: on one
// line, or indented for the larger descriptions.
void printJson(const QJsonObject& value, bool indented);

}  // namespace veltro::tool
