// The subcommands of veltrotool. Each group lives in its own file and takes
// the arguments after the subcommand name; it returns the exit status.
#pragma once

#include <string>
#include <vector>

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

// The text as a quoted JSON string. Valid UTF-8 passes through; control
// characters and bytes that are not part of a UTF-8 character are written as
// \u escapes (such a byte as the code point of its value), so the output is
// always valid JSON whatever bytes a path or title holds.
std::string jsonString(const std::string& text);

}  // namespace veltro::tool
