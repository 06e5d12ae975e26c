#include "services/prompts.h"

#include <cstdio>

namespace veltro {

void ConsolePrompts::showMessage(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

int ConsolePrompts::askChoice(const std::string& text, const std::vector<std::string>&) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return -1;
}

std::string ConsolePrompts::chooseOpenFile(const std::string&, const std::string&) { return {}; }
std::string ConsolePrompts::chooseSaveFile(const std::string&, const std::string&) { return {}; }

namespace {
std::unique_ptr<Prompts>& current() {
    static std::unique_ptr<Prompts> instance = std::make_unique<ConsolePrompts>();
    return instance;
}
}  // namespace

Prompts& prompts() { return *current(); }

std::unique_ptr<Prompts> setPrompts(std::unique_ptr<Prompts> replacement) {
    std::unique_ptr<Prompts> previous = std::move(current());
    current() = replacement ? std::move(replacement) : std::make_unique<ConsolePrompts>();
    return previous;
}

}  // namespace veltro
