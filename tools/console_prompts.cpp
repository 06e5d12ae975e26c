#include "tools/console_prompts.h"

#include <cstdio>

namespace veltro::tool {

void ConsolePrompts::showMessage(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

int ConsolePrompts::askChoice(const std::string& text, const std::vector<std::string>&) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return -1;
}

std::string ConsolePrompts::chooseOpenFile(const std::string&, const std::string&) { return {}; }
std::string ConsolePrompts::chooseSaveFile(const std::string&, const std::string&) { return {}; }

}  // namespace veltro::tool
