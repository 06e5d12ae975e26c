// The command line's answers to the prompts seam: a person started the
// command but cannot answer questions while it runs.
#pragma once

#include "services/prompts.h"

namespace veltro::tool {

// Messages go to stderr, one a line; choices are closed (-1) after their text
// is shown; file choosers are cancelled.
class ConsolePrompts : public Prompts {
public:
    void showMessage(const std::string& text) override;
    int askChoice(const std::string& text, const std::vector<std::string>& captions) override;
    std::string chooseOpenFile(const std::string& filter, const std::string& initial) override;
    std::string chooseSaveFile(const std::string& filter, const std::string& initial) override;
};

}  // namespace veltro::tool
