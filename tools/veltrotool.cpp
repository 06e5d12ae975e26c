// veltrotool: the product's pipeline from the command line (image codecs,
// frame stores, movies, documents, publishing), for users' scripts and for
// checks that read its stable output.
#include <cstdio>
#include <cstring>

#include "tools/commands.h"

namespace veltro::tool {

// One explicit list of every subcommand group.
const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        // (subcommands are listed here)
    };
    return table;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "veltrotool: %s\n", message.c_str());
    return 1;
}

}  // namespace veltro::tool

namespace {

void printHelp() {
    std::printf("usage: veltrotool COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& command : veltro::tool::commands())
        std::printf("%s\n", command.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        printHelp();
        return argc < 2 ? 2 : 0;
    }
    for (const auto& command : veltro::tool::commands()) {
        if (std::strcmp(command.name, argv[1]) == 0)
            return command.run(veltro::tool::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "veltrotool: unknown command \"%s\" (see veltrotool --help)\n", argv[1]);
    return 2;
}
