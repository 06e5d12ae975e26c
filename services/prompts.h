// The one seam through which window-free code talks to the user: messages,
// choices and file choosers. Each program installs its own answers at start-up
// (the window layer its dialogs, the command line its console); tests install
// scripted answers.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace veltro {

class Prompts {
public:
    virtual ~Prompts() = default;
    // Shows a notice or error and returns when the user has read it.
    virtual void showMessage(const std::string& text) = 0;
    // Offers up to ten buttons; the index pressed, or -1 when closed.
    virtual int askChoice(const std::string& text, const std::vector<std::string>& captions) = 0;
    // Lets the user pick an existing file; filter is a double-NUL list of
    // description/pattern pairs. Empty when cancelled.
    virtual std::string chooseOpenFile(const std::string& filter, const std::string& initial) = 0;
    // Lets the user pick a file to write. Empty when cancelled.
    virtual std::string chooseSaveFile(const std::string& filter, const std::string& initial) = 0;
};

// Before a program installs its own: nobody is there, so messages are dropped,
// choices are closed (-1) and choosers are cancelled. Library code never
// writes to the terminal itself.
class UnattendedPrompts : public Prompts {
public:
    void showMessage(const std::string& text) override;
    int askChoice(const std::string& text, const std::vector<std::string>& captions) override;
    std::string chooseOpenFile(const std::string& filter, const std::string& initial) override;
    std::string chooseSaveFile(const std::string& filter, const std::string& initial) override;
};

// The process-wide prompts (UnattendedPrompts until the program installs its own).
Prompts& prompts();
// Installs a replacement and returns the previous one (so tests can restore
// it); none puts UnattendedPrompts back.
std::unique_ptr<Prompts> setPrompts(std::unique_ptr<Prompts> replacement);

// Shorthand for prompts().showMessage(text).
inline void showMessage(const std::string& text) { prompts().showMessage(text); }

}  // namespace veltro
