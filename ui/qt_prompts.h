// The prompts seam answered with real dialogs: messages and choices owned by
// the window that has the keyboard focus, and the platform's file choosers.
// The program installs it at start-up with setPrompts.
#pragma once

#include "services/prompts.h"

namespace veltro {

class QtPrompts : public Prompts {
public:
    void showMessage(const std::string& text) override;
    int askChoice(const std::string& text, const std::vector<std::string>& captions) override;
    std::string chooseOpenFile(const std::string& filter, const std::string& initial) override;
    std::string chooseSaveFile(const std::string& filter, const std::string& initial) override;
};

}  // namespace veltro
