#include "services/prompts.h"

namespace veltro {

void UnattendedPrompts::showMessage(const std::string&) {}
int UnattendedPrompts::askChoice(const std::string&, const std::vector<std::string>&) { return -1; }
std::string UnattendedPrompts::chooseOpenFile(const std::string&, const std::string&) { return {}; }
std::string UnattendedPrompts::chooseSaveFile(const std::string&, const std::string&) { return {}; }

namespace {
std::unique_ptr<Prompts>& current() {
    static std::unique_ptr<Prompts> instance = std::make_unique<UnattendedPrompts>();
    return instance;
}
}  // namespace

Prompts& prompts() { return *current(); }

std::unique_ptr<Prompts> setPrompts(std::unique_ptr<Prompts> replacement) {
    std::unique_ptr<Prompts> previous = std::move(current());
    current() = replacement ? std::move(replacement) : std::make_unique<UnattendedPrompts>();
    return previous;
}

}  // namespace veltro
