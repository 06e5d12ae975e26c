// Running a command line from the tools tests: what it printed and how it
// ended, the way a script calling veltrotool sees it.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace veltro::testing {

struct CommandResult {
    int status = -1;  // the exit status; -1 when it did not run or did not exit
    std::string out;  // everything it wrote to stdout
};

// Runs command through the shell and collects its stdout.
inline CommandResult runCommandLine(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace veltro::testing
